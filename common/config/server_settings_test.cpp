#include "common/config/server_settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/known_folders.h"
#include "platform/testing/test_folder.h"
#include "platform/text.h"

namespace {

// The fields a file can leave at their defaults, checked together.
void ExpectDefaults(const ServerSettings& s) {
  EXPECT_EQ(s.port, 12345);
  EXPECT_EQ(s.title, "Lumenvale");
  EXPECT_EQ(s.hash_file_name, "hash.12345.dat");
  EXPECT_EQ(s.buffer_size, 30u);
  EXPECT_EQ(s.need_user, 0);
  EXPECT_EQ(s.sub + s.sort_windows + s.reset_standby_access + s.open_new_tab +
                s.open_name_thumbnail_folder + s.zip_reject + s.zip_reject_upload +
                s.show_fullpath + s.top_folder + s.upnp + s.upnp_port,
            0u);
  EXPECT_TRUE(s.users.empty());
}

void ExpectNotLoaded(const ServerSettings& s) {
  ExpectDefaults(s);
  EXPECT_FALSE(s.loaded);
  EXPECT_EQ(s.config_path, "");
  EXPECT_EQ(s.folders, std::vector<std::string>{platform::PicturesFolder()});
}

TEST(ServerSettingsTest, EmptyCommandLineRunsOnDefaultsWithThePicturesFolder) {
  ServerSettings s;
  EXPECT_FALSE(s.load(""));
  ExpectNotLoaded(s);
}

TEST(ServerSettingsTest, CommandLineForms) {
  TestFolder folder;
  std::string path = folder.Write("my settings.con", "<PORT>8080</PORT>\r\n");
  struct Case {
    std::string command_line;
    bool loaded;
  };
  const Case cases[] = {
      {"\"" + path + "\"", true},
      {"/opt/lumen vale/bin/lumenvale \"" + path + "\"", true},  // a stray word first
      {"Files/lumenvale \"" + path + "\" trailing", true},
      {path, true},          // unquoted, blank included
      {"\"" + path, false},  // a single quote is part of the path
      {path + " extra", false},
      {"\"\"" + path, false},  // the first two quotes hold an empty path
  };
  for (const Case& c : cases) {
    ServerSettings s;
    EXPECT_EQ(s.load(c.command_line), c.loaded) << c.command_line;
    if (c.loaded) {
      EXPECT_EQ(s.config_path, path);
      EXPECT_EQ(s.port, 8080);
    } else {
      ExpectNotLoaded(s);
    }
  }
}

TEST(ServerSettingsTest, PortAndHashFileName) {
  struct Case {
    const char* text;
    uint16_t port;
    const char* hash_file_name;
  };
  const Case cases[] = {
      {"<PORT>8080</PORT>\n", 8080, "hash.8080.dat"},
      {"<PORT>0x50</PORT>\n", 80, "hash.80.dat"},
      {"<PORT>010</PORT>\n", 8, "hash.8.dat"},
      {"<PORT>70000</PORT>\n", 4464, "hash.4464.dat"},
      {"<PORT>8080</PORT>\n<HASH_FILE_NAME></HASH_FILE_NAME>\n", 8080, ""},
      {"<HASH_FILE_NAME>likes.dat</HASH_FILE_NAME>\n<PORT>8080</PORT>\n", 8080, "likes.dat"},
      {"<TITLE>x</TITLE>\n", 12345, "hash.12345.dat"},
  };
  TestFolder folder;
  for (const Case& c : cases) {
    ServerSettings s;
    ASSERT_TRUE(s.load(folder.Write("a.con", c.text))) << c.text;
    EXPECT_EQ(s.port, c.port) << c.text;
    EXPECT_EQ(s.hash_file_name, c.hash_file_name) << c.text;
  }
}

TEST(ServerSettingsTest, ReadsEveryKey) {
  TestFolder folder;
  const std::string text =
      "<PATH>/srv/a</PATH>\n<PATH>/srv/b</PATH>\n<PATH>/srv/a</PATH>\n<PORT>8080</PORT>\n"
      "<SUB>1</SUB>\n<SORT_WINDOWS>1</SORT_WINDOWS>\n<RESET_STANDBY_ACCESS>1</"
      "RESET_STANDBY_ACCESS>\n"
      "<SHOW_FULLPATH>1</SHOW_FULLPATH>\n<OPEN_NEW_TAB>1</OPEN_NEW_TAB>\n"
      "<OPEN_NAME_THUMBNAIL_FOLDER>1</OPEN_NAME_THUMBNAIL_FOLDER>\n<TOP_FOLDER>1</TOP_FOLDER>\n"
      "<ZIP_REJECT>0</ZIP_REJECT>\n<ZIP_REJECT_UPLOAD>1</ZIP_REJECT_UPLOAD>\n"
      "<TITLE>  Our pictures </TITLE>\n<NEED_USER>1</NEED_USER>\n<BUFFER_SIZE>64</BUFFER_SIZE>\n"
      "<UPnP>1</UPnP>\n<UPnP_PORT>8081</UPnP_PORT>\n<HTTPS>1</HTTPS>\n"
      "<TLS_CERT>/etc/tls/full chain.pem</TLS_CERT>\n<TLS_KEY>key.pem</TLS_KEY>\n";
  ServerSettings s;
  ASSERT_TRUE(s.load(folder.Write("a.con", text)));
  EXPECT_EQ(s.folders, (std::vector<std::string>{"/srv/a", "/srv/b", "/srv/a"}));
  EXPECT_EQ(s.port, 8080);
  EXPECT_EQ(s.hash_file_name, "hash.8080.dat");
  EXPECT_EQ(s.sub, 1u);
  EXPECT_EQ(s.sort_windows, 1u);
  EXPECT_EQ(s.reset_standby_access, 1u);
  EXPECT_EQ(s.show_fullpath, 1u);
  EXPECT_EQ(s.open_new_tab, 1u);
  EXPECT_EQ(s.open_name_thumbnail_folder, 1u);
  EXPECT_EQ(s.top_folder, 1u);
  EXPECT_EQ(s.zip_reject, 0u);
  EXPECT_EQ(s.zip_reject_upload, 1u);
  EXPECT_EQ(s.title, "  Our pictures ");
  EXPECT_EQ(s.need_user, 1);
  EXPECT_EQ(s.buffer_size, 64u);
  EXPECT_EQ(s.upnp, 1u);
  EXPECT_EQ(s.upnp_port, 8081);
  EXPECT_EQ(s.https, 1u);
  EXPECT_EQ(s.tls_cert, "/etc/tls/full chain.pem");
  EXPECT_EQ(s.tls_key, "key.pem");
}

TEST(ServerSettingsTest, LongerKeyWrittenFirstCapturesTheShorterOne) {
  TestFolder folder;
  ServerSettings s;
  ASSERT_TRUE(s.load(folder.Write(
      "a.con", "<ZIP_REJECT_UPLOAD>1</ZIP_REJECT_UPLOAD>\n<ZIP_REJECT>0</ZIP_REJECT>\n")));
  EXPECT_EQ(s.zip_reject, 1u);
  EXPECT_EQ(s.zip_reject_upload, 1u);
}

TEST(ServerSettingsTest, UnclosedPathElements) {
  struct Case {
    const char* text;
    std::vector<std::string> folders;
  };
  const Case cases[] = {
      {"<PATH>/a</PATH>\n<PATH>/b</PATH>\n<PATH>/c\n", {"/a", "/b"}},
      {"<PATH>/a\n<PATH>/b</PATH>\n", {"/a\n<PATH>/b"}},
  };
  TestFolder folder;
  for (const Case& c : cases) {
    ServerSettings s;
    ASSERT_TRUE(s.load(folder.Write("a.con", c.text)));
    EXPECT_EQ(s.folders, c.folders) << c.text;
  }
}

TEST(ServerSettingsTest, FileWithoutKeysIsLoadedAndServesNoFolders) {
  TestFolder folder;
  std::string path = folder.Write("empty.con", "just some words\r\n");
  ServerSettings s;
  ASSERT_TRUE(s.load(path));
  EXPECT_TRUE(s.loaded);
  EXPECT_EQ(s.config_path, path);
  EXPECT_TRUE(s.folders.empty());
  ExpectDefaults(s);
}

TEST(ServerSettingsTest, Encodings) {
  // "/写真/猫" and the title "ねこ" in each encoding the reader accepts.
  std::u16string wide;
  ASSERT_TRUE(platform::Utf8ToUtf16("<PATH>/写真/猫</PATH>\r\n<TITLE>ねこ</TITLE>\r\n", &wide));
  const std::string utf16 = "\xFF\xFE" + platform::Utf16ToLeBytes(wide);
  struct Case {
    const char* name;
    std::string bytes;
  };
  const Case cases[] = {
      {"utf16le", utf16},
      {"utf8", "\xEF\xBB\xBF<PATH>/写真/猫</PATH>\r\n<TITLE>ねこ</TITLE>\r\n"},
      {"shift_jis",
       "<PATH>/\x8E\xCA\x90\x5E/\x94\x4C</PATH>\r\n<TITLE>\x82\xCB\x82\xB1</TITLE>\r\n"},
  };
  TestFolder folder;
  for (const Case& c : cases) {
    ServerSettings s;
    ASSERT_TRUE(s.load(folder.Write("a.con", c.bytes))) << c.name;
    EXPECT_EQ(s.folders, std::vector<std::string>{"/写真/猫"}) << c.name;
    EXPECT_EQ(s.title, "ねこ") << c.name;
  }
}

TEST(ServerSettingsTest, Utf16BigEndianFailsToOpen) {
  TestFolder folder;
  ServerSettings s;
  EXPECT_FALSE(s.load(folder.Write("be.con", std::string("\xFE\xFF\0<\0P\0O\0R\0T\0>\0"
                                                         "1",
                                                         14))));
  ExpectNotLoaded(s);
}

TEST(ServerSettingsTest, MissingFileFallsBackToDefaults) {
  TestFolder folder;
  ServerSettings s;
  EXPECT_FALSE(s.load("\"" + folder.Path("missing.con") + "\""));
  ExpectNotLoaded(s);
}

// A mistyped path used to start the server on its defaults (the pictures folder, to the whole
// network, without the login the file asked for). For a start, a named file that cannot be
// read is an error that names it and the reason; only an empty command line means defaults.
TEST(ServerSettingsTest, AStartRefusesWhatItCannotServe) {
  TestFolder folder;
  const std::string unreadable = folder.Write("secret.con", "<PATH>/p</PATH>");
  chmod(unreadable.c_str(), 0);
  const bool root = access(unreadable.c_str(), R_OK) == 0;  // root reads it anyway
  struct Case {
    std::string command_line;
    std::string error;  // "" when the settings may be served
  };
  std::vector<Case> cases = {
      {"", ""},
      {folder.Write("ok.con", "<PATH>/p</PATH>\r\n<PORT>8080</PORT>\r\n"), ""},
      {folder.Path("gallary.con"), "Could not read the configuration file " +
                                       folder.Path("gallary.con") + ": No such file or directory"},
      {"\"" + folder.Path("gallary.con") + "\"", "Could not read the configuration file " +
                                                     folder.Path("gallary.con") +
                                                     ": No such file or directory"},
      {folder.Root(),
       "Could not read the configuration file " + folder.Root() + ": Is a directory"},
      {"\"\"", "Could not read the configuration file \"\": the name is empty"},
      {folder.Write("be.con", std::string("\xFE\xFF\0<", 4)),
       "Could not read the configuration file " + folder.Path("be.con") +
           ": it is UTF-16 big-endian text, which is not read (save it as UTF-16LE or UTF-8)"},
      {folder.Write("port.con", "<PATH>/p</PATH><PORT>70000</PORT>"),
       folder.Path("port.con") +
           ": PORT is \"70000\", which is not a port number (1 to 65535, or 0 for any free port)"},
  };
  if (!root) {
    cases.push_back({unreadable, "Could not read the configuration file " + unreadable +
                                     ": Permission denied"});
  }
  for (const Case& c : cases) {
    ServerSettings s;
    ConfigReport report;
    EXPECT_EQ(s.LoadForStart(c.command_line, &report), c.error.empty()) << c.command_line;
    EXPECT_EQ(report.error, c.error) << c.command_line;
  }

  ServerSettings s;
  ConfigReport report;
  ASSERT_TRUE(s.LoadForStart(folder.Write("lower.con", "<path>/p</path>"), &report));
  EXPECT_EQ(report.warnings,
            std::vector<std::string>{"no known setting in it, so no folder is served; ignored: "
                                     "<path> (keys are upper case, as in <PATH>)"});
  EXPECT_TRUE(s.folders.empty());
}

TEST(ServerSettingsTest, Users) {
  TestFolder folder;
  const std::string text =
      "\xEF\xBB\xBF<NEED_USER>1</NEED_USER>\n"
      "<USER><USER_NAME>alice</USER_NAME><HASH>aaaa</HASH><PRIV>1</PRIV></USER>"
      "<USER><USER_NAME>猫</USER_NAME><HASH>cccc</HASH><PRIV>0</PRIV></USER>"
      "<USER><USER_NAME>\xF0\x9F\x98\x80</USER_NAME><HASH>eeee</HASH><PRIV>1</PRIV></USER>"
      "<USER><USER_NAME>alice</USER_NAME><HASH>bbbb</HASH><PRIV>0</PRIV></USER>"
      "<USER><HASH>dddd</HASH></USER>"
      "<UPnP>0</UPnP>\n";
  ServerSettings s;
  ASSERT_TRUE(s.load(folder.Write("a.con", text)));
  EXPECT_EQ(s.need_user, 1);
  struct Expected {
    const char* name;
    const char* name_cp932;
    const char* hash;
    int32_t privilege;
  };
  // Order and duplicates kept; names in UTF-8 and in Shift-JIS, where they have such a form
  // (the emoji has none, and is still an account for browsers); missing elements give an
  // empty text and privilege 0.
  const Expected expected[] = {{"alice", "alice", "aaaa", 1},
                               {"猫", "\x94\x4C", "cccc", 0},
                               {"\xF0\x9F\x98\x80", "", "eeee", 1},
                               {"alice", "alice", "bbbb", 0},
                               {"", "", "dddd", 0}};
  ASSERT_EQ(s.users.size(), std::size(expected));
  for (size_t i = 0; i < s.users.size(); ++i) {
    EXPECT_EQ(s.users[i].name, expected[i].name) << i;
    EXPECT_EQ(s.users[i].name_cp932, expected[i].name_cp932) << i;
    EXPECT_EQ(s.users[i].hash, expected[i].hash) << i;
    EXPECT_EQ(s.users[i].privilege, expected[i].privilege) << i;
  }
}

TEST(ServerSettingsTest, NeedUserWithoutAccounts) {
  TestFolder folder;
  ServerSettings s;
  ASSERT_TRUE(s.load(folder.Write("a.con", "<NEED_USER> -3</NEED_USER>\n")));
  EXPECT_EQ(s.need_user, -3);
  EXPECT_TRUE(s.users.empty());
}

TEST(ServerSettingsTest, LoadStartsAfreshEachTime) {
  TestFolder folder;
  ServerSettings s;
  ASSERT_TRUE(s.load(folder.Write("a.con", "<PATH>/a</PATH>\n<PORT>80</PORT>\n")));
  EXPECT_FALSE(s.load(""));
  ExpectNotLoaded(s);
}

}  // namespace
