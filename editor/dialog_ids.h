// The ids of the main dialog's controls, which are also their Qt object names, and the way
// scripts and tests find them.
#pragma once

namespace dialog_ids {

enum : int {
  kSave = 1,  // the default button
  kCancel = 2,
  kFolderList = 1000,
  kAddFolder = 1001,
  kDeleteFolders = 1002,
  kBrowseDatabase = 1003,
  kSub = 1004,
  kPort = 1005,
  kUpnpPort = 1006,
  kTitle = 1007,
  kUpnp = 1008,
  kDatabase = 1010,
  kAccountList = 1011,
  kNeedUser = 1012,
  kUserName = 1013,
  kPassword = 1014,
  kAddAccount = 1015,
  kDeleteAccounts = 1016,
  kPrivilege = 1017,
  kLoad = 1018,
  kSortWindows = 1019,
  kResetStandbyAccess = 1020,
  kZipRejectUpload = 1021,
  kZipReject = 1022,
  kShowFullpath = 1023,
  kOpenNewTab = 1024,
  kOpenNameThumbnailFolder = 1025,
  kTopFolder = 1026,
  kInstallService = 1027,
  kUninstallService = 1028,
  kHttps = 1029,
  kTlsCert = 1030,
  kBrowseTlsCert = 1031,
  kTlsKey = 1032,
  kBrowseTlsKey = 1033,
  kAbout = 57664,
};

}  // namespace dialog_ids
