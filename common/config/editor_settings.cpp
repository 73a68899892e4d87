#include "common/config/editor_settings.h"

#include "common/config/config_keys.h"
#include "common/config/config_number.h"
#include "common/config/config_text.h"
#include "common/config/tag_lookup.h"
#include "platform/file_replace.h"

namespace {

namespace keys = config_keys;

void ReadFlag(const std::string& text, const char* key, bool* field) {
  std::string value;
  if (FindTagValue(text, key, &value)) *field = ParseConfigUnsigned(value) != 0;
}

void ReadPort(const std::string& text, const char* key, int32_t* field) {
  std::string value;
  if (FindTagValue(text, key, &value)) *field = static_cast<uint16_t>(ParseConfigUnsigned(value));
}

std::vector<EditorAccount> ReadAccounts(const std::string& text) {
  std::vector<EditorAccount> accounts;
  size_t count = CountTagValues(text, keys::kUser);
  for (size_t i = 0; i < count; ++i) {
    std::string element, priv;
    GetTagValueAt(text, keys::kUser, i, &element);
    EditorAccount account;
    FindTagValue(element, keys::kUserName, &account.name);
    FindTagValue(element, keys::kHash, &account.hash);
    FindTagValue(element, keys::kPriv, &priv);
    account.privilege = ParseConfigSigned(priv);
    accounts.push_back(std::move(account));
  }
  return accounts;
}

std::string Element(const char* key, const std::string& value) {
  return std::string("<") + key + ">" + value + "</" + key + ">";
}

std::string Line(const char* key, const std::string& value) {
  return Element(key, value) + "\n";
}

std::string Line(const char* key, int64_t value) {
  return Line(key, std::to_string(value));
}

// The whole file as UTF-8 text with "\n" line ends. Every key precedes the longer keys it is a
// prefix of, since readers take the first element whose opening tag starts with "<" + key.
std::string FormatConfigText(const EditorSettings& s) {
  std::string text;
  for (const std::string& folder : s.folders) text += Line(keys::kPath, folder);
  text += Line(keys::kPort, s.port);
  text += Line(keys::kSub, s.sub);
  text += Line(keys::kSortWindows, s.sort_windows);
  text += Line(keys::kResetStandbyAccess, s.reset_standby_access);
  text += Line(keys::kShowFullpath, s.show_fullpath);
  text += Line(keys::kOpenNewTab, s.open_new_tab);
  text += Line(keys::kOpenNameThumbnailFolder, s.open_name_thumbnail_folder);
  text += Line(keys::kTopFolder, s.top_folder);
  text += Line(keys::kZipReject, s.zip_reject);
  text += Line(keys::kZipRejectUpload, s.zip_reject_upload);
  text += Line(keys::kTitle, s.title);
  if (!s.hash_file_name.empty()) text += Line(keys::kHashFileName, s.hash_file_name);
  text += Line(keys::kNeedUser, s.need_user);
  for (const EditorAccount& user : s.users) {
    text +=
        Element(keys::kUser, Element(keys::kUserName, user.name) + Element(keys::kHash, user.hash) +
                                 Element(keys::kPriv, std::to_string(user.privilege)));
  }
  text += Line(keys::kUpnp, s.upnp);
  if (s.upnp_port != 0) text += Line(keys::kUpnpPort, s.upnp_port);
  return text;
}

}  // namespace

bool EditorSettings::parse(const std::string& path) {
  *this = EditorSettings();
  std::string text;
  if (path.empty() || !ReadConfigText(path, &text)) return false;
  folders = FindAllTagValues(text, keys::kPath);
  ReadPort(text, keys::kPort, &port);
  hash_file_name = "hash." + std::to_string(port) + ".dat";
  ReadFlag(text, keys::kSub, &sub);
  ReadFlag(text, keys::kSortWindows, &sort_windows);
  ReadFlag(text, keys::kResetStandbyAccess, &reset_standby_access);
  ReadFlag(text, keys::kShowFullpath, &show_fullpath);
  ReadFlag(text, keys::kOpenNewTab, &open_new_tab);
  ReadFlag(text, keys::kOpenNameThumbnailFolder, &open_name_thumbnail_folder);
  ReadFlag(text, keys::kTopFolder, &top_folder);
  ReadFlag(text, keys::kZipReject, &zip_reject);
  ReadFlag(text, keys::kZipRejectUpload, &zip_reject_upload);
  FindTagValue(text, keys::kTitle, &title);
  FindTagValue(text, keys::kHashFileName, &hash_file_name);
  ReadFlag(text, keys::kUpnp, &upnp);
  ReadPort(text, keys::kUpnpPort, &upnp_port);
  std::string value;
  if (FindTagValue(text, keys::kNeedUser, &value)) need_user = ParseConfigSigned(value) != 0;
  users = ReadAccounts(text);
  return true;
}

bool EditorSettings::write(const std::string& path) const {
  std::string bytes;
  return EncodeConfigText(FormatConfigText(*this), &bytes) &&
         platform::ReplaceFileContents(path, bytes);
}
