#include "common/config/server_settings.h"

#include "common/config/config_keys.h"
#include "common/config/config_number.h"
#include "common/config/config_text.h"
#include "common/config/tag_lookup.h"
#include "platform/known_folders.h"
#include "platform/text.h"

namespace {

namespace keys = config_keys;

// The text between the first two double quotes, else the whole command line: a service's
// command line is the executable followed by the quoted configuration path, and an unquoted
// executable path with a blank leaves a stray word before the quote.
std::string ConfigPathOf(const std::string& command_line) {
  size_t first = command_line.find('"');
  size_t second = first == std::string::npos ? first : command_line.find('"', first + 1);
  if (second == std::string::npos) return command_line;
  return command_line.substr(first + 1, second - first - 1);
}

void ReadUnsigned(const std::string& text, const char* key, uint32_t* field) {
  std::string value;
  if (FindTagValue(text, key, &value)) *field = ParseConfigUnsigned(value);
}

void ReadPort(const std::string& text, const char* key, uint16_t* field) {
  std::string value;
  if (FindTagValue(text, key, &value)) *field = static_cast<uint16_t>(ParseConfigUnsigned(value));
}

// An account whose name or hash has no code page 932 form could never match what a browser
// sends, so it is left out rather than stored garbled.
void ReadUsers(const std::string& text, std::vector<UserAccount>* users) {
  for (const std::string& element : FindAllTagValues(text, keys::kUser)) {
    std::string name, hash, priv;
    FindTagValue(element, keys::kUserName, &name);
    FindTagValue(element, keys::kHash, &hash);
    FindTagValue(element, keys::kPriv, &priv);
    UserAccount account;
    if (!platform::Utf8ToCp932(name, &account.name)) continue;
    if (!platform::Utf8ToCp932(hash, &account.hash)) continue;
    account.privilege = ParseConfigSigned(priv);
    users->push_back(std::move(account));
  }
}

}  // namespace

bool ServerSettings::load(const std::string& command_line) {
  *this = ServerSettings();
  std::string path = ConfigPathOf(command_line);
  std::string text;
  if (!path.empty() && ReadConfigText(path, &text)) {
    config_path = path;
    loaded = true;
    folders = FindAllTagValues(text, keys::kPath);
    ReadPort(text, keys::kPort, &port);
    hash_file_name = "hash." + std::to_string(port) + ".dat";
    ReadUnsigned(text, keys::kSub, &sub);
    ReadUnsigned(text, keys::kSortWindows, &sort_windows);
    ReadUnsigned(text, keys::kResetStandbyAccess, &reset_standby_access);
    ReadUnsigned(text, keys::kTopFolder, &top_folder);
    FindTagValue(text, keys::kTitle, &title);
    ReadUnsigned(text, keys::kOpenNewTab, &open_new_tab);
    ReadUnsigned(text, keys::kOpenNameThumbnailFolder, &open_name_thumbnail_folder);
    FindTagValue(text, keys::kHashFileName, &hash_file_name);
    ReadUnsigned(text, keys::kUpnp, &upnp);
    ReadPort(text, keys::kUpnpPort, &upnp_port);
    ReadUnsigned(text, keys::kBufferSize, &buffer_size);
    ReadUnsigned(text, keys::kZipReject, &zip_reject);
    ReadUnsigned(text, keys::kZipRejectUpload, &zip_reject_upload);
    ReadUnsigned(text, keys::kShowFullpath, &show_fullpath);
    std::string value;
    if (FindTagValue(text, keys::kNeedUser, &value)) need_user = ParseConfigSigned(value);
    ReadUsers(text, &users);
  }
  if (!loaded) folders.push_back(platform::PicturesFolder());
  return loaded;
}
