// disc build's release steps and disc verify, on the command side: they
// print what they did or the one line of a failure and return the command's
// exit code.
#pragma once

#include <string>
#include <vector>

#include "tools/lib/disc_release.h"

// disc verify DIR: the images of DIR against DIR/SHA256SUMS, and every file
// of every image read back. The command's exit code.
int discVerify(int argc, char** argv);

// Signs the program `exe` for disc 1 as `options` ask, into `scratch`, with
// `title` as the signature's program name; *signedPath gets the signed
// copy. Prints what was run, or the one line of a failure; the command's exit
// code.
int signDiscProgram(const ReleaseOptions& options, const std::string& exe, const std::string& title,
                    ScratchFolder* scratch, std::string* signedPath);

// After disc build wrote its outputs into `out`: gives them the fixed date,
// when there is one, and writes SHA256SUMS for the images. The command's exit
// code (a failure printed).
int finishRelease(const ReleaseOptions& options, const std::string& out,
                  const std::vector<std::string>& discFolders,
                  const std::vector<std::string>& images);
