// The editor's record of a configuration file, with the parser and the writer it edits it by.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// One account as the editor shows and stores it; `name` and `hash` are UTF-8.
struct EditorAccount {
  std::string name;
  std::string hash;       // PasswordHash of the name and password
  int32_t privilege = 0;  // 0 ordinary access, 1 may upload

  bool operator==(const EditorAccount&) const = default;
};

struct EditorSettings {
  // Resets the record to the editor's defaults and fills it from the file at `path` (used as
  // given). Only a file that opens sets hash_file_name, to "hash." + port + ".dat" unless the
  // file names one. Returns whether the file was opened; otherwise the defaults stay, with no
  // folders, accounts or database file name. The fields and their keys are the rows of
  // settings_table.h; the file's other elements are kept in unknown_elements.
  bool parse(const std::string& path);

  // Writes the record as a configuration file: UTF-16LE with a byte-order mark, CR LF line
  // ends, the elements in the order that keeps prefix matching right, then the unknown
  // elements. UPnP_PORT is written, after UPnP, only when it is not 0 (0 means "the same as
  // PORT", which is also what its absence means); BUFFER_SIZE only when the loaded file held
  // it. The file is replaced whole or not at all: returns false, leaving any old file as it
  // was, when it cannot be written or a text is not valid UTF-8.
  bool write(const std::string& path) const;

  std::vector<std::string> folders;
  int32_t port = 12345;  // parse keeps the low 16 bits; write writes the number as it is
  bool sub = false;
  bool sort_windows = false;
  bool reset_standby_access = false;
  bool show_fullpath = false;
  bool open_new_tab = false;
  bool open_name_thumbnail_folder = false;
  bool top_folder = false;
  bool zip_reject = false;
  bool zip_reject_upload = false;
  std::string title = "Lumenvale";
  std::string hash_file_name;  // written only when not empty
  bool upnp = false;
  int32_t upnp_port = 0;  // external port of the mapping; 0 means PORT
  bool need_user = false;
  std::vector<EditorAccount> users;
  bool https = false;  // HTTPS, TLS_CERT and TLS_KEY are written only when set
  std::string tls_cert;
  std::string tls_key;
  // Not shown by the dialog: kept from the loaded file and written back as it was read.
  std::optional<uint32_t> buffer_size;        // empty when the file had none
  std::vector<std::string> unknown_elements;  // elements no setting names, verbatim, in order

  bool operator==(const EditorSettings&) const = default;
};

// Copies into `values` what the editor's dialog does not show, taken from the record of the
// file the editor `loaded`: the settings kept from the file and the unknown elements. A file
// loaded and saved thereby keeps everything the dialog cannot change.
void CopyUnshownSettings(const EditorSettings& loaded, EditorSettings* values);
