#include "editor/command_line.h"

#include <gtest/gtest.h>

namespace {

using Kind = EditorCommandLine::Kind;

TEST(EditorCommandLineTest, CommandsTheirOperandsAndOptions) {
  struct Case {
    std::vector<std::string> arguments;
    Kind kind;
    std::string file;
    std::vector<std::string> operands;
    int32_t privilege = 0;
    std::string server = "";
  } cases[] = {
      {{}, Kind::kDialog, "", {}},
      {{"my.con"}, Kind::kDialog, "my.con", {}},
      {{"./show"}, Kind::kDialog, "./show", {}},
      {{"--help"}, Kind::kHelp, "", {}},
      {{"show", "a.con"}, Kind::kShow, "a.con", {}},
      {{"set", "a.con", "PORT", "8080"}, Kind::kSet, "a.con", {"PORT", "8080"}},
      {{"set", "a.con", "TITLE", "-"}, Kind::kSet, "a.con", {"TITLE", "-"}},
      {{"add-folder", "a.con", "/srv/p"}, Kind::kAddFolder, "a.con", {"/srv/p"}},
      {{"remove-folder", "a.con", "/srv/p"}, Kind::kRemoveFolder, "a.con", {"/srv/p"}},
      {{"add-user", "a.con", "anna"}, Kind::kAddUser, "a.con", {"anna"}},
      {{"add-user", "--upload", "a.con", "anna"}, Kind::kAddUser, "a.con", {"anna"}, 1},
      {{"change-user", "a.con", "anna", "--upload"}, Kind::kChangeUser, "a.con", {"anna"}, 1},
      {{"add-user", "a.con", "--", "--upload"}, Kind::kAddUser, "a.con", {"--upload"}},
      {{"remove-user", "a.con", "anna"}, Kind::kRemoveUser, "a.con", {"anna"}},
      {{"install-service"}, Kind::kInstallService, "", {}},
      {{"install-service", "a.con", "--server", "/opt/lumenvale"},
       Kind::kInstallService,
       "a.con",
       {},
       0,
       "/opt/lumenvale"},
      {{"remove-service", "a.con"}, Kind::kRemoveService, "a.con", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.arguments));
    EditorCommandLine line;
    std::string error;
    ASSERT_TRUE(ParseEditorCommandLine(c.arguments, &line, &error)) << error;
    EXPECT_EQ(line.kind, c.kind);
    EXPECT_EQ(line.file, c.file);
    EXPECT_EQ(line.operands, c.operands);
    EXPECT_EQ(line.privilege, c.privilege);
    EXPECT_EQ(line.server, c.server);
  }
}

TEST(EditorCommandLineTest, MalformedLinesAreRefusedWithTheReason) {
  struct Case {
    std::vector<std::string> arguments;
    std::string error;
  } cases[] = {
      {{"bogus", "a.con"}, "unknown command: bogus"},
      {{"--version"}, "unknown command: --version"},
      {{"--help", "show"}, "unknown command: --help"},
      {{"show"}, "usage: quillon show FILE"},
      {{"show", "a.con", "b.con"}, "usage: quillon show FILE"},
      {{"set", "a.con", "PORT"}, "usage: quillon set FILE KEY VALUE"},
      {{"add-user", "a.con"}, "usage: quillon add-user FILE NAME [--upload]"},
      {{"remove-user", "a.con", "anna", "--upload"}, "remove-user: unknown option --upload"},
      {{"install-service", "--server"}, "install-service: unknown option --server"},
      {{"remove-service", "a.con", "--server", "/x"}, "remove-service: unknown option --server"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.arguments));
    EditorCommandLine line;
    std::string error;
    EXPECT_FALSE(ParseEditorCommandLine(c.arguments, &line, &error));
    EXPECT_EQ(error, c.error);
  }
}

TEST(EditorCommandLineTest, HelpListsEveryCommandAndTheKeysOfSet) {
  std::string help = EditorHelpText();
  for (const char* named :
       {"  show FILE\n", "  set FILE KEY VALUE\n", "  add-folder FILE FOLDER\n",
        "  remove-folder FILE FOLDER\n", "  add-user FILE NAME [--upload]\n",
        "  change-user FILE NAME [--upload]\n", "  remove-user FILE NAME\n",
        "  install-service [FILE] [--server PATH]\n", "  remove-service [FILE]\n",
        " OPEN_NAME_THUMBNAIL_FOLDER ", " UPnP_PORT ", " TLS_KEY\n"}) {
    EXPECT_NE(help.find(named), std::string::npos) << named;
  }
  for (size_t start = 0, end; (end = help.find('\n', start)) != std::string::npos;
       start = end + 1) {
    EXPECT_LE(end - start, 79u) << help.substr(start, end - start);
  }
}

}  // namespace
