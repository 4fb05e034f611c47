// --version and COMMAND --help, for every command of the tool.
#pragma once

// `ksetup-tool --version`, or a --help (or -h) anywhere after a command:
// prints the answer and returns 0 (the lines of `usage` for that command, or
// the command's own help where it has one). -1 when it is neither.
int answerHelp(int argc, char** argv, const char* usage);
