// The element names of the configuration file, shared by its reader and its writer.
// Internal to lv_config.
//
// Opening tags are matched as prefixes ("<ZIP_REJECT" also opens ZIP_REJECT_UPLOAD), so a
// writer must put every key before any longer key that starts with it: ZIP_REJECT before
// ZIP_REJECT_UPLOAD, UPnP before UPnP_PORT, USER before USER_NAME.
#pragma once

namespace config_keys {

inline constexpr char kPath[] = "PATH";
inline constexpr char kPort[] = "PORT";
inline constexpr char kSub[] = "SUB";
inline constexpr char kSortWindows[] = "SORT_WINDOWS";
inline constexpr char kResetStandbyAccess[] = "RESET_STANDBY_ACCESS";
inline constexpr char kShowFullpath[] = "SHOW_FULLPATH";
inline constexpr char kOpenNewTab[] = "OPEN_NEW_TAB";
inline constexpr char kOpenNameThumbnailFolder[] = "OPEN_NAME_THUMBNAIL_FOLDER";
inline constexpr char kTopFolder[] = "TOP_FOLDER";
inline constexpr char kZipReject[] = "ZIP_REJECT";
inline constexpr char kZipRejectUpload[] = "ZIP_REJECT_UPLOAD";
inline constexpr char kTitle[] = "TITLE";
inline constexpr char kHashFileName[] = "HASH_FILE_NAME";
inline constexpr char kNeedUser[] = "NEED_USER";
inline constexpr char kUser[] = "USER";
inline constexpr char kUserName[] = "USER_NAME";
inline constexpr char kHash[] = "HASH";
inline constexpr char kPriv[] = "PRIV";
inline constexpr char kUpnp[] = "UPnP";
inline constexpr char kUpnpPort[] = "UPnP_PORT";
inline constexpr char kBufferSize[] = "BUFFER_SIZE";

}  // namespace config_keys
