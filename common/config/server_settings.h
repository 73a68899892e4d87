// The server's read-only record of its configuration file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One account allowed in when authentication is on. `name` is in code page 932, as the
// browser's Digest header carries it; `hash` is the Digest HA1 (MD5 of name:secret:password).
struct UserAccount {
  std::string name;
  std::string hash;
  int32_t privilege = 0;  // 0 ordinary access, 1 may upload
};

struct ServerSettings {
  // Reads the configuration named by `command_line` (the text between its first two double
  // quotes, else the whole text). Fields keep their defaults where the file is silent; when no
  // file could be read, the user's pictures folder is served. Returns whether a file was read.
  // Which key fills which field is the table in settings_table.h.
  bool load(const std::string& command_line);

  std::vector<UserAccount> users;
  int32_t need_user = 0;
  std::string title = "Lumenvale";
  std::string config_path;
  std::vector<std::string> folders;
  uint32_t sub = 0;
  uint16_t port = 12345;
  std::string hash_file_name = "hash.12345.dat";
  uint32_t upnp = 0;
  uint16_t upnp_port = 0;
  uint32_t sort_windows = 0;
  uint32_t reset_standby_access = 0;
  uint32_t open_new_tab = 0;
  uint32_t open_name_thumbnail_folder = 0;
  bool loaded = false;
  uint32_t zip_reject = 0;
  uint32_t zip_reject_upload = 0;
  uint32_t show_fullpath = 0;
  uint32_t top_folder = 0;
  uint32_t buffer_size = 30;
};
