#include "tools/cmd_help.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "ksetup_version.h"
#include "tools/tool.h"

int answerHelp(int argc, char** argv, const char* usage) {
  if (argc >= 2 && (!strcmp(argv[1], "--version") || !strcmp(argv[1], "-V"))) {
    printf("ksetup-tool %s\n", KSETUP_VERSION_TEXT);
    return kExitOk;
  }
  bool asked = false;
  for (int i = 2; i < argc; i++)
    asked = asked || !strcmp(argv[i], "--help") || !strcmp(argv[i], "-h");
  if (!asked) return -1;
  const std::string group = argv[1];
  // The groups with a help of their own.
  static char helpWord[] = "help";
  char* helpArgs[] = {helpWord, nullptr};
  if (group == "disc") {
    if (argc >= 3 && (!strcmp(argv[2], "build") || !strcmp(argv[2], "verify"))) {
      char* buildHelp[] = {argv[2], const_cast<char*>("--help"), nullptr};
      return toolDisc(2, buildHelp);
    }
    return toolDisc(1, helpArgs);
  }
  if (group == "script") return toolScript(1, helpArgs);
  // The others: their lines of the tool's usage.
  std::string text = usage, lines;
  bool known = false;
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    at = end + 1;
    bool mine = line.compare(0, group.size() + 3, "  " + group + " ") == 0;
    if (mine || (known && line.compare(0, 4, "    ") == 0))
      lines += "usage: ksetup-tool" + line.substr(1) + "\n";
    known = mine || (known && line.compare(0, 4, "    ") == 0);
  }
  if (lines.empty()) return -1;
  fputs(lines.c_str(), stdout);
  return kExitOk;
}
