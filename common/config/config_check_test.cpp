#include "common/config/config_check.h"

#include <gtest/gtest.h>

namespace {

// A port beyond 16 bits used to be served on its low bits (70000 on 4464) without a word.
TEST(ConfigCheckTest, PortsOutOfRangeAreErrorsNamingTheKey) {
  struct Case {
    const char* text;
    const char* error;  // "" for none
  };
  const Case cases[] = {
      {"<PATH>/p</PATH><PORT>8080</PORT>", ""},
      {"<PATH>/p</PATH><PORT>65535</PORT><UPnP_PORT>0x50</UPnP_PORT>", ""},
      {"<PATH>/p</PATH><PORT>0</PORT>", ""},  // any free port, as the tests use it
      {"<PATH>/p</PATH><PORT> 010</PORT>", ""},
      {"<PATH>/p</PATH><PORT>70000</PORT>",
       "PORT is \"70000\", which is not a port number (1 to 65535, or 0 for any free port)"},
      {"<PATH>/p</PATH><PORT>-5</PORT>",
       "PORT is \"-5\", which is not a port number (1 to 65535, or 0 for any free port)"},
      {"<PATH>/p</PATH><PORT>http</PORT>",
       "PORT is \"http\", which is not a port number (1 to 65535, or 0 for any free port)"},
      {"<PATH>/p</PATH><PORT>80</PORT><UPnP_PORT>0x10000</UPnP_PORT>",
       "UPnP_PORT is \"0x10000\", which is not a port number (1 to 65535, or 0 for any free "
       "port)"},
  };
  for (const Case& c : cases) {
    const ConfigFindings findings = CheckConfigText(c.text);
    if (*c.error == '\0') {
      EXPECT_TRUE(findings.errors.empty()) << c.text;
    } else {
      EXPECT_EQ(findings.errors, std::vector<std::string>{c.error}) << c.text;
    }
    EXPECT_TRUE(findings.warnings.empty()) << c.text;
  }
}

TEST(ConfigCheckTest, WhatIsIgnoredIsNamed) {
  struct Case {
    const char* text;
    std::vector<std::string> warnings;
  };
  const Case cases[] = {
      // The editor's own file, and unknown elements beside known ones, are quiet.
      {"<PATH>/p</PATH>\n<NEED_USER>1</NEED_USER>\n<USER><USER_NAME>a</USER_NAME><HASH>h</HASH>"
       "<PRIV>1</PRIV></USER><UPnP>0</UPnP>\n<LATER_KEY>1</LATER_KEY>\n",
       {}},
      {"<PATH>/p</PATH>\n<NEED_USER>1\n<PORT>80</PORT>",
       {"<NEED_USER> is never closed by </NEED_USER>: it is ignored"}},
      {"<path>/p</path>\n<port>80</port>\n",
       {"no known setting in it, so no folder is served; ignored: <path> <port> (keys are upper "
        "case, as in <PATH>)"}},
      {"", {"no known setting in it, so no folder is served"}},
      {"<PATH>/p",
       {"<PATH> is never closed by </PATH>: it is ignored",
        "no known setting in it, so no folder is served"}},
  };
  for (const Case& c : cases) {
    const ConfigFindings findings = CheckConfigText(c.text);
    EXPECT_EQ(findings.warnings, c.warnings) << c.text;
    EXPECT_TRUE(findings.errors.empty()) << c.text;
  }
}

}  // namespace
