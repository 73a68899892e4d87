#include "editor/service_installer.h"

#include "common/config/editor_settings.h"
#include "editor/config_editor.h"

namespace {

constexpr char kInformation[] = "情報";
constexpr char kConfirmation[] = "確認";

}  // namespace

bool ServiceInstaller::Prepare(const std::string& current_path, ServiceCommand* command,
                               uint16_t* port, bool* has_folders) {
  if (!is_administrator_()) {
    prompts_->Message(
        "必要な管理者権限がありませんでした。\r\n"
        "お手数ですが、「管理者として実行」でプログラムを起動し、再度実行してください。",
        kInformation, MessageIcon::kNone);
    return false;
  }
  FileDialog program{
      FileDialog::Mode::kOpen, {{"lumenvaleファイル", "*lumenvale"}}, "", current_path};
  if (!prompts_->ChooseFile(program, &command->executable)) return false;
  command->config_path.clear();
  EditorSettings config;
  if (prompts_->ChooseFile(ConfigFileDialog(FileDialog::Mode::kOpen, current_path),
                           &command->config_path)) {
    config.parse(command->config_path);
  }
  *port = static_cast<uint16_t>(config.port);
  *has_folders = !config.folders.empty();
  return true;
}

bool ServiceInstaller::Install(const std::string& current_path) {
  ServiceCommand command;
  uint16_t port;
  bool has_folders;
  if (!Prepare(current_path, &command, &port, &has_folders)) return false;
  if (!has_folders &&
      !prompts_->AskYesNoCancel("画像フォルダが設定されていないため、\r\n"
                                "サービスとして実行すると画像が見つからない可能性がありますが、\r\n"
                                "このままインストールを続けますか？",
                                kConfirmation)) {
    return false;
  }
  const std::string name = ServiceName(port);
  std::string error;
  if ((control_->ServiceInstalled(name) && !control_->RemoveService(name, &error)) ||
      !control_->InstallService(command, name, &error)) {
    prompts_->Message("サービスのインストールに失敗しました。\r\n" + error, kInformation,
                      MessageIcon::kWarning);
    return false;
  }
  prompts_->Message("指定されたポート番号でインストールされました。", kInformation,
                    MessageIcon::kNone);
  bool started = true;
  if (prompts_->AskYesNoCancel("続けてサービスを実行しますか?", kConfirmation) &&
      !control_->RunService(name, &error)) {
    prompts_->Message("サービスの開始に失敗しました。\r\n" + error, kInformation,
                      MessageIcon::kWarning);
    started = false;
  }
  prompts_->Message(
      "他の端末からのアクセスを許可するために、ファイアウォール(nftables、ufw、"
      "firewalldなど)でポート" +
          std::to_string(port) + "番への通信を許可してください。",
      kInformation, MessageIcon::kNone);
  return started;
}

bool ServiceInstaller::Uninstall(const std::string& current_path) {
  ServiceCommand command;
  uint16_t port;
  bool has_folders;
  if (!Prepare(current_path, &command, &port, &has_folders)) return false;
  const std::string name = ServiceName(port);
  if (!control_->ServiceInstalled(name)) {
    prompts_->Message("指定されたポート番号ではインストールされませんでした。", kInformation,
                      MessageIcon::kNone);
    return false;
  }
  std::string error;
  if (!control_->RemoveService(name, &error)) {
    prompts_->Message("サービスのアンインストールに失敗しました。\r\n" + error, kInformation,
                      MessageIcon::kWarning);
    return false;
  }
  prompts_->Message("指定されたポート番号でアンインストールされました。", kInformation,
                    MessageIcon::kNone);
  return true;
}
