// How the tool's libraries report: a function that can fail returns false
// (or an empty value) and fills its last parameter with the reason. When the
// function itself knows which file is at fault (it reads or writes many), the
// reason comes as a Failure that names the file; a warning, which does not
// stop anything, is the same record. The command files print them as
// "ksetup-tool: FILE: REASON" (or "FILE: warning: REASON") and choose the
// exit status; nothing here prints.
#pragma once

#include <string>
#include <vector>

struct Failure {
  std::string file;
  std::string reason;
};

// Warnings collected on the way, in the order they were found.
typedef std::vector<Failure> Warnings;
