#include "common/config/settings_table.h"

#include <gtest/gtest.h>

#include <type_traits>

#include "common/config/settings_io.h"
#include "common/config/testing/config_file_bytes.h"
#include "platform/testing/test_folder.h"

namespace {

// Readers take the first opening tag that starts with "<" + key, so a row written after a
// longer key it is a prefix of would read that key's value.
TEST(SettingsTableTest, EveryKeyPrecedesTheLongerKeysItStarts) {
  for (size_t shorter = 0; shorter < std::size(kSettings); ++shorter) {
    const std::string_view key = kSettings[shorter].key;
    for (size_t longer = 0; longer < std::size(kSettings); ++longer) {
      const std::string_view other = kSettings[longer].key;
      if (longer != shorter && other.starts_with(key)) {
        EXPECT_LT(shorter, longer) << key << " must be written before " << other;
      }
    }
  }
}

// A file without elements reads as the records' own defaults, field by field, so the table's
// absent values and the records' initialisers cannot drift apart.
TEST(SettingsTableTest, AbsentElementsReadAsTheRecordDefaults) {
  ServerSettings server;
  ReadSettings("", &server);
  EditorSettings editor;
  ReadSettings("", &editor);
  const ServerSettings server_defaults;
  const EditorSettings editor_defaults;
  for (const Setting& row : kSettings) {
    std::visit(
        [&](auto member) {
          // Accounts have no comparison; there are none either way.
          if constexpr (std::is_same_v<decltype(server.*member), std::vector<UserAccount>&>) {
            EXPECT_TRUE(server.users.empty() && server_defaults.users.empty());
          } else {
            EXPECT_TRUE(server.*member == server_defaults.*member) << row.key;
          }
        },
        row.server);
    // The editor names a database file only for a file it read.
    if (row.kind == SettingKind::kHashFileName) continue;
    std::visit(
        [&](auto member) { EXPECT_TRUE(editor.*member == editor_defaults.*member) << row.key; },
        row.editor.member);
  }
  EXPECT_EQ(editor.hash_file_name, "hash.12345.dat");
}

TEST(SettingsTableTest, UnknownElementsAreTheTopLevelElementsNoRowNames) {
  struct Case {
    const char* text;
    std::vector<std::string> unknown;
  };
  const Case cases[] = {
      {"<PORT>1</PORT>\n<THEME>dark</THEME>\n<SUB>0</SUB>\n", {"<THEME>dark</THEME>"}},
      // A name that starts with a key is not that key.
      {"<ZIP_REJECT_MAX>5</ZIP_REJECT_MAX><ZIP_REJECT>1</ZIP_REJECT>",
       {"<ZIP_REJECT_MAX>5</ZIP_REJECT_MAX>"}},
      // Kept whole, nested elements, line breaks and all.
      {"<A><PORT>1</PORT>\nx</A>\n<B></B>", {"<A><PORT>1</PORT>\nx</A>", "<B></B>"}},
      // A setting's element is passed over whole, the elements inside it too.
      {"<USER><USER_NAME>a</USER_NAME><X>1</X></USER><Y>2</Y>", {"<Y>2</Y>"}},
      {"<TITLE>a <C>b</C></TITLE>", {}},
      // Text outside elements, stray closing tags and unclosed elements are no elements.
      {"words </PORT> <OPEN>never closed\n<D>4</D> <>x</> < E>5</ E>", {"<D>4</D>", "< E>5</ E>"}},
      {"<F<G>6</G>", {"<G>6</G>"}},
      {"<PATH>/a\n<PATH>/b</PATH>\n<H>7</H>", {"<H>7</H>"}},
  };
  for (const Case& c : cases) EXPECT_EQ(UnknownElements(c.text), c.unknown) << c.text;
}

// A hand-written file with elements the editor does not know, one of them named like a
// setting it precedes, and a BUFFER_SIZE: parsed and written, it keeps them all, after the
// settings, and reads as before.
TEST(SettingsTableTest, EditorWritesBackWhatItDoesNotKnow) {
  TestFolder folder;
  const std::string path = folder.Write(
      "a.con", ConfigFileBytes("<THEME>dark</THEME>\n<PATH>/p</PATH>\n<PORT>8080</PORT>\n"
                               "<ZIP_REJECT_MAX>5</ZIP_REJECT_MAX>\n<ZIP_REJECT>0</ZIP_REJECT>\n"
                               "<BUFFER_SIZE>0x10</BUFFER_SIZE>\n<NOTE>a\nb</NOTE>\n"));
  EditorSettings s;
  ASSERT_TRUE(s.parse(path));
  // The longer element came first, so its value is what ZIP_REJECT read, as the server does.
  EXPECT_TRUE(s.zip_reject);
  EXPECT_EQ(s.buffer_size, 16u);
  EXPECT_EQ(s.unknown_elements,
            (std::vector<std::string>{"<THEME>dark</THEME>", "<ZIP_REJECT_MAX>5</ZIP_REJECT_MAX>",
                                      "<NOTE>a\nb</NOTE>"}));
  ASSERT_TRUE(s.write(folder.Path("b.con")));
  EXPECT_EQ(folder.Read("b.con"),
            ConfigFileBytes("<PATH>/p</PATH>\n<PORT>8080</PORT>\n<SUB>0</SUB>\n"
                            "<SORT_WINDOWS>0</SORT_WINDOWS>\n"
                            "<RESET_STANDBY_ACCESS>0</RESET_STANDBY_ACCESS>\n"
                            "<SHOW_FULLPATH>0</SHOW_FULLPATH>\n<OPEN_NEW_TAB>0</OPEN_NEW_TAB>\n"
                            "<OPEN_NAME_THUMBNAIL_FOLDER>0</OPEN_NAME_THUMBNAIL_FOLDER>\n"
                            "<TOP_FOLDER>0</TOP_FOLDER>\n<ZIP_REJECT>1</ZIP_REJECT>\n"
                            "<ZIP_REJECT_UPLOAD>0</ZIP_REJECT_UPLOAD>\n<TITLE>Lumenvale</TITLE>\n"
                            "<HASH_FILE_NAME>hash.8080.dat</HASH_FILE_NAME>\n"
                            "<NEED_USER>0</NEED_USER>\n<UPnP>0</UPnP>\n"
                            "<BUFFER_SIZE>16</BUFFER_SIZE>\n<THEME>dark</THEME>\n"
                            "<ZIP_REJECT_MAX>5</ZIP_REJECT_MAX>\n<NOTE>a\nb</NOTE>\n"));

  EditorSettings back;
  ASSERT_TRUE(back.parse(folder.Path("b.con")));
  EXPECT_EQ(back, s);
  ServerSettings server;
  ASSERT_TRUE(server.load(folder.Path("b.con")));
  EXPECT_EQ(server.zip_reject, 1u);
  EXPECT_EQ(server.buffer_size, 16u);
  EXPECT_EQ(server.folders, std::vector<std::string>{"/p"});
}

// Settings left out of the written file stay absent for both readers, whatever unknown
// elements with longer names follow.
TEST(SettingsTableTest, UnwrittenSettingsStayAbsentBesideLongerUnknownNames) {
  EditorSettings s;
  s.unknown_elements = {"<PATHS>/x</PATHS>", "<USERS>u</USERS>", "<UPnP_PORTS>9</UPnP_PORTS>",
                        "<HASH_FILE_NAME_OLD>old.dat</HASH_FILE_NAME_OLD>",
                        "<BUFFER_SIZES>7</BUFFER_SIZES>"};
  TestFolder folder;
  ASSERT_TRUE(s.write(folder.Path("a.con")));
  ServerSettings server;
  ASSERT_TRUE(server.load(folder.Path("a.con")));
  EXPECT_TRUE(server.folders.empty());
  EXPECT_TRUE(server.users.empty());
  EXPECT_EQ(server.upnp_port, 0);
  EXPECT_EQ(server.hash_file_name, "hash.12345.dat");
  EXPECT_EQ(server.buffer_size, 30u);
  EditorSettings back;
  ASSERT_TRUE(back.parse(folder.Path("a.con")));
  EXPECT_EQ(back.unknown_elements, s.unknown_elements);
  EXPECT_FALSE(back.buffer_size.has_value());
}

TEST(SettingsTableTest, CopyUnshownSettingsTakesOnlyWhatTheDialogDoesNotShow) {
  EditorSettings loaded;
  loaded.port = 8080;
  loaded.title = "loaded";
  loaded.buffer_size = 200;
  loaded.unknown_elements = {"<THEME>dark</THEME>"};
  EditorSettings values;
  values.title = "typed";
  CopyUnshownSettings(loaded, &values);
  EXPECT_EQ(values.port, 12345);
  EXPECT_EQ(values.title, "typed");
  EXPECT_EQ(values.buffer_size, 200u);
  EXPECT_EQ(values.unknown_elements, loaded.unknown_elements);
}

}  // namespace
