#include "server/catalogue/page_keys.h"

#include <limits>
#include <vector>

namespace {

std::vector<std::string_view> SplitFields(std::string_view text) {
  std::vector<std::string_view> fields;
  size_t begin = 0;
  for (;;) {
    const size_t dash = text.find('-', begin);
    fields.push_back(text.substr(begin, dash == std::string_view::npos ? dash : dash - begin));
    if (dash == std::string_view::npos) return fields;
    begin = dash + 1;
  }
}

bool IsBlank(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

}  // namespace

int32_t ReadKeyNumber(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > kLimit) value = kLimit;
  }
  if (negative) return static_cast<int32_t>(-value);
  return static_cast<int32_t>(value == kLimit ? kLimit - 1 : value);
}

bool ParsePageKey(std::string_view text, PageKey* out) {
  const std::vector<std::string_view> fields = SplitFields(text);
  if (fields.size() != 4 || fields[0] != "T") return false;
  out->list_field = fields[1];
  out->order_code = fields[2];
  out->order = ListOrderFromCode(fields[2]);
  out->page = ReadKeyNumber(fields[3]);
  return true;
}

namespace {

// Reads the first three fields of an image key. REQUIRES: fields.size() >= 3.
void ReadImageKeyFields(const std::vector<std::string_view>& fields, ImageKey* out) {
  out->list_field = fields[0];
  out->order_code = fields[1];
  out->order = ListOrderFromCode(fields[1]);
  out->position = ReadKeyNumber(fields[2]);
}

}  // namespace

bool ParseImageKey(std::string_view text, ImageKey* out) {
  const std::vector<std::string_view> fields = SplitFields(text);
  if (fields.size() != 3) return false;
  ReadImageKeyFields(fields, out);
  return true;
}

bool ParseImageLinkKey(std::string_view text, ImageKey* out) {
  const std::vector<std::string_view> fields = SplitFields(text);
  if (fields.size() < 3) return false;
  ReadImageKeyFields(fields, out);
  return true;
}

std::string DirectLinkKey(std::string_view image_key) {
  return std::string(image_key) + "-img";
}

std::string MakePageKey(std::string_view list_field, ListOrder order, int64_t page) {
  std::string key = "T-";
  key.append(list_field).append("-").append(ListOrderCode(order)).append("-");
  return key.append(std::to_string(page));
}

std::string MakeImageKey(std::string_view list_field, ListOrder order, int64_t position) {
  std::string key(list_field);
  key.append("-").append(ListOrderCode(order)).append("-");
  return key.append(std::to_string(position));
}
