// The install folder of install and uninstall on the host, in the program's
// form and checked as the program checks it.
#include <gtest/gtest.h>

#include <string>

#include "tools/lib/host_install.h"

namespace {

TEST(HostInstall, InstallFolderInTheProgramsFormOrWhyNot) {
  struct Case {
    std::string host;
    std::string program;  // empty: refused
    std::string reason;
  };
  const Case cases[] = {
      {"/tmp/Game", "C:\\Game", ""},
      // 表 ends in the byte of a backslash: one character all the same.
      {"/tmp/\xE8\xA1\xA8", "C:\\\x95\x5C", ""},
      {"/", "", "the install folder is the root folder"},
      {"/tmp/a\\b", "",
       "the install folder's name holds a backslash, which the installer reads as a separator"},
      {"/tmp/" + std::string(257, 'a'), "", "the install folder is longer than 259 bytes"},
      {"/tmp/\xF0\x9F\x98\x80", "",
       "the install folder: its name cannot be written in code page 932, which the installer's "
       "names are"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.host);
    std::string reason;
    EXPECT_EQ(programInstallFolder(c.host, "the install folder", &reason), c.program);
    EXPECT_EQ(reason, c.reason);
  }
}

}  // namespace
