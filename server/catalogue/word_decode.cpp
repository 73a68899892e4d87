#include "server/catalogue/word_decode.h"

#include "platform/utf8.h"

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string DecodeWord(std::string_view raw) {
  std::string bytes;
  bytes.reserve(raw.size());
  for (size_t i = 0; i < raw.size(); ++i) {
    const char c = raw[i];
    if (c == '+') {
      bytes.push_back(' ');
    } else if (c == '%' && i + 2 < raw.size() && HexValue(raw[i + 1]) >= 0 &&
               HexValue(raw[i + 2]) >= 0) {
      bytes.push_back(static_cast<char>(HexValue(raw[i + 1]) * 16 + HexValue(raw[i + 2])));
      i += 2;
    } else {
      bytes.push_back(c);
    }
  }
  std::string out;
  out.reserve(bytes.size());
  for (size_t pos = 0; pos < bytes.size();) AppendUtf8(DecodeUtf8At(bytes, &pos), &out);
  return out;
}
