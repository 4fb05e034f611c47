// script check's report, shared by the commands that check a disc set.
#pragma once

#include <string>
#include <vector>

#include "tools/lib/script_check.h"

// Prints the findings of a script check and its verdict; the command's exit
// code (the load failing or an error: 1, with the first error on stderr).
int printCheck(const CheckResult& result);

// script check of a disc set (folders or images, disc 1 first; none for the
// script alone): prints the findings and the verdict as `script check` does
// and returns its exit code. `shownScript`, when not empty, names the script
// in the report in place of the file read.
int runDiscSetCheck(const std::string& dir, const std::vector<std::string>& discs,
                    const std::string& shownScript);
