#include "editor/config_editor.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/config/password_hash.h"
#include "common/config/server_settings.h"
#include "common/config/testing/config_file_bytes.h"
#include "editor/testing/scripted_prompts.h"
#include "platform/testing/test_folder.h"
#include "platform/text.h"

namespace {

using testing::ElementsAre;

const std::string kAborted = "[情報] 設定ファイルの保存が中断されました。";
const std::string kNoFolders =
    "[情報] 検索するフォルダが設定されていません。\n検索フォルダを設定して下さい。";
const std::string kNoAccounts =
    "[確認!] アクセス可能なユーザーが設定されていません。\r\n"
    "ユーザー名パスワードと権限を設定して下さい。";
const std::string kUpnpQuestion =
    "OK/Cancel [確認] UPNPを有効にしてインターネットからアクセス可能にしますが宜しいですか?";
const std::string kNoAuthQuestion =
    "OK/Cancel [確認] アクセスにユーザー名パスワードが不要になっていますが宜しいですか?";
const std::string kPortFixed = "[情報] ポート番号が0以下だったので通常の12345になりました。";

std::string Saved(const std::string& path) {
  return "[情報] 設定ファイルの保存が完了しました。\r\n" + path;
}

std::string Hash(const std::string& name, const std::string& password) {
  std::string hash;
  EXPECT_TRUE(PasswordHash(name, password, &hash));
  return hash;
}

class ConfigEditorTest : public testing::Test {
 protected:
  ScriptedPrompts prompts_;
  ConfigEditor editor_{&prompts_};
  TestFolder folder_;

  void AddFolder(const std::string& path) {
    prompts_.choices.push_back(path);
    ASSERT_TRUE(editor_.ChooseAndAddFolder());
  }
};

TEST_F(ConfigEditorTest, SaveChecksRunInOrderAndAbortBeforeTheFileDialog) {
  struct Case {
    bool has_folder, upnp, need_user, has_account;
    std::deque<bool> answers;
    std::vector<std::string> shown;
  };
  const Case cases[] = {
      {false, false, false, false, {}, {kNoFolders, kAborted}},
      // The account check runs also after the folder check has failed; UPnP is not asked then.
      {false, true, true, false, {}, {kNoFolders, kNoAccounts, kAborted}},
      {true, false, true, false, {}, {kNoAccounts, kAborted}},
      {true, true, false, false, {false}, {kUpnpQuestion, kAborted}},
      {true, true, false, false, {true, false}, {kUpnpQuestion, kNoAuthQuestion, kAborted}},
      {true, true, false, false, {true, true}, {kUpnpQuestion, kNoAuthQuestion, "file dialog"}},
      // With authentication on, only the UPnP question is asked.
      {true, true, true, true, {true}, {kUpnpQuestion, "file dialog"}},
      {true, true, true, false, {true}, {kUpnpQuestion, kNoAccounts, kAborted}},
  };
  for (const Case& c : cases) {
    ScriptedPrompts prompts;
    ConfigEditor editor(&prompts);
    if (c.has_folder) {
      prompts.choices.push_back("/srv/pictures");
      editor.ChooseAndAddFolder();
    }
    if (c.has_account) editor.AddOrChangeAccount("anna", "pw", 0);
    prompts.shown.clear();
    prompts.answers = c.answers;
    EditorSettings values;
    values.upnp = c.upnp;
    values.need_user = c.need_user;
    EXPECT_FALSE(editor.Save(values));  // the file dialog, when reached, is cancelled
    EXPECT_EQ(prompts.shown, c.shown)
        << "folder " << c.has_folder << " upnp " << c.upnp << " need_user " << c.need_user;
  }
}

TEST_F(ConfigEditorTest, SaveWritesTheControlsFoldersAndAccountsForTheServer) {
  AddFolder("/srv/猫 pictures");
  AddFolder("/srv/more");
  ASSERT_TRUE(editor_.AddOrChangeAccount("アンナ", "パス word", 1));
  ASSERT_TRUE(editor_.AddOrChangeAccount("bob", "", 0));
  EditorSettings values;
  values.folders = {"/ignored"};
  values.port = 8080;
  values.sub = values.zip_reject_upload = values.top_folder = values.need_user = true;
  values.title = "Holiday <pictures>";
  values.hash_file_name = "likes.dat";
  const std::string path = folder_.Path("gallery.con");
  prompts_.shown.clear();
  prompts_.choices.push_back(path);

  ASSERT_TRUE(editor_.Save(values));
  EXPECT_THAT(prompts_.shown, ElementsAre("file dialog", Saved(path)));
  EXPECT_EQ(prompts_.file_dialogs.back(),
            (FileDialog{FileDialog::Mode::kSave, {{"conファイル(con)", "*.con"}}, "con", ""}));
  EXPECT_EQ(editor_.current_path(), path);

  ServerSettings server;
  ASSERT_TRUE(server.load("\"" + path + "\""));
  EXPECT_THAT(server.folders, ElementsAre("/srv/猫 pictures", "/srv/more"));
  EXPECT_EQ(server.port, 8080);
  EXPECT_EQ(server.title, "Holiday <pictures>");
  EXPECT_EQ(server.hash_file_name, "likes.dat");
  EXPECT_EQ(server.sub, 1u);
  EXPECT_EQ(server.zip_reject_upload, 1u);
  EXPECT_EQ(server.top_folder, 1u);
  EXPECT_EQ(server.zip_reject, 0u);
  EXPECT_EQ(server.need_user, 1);
  ASSERT_EQ(server.users.size(), 2u);
  EXPECT_EQ(server.users[0].name, "アンナ");
  EXPECT_EQ(server.users[0].name_cp932, "\x83\x41\x83\x93\x83\x69");
  EXPECT_EQ(server.users[0].hash, Hash("アンナ", "パス word"));
  EXPECT_EQ(server.users[0].privilege, 1);
  EXPECT_EQ(server.users[1].name, "bob");
  EXPECT_EQ(server.users[1].hash, Hash("bob", ""));

  // The editor reads back exactly what it wrote.
  EditorSettings expected = values;
  expected.folders = editor_.folders();
  expected.users = editor_.accounts();
  EXPECT_EQ(ConfigEditor(&prompts_).Load(path), expected);
}

TEST_F(ConfigEditorTest, PortOfZeroOrLessBecomes12345AfterTheMessage) {
  struct Case {
    std::string text;
    std::string written;
    bool message;
  };
  const Case cases[] = {{"", "12345", true},    {"0", "12345", true},      {"-5", "12345", true},
                        {"80a", "12345", true}, {"70000", "70000", false}, {"8080", "8080", false}};
  AddFolder("/srv/pictures");
  for (const Case& c : cases) {
    const std::string path = folder_.Path("port.con");
    prompts_.shown.clear();
    prompts_.choices.push_back(path);
    EditorSettings values;
    values.port = NumberFromText(c.text);
    ASSERT_TRUE(editor_.Save(values)) << c.text;
    std::vector<std::string> expected = {"file dialog"};
    if (c.message) expected.push_back(kPortFixed);
    expected.push_back(Saved(path));
    EXPECT_EQ(prompts_.shown, expected) << c.text;
    EditorSettings read;
    read.parse(path);
    // The editor's reader keeps the low 16 bits, as the server does.
    EXPECT_EQ(read.port, static_cast<uint16_t>(std::stoi(c.written))) << c.text;
    ServerSettings server;
    server.load(path);
    EXPECT_EQ(server.port, static_cast<uint16_t>(std::stoi(c.written))) << c.text;
  }
}

TEST_F(ConfigEditorTest, FileThatCannotBeWrittenAbortsAndLeavesTheEditorAsItWas) {
  AddFolder("/srv/pictures");
  const std::string blocker = folder_.Write("not_a_folder", "x");
  prompts_.shown.clear();
  prompts_.choices.push_back(blocker + "/gallery.con");
  EXPECT_FALSE(editor_.Save(EditorSettings()));
  EXPECT_THAT(prompts_.shown, ElementsAre("file dialog", kAborted));
  EXPECT_EQ(editor_.current_path(), "");

  // A cancelled file dialog ends the save silently.
  prompts_.shown.clear();
  EXPECT_FALSE(editor_.Save(EditorSettings()));
  EXPECT_THAT(prompts_.shown, ElementsAre("file dialog"));
}

TEST_F(ConfigEditorTest, LoadFillsStateAndDatabaseNameFromThePort) {
  const std::string path =
      folder_.Write("a.con",
                    "<PATH>/a</PATH><PATH>/b</PATH><PORT>8080</PORT><TITLE>T</TITLE>"
                    "<USER><USER_NAME>u</USER_NAME><HASH>h</HASH><PRIV>1</PRIV></USER>");
  EditorSettings loaded = editor_.Load(path);
  EXPECT_EQ(editor_.current_path(), path);
  EXPECT_THAT(editor_.folders(), ElementsAre("/a", "/b"));
  EXPECT_THAT(editor_.accounts(), ElementsAre(EditorAccount{"u", "h", 1}));
  EXPECT_EQ(loaded.hash_file_name, "hash.8080.dat");
  EXPECT_EQ(loaded.title, "T");

  // Saving writes that name, so a later port change keeps it.
  loaded.port = 9090;
  const std::string saved = folder_.Path("b.con");
  prompts_.choices.push_back(saved);
  ASSERT_TRUE(editor_.Save(loaded));
  EXPECT_EQ(prompts_.file_dialogs.back().initial_path, path);
  ServerSettings server;
  server.load(saved);
  EXPECT_EQ(server.hash_file_name, "hash.8080.dat");
  EXPECT_EQ(server.port, 9090);

  // A file that cannot be read still becomes current, with the defaults.
  loaded = editor_.Load(folder_.Path("missing.con"));
  EXPECT_EQ(editor_.current_path(), folder_.Path("missing.con"));
  EXPECT_TRUE(editor_.folders().empty());
  EXPECT_TRUE(editor_.accounts().empty());
  EXPECT_EQ(loaded, EditorSettings());
}

// The dialog hands over only what its controls show; the rest of a loaded file, BUFFER_SIZE
// and the elements the editor does not know, survives a load and a save byte for byte.
TEST_F(ConfigEditorTest, LoadAndSaveKeepsWhatTheDialogDoesNotShow) {
  const std::string text =
      "<PATH>/srv/写真</PATH>\n<PORT>8080</PORT>\n<SUB>1</SUB>\n<SORT_WINDOWS>0</SORT_WINDOWS>\n"
      "<RESET_STANDBY_ACCESS>0</RESET_STANDBY_ACCESS>\n<SHOW_FULLPATH>0</SHOW_FULLPATH>\n"
      "<OPEN_NEW_TAB>0</OPEN_NEW_TAB>\n"
      "<OPEN_NAME_THUMBNAIL_FOLDER>0</OPEN_NAME_THUMBNAIL_FOLDER>\n<TOP_FOLDER>0</TOP_FOLDER>\n"
      "<ZIP_REJECT>0</ZIP_REJECT>\n<ZIP_REJECT_UPLOAD>1</ZIP_REJECT_UPLOAD>\n"
      "<TITLE>ねこ</TITLE>\n<HASH_FILE_NAME>hash.8080.dat</HASH_FILE_NAME>\n"
      "<NEED_USER>1</NEED_USER>\n"
      "<USER><USER_NAME>anna</USER_NAME><HASH>h</HASH><PRIV>1</PRIV></USER><UPnP>0</UPnP>\n"
      "<BUFFER_SIZE>200</BUFFER_SIZE>\n<THEME>夜</THEME>\n<ZIP_REJECT_MAX>5</ZIP_REJECT_MAX>\n"
      "<NOTE>two\nlines</NOTE>\n";
  const std::string original = ConfigFileBytes(text);
  const std::string path = folder_.Write("gallery.con", original);
  EditorSettings values = editor_.Load(path);
  values.buffer_size.reset();
  values.unknown_elements.clear();
  const std::string saved = folder_.Path("saved.con");
  prompts_.choices.push_back(saved);
  ASSERT_TRUE(editor_.Save(values));
  EXPECT_EQ(folder_.Read("saved.con"), original);
  ServerSettings server;
  ASSERT_TRUE(server.load(saved));
  EXPECT_EQ(server.buffer_size, 200u);
  EXPECT_EQ(server.zip_reject, 0u);
  EXPECT_EQ(server.zip_reject_upload, 1u);

  // A hand-written file, with the unknown elements and BUFFER_SIZE anywhere, reads the same
  // after a load and a save, the elements now after the settings and in their order.
  const std::string scattered = folder_.Write(
      "scattered.con",
      ConfigFileBytes("<THEME>夜</THEME>\n<PATH>/a</PATH>\n<BUFFER_SIZE>0x20</BUFFER_SIZE>\n"
                      "<ZIP_REJECT_MAX>5</ZIP_REJECT_MAX>\n<ZIP_REJECT>0</ZIP_REJECT>\n"));
  values = editor_.Load(scattered);
  values.buffer_size.reset();
  values.unknown_elements.clear();
  prompts_.choices.push_back(saved);
  ASSERT_TRUE(editor_.Save(values));
  EditorSettings back;
  ASSERT_TRUE(back.parse(saved));
  EXPECT_EQ(back.buffer_size, 32u);
  EXPECT_THAT(back.unknown_elements,
              ElementsAre("<THEME>夜</THEME>", "<ZIP_REJECT_MAX>5</ZIP_REJECT_MAX>"));
  ASSERT_TRUE(server.load(saved));
  EXPECT_EQ(server.buffer_size, 32u);
  // The editor read ZIP_REJECT through the longer element before it, as the server did, and
  // wrote what it read; kept after ZIP_REJECT's own element, the longer one no longer reaches it.
  EXPECT_EQ(server.zip_reject, 1u);
  EXPECT_EQ(server.folders, std::vector<std::string>{"/a"});

  // Only the last file loaded lends what the dialog does not show.
  values = editor_.Load(folder_.Write("plain.con", "<PATH>/b</PATH>"));
  prompts_.choices.push_back(saved);
  ASSERT_TRUE(editor_.Save(values));
  ASSERT_TRUE(back.parse(saved));
  EXPECT_FALSE(back.buffer_size.has_value());
  EXPECT_TRUE(back.unknown_elements.empty());
}

TEST_F(ConfigEditorTest, DroppedConfigurationFilesLoadInDropOrder) {
  const std::string first = folder_.Write("first.con", "<PATH>/one</PATH><PORT>1</PORT>");
  const std::string second = folder_.Write("Second.CON", "<PATH>/two</PATH><PORT>2</PORT>");
  const std::string other = folder_.Write("third.txt", "<PATH>/three</PATH><PORT>3</PORT>");
  EditorSettings loaded;
  EXPECT_FALSE(editor_.LoadDropped({other}, &loaded));
  EXPECT_EQ(editor_.current_path(), "");
  ASSERT_TRUE(editor_.LoadDropped({first, second, other}, &loaded));
  EXPECT_EQ(editor_.current_path(), second);
  EXPECT_THAT(editor_.folders(), ElementsAre("/two"));
  EXPECT_EQ(loaded.port, 2);
}

TEST(HasConfigExtensionTest, ComparesTheLastExtensionInLowerCase) {
  const std::pair<std::string, bool> cases[] = {
      {"/a/b.con", true},  {"/a/B.CoN", true},      {"b.con", true},
      {"/a/.con", true},   {"/a/b.con.txt", false}, {"/a/b.conf", false},
      {"/a.con/b", false}, {"/a/bcon", false},      {"/a/b.ｃｏｎ", false}};
  for (const auto& [path, expected] : cases) EXPECT_EQ(HasConfigExtension(path), expected) << path;
}

TEST_F(ConfigEditorTest, AccountsAreAddedOrChangedByExactName) {
  ASSERT_TRUE(editor_.AddOrChangeAccount("anna", "one", 0));
  ASSERT_TRUE(editor_.AddOrChangeAccount("Anna", "two", 0));
  ASSERT_TRUE(editor_.AddOrChangeAccount("anna", "three", 1));
  EXPECT_THAT(editor_.accounts(), ElementsAre(EditorAccount{"anna", Hash("anna", "three"), 1},
                                              EditorAccount{"Anna", Hash("Anna", "two"), 0}));
  EXPECT_EQ(Hash("anna", "three"), "0d926d2188e52539805cf8b0559ff94d");
  EXPECT_TRUE(prompts_.shown.empty());

  // Refused: an empty name, and bytes that are not UTF-8 (Qt never gives such, a command line
  // may). A name without a Shift-JIS form is an account like any other now.
  EXPECT_FALSE(editor_.AddOrChangeAccount("", "pw", 0));
  EXPECT_FALSE(editor_.AddOrChangeAccount("anna\xFF", "pw", 0));
  EXPECT_FALSE(editor_.AddOrChangeAccount("anna", "pw\x94", 0));
  EXPECT_THAT(prompts_.shown,
              ElementsAre("[] ユーザー名が設定されていません",
                          "[情報!] ユーザー名かパスワードに、UTF-8で表せない文字が含まれて"
                          "います。\r\n別の文字で設定して下さい。",
                          "[情報!] ユーザー名かパスワードに、UTF-8で表せない文字が含まれて"
                          "います。\r\n別の文字で設定して下さい。"));
  EXPECT_EQ(editor_.accounts().size(), 2u);
  EXPECT_EQ(editor_.accounts()[0].hash, Hash("anna", "three"));
}

TEST_F(ConfigEditorTest, RemovingRowsPassesOverRowsOutsideTheList) {
  for (const char* path : {"/a", "/b", "/c", "/d"}) AddFolder(path);
  editor_.RemoveFolders({3, 1, 1, 7, -1});
  EXPECT_THAT(editor_.folders(), ElementsAre("/a", "/c"));
  editor_.AddOrChangeAccount("x", "", 0);
  editor_.AddOrChangeAccount("y", "", 0);
  editor_.RemoveAccounts({0, 2});
  ASSERT_EQ(editor_.accounts().size(), 1u);
  EXPECT_EQ(editor_.accounts()[0].name, "y");
}

TEST(NumberFromTextTest, ReadsANumbersOnlyEdit) {
  const std::pair<std::string, int32_t> cases[] = {{"", 0},
                                                   {"0", 0},
                                                   {"8080", 8080},
                                                   {"70000", 70000},
                                                   {"-3", -3},
                                                   {"12a", 0},
                                                   {" 12", 0},
                                                   {"99999999999", INT32_MAX},
                                                   {"-99999999999", 0}};
  for (const auto& [text, expected] : cases) EXPECT_EQ(NumberFromText(text), expected) << text;
}

TEST(DialogTextsTest, DatabaseDialogAndPrivileges) {
  ScriptedPrompts prompts;
  ConfigEditor editor(&prompts);
  std::string path;
  prompts.choices.push_back("/srv/likes.db");
  ASSERT_TRUE(editor.ChooseDatabaseFile("hash.80.dat", &path));
  EXPECT_EQ(path, "/srv/likes.db");
  EXPECT_EQ(prompts.file_dialogs[0],
            (FileDialog{FileDialog::Mode::kSave,
                        {{"datファイル(dat)", "*.dat"}, {"dbファイル(db)", "*.db"}},
                        "dat",
                        "hash.80.dat"}));
  EXPECT_EQ(PrivilegeText(0), "0:通常");
  EXPECT_EQ(PrivilegeText(1), "1:アップロードを許可");
  EXPECT_EQ(PrivilegeText(2), "");
}

}  // namespace
