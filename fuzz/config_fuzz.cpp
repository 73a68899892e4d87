// Configuration text: decoding any bytes, then every lookup and number reading the readers do,
// the scan for unknown elements and the editor's writer over what it read.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/config/config_number.h"
#include "common/config/config_text.h"
#include "common/config/settings_io.h"
#include "common/config/settings_table.h"
#include "common/config/tag_lookup.h"

namespace {

void ReadValues(const std::string& text, const char* key) {
  std::string value;
  if (FindTagValue(text, key, &value)) {
    ParseConfigUnsigned(value);
    ParseConfigSigned(value);
  }
  size_t count = CountTagValues(text, key);
  for (size_t i = 0; i <= count; ++i) {
    if (GetTagValueAt(text, key, i, &value) != (i < count)) __builtin_trap();
  }
  if (FindAllTagValues(text, key).size() != count) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::string text;
  if (!DecodeConfigText(bytes, &text)) return 0;
  for (const Setting& setting : kSettings) ReadValues(text, setting.key);
  for (const std::string& user : FindAllTagValues(text, "USER")) {
    ReadValues(user, kAccountNameKey);
    ReadValues(user, kAccountPrivilegeKey);
  }
  // Every kept element is one the scan finds again in the written text.
  EditorSettings editor;
  ReadSettings(text, &editor);
  editor.unknown_elements = UnknownElements(text);
  if (UnknownElements(FormatConfigText(editor)).size() < editor.unknown_elements.size()) {
    __builtin_trap();
  }
  // The raw bytes as a key too, so keys with odd characters are walked as well.
  ReadValues(text, std::string(bytes.substr(0, 8)).c_str());
  std::string encoded;
  if (EncodeConfigText(text, &encoded)) {
    std::string again;
    if (!DecodeConfigText(encoded, &again) || again != text) __builtin_trap();
  }
  return 0;
}
