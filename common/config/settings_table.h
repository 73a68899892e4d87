// The settings of the configuration file, one row each: the place to add a setting.
//
// A row names the element's key, the kind of value it holds, what an absent element reads as,
// the field the server keeps it in, the field the editor keeps it in (and whether the editor's
// dialog shows it), when the editor writes it, and the line /info shows for it. Both readers,
// the editor's writer and /info walk this table, so a new setting is a row here, its fields in
// ServerSettings and EditorSettings, and the code that uses it.
//
// The rows are in the order the editor writes them, and that order matters: readers take the
// first opening tag that starts with "<" + key, so "<ZIP_REJECT" also opens ZIP_REJECT_UPLOAD.
// A key must therefore come before every longer key that starts with it: ZIP_REJECT before
// ZIP_REJECT_UPLOAD, UPnP before UPnP_PORT, USER before the USER_NAME inside it.
// Internal to lv_config.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "common/config/editor_settings.h"
#include "common/config/server_settings.h"
#include "common/config/setting_status_lines.h"

enum class SettingKind {
  kFolderList,    // text, one element per folder, in list order
  kPort,          // unsigned number (see config_number.h), its low 16 bits kept
  kFlag,          // unsigned number; 0 is off, anything else on
  kSignedFlag,    // signed decimal; 0 is off, anything else on
  kNumber,        // unsigned 32-bit number
  kText,          // raw text, untrimmed
  kHashFileName,  // raw text; an absent element reads as "hash." + PORT + ".dat"
  kAccounts,      // one element per account, holding the account elements below
};

// When the editor writes a setting's element. A set value is a non-empty text, a number that
// is not 0, or a value the loaded file held.
enum class SettingWritten { kAlways, kWhenSet };

// The elements inside each account (kAccounts) element, in the order they are written.
inline constexpr char kAccountNameKey[] = "USER_NAME";
inline constexpr char kAccountHashKey[] = "HASH";
inline constexpr char kAccountPrivilegeKey[] = "PRIV";

using ServerField =
    std::variant<std::vector<std::string> ServerSettings::*,
                 std::vector<UserAccount> ServerSettings::*, std::string ServerSettings::*,
                 uint32_t ServerSettings::*, uint16_t ServerSettings::*, int32_t ServerSettings::*>;

using EditorMember =
    std::variant<std::vector<std::string> EditorSettings::*,
                 std::vector<EditorAccount> EditorSettings::*, std::string EditorSettings::*,
                 bool EditorSettings::*, int32_t EditorSettings::*,
                 std::optional<uint32_t> EditorSettings::*>;

// Where the editor keeps a setting. A setting its dialog does not show is kept from the file
// the editor loaded and written back as it was read.
struct EditorField {
  EditorMember member;
  bool in_dialog;
};

template <typename T>
constexpr EditorField InDialog(T EditorSettings::*member) {
  return {member, true};
}

template <typename T>
constexpr EditorField KeptFromFile(T EditorSettings::*member) {
  return {member, false};
}

// The line /info shows for a setting, at `place`: label + value + suffix, once per value of a
// list, numbers in decimal, texts escaped by the page. A line with words shows `when_one` for
// the value 1 and `otherwise` for any other value in place of label, value and suffix.
struct StatusLine {
  StatusPlace place = StatusPlace::kNotShown;
  const char* label = "";
  const char* suffix = "";
  bool only_with_full_paths = false;  // shown only when SHOW_FULLPATH is not 0
  const char* when_one = nullptr;
  const char* otherwise = nullptr;
};

constexpr StatusLine kNotOnInfo{};

constexpr StatusLine OnInfo(StatusPlace place, const char* label, const char* suffix = "") {
  return {place, label, suffix, false, nullptr, nullptr};
}

constexpr StatusLine OnInfoWithFullPaths(StatusPlace place, const char* label) {
  return {place, label, "", true, nullptr, nullptr};
}

constexpr StatusLine OnInfoAsWords(StatusPlace place, const char* when_one, const char* otherwise) {
  return {place, "", "", false, when_one, otherwise};
}

struct Setting {
  const char* key;
  SettingKind kind;
  // What an absent or malformed element reads as, in the file's own notation; nullptr for the
  // lists (empty) and the hash file name (derived from PORT). An editor field that is optional
  // stays empty instead, so the editor writes back only what the file held.
  const char* absent;
  ServerField server;
  EditorField editor;
  SettingWritten written;
  StatusLine status;
};

// clang-format off
inline constexpr Setting kSettings[] = {
  {"PATH", SettingKind::kFolderList, nullptr,
   &ServerSettings::folders, InDialog(&EditorSettings::folders), SettingWritten::kAlways,
   OnInfoWithFullPaths(StatusPlace::kSearchPaths, "")},
  {"PORT", SettingKind::kPort, "12345",
   &ServerSettings::port, InDialog(&EditorSettings::port), SettingWritten::kAlways,
   OnInfo(StatusPlace::kNetwork, "Internal Port No:")},
  {"SUB", SettingKind::kFlag, "0",
   &ServerSettings::sub, InDialog(&EditorSettings::sub), SettingWritten::kAlways,
   OnInfoWithFullPaths(StatusPlace::kAfterLinks, "Status \"Search sub\" is ")},
  {"SORT_WINDOWS", SettingKind::kFlag, "0",
   &ServerSettings::sort_windows, InDialog(&EditorSettings::sort_windows),
   SettingWritten::kAlways, kNotOnInfo},
  {"RESET_STANDBY_ACCESS", SettingKind::kFlag, "0",
   &ServerSettings::reset_standby_access, InDialog(&EditorSettings::reset_standby_access),
   SettingWritten::kAlways,
   OnInfoAsWords(StatusPlace::kOptions, "アクセスでスリープへのカウントをリセットする",
                 "アクセスでスリープへのカウントをリセットしない")},
  {"SHOW_FULLPATH", SettingKind::kFlag, "0",
   &ServerSettings::show_fullpath, InDialog(&EditorSettings::show_fullpath),
   SettingWritten::kAlways, kNotOnInfo},
  {"OPEN_NEW_TAB", SettingKind::kFlag, "0",
   &ServerSettings::open_new_tab, InDialog(&EditorSettings::open_new_tab),
   SettingWritten::kAlways, kNotOnInfo},
  {"OPEN_NAME_THUMBNAIL_FOLDER", SettingKind::kFlag, "0",
   &ServerSettings::open_name_thumbnail_folder,
   InDialog(&EditorSettings::open_name_thumbnail_folder), SettingWritten::kAlways, kNotOnInfo},
  {"TOP_FOLDER", SettingKind::kFlag, "0",
   &ServerSettings::top_folder, InDialog(&EditorSettings::top_folder), SettingWritten::kAlways,
   kNotOnInfo},
  {"ZIP_REJECT", SettingKind::kFlag, "0",
   &ServerSettings::zip_reject, InDialog(&EditorSettings::zip_reject), SettingWritten::kAlways,
   OnInfo(StatusPlace::kOptions, "zip_reject:")},
  {"ZIP_REJECT_UPLOAD", SettingKind::kFlag, "0",
   &ServerSettings::zip_reject_upload, InDialog(&EditorSettings::zip_reject_upload),
   SettingWritten::kAlways, OnInfo(StatusPlace::kOptions, "zip_upload_reject:")},
  {"TITLE", SettingKind::kText, "Lumenvale",
   &ServerSettings::title, InDialog(&EditorSettings::title), SettingWritten::kAlways,
   OnInfo(StatusPlace::kAfterFileName, "Title is \"", "\"")},
  {"HASH_FILE_NAME", SettingKind::kHashFileName, nullptr,
   &ServerSettings::hash_file_name, InDialog(&EditorSettings::hash_file_name),
   SettingWritten::kWhenSet, kNotOnInfo},
  {"NEED_USER", SettingKind::kSignedFlag, "0",
   &ServerSettings::need_user, InDialog(&EditorSettings::need_user), SettingWritten::kAlways,
   kNotOnInfo},
  {"USER", SettingKind::kAccounts, nullptr,
   &ServerSettings::users, InDialog(&EditorSettings::users), SettingWritten::kAlways,
   kNotOnInfo},
  {"UPnP", SettingKind::kFlag, "0",
   &ServerSettings::upnp, InDialog(&EditorSettings::upnp), SettingWritten::kAlways,
   kNotOnInfo},
  // 0 means "the same as PORT", as an absent element does.
  {"UPnP_PORT", SettingKind::kPort, "0",
   &ServerSettings::upnp_port, InDialog(&EditorSettings::upnp_port), SettingWritten::kWhenSet,
   kNotOnInfo},
  // HTTPS on the same port. Written only when set, so a file that does not use it is
  // written as before; /info shows them only while HTTPS is on.
  {"HTTPS", SettingKind::kFlag, "0",
   &ServerSettings::https, InDialog(&EditorSettings::https), SettingWritten::kWhenSet,
   OnInfo(StatusPlace::kTls, "HTTPS:")},
  {"TLS_CERT", SettingKind::kText, "",
   &ServerSettings::tls_cert, InDialog(&EditorSettings::tls_cert), SettingWritten::kWhenSet,
   OnInfo(StatusPlace::kTls, "TLS_CERT:\"", "\"")},
  {"TLS_KEY", SettingKind::kText, "",
   &ServerSettings::tls_key, InDialog(&EditorSettings::tls_key), SettingWritten::kWhenSet,
   OnInfo(StatusPlace::kTls, "TLS_KEY:\"", "\"")},
  {"BUFFER_SIZE", SettingKind::kNumber, "30",
   &ServerSettings::buffer_size, KeptFromFile(&EditorSettings::buffer_size),
   SettingWritten::kWhenSet, OnInfo(StatusPlace::kOptions, "Size of buffer:")},
};
// clang-format on
