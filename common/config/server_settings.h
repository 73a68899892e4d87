// The server's read-only record of its configuration file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One account allowed in when authentication is on. Its name is kept in both forms a Digest
// header may carry it: UTF-8, as browsers send it, and code page 932, as older clients did.
// `hash` is the Digest HA1 (MD5 of name:secret:password), made from the name and password in
// the encoding the account's clients use (UTF-8 for every hash Quillon makes).
struct UserAccount {
  std::string name;  // UTF-8, as the file holds it
  std::string hash;
  int32_t privilege = 0;   // 0 ordinary access, 1 may upload
  std::string name_cp932;  // empty when the name has no code page 932 form
};

// What a start must tell about its configuration file, beyond the settings read.
struct ConfigReport {
  std::string error;                  // why the settings must not be served; empty when they may
  std::vector<std::string> warnings;  // what in the file was ignored
};

struct ServerSettings {
  // Reads the configuration named by `command_line` (the text between its first two double
  // quotes, else the whole text). Fields keep their defaults where the file is silent; when no
  // file could be read, the user's pictures folder is served. Returns whether a file was read.
  // Which key fills which field is the table in settings_table.h.
  bool load(const std::string& command_line);
  // load, for a start: a command line that names a file (any non-empty one) must name one
  // that can be read, and its values must be in range; otherwise `report->error` says which
  // file and why, or which key. Warnings name what was ignored. Returns whether the settings
  // may be served (the error is empty); without a command line they are the defaults.
  bool LoadForStart(const std::string& command_line, ConfigReport* report);

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
  uint32_t https = 0;    // the port speaks TLS (and redirects plain HTTP to https://)
  std::string tls_cert;  // PEM certificate chain; empty: a self-signed one is made and kept
  std::string tls_key;   // PEM private key of tls_cert
};
