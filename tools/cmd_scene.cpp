// scene render: plays a script's install scene on a simulated clock into a
// memory surface and writes one PNG per tick, so that authors can see the
// scene without installing anything.
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "gfx/scene.h"
#include "gfx/surface.h"
#include "media/epa.h"
#include "platform/platform.h"
#include "script/config.h"
#include "tools/lib/gif_writer.h"
#include "tools/lib/image_drive.h"
#include "tools/lib/png_io.h"
#include "tools/tool.h"

static const char kSceneUsage[] =
    "scene render DIR --size WxH --values V1,V2,... --out PREFIX [--tick-ms 100] [--finish]\n"
    "             [--gif OUT.gif]\n"
    "  Loads KSetup.ini (or Instdata.pak) and the pictures from DIR as the setup program\n"
    "  does, runs the setup pass at time 0 and then one tick per value, the n-th tick at\n"
    "  n x tick-ms milliseconds, and writes PREFIX-000.png, PREFIX-001.png, ... after each\n"
    "  tick (one frame per value, alpha written as 255). Values are the install window's:\n"
    "  0..1000 while copying, 1010 once on completion, 1020 on every tick after it.\n"
    "  --finish runs the finish pass (FINISH pictures) right after the first tick whose\n"
    "  value is 1020 or more, as the install window does, or after the last tick when no\n"
    "  value gets there; its drawing is in that tick's frame.\n"
    "  --gif also writes the frames as one looping GIF animation, tick-ms apart (exact\n"
    "  colours when the frames hold at most 256, else a fixed 252-colour palette).\n"
    "  STRETCH_DESKTOP pictures are stretched as the program's StretchBlt does in its\n"
    "  default mode: growing repeats pixels, shrinking ANDs the pixels that fall\n"
    "  together (the same pixels as under Wine).";

struct RenderOptions {
  std::string dir;
  int32_t width = 0;
  int32_t height = 0;
  std::vector<int32_t> values;
  std::string prefix;
  std::string gif;
  uint32_t tickMs = 100;
  bool finish = false;
};

// ---- Arguments ---------------------------------------------------------------------

static bool parseNumber(const char* text, long long low, long long high, long long* out,
                        char** end = nullptr) {
  errno = 0;
  char* stop = nullptr;
  long long v = strtoll(text, &stop, 10);
  if (stop == text || errno != 0 || v < low || v > high) return false;
  if (end)
    *end = stop;
  else if (*stop)
    return false;
  *out = v;
  return true;
}

static bool parseSize(const char* text, int32_t* width, int32_t* height) {
  long long w = 0, h = 0;
  char* stop = nullptr;
  if (!parseNumber(text, 1, 16384, &w, &stop) || (*stop != 'x' && *stop != 'X')) return false;
  if (!parseNumber(stop + 1, 1, 16384, &h)) return false;
  *width = int32_t(w);
  *height = int32_t(h);
  return true;
}

static bool parseValues(const char* text, std::vector<int32_t>* values) {
  std::string list = text;
  size_t start = 0;
  while (true) {
    size_t comma = list.find(',', start);
    std::string item = list.substr(start, comma == std::string::npos ? std::string::npos
                                                                       : comma - start);
    long long v = 0;
    if (!parseNumber(item.c_str(), INT32_MIN, INT32_MAX, &v)) return false;
    values->push_back(int32_t(v));
    if (comma == std::string::npos) return true;
    start = comma + 1;
  }
}

// 0 when the arguments are complete, else the usage exit code (after
// printing the usage).
static int parseRender(int argc, char** argv, RenderOptions* o) {
  for (int i = 0; i < argc; i++) {
    std::string a = argv[i];
    bool hasValue = i + 1 < argc;
    long long ms = 0;
    if (a == "--size" && hasValue) {
      if (!parseSize(argv[++i], &o->width, &o->height)) return failUsage(kSceneUsage);
    } else if (a == "--values" && hasValue) {
      if (!parseValues(argv[++i], &o->values)) return failUsage(kSceneUsage);
    } else if (a == "--out" && hasValue) {
      o->prefix = argv[++i];
    } else if (a == "--tick-ms" && hasValue) {
      if (!parseNumber(argv[++i], 0, UINT32_MAX, &ms)) return failUsage(kSceneUsage);
      o->tickMs = uint32_t(ms);
    } else if (a == "--gif" && hasValue) {
      o->gif = argv[++i];
    } else if (a == "--finish") {
      o->finish = true;
    } else if (a.size() > 2 && a.compare(0, 2, "--") == 0) {
      return failUsage(kSceneUsage);
    } else if (o->dir.empty()) {
      o->dir = a;
    } else {
      return failUsage(kSceneUsage);
    }
  }
  if (o->dir.empty() || o->width == 0 || o->values.empty() || o->prefix.empty())
    return failUsage(kSceneUsage);
  return 0;
}

// Host paths given relative to where the tool was started; the scene run
// moves the current folder.
static std::string absolute(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  char cwd[PATH_MAX];
  if (!getcwd(cwd, sizeof cwd)) return path;
  return std::string(cwd) + "/" + path;
}

// ---- Simulated clock and reporting loader ------------------------------------------

static uint32_t simulatedNow = 0;
static uint32_t simulatedClock() { return simulatedNow; }

static std::set<std::string> missingPictures;

// A picture the scene names but that cannot be loaded is left out of the
// scene, as in the program; the tool says so once per name.
static uint32_t* loadReporting(const char* name, int32_t* widthOut, int32_t* heightOut) {
  uint32_t* pixels = loadPicture(name, widthOut, heightOut);
  if (!pixels && missingPictures.insert(name).second)
    fprintf(stderr, "ksetup-tool: %s: picture not found or not an EPA picture; left out\n", name);
  return pixels;
}

// ---- render --------------------------------------------------------------------------

static bool writeFrame(const std::string& path, const Surface* surface, std::string* error) {
  std::vector<uint32_t> frame(surface->bits, surface->bits + size_t(surface->width) * surface->height);
  for (uint32_t& p : frame) p |= 0xFF000000u;  // the blend leaves alpha 0; the screen has none
  return writePng(path, frame.data(), uint32_t(surface->width), uint32_t(surface->height), error);
}

static int countListed(DirtyRect** list) {
  int n = 0;
  while (n < kDirtyRects && list[n]->active) n++;
  return n;
}

static int render(const RenderOptions& o) {
  std::string dir, reason;
  if (!scriptFolderOf(absolute(o.dir), &dir, &reason)) return failInput(o.dir, reason);
  std::string prefix = absolute(o.prefix);
  std::string gifPath = o.gif.empty() ? "" : absolute(o.gif);
  GifRecording gif;

  releaseConfig();
  if (!setCurrentFolder(dir.c_str())) return failInput(o.dir, "cannot enter the folder");
  setProgramFolder(dir.c_str());
  if (!loadConfig()) {
    releaseConfig();
    return failInput(o.dir + "/KSetup.ini", "the setup script does not load (see: script check)");
  }

  Surface* surface = createMemorySurface(o.width, o.height);
  DirtyRect** list = createDirtyList();
  if (!surface || !list) {
    destroyMemorySurface(surface);
    heapFree(list);
    releaseConfig();
    return failInput(o.dir, "out of memory for the surface");
  }
  // Every processor the program meets has MMX, so it blends with the packed
  // variant; its portable form gives the same pixels on every machine here.
  mmxAvailable = 1;
  sceneClock = simulatedClock;
  sceneLoadPicture = loadReporting;
  simulatedNow = 0;
  sceneStep(kScenePassSetup, 0, surface, list);

  int status = kExitOk;
  bool finishDone = !o.finish;
  for (size_t i = 0; i < o.values.size(); i++) {
    simulatedNow = uint32_t(i + 1) * o.tickMs;
    int32_t changed = sceneStep(kScenePassTick, o.values[i], surface, list);
    int listed = changed ? countListed(list) : 0;
    bool last = i + 1 == o.values.size();
    if (!finishDone && (o.values[i] >= kSceneValueAfterFinish || last)) {
      finishDone = true;
      if (sceneStep(kScenePassFinish, o.values[i], surface, list)) {
        changed = 1;
        listed += countListed(list);
      }
    }
    char name[32];
    snprintf(name, sizeof name, "-%03zu.png", i);
    std::string path = prefix + name, error;
    if (!writeFrame(path, surface, &error)) {
      status = failInput(path, error);
      break;
    }
    if (!gifPath.empty()) recordGifFrame(&gif, surface);
    printf("%s value %d: %s, %d rectangle%s\n", (o.prefix + name).c_str(), o.values[i],
           changed ? "changed" : "unchanged", listed, listed == 1 ? "" : "s");
  }

  std::string error;
  if (status == kExitOk && !gifPath.empty() && !writeGif(gifPath, gif, o.tickMs, &error))
    status = failInput(o.gif, error);
  releaseScene();
  releaseConfig();
  destroyMemorySurface(surface);
  heapFree(list);
  return status;
}

int toolScene(int argc, char** argv) {
  if (argc < 1 || strcmp(argv[0], "render") != 0) return failUsage(kSceneUsage);
  RenderOptions options;
  if (int usage = parseRender(argc - 1, argv + 1, &options)) return usage;
  return render(options);
}
