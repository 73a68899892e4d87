// The Quillon editor's editing core: the state its dialog shows (the current file, the folders,
// the accounts) and the commands that change it, with every check and message, apart from any
// window. The dialog keeps the other values in its controls and hands them over on save.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/config/editor_settings.h"
#include "editor/editor_prompts.h"

// The dialog for choosing a configuration file to open or to save to, at `initial_path`.
FileDialog ConfigFileDialog(FileDialog::Mode mode, const std::string& initial_path);

// The text of a numbers-only edit as a number: empty or non-numeric text gives 0, a value beyond
// the int32 range gives INT32_MAX.
int32_t NumberFromText(std::string_view text);

// Privilege texts as the account list and the privilege drop-down show them: "0:通常" and
// "1:アップロードを許可"; empty for any other value.
std::string PrivilegeText(int32_t privilege);

// Whether a dropped file is a configuration file: its extension, in lower case, is ".con".
bool HasConfigExtension(const std::string& path);

class ConfigEditor {
 public:
  // `prompts` must outlive the editor.
  explicit ConfigEditor(EditorPrompts* prompts) : prompts_(prompts) {}

  const std::string& current_path() const { return current_path_; }
  const std::vector<std::string>& folders() const { return folders_; }
  const std::vector<EditorAccount>& accounts() const { return accounts_; }

  // Reads the file at `path` and makes it the current file, its folders and accounts the
  // editor's, and keeps what the dialog does not show (see Save). A file that cannot be read
  // still becomes current, with the defaults and no folders, accounts or database file name.
  // Returns the record for the other controls.
  EditorSettings Load(const std::string& path);

  // The load command: asks for a configuration file and loads it. False when cancelled.
  bool ChooseAndLoad(EditorSettings* loaded);

  // Loads every configuration file among `paths`, in their order (other files are passed
  // over). False when there was none; otherwise `loaded` is the record of the last one.
  bool LoadDropped(const std::vector<std::string>& paths, EditorSettings* loaded);

  // Asks for a folder and appends it (the same folder may appear twice). False when cancelled.
  bool ChooseAndAddFolder();
  // Removes the folders at the given rows; rows outside the list are passed over.
  void RemoveFolders(std::vector<int> rows);

  // Asks for a database (hash list) file, starting at `current`. False when cancelled.
  bool ChooseDatabaseFile(const std::string& current, std::string* path);
  // Asks for an existing PEM file (a certificate chain or a private key), starting at
  // `current`. False when cancelled.
  bool ChoosePemFile(const std::string& current, std::string* path);

  // Adds an account, or replaces the hash and privilege of the account with exactly this name.
  // The hash is made from the UTF-8 text, as browsers compute their answers (PasswordHash).
  // An empty name, or a name or password that is not UTF-8, is refused with a message; returns
  // whether the accounts changed.
  bool AddOrChangeAccount(const std::string& name, const std::string& password, int32_t privilege);
  // Removes the accounts at the given rows; rows outside the list are passed over.
  void RemoveAccounts(std::vector<int> rows);

  // The save command. `values` holds what the controls show (its folders and users are ignored:
  // the editor's own are written; port and upnp_port as NumberFromText read them). What the
  // dialog does not show is written as the last loaded file held it (CopyUnshownSettings), so
  // a file loaded and saved loses nothing. Runs the checks, asks for the file and writes it
  // whole or not at all. Returns true when the file was written, after which the editor
  // closes; every other ending leaves the editor as it was.
  bool Save(EditorSettings values);

 private:
  // The checks before a file is chosen; false when the save is to be aborted.
  bool SettingsReadyToSave(const EditorSettings& values);

  EditorPrompts* prompts_;
  std::string current_path_;
  std::vector<std::string> folders_;
  std::vector<EditorAccount> accounts_;
  EditorSettings loaded_;  // the last file loaded, for what the dialog does not show
};
