#include "editor/config_editor.h"

#include <algorithm>
#include <charconv>
#include <limits>

#include "common/config/password_hash.h"
#include "platform/text.h"

namespace {

constexpr char kInformation[] = "情報";
constexpr char kConfirmation[] = "確認";
constexpr char kSaveAborted[] = "設定ファイルの保存が中断されました。";
constexpr int32_t kDefaultPort = 12345;

// Removes the elements at `rows`, each once, whatever their order.
template <typename T>
void RemoveRows(std::vector<T>* list, std::vector<int> rows) {
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  for (auto row = rows.rbegin(); row != rows.rend(); ++row) {
    if (*row >= 0 && static_cast<size_t>(*row) < list->size()) list->erase(list->begin() + *row);
  }
}

}  // namespace

FileDialog ConfigFileDialog(FileDialog::Mode mode, const std::string& initial_path) {
  return FileDialog{mode, {{"conファイル(con)", "*.con"}}, "con", initial_path};
}

int32_t NumberFromText(std::string_view text) {
  int32_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error == std::errc::result_out_of_range) {
    return text.front() == '-' ? 0 : std::numeric_limits<int32_t>::max();
  }
  if (error != std::errc() || end != text.data() + text.size()) return 0;
  return value;
}

std::string PrivilegeText(int32_t privilege) {
  if (privilege == 0) return "0:通常";
  if (privilege == 1) return "1:アップロードを許可";
  return "";
}

bool HasConfigExtension(const std::string& path) {
  // The extension starts at the last dot of the file name. Lower-casing only ASCII letters is
  // enough: no other character becomes "c", "o" or "n" in lower case.
  size_t name_start = path.rfind('/') + 1;  // npos + 1 == 0
  size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot < name_start || path.size() - dot != 4) return false;
  return platform::EqualsIgnoreCase(path.substr(dot), ".con");
}

EditorSettings ConfigEditor::Load(const std::string& path) {
  EditorSettings settings;
  settings.parse(path);
  current_path_ = path;
  folders_ = settings.folders;
  accounts_ = settings.users;
  loaded_ = settings;
  return settings;
}

bool ConfigEditor::ChooseAndLoad(EditorSettings* loaded) {
  std::string path;
  if (!prompts_->ChooseFile(ConfigFileDialog(FileDialog::Mode::kOpen, current_path_), &path)) {
    return false;
  }
  *loaded = Load(path);
  return true;
}

bool ConfigEditor::LoadDropped(const std::vector<std::string>& paths, EditorSettings* loaded) {
  bool any = false;
  for (const std::string& path : paths) {
    if (!HasConfigExtension(path)) continue;
    *loaded = Load(path);
    any = true;
  }
  return any;
}

bool ConfigEditor::ChooseAndAddFolder() {
  std::string folder;
  if (!prompts_->ChooseFolder(&folder)) return false;
  folders_.push_back(folder);
  return true;
}

void ConfigEditor::RemoveFolders(std::vector<int> rows) {
  RemoveRows(&folders_, std::move(rows));
}

bool ConfigEditor::ChooseDatabaseFile(const std::string& current, std::string* path) {
  FileDialog dialog{FileDialog::Mode::kSave,
                    {{"datファイル(dat)", "*.dat"}, {"dbファイル(db)", "*.db"}},
                    "dat",
                    current};
  return prompts_->ChooseFile(dialog, path);
}

bool ConfigEditor::ChoosePemFile(const std::string& current, std::string* path) {
  FileDialog dialog{FileDialog::Mode::kOpen,
                    {{"pemファイル(pem)", "*.pem"}, {"すべてのファイル", "*"}},
                    "pem",
                    current};
  return prompts_->ChooseFile(dialog, path);
}

bool ConfigEditor::AddOrChangeAccount(const std::string& name, const std::string& password,
                                      int32_t privilege) {
  if (name.empty()) {
    prompts_->Message("ユーザー名が設定されていません", "", MessageIcon::kNone);
    return false;
  }
  std::string hash;
  if (!PasswordHash(name, password, &hash)) {
    prompts_->Message(
        "ユーザー名かパスワードに、UTF-8で表せない文字が含まれています。\r\n"
        "別の文字で設定して下さい。",
        kInformation, MessageIcon::kWarning);
    return false;
  }
  auto same_name = std::find_if(accounts_.begin(), accounts_.end(),
                                [&](const EditorAccount& a) { return a.name == name; });
  if (same_name != accounts_.end()) {
    same_name->hash = hash;
    same_name->privilege = privilege;
  } else {
    accounts_.push_back(EditorAccount{name, hash, privilege});
  }
  return true;
}

void ConfigEditor::RemoveAccounts(std::vector<int> rows) {
  RemoveRows(&accounts_, std::move(rows));
}

bool ConfigEditor::SettingsReadyToSave(const EditorSettings& values) {
  bool ready = true;
  if (folders_.empty()) {
    prompts_->Message("検索するフォルダが設定されていません。\n検索フォルダを設定して下さい。",
                      kInformation, MessageIcon::kNone);
    ready = false;
  } else if (values.upnp) {
    ready =
        prompts_->ConfirmOkCancel(
            "UPNPを有効にしてインターネットからアクセス可能にしますが宜しいですか?",
            kConfirmation) &&
        (values.need_user ||
         prompts_->ConfirmOkCancel(
             "アクセスにユーザー名パスワードが不要になっていますが宜しいですか?", kConfirmation));
  }
  // Asked whatever the earlier checks found, so both faults are named at once.
  if (values.need_user && accounts_.empty()) {
    prompts_->Message(
        "アクセス可能なユーザーが設定されていません。\r\n"
        "ユーザー名パスワードと権限を設定して下さい。",
        kConfirmation, MessageIcon::kWarning);
    ready = false;
  }
  return ready;
}

bool ConfigEditor::Save(EditorSettings values) {
  if (!SettingsReadyToSave(values)) {
    prompts_->Message(kSaveAborted, kInformation, MessageIcon::kNone);
    return false;
  }
  std::string path;
  if (!prompts_->ChooseFile(ConfigFileDialog(FileDialog::Mode::kSave, current_path_), &path)) {
    return false;
  }
  if (values.port <= 0) {
    prompts_->Message("ポート番号が0以下だったので通常の12345になりました。", kInformation,
                      MessageIcon::kNone);
    values.port = kDefaultPort;
  }
  values.folders = folders_;
  values.users = accounts_;
  CopyUnshownSettings(loaded_, &values);
  // The file is replaced whole or not at all, so a failed write leaves any old file intact.
  if (!values.write(path)) {
    prompts_->Message(kSaveAborted, kInformation, MessageIcon::kNone);
    return false;
  }
  current_path_ = path;
  prompts_->Message("設定ファイルの保存が完了しました。\r\n" + path, kInformation,
                    MessageIcon::kNone);
  return true;
}
