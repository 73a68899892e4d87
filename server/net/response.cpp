#include "server/net/response.h"

namespace {

// Enough for every answer the server gives, so adding lines does not reallocate.
constexpr size_t kUsualFields = 12;
constexpr size_t kUsualText = 320;

}  // namespace

Response::Response(std::string_view status) : status_(status) {
  fields_.reserve(kUsualFields);
  text_.reserve(kUsualText);
}

std::string_view Response::header_name(size_t i) const {
  return std::string_view(text_).substr(fields_[i].name_begin, fields_[i].name_size);
}

std::string_view Response::header_value(size_t i) const {
  const Field& f = fields_[i];
  return std::string_view(text_).substr(f.name_begin + f.name_size, f.value_size);
}

void Response::AddHeader(std::string_view name, std::initializer_list<std::string_view> value) {
  const size_t begin = text_.size();
  text_.append(name);
  for (std::string_view piece : value) text_.append(piece);
  fields_.push_back(Field{static_cast<uint32_t>(begin), static_cast<uint32_t>(name.size()),
                          static_cast<uint32_t>(text_.size() - begin - name.size())});
}

size_t Response::body_size() const {
  if (shared_body_) return shared_body_->size();
  if (file_) return file_->size();
  return body_bytes().size();
}

void Response::SetBody(std::string body) {
  owned_ = true;
  body_ = std::move(body);
}

void Response::SetStaticBody(std::string_view body) {
  owned_ = false;
  static_body_ = body;
}

void Response::SetBody(SharedBody body) {
  shared_body_ = std::move(body);
}

void Response::SetBody(std::shared_ptr<const platform::OpenFile> file) {
  file_ = std::move(file);
}

void Response::DropBody() {
  SetBody(std::string());
  shared_body_.reset();
  file_.reset();
}
