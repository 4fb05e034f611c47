// The setup configuration: the one process-wide record filled from the setup
// script KSetup.ini (read loose from the current folder, else from the data
// archive Instdata.pak there). Text fields are fixed Shift-JIS buffers that
// always end in a zero byte.
#pragma once

#include <cstdint>

#include "platform/rect.h"

enum {
  kTextSize = 64,       // configuration text fields: 63 bytes and a zero
  kPathSize = 260,      // paths: 259 bytes and a zero
  kExecEntries = 10,
  kDiscs = 10,
  kFilesPerDisc = 1024,
  kShortcuts = 20,
  kSaveDataItems = 256,
  kOptionTitles = 3,
  kMakeFolders = 32,
  kSceneSlots = 256,
  kDxDiscs = 10,
};

// Start-up command values (value words of the script).
enum : uint32_t {
  kExecChangeCd = 1,
  kExecLoadIniFromCd = 2,
  kExecLoadIniFromHd = 3,
  kExecPopupMessage = 0x80000001u,
};

// One start-up command. The argument is a number, or, when the script gave a
// quoted text, an owned 260-byte string in `text` (then `argument` is 0).
struct ExecEntry {
  uint32_t command;
  uint32_t argument;
  char* text;
};

enum SceneType : int32_t {
  kSceneFree = 0,
  kSceneBack = 1,
  kSceneBase = 2,
  kSceneWrite = 3,
  kSceneElement = 4,
  kSceneProgressBar = 5,
  kSceneSprite1 = 6,
  kSceneSprite2 = 7,
  kSceneFinish = 8,
};

enum SceneState : int32_t { kWaiting = 0, kActive = 1, kDone = 2 };

// One line of the install scene: the arguments the loader reads, and the
// run-time fields the animation engine keeps.
struct SceneElement {
  int32_t type;
  int32_t state;
  uint32_t mode;
  int32_t showFrom;
  int32_t showUntil;
  int32_t x;
  int32_t y;
  char name[kTextSize];
  int32_t frameInterval;
  int32_t firstFrameInterval;
  int32_t startDelay;
  int32_t pictureWidth;
  int32_t pictureHeight;
  int32_t moveX;
  int32_t moveY;
  int32_t cellHeight;
  uint32_t* pixels;           // loaded picture while the element needs it
  uint32_t* savedBackground;  // surface pixels under drawnRect
  union {
    int32_t barWidth;   // ProgressBar: width drawn so far
    uint32_t stepTime;  // Sprite1: time of the last step; Sprite2: start time
  };
  union {
    int32_t barHeight;  // ProgressBar: height drawn so far
    int32_t cellIndex;  // sprites: cell counter
  };
  uint32_t nextStepTime;    // Sprite2: time of the next step
  int32_t backgroundSaved;  // savedBackground holds what lies under drawnRect
  Rect drawnRect;           // stage coordinates of the picture as last drawn
};

struct SetupConfig {
  ExecEntry exec[kExecEntries];
  uint32_t discNum;
  char discLabel[kDiscs][kTextSize];
  char discName[kDiscs][kTextSize];
  char appliTitle[kTextSize];
  char exeName[kTextSize];
  char mustMakeFolder[kTextSize];
  char regAddress[kTextSize];
  char* fileList[kDiscs][kFilesPerDisc];  // owned 260-byte blocks; null ends a list
  uint32_t fileSize[kDiscs][kFilesPerDisc];
  uint32_t fileOption[kDiscs][kFilesPerDisc];
  char shortcutLabel[kShortcuts][kTextSize];
  char shortcutName[kShortcuts][kTextSize];
  char shortcutLink[kShortcuts][kTextSize];
  char shortcutFolder[kShortcuts][kTextSize];
  char shortcutParam[kShortcuts][kTextSize];
  char saveData[kSaveDataItems][kTextSize];
  char keyFile[kDiscs][kTextSize];
  char optionTitle[kOptionTitles][kTextSize];
  char makeFolder[kMakeFolders][kTextSize];
  SceneElement scene[kSceneSlots];
  uint32_t dxDisc[kDxDiscs];
  char dxMessage[kTextSize];
  char dxPlace[kTextSize];
  char brandName[kTextSize];
  // Folder inside the install folder that keeps a copy of the program, its
  // script and archive for the system's list of installed programs; empty:
  // the game is not listed there.
  char uninstallEntry[kTextSize];
};

extern SetupConfig config;

// The key file and the name shown in the disc prompt of disc `number`
// (1-based); null when the number names no disc of the table.
inline const char* discKeyFile(uint32_t number) {
  return number >= 1 && number <= kDiscs ? config.keyFile[number - 1] : nullptr;
}
inline const char* discPromptName(uint32_t number) {
  return number >= 1 && number <= kDiscs ? config.discName[number - 1] : nullptr;
}

// Reads KSetup.ini (loose, else from Instdata.pak) from the current folder
// into `config`. False when the script is missing or a line breaks a rule
// that fails the load; whatever the lines before it filled stays.
bool loadConfig();

// Set by the first releaseConfig: later calls keep what a reload adds to.
extern bool configInitialised;

// Empties the record and frees what it owns. The first call clears
// everything; later calls keep the scene lines' arguments, keyFile and discNum
// so that a reload adds to them (see config.cpp).
void releaseConfig();

// Bytes the file lists select for an install-option mask: for one disc
// (0 to 9), or with disc -1 for every disc up to the first empty list.
uint64_t selectedByteTotal(int disc, uint32_t mask);

// ---- Load diagnostics ---------------------------------------------------------
//
// The authoring tool's script check and the tests watch a load through a
// report: the loader calls `note` for every line it reads and for every
// failure and doubtful spot, and carries on exactly as without one. The
// program itself loads without a report.

enum ScriptNoteKind {
  kNoteLine,  // a line starts at `at`; detail: its keyword number (0 none)

  // The load fails.
  kNoteNotFound,     // neither KSetup.ini nor the member of Instdata.pak
  kNoteReadError,    // the script could not be read
  kNoteNoMemory,     // a text buffer or a 260-byte block could not be had
  kNoteNoEquals,     // a keyword that takes '=' has none after `at`
  kNoteDiscNumZero,  // DISCNUM is 0
  kNoteDxDiscZero,   // a DXDISC item is 0 or no number; detail: item index
  kNoteFileNoDisc,   // FILE names no disc 1 to 10; detail: the value read
  kNoteFileListFull, // FILE finds the disc's list full; detail: disc index

  // The load goes on.
  kNoteBeyondCapacity,     // items from `at` on are ignored; detail: capacity
  kNoteTextCut,            // quoted text cut; detail: bytes kept
  kNoteQuoteNotClosed,     // a quoted read stopped at `at` (comma, line end)
  kNoteBlankInQuotedItem,  // a list item's quotes hold a blank, splitting it
  kNoteCommaAfterItem,     // a per-disc list has no disc word after a comma
  kNoteUnknownDisc,        // no disc word 1 to 10 at `at`; detail: value
  kNoteUnknownCommand,     // no EXEC command word at `at`
  kNoteUnquotedText,       // a text value without quotes leaves its field
  kNoteDiscNumLarge,       // DISCNUM above 10; detail: the value
  kNoteSceneFull,          // every scene slot is taken; the line is ignored
};

struct ScriptReport {
  // `line` counts from 1 (0 before the text is read); `at` points into the
  // script text, valid during the call only.
  void (*note)(void* context, int kind, int line, const char* at, uint32_t detail);
  void* context;
};

// Loads from a zero-terminated script text (the whole script) into `config`,
// as loadConfig does after reading the file. `report` may be null.
bool loadConfigText(const char* text, const ScriptReport* report);
// loadConfig with a report (may be null).
bool loadConfigReported(const ScriptReport* report);
