#include "common/config/editor_settings.h"

#include <gtest/gtest.h>

#include "common/config/password_hash.h"
#include "common/config/server_settings.h"
#include "common/config/testing/config_file_bytes.h"
#include "platform/testing/test_folder.h"

// Readable failure messages for the record.
void PrintTo(const EditorAccount& a, std::ostream* os) {
  *os << "{" << testing::PrintToString(a.name) << ", " << a.hash << ", " << a.privilege << "}";
}

void PrintTo(const EditorSettings& s, std::ostream* os) {
  *os << "folders=" << testing::PrintToString(s.folders) << " port=" << s.port << " flags=" << s.sub
      << s.sort_windows << s.reset_standby_access << s.show_fullpath << s.open_new_tab
      << s.open_name_thumbnail_folder << s.top_folder << s.zip_reject << s.zip_reject_upload
      << " title=" << testing::PrintToString(s.title) << " hash_file_name=" << s.hash_file_name
      << " upnp=" << s.upnp << " upnp_port=" << s.upnp_port << " need_user=" << s.need_user
      << " users=" << testing::PrintToString(s.users);
}

namespace {

TEST(EditorSettingsTest, UnreadableFileGivesDefaultsWithoutDatabaseName) {
  TestFolder folder;
  EditorSettings s;
  s.folders = {"/left/over"};
  EXPECT_FALSE(s.parse(folder.Path("missing.con")));
  EXPECT_EQ(s, EditorSettings());
  EXPECT_EQ(s.port, 12345);
  EXPECT_EQ(s.title, "Lumenvale");
  EXPECT_EQ(s.hash_file_name, "");
  EXPECT_FALSE(s.parse(""));
  // The path is used as given: quotes are part of it.
  std::string path = folder.Write("a.con", "<PORT>1</PORT>");
  EXPECT_FALSE(s.parse("\"" + path + "\""));
}

TEST(EditorSettingsTest, ParseDiffersFromTheServerWhereItShould) {
  TestFolder folder;
  const std::string path = folder.Write(
      "a.con",
      "\xEF\xBB\xBF<PATH>/a</PATH>\n<PORT>70000</PORT>\n<SUB>2</SUB>\n<ZIP_REJECT_UPLOAD>1</"
      "ZIP_REJECT_UPLOAD>\n<ZIP_REJECT>0</ZIP_REJECT>\n"
      "<NEED_USER>1</NEED_USER>\n<BUFFER_SIZE>64</BUFFER_SIZE>\n"
      "<USER><USER_NAME>\xF0\x9F\x98\x80</USER_NAME><HASH>h1</HASH><PRIV>1</PRIV></USER>"
      "<USER><USER_NAME>猫</USER_NAME><HASH>h2</HASH></USER>"
      "<UPnP>1</UPnP>\n<UPnP_PORT>0x1F90</UPnP_PORT>\n");
  EditorSettings s;
  ASSERT_TRUE(s.parse(path));
  EditorSettings expected;
  expected.folders = {"/a"};
  expected.port = 4464;
  expected.hash_file_name = "hash.4464.dat";  // set because the file opened
  expected.sub = true;
  expected.zip_reject = true;  // the prefix "<ZIP_REJECT" met the longer element first
  expected.zip_reject_upload = true;
  expected.need_user = true;
  expected.upnp = true;
  expected.upnp_port = 8080;
  expected.buffer_size = 64;  // not shown by the dialog, kept to be written back
  // Names stay UTF-8, also those without a Shift-JIS form.
  expected.users = {{"\xF0\x9F\x98\x80", "h1", 1}, {"猫", "h2", 0}};
  EXPECT_EQ(s, expected);
}

// The smallest useful file, byte for byte.
TEST(EditorSettingsTest, WritesExactBytes) {
  EditorSettings s;
  s.folders = {"/p"};
  s.port = 8080;
  s.sub = true;
  s.title = "猫";
  s.need_user = true;
  s.users = {{"a", "h", 1}, {"b", "i", 0}};
  TestFolder folder;
  ASSERT_TRUE(s.write(folder.Path("out.con")));
  std::string expected =
      ConfigFileBytes(
          "<PATH>/p</PATH>\n<PORT>8080</PORT>\n<SUB>1</SUB>\n<SORT_WINDOWS>0</SORT_WINDOWS>\n"
          "<RESET_STANDBY_ACCESS>0</RESET_STANDBY_ACCESS>\n<SHOW_FULLPATH>0</SHOW_FULLPATH>\n"
          "<OPEN_NEW_TAB>0</OPEN_NEW_TAB>\n"
          "<OPEN_NAME_THUMBNAIL_FOLDER>0</OPEN_NAME_THUMBNAIL_FOLDER>\n"
          "<TOP_FOLDER>0</TOP_FOLDER>\n<ZIP_REJECT>0</ZIP_REJECT>\n"
          "<ZIP_REJECT_UPLOAD>0</ZIP_REJECT_UPLOAD>\n<TITLE>") +
      "\x2B\x73" +
      ConfigFileBytes(
          "</TITLE>\n<NEED_USER>1</NEED_USER>\n"
          "<USER><USER_NAME>a</USER_NAME><HASH>h</HASH><PRIV>1</PRIV></USER>"
          "<USER><USER_NAME>b</USER_NAME><HASH>i</HASH><PRIV>0</PRIV></USER>"
          "<UPnP>0</UPnP>\n")
          .substr(2);
  EXPECT_EQ(folder.Read("out.con"), expected);
}

TEST(EditorSettingsTest, UpnpPortIsWrittenAfterUpnpOnlyWhenSet) {
  TestFolder folder;
  EditorSettings s;
  s.hash_file_name = "likes.dat";
  s.upnp = true;
  ASSERT_TRUE(s.write(folder.Path("a.con")));
  EXPECT_TRUE(folder.Read("a.con").ends_with(
      ConfigFileBytes("<HASH_FILE_NAME>likes.dat</HASH_FILE_NAME>\n<NEED_USER>0</NEED_USER>\n"
                      "<UPnP>1</UPnP>\n")
          .substr(2)));
  s.upnp_port = 8081;
  ASSERT_TRUE(s.write(folder.Path("a.con")));
  EXPECT_TRUE(folder.Read("a.con").ends_with(
      ConfigFileBytes("<UPnP>1</UPnP>\n<UPnP_PORT>8081</UPnP_PORT>\n").substr(2)));
  EditorSettings back;
  ASSERT_TRUE(back.parse(folder.Path("a.con")));
  EXPECT_EQ(back, s);
}

// A file that does not use HTTPS is written as before; one that does ends with its settings.
TEST(EditorSettingsTest, HttpsSettingsAreWrittenOnlyWhenSet) {
  TestFolder folder;
  EditorSettings s;
  s.hash_file_name = "likes.dat";
  s.tls_key = "/etc/tls/privkey.pem";
  ASSERT_TRUE(s.write(folder.Path("a.con")));
  EXPECT_TRUE(folder.Read("a.con").ends_with(
      ConfigFileBytes("<UPnP>0</UPnP>\n<TLS_KEY>/etc/tls/privkey.pem</TLS_KEY>\n").substr(2)));
  s.https = true;
  s.tls_cert = "/etc/tls/fullchain.pem";
  ASSERT_TRUE(s.write(folder.Path("a.con")));
  EXPECT_TRUE(folder.Read("a.con").ends_with(
      ConfigFileBytes(
          "<UPnP>0</UPnP>\n<HTTPS>1</HTTPS>\n<TLS_CERT>/etc/tls/fullchain.pem</TLS_CERT>"
          "\n<TLS_KEY>/etc/tls/privkey.pem</TLS_KEY>\n")
          .substr(2)));
  EditorSettings back;
  ASSERT_TRUE(back.parse(folder.Path("a.con")));
  EXPECT_EQ(back, s);
}

TEST(EditorSettingsTest, WrittenFileReadsBackThroughBothReaders) {
  EditorSettings s;
  s.folders = {"/srv/写真", "/srv/b", "/srv/写真"};
  s.port = 8080;
  s.sub = s.sort_windows = s.reset_standby_access = s.show_fullpath = true;
  s.open_new_tab = s.open_name_thumbnail_folder = s.top_folder = true;
  s.zip_reject = false;  // the shorter key must survive the longer one set
  s.zip_reject_upload = true;
  s.title = "ねこの写真 \xF0\x9F\x98\x80";
  s.hash_file_name = "hash.8080.dat";
  s.upnp = true;
  s.upnp_port = 8081;
  s.need_user = true;
  std::string hash_alice, hash_cat;
  ASSERT_TRUE(PasswordHash("alice", "pw", &hash_alice));
  ASSERT_TRUE(PasswordHash("猫", "", &hash_cat));
  s.users = {{"alice", hash_alice, 1}, {"猫", hash_cat, 0}, {"alice", hash_alice, 0}};

  TestFolder folder;
  const std::string path = folder.Path("round trip.con");
  ASSERT_TRUE(s.write(path));

  EditorSettings editor;
  ASSERT_TRUE(editor.parse(path));
  EXPECT_EQ(editor, s);

  ServerSettings server;
  ASSERT_TRUE(server.load("\"" + path + "\""));
  EXPECT_EQ(server.folders, s.folders);
  EXPECT_EQ(server.port, 8080);
  EXPECT_EQ(server.sub, 1u);
  EXPECT_EQ(server.sort_windows, 1u);
  EXPECT_EQ(server.reset_standby_access, 1u);
  EXPECT_EQ(server.show_fullpath, 1u);
  EXPECT_EQ(server.open_new_tab, 1u);
  EXPECT_EQ(server.open_name_thumbnail_folder, 1u);
  EXPECT_EQ(server.top_folder, 1u);
  EXPECT_EQ(server.zip_reject, 0u);
  EXPECT_EQ(server.zip_reject_upload, 1u);
  EXPECT_EQ(server.title, s.title);
  EXPECT_EQ(server.hash_file_name, "hash.8080.dat");
  EXPECT_EQ(server.upnp, 1u);
  EXPECT_EQ(server.upnp_port, 8081);
  EXPECT_EQ(server.need_user, 1);
  EXPECT_EQ(server.buffer_size, 30u);
  ASSERT_EQ(server.users.size(), 3u);
  EXPECT_EQ(server.users[0].name, "alice");
  EXPECT_EQ(server.users[0].hash, hash_alice);
  EXPECT_EQ(server.users[0].privilege, 1);
  EXPECT_EQ(server.users[1].name, "猫");
  EXPECT_EQ(server.users[1].name_cp932, "\x94\x4C");
  EXPECT_EQ(server.users[1].hash, hash_cat);
  EXPECT_EQ(server.users[2].privilege, 0);
}

TEST(EditorSettingsTest, TextWithNewlinesRoundTrips) {
  EditorSettings s;
  s.title = "two\nlines\r\nand a CR\r";
  TestFolder folder;
  ASSERT_TRUE(s.write(folder.Path("a.con")));
  EditorSettings back;
  ASSERT_TRUE(back.parse(folder.Path("a.con")));
  EXPECT_EQ(back.title, s.title);
}

TEST(EditorSettingsTest, FailedWriteLeavesTheOldFileWhole) {
  TestFolder folder;
  const std::string old_bytes = "old content";
  const std::string path = folder.Write("a.con", old_bytes);
  EditorSettings s;
  s.title = "not UTF-8 \xFF";
  EXPECT_FALSE(s.write(path));
  EXPECT_EQ(folder.Read("a.con"), old_bytes);
  EXPECT_FALSE(EditorSettings().write(folder.Path("no such folder/a.con")));
}

}  // namespace
