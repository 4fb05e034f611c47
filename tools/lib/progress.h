// The progress bar of the tool's long steps (an install's copy, a disc
// build's copy and images), drawn on stderr when it is a terminal:
//   42% [################----------------------] 17.0 MB / 40.3 MB  8.1 MB/s  0:03 left
// When stderr is a file or a pipe (a log, a build system), a plain line
// every kProgressLineSeconds instead:
//   ksetup-tool: 42%, 17.0 MB / 40.3 MB
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

struct Progress {
  bool bar = false;  // stderr is a terminal: set by startProgress
  uint64_t total = 0;
  std::chrono::steady_clock::time_point start;
  bool drawn = false;
  double lastLine = 0;  // seconds since start of the last plain line
};

static const double kProgressLineSeconds = 5;

// Starts timing a step of `total` bytes; the bar is drawn only on a terminal.
void startProgress(Progress* p, uint64_t total);
// Draws the bar at `done` bytes; `state` replaces the time left when not
// empty ("stopping: ..."). When stderr is no terminal, a plain line when
// kProgressLineSeconds have passed since the last.
void drawBar(Progress* p, uint64_t done, const char* state);
// Takes the bar off the line, so that a normal line can follow.
void clearBar(Progress* p);
// Seconds since startProgress.
double progressSeconds(const Progress& p);

// SIGINT and SIGTERM ask a long step to stop at its next check (it takes back
// what it made); a second one ends the process at once.
void catchStopSignals();
// The signal that asked to stop, or 0.
int stopSignalSeen();

// "512 bytes", "1.5 KB", "40.3 MB", "1.25 GB".
std::string megabytes(uint64_t bytes);
// "0:42", "1:02:03".
std::string duration(double seconds);
