// Configuration text: decoding any bytes, then every lookup and number reading the readers do.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/config/config_keys.h"
#include "common/config/config_number.h"
#include "common/config/config_text.h"
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
  namespace keys = config_keys;
  for (const char* key : {keys::kPath, keys::kPort, keys::kZipReject, keys::kTitle, keys::kUpnp,
                          keys::kUpnpPort, keys::kNeedUser}) {
    ReadValues(text, key);
  }
  for (const std::string& user : FindAllTagValues(text, keys::kUser)) {
    ReadValues(user, keys::kUserName);
    ReadValues(user, keys::kPriv);
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
