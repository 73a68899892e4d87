#include "editor/service_installer.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <sstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "editor/testing/scripted_prompts.h"
#include "platform/random.h"
#include "platform/run_command.h"
#include "platform/testing/test_folder.h"

namespace {

using testing::ElementsAre;

const std::string kInstalled = "[情報] 指定されたポート番号でインストールされました。";
const std::string kRunQuestion = "Yes/No/Cancel [確認] 続けてサービスを実行しますか?";
const std::string kNoFoldersQuestion =
    "Yes/No/Cancel [確認] 画像フォルダが設定されていないため、\r\n"
    "サービスとして実行すると画像が見つからない可能性がありますが、\r\n"
    "このままインストールを続けますか？";
const std::string kRights =
    "[情報] 必要な管理者権限がありませんでした。\r\n"
    "お手数ですが、「管理者として実行」でプログラムを起動し、再度実行してください。";

std::string Firewall(int port) {
  return "[情報] 他の端末からのアクセスを許可するために、ファイアウォール(nftables、ufw、"
         "firewalldなど)でポート" +
         std::to_string(port) + "番への通信を許可してください。";
}

std::string Unit(const std::string& name, const std::string& service_lines) {
  return "[Unit]\nDescription=Lumenvale picture gallery server (" + name +
         ")\nAfter=network.target\n\n[Service]\nType=notify\n" + service_lines +
         "Restart=on-failure\n\n[Install]\nWantedBy=multi-user.target\n";
}

// A unit folder and a systemctl stand-in that writes each call to a log and fails the verbs
// a test names.
class ServiceInstallerTest : public testing::Test {
 protected:
  ServiceInstallerTest() {
    std::filesystem::create_directory(folder_.Path("units"));
    const std::string stub = folder_.Write(
        "systemctl", "#!/bin/sh\necho \"$*\" >> '" + folder_.Path("calls") + "'\n" + "if [ -e '" +
                         folder_.Root() +
                         "/fail-'\"$1\" ]; then echo \"Failed to $1 $2: Access denied\" >&2; "
                         "exit 1; fi\n");
    ::chmod(stub.c_str(), 0755);
    control_ = ServiceControl(folder_.Path("units"), {stub});
    config_8080_ = folder_.Write("gallery 8080.con", "<PATH>/srv/p</PATH><PORT>8080</PORT>");
  }

  std::vector<std::string> Calls() {
    std::vector<std::string> calls;
    std::istringstream log(folder_.Read("calls"));
    for (std::string line; std::getline(log, line);) calls.push_back(line);
    std::filesystem::remove(folder_.Path("calls"));
    return calls;
  }
  std::string UnitFile(const std::string& name) { return folder_.Read("units/" + name); }
  void Fail(const std::string& verb) { folder_.Write("fail-" + verb, ""); }

  // Queues the answers to both file dialogs; nullopt cancels one.
  void Choose(std::optional<std::string> program, std::optional<std::string> config) {
    prompts_.choices = {program, config};
  }

  TestFolder folder_;
  ScriptedPrompts prompts_;
  ServiceControl control_;
  bool administrator_ = true;
  ServiceInstaller installer_{&prompts_, &control_, [this] { return administrator_; }};
  std::string config_8080_;
};

TEST_F(ServiceInstallerTest, InstallWritesEnablesAndStartsTheUnitOfTheConfigurationsPort) {
  Choose("/opt/lv/lumenvale", config_8080_);
  prompts_.answers = {true};
  installer_.Install("/home/me/current.con");

  EXPECT_THAT(prompts_.shown,
              ElementsAre("file dialog", "file dialog", kInstalled, kRunQuestion, Firewall(8080)));
  EXPECT_EQ(prompts_.file_dialogs[0], (FileDialog{FileDialog::Mode::kOpen,
                                                  {{"lumenvaleファイル", "*lumenvale"}},
                                                  "",
                                                  "/home/me/current.con"}));
  EXPECT_EQ(prompts_.file_dialogs[1], (FileDialog{FileDialog::Mode::kOpen,
                                                  {{"conファイル(con)", "*.con"}},
                                                  "con",
                                                  "/home/me/current.con"}));
  EXPECT_EQ(UnitFile("Lumenvale:8080.service"),
            Unit("Lumenvale:8080", "ExecStart=/opt/lv/lumenvale \"" + config_8080_ +
                                       "\"\nWorkingDirectory=" + folder_.Root() + "\n"));
  EXPECT_THAT(Calls(), ElementsAre("daemon-reload", "enable Lumenvale:8080.service",
                                   "start Lumenvale:8080.service"));

  // A second install for the same port stops and removes the first, then writes its own.
  Choose("/usr/bin/lumenvale", config_8080_);
  prompts_.answers = {false};
  installer_.Install("");
  EXPECT_THAT(Calls(),
              ElementsAre("stop Lumenvale:8080.service", "disable Lumenvale:8080.service",
                          "daemon-reload", "daemon-reload", "enable Lumenvale:8080.service"));
  EXPECT_EQ(UnitFile("Lumenvale:8080.service"),
            Unit("Lumenvale:8080", "ExecStart=/usr/bin/lumenvale \"" + config_8080_ +
                                       "\"\nWorkingDirectory=" + folder_.Root() + "\n"));
}

TEST_F(ServiceInstallerTest, WithoutFoldersInstallAsksFirst) {
  // No configuration chosen: port 12345, the program alone.
  Choose("/opt/lv/lumenvale", std::nullopt);
  prompts_.answers = {true, false};
  installer_.Install("");
  EXPECT_THAT(prompts_.shown, ElementsAre("file dialog", "file dialog", kNoFoldersQuestion,
                                          kInstalled, kRunQuestion, Firewall(12345)));
  EXPECT_EQ(UnitFile("Lumenvale:12345.service"),
            Unit("Lumenvale:12345", "ExecStart=/opt/lv/lumenvale\n"));

  // A configuration without folders asks too; anything but Yes stops.
  const std::string empty = folder_.Write("empty.con", "<PORT>81</PORT>");
  Choose("/opt/lv/lumenvale", empty);
  prompts_.answers = {false};
  prompts_.shown.clear();
  installer_.Install("");
  EXPECT_THAT(prompts_.shown, ElementsAre("file dialog", "file dialog", kNoFoldersQuestion));
  EXPECT_FALSE(control_.ServiceInstalled("Lumenvale:81"));

  // Cancelling the program dialog stops at once.
  Choose(std::nullopt, std::nullopt);
  prompts_.shown.clear();
  installer_.Install("");
  installer_.Uninstall("");
  EXPECT_THAT(prompts_.shown, ElementsAre("file dialog", "file dialog"));
  EXPECT_THAT(Calls(), ElementsAre("daemon-reload", "enable Lumenvale:12345.service"));
}

TEST_F(ServiceInstallerTest, UninstallRemovesTheUnitOrSaysThereIsNone) {
  Choose("/opt/lv/lumenvale", config_8080_);
  installer_.Uninstall("");
  EXPECT_THAT(prompts_.shown,
              ElementsAre("file dialog", "file dialog",
                          "[情報] 指定されたポート番号ではインストールされませんでした。"));
  EXPECT_THAT(Calls(), ElementsAre());

  Choose("/opt/lv/lumenvale", config_8080_);
  prompts_.answers = {false};
  installer_.Install("");
  Calls();
  Choose("/anything", config_8080_);
  prompts_.shown.clear();
  installer_.Uninstall("");
  EXPECT_THAT(prompts_.shown,
              ElementsAre("file dialog", "file dialog",
                          "[情報] 指定されたポート番号でアンインストールされました。"));
  EXPECT_THAT(Calls(), ElementsAre("stop Lumenvale:8080.service", "disable Lumenvale:8080.service",
                                   "daemon-reload"));
  EXPECT_FALSE(control_.ServiceInstalled("Lumenvale:8080"));
}

TEST_F(ServiceInstallerTest, WithoutRightsBothCommandsOnlySaySo) {
  administrator_ = false;
  Choose("/opt/lv/lumenvale", config_8080_);
  installer_.Install("");
  installer_.Uninstall("");
  EXPECT_THAT(prompts_.shown, ElementsAre(kRights, kRights));
  EXPECT_THAT(Calls(), ElementsAre());
}

TEST_F(ServiceInstallerTest, FailuresAreReportedInsteadOfSuccess) {
  const std::string stub = folder_.Path("systemctl");
  // systemctl refuses to enable: no success message, and the reason is shown.
  Fail("enable");
  Choose("/opt/lv/lumenvale", config_8080_);
  installer_.Install("");
  EXPECT_THAT(prompts_.shown,
              ElementsAre("file dialog", "file dialog",
                          "[情報!] サービスのインストールに失敗しました。\r\n" + stub +
                              " enable Lumenvale:8080.service: 終了コード 1\n"
                              "Failed to enable Lumenvale:8080.service: Access denied"));
  EXPECT_FALSE(control_.ServiceInstalled("Lumenvale:8080"));
  std::filesystem::remove(folder_.Path("fail-enable"));

  // A service that cannot be stopped stays installed, and both commands say they failed.
  Choose("/opt/lv/lumenvale", config_8080_);
  prompts_.answers = {false};
  installer_.Install("");
  ASSERT_TRUE(control_.ServiceInstalled("Lumenvale:8080"));
  Fail("stop");
  for (bool install : {true, false}) {
    Choose("/opt/lv/lumenvale", config_8080_);
    prompts_.shown.clear();
    install ? installer_.Install("") : installer_.Uninstall("");
    EXPECT_THAT(prompts_.shown,
                ElementsAre("file dialog", "file dialog",
                            std::string(install ? "[情報!] サービスのインストールに失敗しました。"
                                                : "[情報!] サービスのアンインストールに失敗しま"
                                                  "した。") +
                                "\r\n" + stub + " stop Lumenvale:8080.service: 終了コード 1\n" +
                                "Failed to stop Lumenvale:8080.service: Access denied"));
  }
  EXPECT_TRUE(control_.ServiceInstalled("Lumenvale:8080"));
  std::filesystem::remove(folder_.Path("fail-stop"));

  // A failed start is reported between the install message and the firewall note.
  Fail("start");
  Choose("/opt/lv/lumenvale", config_8080_);
  prompts_.answers = {true};
  prompts_.shown.clear();
  installer_.Install("");
  EXPECT_THAT(prompts_.shown,
              ElementsAre("file dialog", "file dialog", kInstalled, kRunQuestion,
                          "[情報!] サービスの開始に失敗しました。\r\n" + stub +
                              " start Lumenvale:8080.service: 終了コード 1\n"
                              "Failed to start Lumenvale:8080.service: Access denied",
                          Firewall(8080)));

  // A unit folder that cannot be written to.
  ServiceControl nowhere(folder_.Path("missing"), {stub});
  std::string error;
  EXPECT_FALSE(nowhere.InstallService({"/opt/lv/lumenvale", ""}, "Lumenvale:1", &error));
  EXPECT_EQ(error, folder_.Path("missing") + "/Lumenvale:1.service を書き込めませんでした。");
  // A systemctl that cannot be started at all.
  ServiceControl no_systemctl(folder_.Path("units"), {folder_.Path("missing/systemctl")});
  EXPECT_FALSE(no_systemctl.StopService("Lumenvale:1", &error));
  EXPECT_EQ(error,
            folder_.Path("missing/systemctl") + " stop Lumenvale:1.service: 実行できませんでした");
}

TEST(FormatServiceUnitTest, PathsAreWrittenSoSystemdReadsThemBack) {
  std::string unit, error;
  ASSERT_TRUE(FormatServiceUnit({"/opt/my programs/lumenvale", "/srv/a \"b\" 100% $HOME\\c\n.con"},
                                "Lumenvale:80", &unit, &error));
  EXPECT_EQ(unit, Unit("Lumenvale:80",
                       "ExecStart=\"/opt/my programs/lumenvale\" "
                       "\"/srv/a \\\"b\\\" 100%% $$HOME\\\\c\\x0a.con\"\n"
                       "WorkingDirectory=/srv\n"));
  ASSERT_TRUE(
      FormatServiceUnit({"/opt/lv/lumenvale", "/srv/100%/猫.con"}, "Lumenvale:80", &unit, &error));
  EXPECT_EQ(unit, Unit("Lumenvale:80",
                       "ExecStart=/opt/lv/lumenvale \"/srv/100%%/猫.con\"\n"
                       "WorkingDirectory=/srv/100%%\n"));
  EXPECT_FALSE(
      FormatServiceUnit({"/opt/lv/lumenvale", "/srv/a\nb/c.con"}, "Lumenvale:80", &unit, &error));
  EXPECT_EQ(error, "設定ファイルのフォルダ名に制御文字が含まれています: /srv/a\nb/c.con");
}

}  // namespace

// One real unit against the built server, where systemd runs and we may install units.
TEST(SystemdTest, InstallStartAndUninstallTheBuiltServer) {
  std::error_code ignored;
  if (!std::filesystem::exists("/run/systemd/system", ignored) || !IsAdministrator()) {
    GTEST_SKIP() << "needs a running systemd and root";
  }
  TestFolder folder;
  const uint16_t port = 20000 + platform::SecureRandom32() % 10000;
  const std::string config = folder.Write(
      "gallery.con", "<PATH>" + folder.Root() + "</PATH><PORT>" + std::to_string(port) + "</PORT>");
  const std::string unit = ServiceName(port) + ".service";
  ServiceControl control;
  ScriptedPrompts prompts;
  ServiceInstaller installer(&prompts, &control);
  prompts.choices = {LUMENVALE_BINARY, config};
  prompts.answers = {true};
  installer.Install("");
  std::string output;
  EXPECT_EQ(platform::RunCommand({"systemctl", "is-active", unit}, &output), 0) << output;
  EXPECT_EQ(platform::RunCommand({"systemctl", "is-enabled", unit}, &output), 0) << output;

  prompts.choices = {LUMENVALE_BINARY, config};
  installer.Uninstall("");
  EXPECT_NE(platform::RunCommand({"systemctl", "is-active", unit}, &output), 0) << output;
  EXPECT_FALSE(control.ServiceInstalled(ServiceName(port)));
  EXPECT_THAT(prompts.shown,
              ElementsAre("file dialog", "file dialog", kInstalled, kRunQuestion, Firewall(port),
                          "file dialog", "file dialog",
                          "[情報] 指定されたポート番号でアンインストールされました。"));
}
