#include "common/config/config_text.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/text.h"
#include "platform/utf8.h"

namespace {

constexpr std::string_view kUtf16LeBom = "\xFF\xFE";
constexpr std::string_view kUtf16BeBom = "\xFE\xFF";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// UTF-16LE bytes to UTF-8; an odd trailing byte is dropped.
std::string DecodeUtf16Le(std::string_view bytes) {
  std::u16string units = platform::LeBytesToUtf16(bytes);
  std::string out;
  out.reserve(units.size());
  for (size_t i = 0; i < units.size(); ++i) {
    char32_t unit = units[i];
    bool high = unit >= 0xD800 && unit <= 0xDBFF;
    bool low_next = i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF;
    if (high && low_next) {
      AppendUtf8(0x10000 + ((unit - 0xD800) << 10) + (units[++i] - 0xDC00), &out);
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      out.append(kReplacement);
    } else {
      AppendUtf8(unit, &out);
    }
  }
  return out;
}

bool IsCp932LeadByte(unsigned char c) {
  return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// Shift-JIS to UTF-8 one character at a time, for a line that does not convert whole. A byte
// that starts no valid character becomes U+FFFD on its own, so the byte after it (a line
// break, say) is still read.
void DecodeCp932ByCharacter(std::string_view line, std::string* out) {
  std::string utf8;
  for (size_t i = 0; i < line.size();) {
    unsigned char c = static_cast<unsigned char>(line[i]);
    if (c < 0x80) {
      out->push_back(static_cast<char>(c));
      ++i;
      continue;
    }
    size_t length = IsCp932LeadByte(c) && i + 1 < line.size() ? 2 : 1;
    if (platform::Cp932ToUtf8(line.substr(i, length), &utf8)) {
      out->append(utf8);
      i += length;
    } else {
      out->append(kReplacement);
      ++i;
    }
  }
}

// Shift-JIS to UTF-8 line by line, so that a bad byte takes only its own line off the fast path.
std::string DecodeCp932(std::string_view bytes) {
  std::string out;
  std::string utf8;
  while (!bytes.empty()) {
    size_t end = bytes.find('\n');
    end = end == std::string_view::npos ? bytes.size() : end + 1;
    std::string_view line = bytes.substr(0, end);
    if (platform::Cp932ToUtf8(line, &utf8)) {
      out.append(utf8);
    } else {
      DecodeCp932ByCharacter(line, &out);
    }
    bytes.remove_prefix(end);
  }
  return out;
}

std::string CrLfToLf(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out.push_back(text[i]);
  }
  return out;
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

bool DecodeConfigText(std::string_view bytes, std::string* text) {
  if (bytes.starts_with(kUtf16LeBom)) {
    *text = CrLfToLf(DecodeUtf16Le(bytes.substr(kUtf16LeBom.size())));
  } else if (bytes.starts_with(kUtf8Bom)) {
    *text = CrLfToLf(bytes.substr(kUtf8Bom.size()));
  } else if (bytes.starts_with(kUtf16BeBom)) {
    return false;
  } else {
    *text = CrLfToLf(DecodeCp932(bytes));
  }
  return true;
}

bool ReadConfigText(const std::string& path, std::string* text, std::string* why) {
  std::string reason;
  if (why == nullptr) why = &reason;
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    *why = std::strerror(errno);
    return false;
  }
  std::string bytes;
  char chunk[8192];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) bytes.append(chunk, got);
  // A folder opens but cannot be read: that is a file that could not be opened too.
  if (std::ferror(file.get())) {
    *why = std::strerror(errno);
    return false;
  }
  if (!DecodeConfigText(bytes, text)) {
    *why = "it is UTF-16 big-endian text, which is not read (save it as UTF-16LE or UTF-8)";
    return false;
  }
  return true;
}

bool EncodeConfigText(std::string_view text, std::string* bytes) {
  std::string crlf;
  crlf.reserve(text.size() + text.size() / 16);
  for (char c : text) {
    if (c == '\n') crlf.push_back('\r');
    crlf.push_back(c);
  }
  std::u16string units;
  if (!platform::Utf8ToUtf16(crlf, &units)) return false;
  *bytes = std::string(kUtf16LeBom) + platform::Utf16ToLeBytes(units);
  return true;
}
