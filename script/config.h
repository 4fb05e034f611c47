// The setup configuration: the one process-wide record filled from the setup
// script KSetup.ini (read loose from the current folder, else from the data
// archive Instdata.pak there). Text fields are fixed Shift-JIS buffers that
// always end in a zero byte.
#pragma once

#include <cstdint>

#include "gfx/rect.h"

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
};

extern SetupConfig config;

// Reads KSetup.ini (loose, else from Instdata.pak) from the current folder
// into `config`. False when the script is missing or a line breaks a rule
// that fails the load; whatever the lines before it filled stays.
bool loadConfig();

// Empties the record and frees what it owns. The first call clears
// everything; later calls keep the scene lines' arguments, keyFile and discNum
// so that a reload adds to them (see config.cpp).
void releaseConfig();

// Bytes the file lists select for an install-option mask: for one disc
// (0 to 9), or with disc -1 for every disc up to the first empty list.
uint64_t selectedByteTotal(int disc, uint32_t mask);
