// Test support: the parts a MultipartReader reports, kept as strings, and the same parts as
// SplitMultipart finds them in the whole body, so that the two can be compared.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "server/upload/multipart_reader.h"
#include "server/upload/testing/multipart_split.h"

struct CollectedPart {
  std::string name;
  bool has_file_name = false;
  std::string file_name;
  std::string content_type;
  std::string body;
  bool ended = false;
  bool operator==(const CollectedPart&) const = default;
};

struct MultipartCollector : MultipartReader::Listener {
  void PartBegin(const MultipartPart& part) override {
    parts.push_back({std::string(part.name), part.has_file_name, std::string(part.file_name),
                     std::string(part.content_type), "", false});
  }
  void PartData(std::string_view bytes) override { parts.back().body.append(bytes); }
  void PartEnd() override { parts.back().ended = true; }

  std::vector<CollectedPart> parts;
};

struct CollectedBody {
  MultipartResult result = MultipartResult::kSplit;
  std::vector<CollectedPart> parts;  // the whole ones only
  bool operator==(const CollectedBody&) const = default;
};

// `body` fed to a reader in pieces of the given sizes (the rest in one piece).
inline CollectedBody ReadInPieces(std::string_view boundary, std::string_view body,
                                  const std::vector<size_t>& sizes) {
  MultipartCollector collector;
  MultipartReader reader(boundary, &collector);
  for (size_t size : sizes) {
    size = std::min(size, body.size());
    reader.Feed(body.substr(0, size));
    body.remove_prefix(size);
  }
  reader.Feed(body);
  CollectedBody collected;
  collected.result = reader.Finish();
  for (const CollectedPart& part : collector.parts) {
    if (part.ended && collected.result == MultipartResult::kSplit) {
      collected.parts.push_back(part);
    }
  }
  return collected;
}

inline CollectedBody SplitWhole(std::string_view boundary, std::string_view body) {
  std::vector<MultipartPart> parts;
  CollectedBody collected;
  collected.result = SplitMultipart(body, boundary, &parts);
  for (const MultipartPart& p : parts) {
    collected.parts.push_back({std::string(p.name), p.has_file_name, std::string(p.file_name),
                               std::string(p.content_type), std::string(p.body), true});
  }
  return collected;
}
