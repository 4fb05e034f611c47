#include "tools/lib/progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>

static std::atomic<int> stopSignal{0};

static void onStopSignal(int signo) { stopSignal.store(signo); }

void catchStopSignals() {
  struct sigaction sa;
  memset(&sa, 0, sizeof sa);
  sa.sa_handler = onStopSignal;
  sa.sa_flags = SA_RESETHAND;  // the second signal ends the process
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
}

int stopSignalSeen() { return stopSignal.load(); }

void startProgress(Progress* p, uint64_t total) {
  p->bar = isatty(STDERR_FILENO);
  p->total = total;
  p->start = std::chrono::steady_clock::now();
  p->drawn = false;
  p->lastLine = 0;
}

double progressSeconds(const Progress& p) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - p.start).count();
}

std::string megabytes(uint64_t bytes) {
  char text[32];
  if (bytes < 1024)
    snprintf(text, sizeof text, "%u bytes", unsigned(bytes));
  else if (bytes < 1048576)
    snprintf(text, sizeof text, "%.1f KB", double(bytes) / 1024.0);
  else if (bytes < 1073741824)
    snprintf(text, sizeof text, "%.1f MB", double(bytes) / 1048576.0);
  else
    snprintf(text, sizeof text, "%.2f GB", double(bytes) / 1073741824.0);
  return text;
}

std::string duration(double seconds) {
  long s = long(seconds + 0.5);
  char text[32];
  if (s >= 3600)
    snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
  else
    snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
  return text;
}

void drawBar(Progress* p, uint64_t done, const char* state) {
  double elapsed = progressSeconds(*p);
  if (!p->bar) {
    if (elapsed - p->lastLine < kProgressLineSeconds) return;
    p->lastLine = elapsed;
    uint64_t total = p->total > done ? p->total : done;
    fprintf(stderr, "ksetup-tool: %d%%, %s / %s%s%s\n",
            int(total ? double(done) / double(total) * 100 : 100), megabytes(done).c_str(),
            megabytes(total).c_str(), state[0] ? ", " : "", state);
    return;
  }
  uint64_t total = p->total > done ? p->total : done;
  double fraction = total ? double(done) / double(total) : 1.0;
  double rate = elapsed > 0.2 ? double(done) / elapsed : 0.0;
  std::string text = " " + megabytes(done) + " / " + megabytes(total);
  if (rate > 0) {
    text += "  " + megabytes(uint64_t(rate)) + "/s";
    if (!state[0]) text += "  " + duration(double(total - done) / rate) + " left";
  }
  if (state[0]) text += std::string("  ") + state;
  struct winsize ws;
  int columns = ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col ? ws.ws_col : 80;
  int width = columns - int(text.size()) - 8;
  if (width > 40) width = 40;
  if (width < 10) width = 10;
  int filled = int(fraction * width);
  fprintf(stderr, "\r%3d%% [%s%s]%s\033[K", int(fraction * 100), std::string(filled, '#').c_str(),
          std::string(width - filled, '-').c_str(), text.c_str());
  fflush(stderr);
  p->drawn = true;
}

void clearBar(Progress* p) {
  if (p->drawn) fputs("\r\033[K", stderr);
  p->drawn = false;
}
