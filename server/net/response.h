// One HTTP response as every transport sees it: the status, the header lines in the order they
// were added, and the body. It stays in this form until a transport writes it (HTTP/1.1 by
// http1_writer.h), so that a transport that frames answers its own way carries the same answer
// without reading bytes back. The body is one of: bytes of its own, an immutable buffer shared
// with its other holders (the file cache, the thumbnail store), or an open file that the
// transport sends from the page cache.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/open_file.h"

using SharedBody = std::shared_ptr<const std::vector<uint8_t>>;

class Response {
 public:
  Response() = default;
  // `status` is the code and its reason ("200 OK", "103").
  explicit Response(std::string_view status);

  std::string_view status() const { return status_; }
  bool interim() const { return !status_.empty() && status_[0] == '1'; }

  size_t header_count() const { return fields_.size(); }
  std::string_view header_name(size_t i) const;
  std::string_view header_value(size_t i) const;
  // Appends a header line. REQUIRES: neither holds CR or LF.
  void AddHeader(std::string_view name, std::string_view value) { AddHeader(name, {value}); }
  // The value is the pieces joined.
  void AddHeader(std::string_view name, std::initializer_list<std::string_view> value);

  // The body's bytes when they are the response's own or static; empty otherwise.
  std::string_view body_bytes() const { return owned_ ? std::string_view(body_) : static_body_; }
  const SharedBody& shared_body() const { return shared_body_; }
  const std::shared_ptr<const platform::OpenFile>& file() const { return file_; }
  // The body's length, whichever form it has.
  size_t body_size() const;

  void SetBody(std::string body);
  // REQUIRES: `body` lives as long as the program (a built-in resource).
  void SetStaticBody(std::string_view body);
  void SetBody(SharedBody body);
  void SetBody(std::shared_ptr<const platform::OpenFile> file);
  // Leaves the response without a body, whichever form it had; its header lines stay.
  void DropBody();

 private:
  struct Field {
    uint32_t name_begin, name_size, value_size;  // the value follows its name in text_
  };

  std::string status_;
  std::string text_;  // the names and values back to back
  std::vector<Field> fields_;
  bool owned_ = true;
  std::string body_;
  std::string_view static_body_;
  SharedBody shared_body_;
  std::shared_ptr<const platform::OpenFile> file_;
};
