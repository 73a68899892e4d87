// Quillon's commands against real files in a temporary folder, each result read back by the
// server's own reader.
#include "editor/editor_commands.h"

#include <sys/stat.h>

#include <deque>
#include <filesystem>
#include <sstream>

#include <gtest/gtest.h>

#include "common/config/password_hash.h"
#include "common/config/server_settings.h"
#include "common/config/testing/config_file_bytes.h"
#include "platform/testing/test_folder.h"

namespace {

const std::string kSaved = "情報: 設定ファイルの保存が完了しました。\n";
const std::string kAborted = "情報: 設定ファイルの保存が中断されました。\n";

class EditorCommandsTest : public testing::Test {
 protected:
  EditorCommandsTest() {
    std::filesystem::create_directories(folder_.Path("pictures"));
    std::filesystem::create_directories(folder_.Path("more"));
    std::filesystem::create_directories(folder_.Path("units"));
    const std::string stub =
        folder_.Write("systemctl", "#!/bin/sh\necho \"$*\" >> '" + folder_.Path("calls") + "'\n");
    ::chmod(stub.c_str(), 0755);
    control_ = ServiceControl(folder_.Path("units"), {stub});
    server_ = folder_.Write("lumenvale", "");
    config_ = folder_.Path("gallery.con");
  }

  // Runs `arguments` with `input` as what is typed at the questions; the exit status.
  int Run(const std::vector<std::string>& arguments, const std::string& input = "") {
    EditorCommandLine line;
    std::string error;
    EXPECT_TRUE(ParseEditorCommandLine(arguments, &line, &error)) << error;
    std::istringstream in(input);
    out_.str("");
    err_.str("");
    EditorConsole console{&in,
                          &out_,
                          &err_,
                          [this](const std::string& prompt, std::string* password) {
                            prompted_ += prompt;
                            if (passwords_.empty()) return false;
                            *password = passwords_.front();
                            passwords_.pop_front();
                            return true;
                          },
                          confirm_,
                          &control_,
                          [this] { return administrator_; },
                          server_};
    return RunEditorCommand(line, console);
  }

  ServerSettings Read() {
    ServerSettings settings;
    EXPECT_TRUE(settings.load(config_));
    return settings;
  }

  std::string Saved() const { return kSaved + config_ + "\n"; }

  TestFolder folder_;
  std::ostringstream out_, err_;
  std::deque<std::string> passwords_;
  std::string prompted_;
  bool confirm_ = false;
  bool administrator_ = true;
  ServiceControl control_;
  std::string server_;
  std::string config_;
};

TEST_F(EditorCommandsTest, FoldersAreAddedAbsoluteAndRemovedByEitherForm) {
  EXPECT_EQ(Run({"add-folder", config_, folder_.Path("pictures")}), 0);
  EXPECT_EQ(out_.str(), Saved());
  // A relative folder is stored as the absolute path it names, as the folder picker gives it.
  std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(folder_.Root());
  EXPECT_EQ(Run({"add-folder", "gallery.con", "./more/"}), 0);
  std::filesystem::current_path(previous);
  EXPECT_EQ(Read().folders,
            (std::vector<std::string>{folder_.Path("pictures"), folder_.Path("more")}));

  // A folder that does not exist is refused and the file stays as it was.
  std::string before = folder_.Read("gallery.con");
  EXPECT_EQ(Run({"add-folder", config_, folder_.Path("missing")}), 1);
  EXPECT_EQ(err_.str(), folder_.Path("missing") + ": no such folder.\n");
  EXPECT_EQ(Run({"remove-folder", config_, "/not/there"}), 1);
  EXPECT_EQ(err_.str(), "/not/there: not one of the folders of " + config_ + ".\n");
  EXPECT_EQ(folder_.Read("gallery.con"), before);

  EXPECT_EQ(Run({"remove-folder", config_, folder_.Path("pictures")}), 0);
  EXPECT_EQ(Read().folders, std::vector<std::string>{folder_.Path("more")});
  // The last folder cannot go: the save's own check refuses a file without folders.
  EXPECT_EQ(Run({"remove-folder", config_, folder_.Path("more")}), 1);
  EXPECT_EQ(
      out_.str(),
      "情報: 検索するフォルダが設定されていません。\n検索フォルダを設定して下さい。\n" + kAborted);
  EXPECT_EQ(Read().folders, std::vector<std::string>{folder_.Path("more")});
}

TEST_F(EditorCommandsTest, SetChangesOneKeyWithTheDialogsChecks) {
  ASSERT_EQ(Run({"add-folder", config_, folder_.Path("pictures")}), 0);
  EXPECT_EQ(Run({"set", config_, "PORT", "8080"}), 0);
  EXPECT_EQ(Run({"set", config_, "sub", "1"}), 0);
  EXPECT_EQ(Run({"set", config_, "TITLE", "猫の写真"}), 0);
  ServerSettings read = Read();
  EXPECT_EQ(read.port, 8080);
  EXPECT_EQ(read.sub, 1u);
  EXPECT_EQ(read.title, "猫の写真");

  std::string before = folder_.Read("gallery.con");
  EXPECT_EQ(Run({"set", config_, "SUB", "2"}), 1);
  EXPECT_EQ(err_.str(),
            "SUB: 2 is not a value for it (flags take 0 or 1, numbers decimal digits).\n");
  EXPECT_EQ(Run({"set", config_, "BUFFER_SIZE", "64"}), 1);
  EXPECT_EQ(
      err_.str().rfind("BUFFER_SIZE: not a key that set can change; the keys are PORT SUB ", 0), 0u)
      << err_.str();
  EXPECT_EQ(folder_.Read("gallery.con"), before);

  // Port 0 becomes the usual port, with the dialog's message.
  EXPECT_EQ(Run({"set", config_, "PORT", "0"}), 0);
  EXPECT_EQ(out_.str(), "情報: ポート番号が0以下だったので通常の12345になりました。\n" + Saved());
  EXPECT_EQ(Read().port, 12345);

  // UPnP without users asks twice; anything but y at either question writes nothing.
  const std::string upnp_question =
      "確認: UPNPを有効にしてインターネットからアクセス可能にしますが宜しいですか? "
      "[y = OK / N = Cancel] ";
  const std::string no_user_question =
      "確認: アクセスにユーザー名パスワードが不要になっていますが宜しいですか? "
      "[y = OK / N = Cancel] ";
  before = folder_.Read("gallery.con");
  EXPECT_EQ(Run({"set", config_, "UPnP", "1"}, "y\n"), 1);
  EXPECT_EQ(out_.str(), upnp_question + no_user_question + "\n" + kAborted);
  EXPECT_EQ(Run({"set", config_, "UPnP", "1"}, "n\n"), 1);
  EXPECT_EQ(folder_.Read("gallery.con"), before);
  EXPECT_EQ(Run({"set", config_, "UPnP", "1"}, "y\nYES\n"), 0);
  EXPECT_EQ(out_.str(), upnp_question + no_user_question + Saved());
  EXPECT_EQ(Read().upnp, 1u);
}

TEST_F(EditorCommandsTest, UsersAreHashedAsTheDialogHashesThem) {
  ASSERT_EQ(Run({"add-folder", config_, folder_.Path("pictures")}), 0);
  passwords_ = {"first pw"};
  EXPECT_EQ(Run({"add-user", config_, "anna"}), 0);
  EXPECT_EQ(prompted_, "Password for anna: ");
  passwords_ = {"pw2", "pw2"};
  confirm_ = true;
  EXPECT_EQ(Run({"add-user", config_, "ben", "--upload"}), 0);
  std::string anna_hash, ben_hash;
  ASSERT_TRUE(PasswordHash("anna", "first pw", &anna_hash));
  ASSERT_TRUE(PasswordHash("ben", "pw2", &ben_hash));
  std::vector<UserAccount> users = Read().users;
  ASSERT_EQ(users.size(), 2u);
  EXPECT_EQ(users[0].name, "anna");
  EXPECT_EQ(users[0].hash, anna_hash);
  EXPECT_EQ(users[0].privilege, 0);
  EXPECT_EQ(users[1].name, "ben");
  EXPECT_EQ(users[1].hash, ben_hash);
  EXPECT_EQ(users[1].privilege, 1);

  // Refusals change nothing: different passwords, no password, a user that is not there,
  // a name the server could never match.
  std::string before = folder_.Read("gallery.con");
  passwords_ = {"one", "other"};
  EXPECT_EQ(Run({"change-user", config_, "anna"}), 1);
  EXPECT_EQ(err_.str(), "The two passwords differ; nothing was changed.\n");
  passwords_ = {};
  EXPECT_EQ(Run({"add-user", config_, "carl"}), 1);
  EXPECT_EQ(err_.str(), "No password was given; nothing was changed.\n");
  EXPECT_EQ(Run({"change-user", config_, "dora"}), 1);
  EXPECT_EQ(err_.str(), "dora: no such user in " + config_ + "; add-user adds one.\n");
  EXPECT_EQ(Run({"remove-user", config_, "dora"}), 1);
  EXPECT_EQ(err_.str(), "dora: no such user in " + config_ + ".\n");
  EXPECT_EQ(folder_.Read("gallery.con"), before);
  confirm_ = false;

  // change-user replaces the hash and the right of the user of that name.
  passwords_ = {"new pw"};
  EXPECT_EQ(Run({"change-user", config_, "anna", "--upload"}), 0);
  ASSERT_TRUE(PasswordHash("anna", "new pw", &anna_hash));
  users = Read().users;
  ASSERT_EQ(users.size(), 2u);
  EXPECT_EQ(users[0].hash, anna_hash);
  EXPECT_EQ(users[0].privilege, 1);

  // With users required, the last user cannot be removed.
  EXPECT_EQ(Run({"remove-user", config_, "ben"}), 0);
  EXPECT_EQ(Run({"set", config_, "NEED_USER", "1"}), 0);
  EXPECT_EQ(Run({"remove-user", config_, "anna"}), 1);
  EXPECT_EQ(out_.str(),
            "確認: アクセス可能なユーザーが設定されていません。\n"
            "ユーザー名パスワードと権限を設定して下さい。\n" +
                kAborted);
  EXPECT_EQ(Read().users.size(), 1u);

  // Names and passwords are hashed from UTF-8, so any character a browser can send will do.
  passwords_ = {"パスワード"};
  EXPECT_EQ(Run({"add-user", config_, "\xF0\x9F\x98\x80"}), 0);
  std::string emoji_hash;
  ASSERT_TRUE(PasswordHash("\xF0\x9F\x98\x80", "パスワード", &emoji_hash));
  users = Read().users;
  ASSERT_EQ(users.size(), 2u);
  EXPECT_EQ(users[1].hash, emoji_hash);
}

TEST_F(EditorCommandsTest, WhatNoCommandShowsIsKeptAndAnUnreadableFileIsNotReplaced) {
  folder_.Write("gallery.con",
                ConfigFileBytes("<PATH>" + folder_.Path("pictures") +
                                "</PATH>\n<PORT>8080</PORT>\n<BUFFER_SIZE>64</BUFFER_SIZE>\n"
                                "<FUTURE_KEY>kept as it is</FUTURE_KEY>\n"));
  EXPECT_EQ(Run({"set", config_, "TITLE", "x"}), 0);
  EXPECT_EQ(Read().buffer_size, 64u);
  EXPECT_NE(folder_.Read("gallery.con")
                .find(ConfigFileBytes("<FUTURE_KEY>kept as it is</FUTURE_KEY>\n").substr(2)),
            std::string::npos);

  // A path that exists but cannot be read as a file.
  std::filesystem::create_directories(folder_.Path("folder.con"));
  EXPECT_EQ(Run({"set", folder_.Path("folder.con"), "TITLE", "x"}), 1);
  EXPECT_EQ(err_.str(),
            folder_.Path("folder.con") + ": the file cannot be read; nothing was changed.\n");
  EXPECT_TRUE(std::filesystem::is_directory(folder_.Path("folder.con")));
}

TEST_F(EditorCommandsTest, ShowPrintsTheSettingsAndUsersWithoutHashes) {
  folder_.Write("gallery.con",
                ConfigFileBytes("<PATH>/srv/a</PATH>\n<PATH>/srv/b</PATH>\n<PORT>8080</PORT>\n"
                                "<USER><USER_NAME>anna</USER_NAME><HASH>0123</HASH><PRIV>1</PRIV>"
                                "</USER>\n<ODD>1</ODD>\n"));
  EXPECT_EQ(Run({"show", config_}), 0);
  EXPECT_EQ(out_.str(), config_ +
                            "\n"
                            "PATH                       /srv/a\n"
                            "PATH                       /srv/b\n"
                            "PORT                       8080\n"
                            "SUB                        0\n"
                            "SORT_WINDOWS               0\n"
                            "RESET_STANDBY_ACCESS       0\n"
                            "SHOW_FULLPATH              0\n"
                            "OPEN_NEW_TAB               0\n"
                            "OPEN_NAME_THUMBNAIL_FOLDER 0\n"
                            "TOP_FOLDER                 0\n"
                            "ZIP_REJECT                 0\n"
                            "ZIP_REJECT_UPLOAD          0\n"
                            "TITLE                      Lumenvale\n"
                            "HASH_FILE_NAME             hash.8080.dat\n"
                            "NEED_USER                  0\n"
                            "UPnP                       0\n"
                            "UPnP_PORT                  0\n"
                            "HTTPS                      0\n"
                            "TLS_CERT                   \n"
                            "TLS_KEY                    \n"
                            "USER                       anna  1:アップロードを許可\n"
                            "(1 more elements that the editor keeps as they are)\n");
  EXPECT_EQ(Run({"show", folder_.Path("missing.con")}), 1);
  EXPECT_EQ(err_.str(), folder_.Path("missing.con") + ": no such file.\n");
}

TEST_F(EditorCommandsTest, ServiceIsInstalledForTheFilesPortAndRemoved) {
  ASSERT_EQ(Run({"add-folder", config_, folder_.Path("pictures")}), 0);
  ASSERT_EQ(Run({"set", config_, "PORT", "8080"}), 0);
  EXPECT_EQ(Run({"install-service", config_}, "n\n"), 0);
  EXPECT_EQ(out_.str(),
            "情報: 指定されたポート番号でインストールされました。\n"
            "確認: 続けてサービスを実行しますか? [y/N] "
            "情報: 他の端末からのアクセスを許可するために、ファイアウォール(nftables、ufw、"
            "firewalldなど)でポート8080番への通信を許可してください。\n");
  std::string unit = folder_.Read("units/Lumenvale:8080.service");
  EXPECT_NE(unit.find("ExecStart=" + server_ + " \"" + config_ + "\"\n"), std::string::npos)
      << unit;
  EXPECT_EQ(folder_.Read("calls"), "daemon-reload\nenable Lumenvale:8080.service\n");

  EXPECT_EQ(Run({"remove-service", config_}), 0);
  EXPECT_EQ(out_.str(), "情報: 指定されたポート番号でアンインストールされました。\n");
  EXPECT_FALSE(std::filesystem::exists(folder_.Path("units/Lumenvale:8080.service")));
  EXPECT_EQ(Run({"remove-service", config_}), 1);
  EXPECT_EQ(out_.str(), "情報: 指定されたポート番号ではインストールされませんでした。\n");

  // Without a file: port 12345 after the question about the missing folders.
  EXPECT_EQ(Run({"install-service", "--server", server_}, "y\nn\n"), 0);
  EXPECT_TRUE(std::filesystem::exists(folder_.Path("units/Lumenvale:12345.service")));

  EXPECT_EQ(Run({"install-service", config_, "--server", folder_.Path("nothing")}), 1);
  EXPECT_EQ(err_.str(),
            folder_.Path("nothing") + ": no server program there; name it with --server PATH.\n");
  EXPECT_EQ(Run({"install-service", folder_.Path("missing.con")}), 1);
  EXPECT_EQ(err_.str(), folder_.Path("missing.con") + ": no such file.\n");
  administrator_ = false;
  EXPECT_EQ(Run({"remove-service"}), 1);
  EXPECT_EQ(out_.str(),
            "情報: 必要な管理者権限がありませんでした。\n"
            "お手数ですが、「管理者として実行」でプログラムを起動し、再度実行してください。\n");
  EXPECT_TRUE(std::filesystem::exists(folder_.Path("units/Lumenvale:12345.service")));
}

}  // namespace
