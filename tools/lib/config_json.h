// The setup configuration as JSON, for `ksetup-tool script dump` and the
// Windows ksetup-dump: plain C++ so that both print the same bytes.
#pragma once

#include <cstddef>
#include <string>

#include "platform/text.h"  // cp932ToUtf8

// The record `config` as one line of compact JSON (no blanks) followed by a
// newline. Keys in this order:
//   discNum; appliTitle exeName mustMakeFolder regAddress dxMessage dxPlace
//   brandName uninstallEntry (strings); discLabel discName shortcutLabel shortcutName
//   shortcutLink shortcutFolder shortcutParam saveData keyFile optionTitle
//   makeFolder (string lists); dxDisc (numbers); exec [{command, argument}],
//   argument a number or, when the script gave text, a string; fileList (10
//   lists of strings or null); fileSize, fileOption (10 lists of numbers);
//   scene [{type name x y moveX moveY showFrom showUntil frameInterval
//   startDelay firstFrameInterval cellHeight mode}], one per slot whose type
//   is not 0, in slot order.
// Every list ends after its last non-empty text, non-zero number or non-null
// entry (empty items before it stay as "", 0 or null); exec ends after its
// last entry with a command. Scene numbers are signed; mode, commands and the
// other numbers unsigned. Text is decoded from code page 932 to UTF-8, with
// U+FFFD for a byte that is no character.
std::string configToJson();

