// The folders the program runs from in the temporary folder: "KSetup-" and
// 16 hexadecimal digits. A run that ends leaves its own behind (its program
// file cannot delete itself); a later run removes those no longer in use,
// and only folders whose name has exactly this form.
#pragma once

#include <cstddef>

enum { kRunFolderDigits = 16 };

// "KSetup-" and the 8 bytes as 16 upper-case hexadecimal digits, in `out`
// of at least 24 bytes.
void runFolderName(const unsigned char random[8], char* out);
// True when `name` (a plain name, no path) has the form runFolderName
// makes; the letters of the prefix and of the digits in any case, as
// Windows compares names.
bool isRunFolderName(const char* name);
