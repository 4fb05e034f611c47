// disc build | disc verify | disc list: a game's disc set, and an image of
// each disc, from a project folder in one command (tools/lib/project.h); the
// files of an image as Windows sees them.
//
// The build checks everything it can before it writes: a missing picture or
// file, a name an image cannot hold, a clash between sources. Then it writes
// OUT/discN (or, with --merged, OUT/merged), runs the script check over
// them and, with --image, writes OUT/discN.iso.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/cmd_disc_release.h"
#include "tools/cmd_script.h"
#include "tools/lib/disc_layout.h"
#include "tools/lib/disc_release.h"
#include "tools/lib/disc_writer.h"
#include "tools/lib/iso_image.h"
#include "tools/lib/progress.h"
#include "tools/lib/project.h"
#include "tools/tool.h"

namespace fs = std::filesystem;

static const char kDiscUsage[] =
    "disc build PROJECT --out DIR [--image | --merged] [--exe KSetup.exe] [signing] | disc verify DIR | "
    "disc list IMAGE  (disc help for more)";

static const char kDiscHelp[] =
    "usage: ksetup-tool disc build PROJECT --out DIR [--image | --merged] [--exe KSetup.exe]\n"
    "                  [--sign-pkcs12 FILE | --sign-cert CERT.pem --sign-key KEY.pem]\n"
    "                  [--sign-password-file FILE] [--timestamp URL]\n"
    "       ksetup-tool disc verify DIR\n"
    "       ksetup-tool disc list IMAGE\n"
    "\n"
    "disc build makes a game's disc set from a project folder:\n"
    "  PROJECT/KSetup.ini     the setup script, UTF-8 or code page 932; every\n"
    "                         {size PATH} becomes the size of PATH in files/ (a\n"
    "                         pattern: the sum), outside comment lines\n"
    "  PROJECT/pictures/      NAME.png for every NAME.EPA the script names\n"
    "                         (TITLE.EPA, LOGO.EPA, the scene), or the picture\n"
    "                         itself under its own name\n"
    "  PROJECT/files/         the game's files as installed: every file the lists\n"
    "                         name, by the path they name it\n"
    "  PROJECT/discN/         optional: anything else disc N holds, as it is\n"
    "  PROJECT/project.ini    optional: EPAMODE NAME.EPA = 0|1|2 (else the\n"
    "                         smallest exact mode, as epa encode chooses);\n"
    "                         DATE = YYYY-MM-DD [HH:MM:SS]; SIGNPKCS12, SIGNCERT,\n"
    "                         SIGNKEY, SIGNPASSWORDFILE, TIMESTAMP = as the options\n"
    "It writes DIR/disc1 ... DIR/discN: on disc 1 KSetup.exe (--exe; else\n"
    "KSetup.exe beside the tool, else the installed win32 build in\n"
    "../share/ksetup/win32 from the tool's folder), KSetup.ini and Instdata.pak\n"
    "with the pictures; on each disc\n"
    "its listed files, its PROJECT/discN files and its KEYFILE (written when\n"
    "the project has none). Then it runs script check over the discs and\n"
    "fails on its errors. --image also writes DIR/disc1.iso ... DIR/discN.iso:\n"
    "ISO 9660 with Joliet names (what Windows reads) and Rock Ridge, labelled\n"
    "by DISCLABEL (else by DISCNAME, cut to 16 characters), disc 1 with an\n"
    "autorun.inf that starts KSetup.exe (unless PROJECT/disc1 holds one).\n"
    "--merged writes one folder, DIR/merged, instead: every disc's files and\n"
    "key files together, for a download or a copy on a hard disk (KSetup.exe\n"
    "started from it finds every disc there); a path two discs both hold stops\n"
    "the build.\n"
    "A DIR/discN (or DIR/merged) folder is replaced only when disc build wrote\n"
    "it. --image also writes DIR/SHA256SUMS (sha256sum -c reads it).\n"
    "--sign-pkcs12 FILE, or --sign-cert CERT.pem with --sign-key KEY.pem, signs\n"
    "disc 1's KSetup.exe with osslsigncode (Authenticode, SHA-256) and verifies\n"
    "it; the password comes from --sign-password-file FILE (its first line) or\n"
    "KSETUP_SIGN_PASSWORD. --timestamp URL adds an RFC 3161 time stamp.\n"
    "With DATE in project.ini or SOURCE_DATE_EPOCH every file, folder and image\n"
    "carries that date: two builds of the same project are byte-identical.\n"
    "\n"
    "disc verify DIR checks the images of DIR against DIR/SHA256SUMS and reads\n"
    "every file of every image back.\n"
    "disc list IMAGE prints the image's label and every folder and file with\n"
    "its size, by the names Windows sees.\n";

// ---- Writing -----------------------------------------------------------------------------

// The bar of the copy and of the images; false when a stop is asked for.
static bool showProgress(void* context, uint64_t done, uint64_t total) {
  Progress* progress = static_cast<Progress*>(context);
  progress->total = total;
  drawBar(progress, done, "");
  return stopSignalSeen() == 0;
}

// After a stop: the discs are gone; 128 + the signal.
static int interrupted(const DiscOutput& output) {
  fprintf(stderr, "ksetup-tool: %s: interrupted; removed the disc folders\n", output.out.c_str());
  return 128 + stopSignalSeen();
}

static int writeDiscs(const DiscOutput& output, const DiscSet& set) {
  uint64_t total = 0, done = 0;
  for (const Disc& disc : set.discs)
    for (const DiscFile& f : disc.files) total += f.size;
  Progress progress;
  startProgress(&progress, total);
  for (size_t d = 0; d < set.discs.size(); d++) {
    const Disc& disc = set.discs[d];
    Failure failure;
    if (!writeDiscFolder(disc, output.folder(d), total, &done, showProgress, &progress, &failure)) {
      clearBar(&progress);
      removeOutputs(output, set.discs.size());
      if (stopSignalSeen()) return interrupted(output);
      return failInput(failure.file, failure.reason + "; removed the disc folders");
    }
    uint64_t bytes = 0;
    for (const DiscFile& f : disc.files) bytes += f.size;
    clearBar(&progress);
    std::string which = output.merged ? "all discs" : "disc " + std::to_string(d + 1);
    printf("%s: %zu file%s, %s in %s\n", which.c_str(), disc.files.size(),
           disc.files.size() == 1 ? "" : "s", megabytes(bytes).c_str(), output.folder(d).c_str());
    fflush(stdout);
  }
  return kExitOk;
}

static int writeImages(const DiscOutput& output, const DiscSet& set) {
  for (size_t d = 0; d < set.discs.size(); d++) {
    const Disc& disc = set.discs[d];
    std::vector<IsoExtraFile> extra = imageExtras(disc, d);
    Progress progress;
    startProgress(&progress, 0);
    Failure failure;
    bool ok = writeDiscImage(output, disc, d, extra, showProgress, &progress, &failure);
    clearBar(&progress);
    if (!ok && stopSignalSeen()) {
      // As when the copy is stopped: the discs go with the images.
      removeOutputs(output, set.discs.size());
      return interrupted(output);
    }
    if (!ok) return failInput(failure);
    size_t files = 0;
    if (!checkDiscImage(output, disc, d, extra, &files, &failure)) return failInput(failure);
    std::string path = output.image(d);
    std::error_code ec;
    uint64_t size = fs::file_size(path, ec);
    printf("%s: label %s, %zu files, %s\n", path.c_str(), disc.label.c_str(), files,
           megabytes(size).c_str());
    if (size > kCdBytes)
      fprintf(stderr, "ksetup-tool: %s: warning: %s is more than a 700 MB CD-R holds\n",
              path.c_str(), megabytes(size).c_str());
    fflush(stdout);
  }
  return kExitOk;
}

// ---- disc build ----------------------------------------------------------------------------

static const char kBuildUsage[] =
    "disc build PROJECT --out DIR [--image | --merged] [--exe KSetup.exe] [--sign-pkcs12 FILE | --sign-cert "
    "CERT.pem --sign-key KEY.pem] [--sign-password-file FILE] [--timestamp URL]";

// The options of disc build.
struct BuildOptions {
  std::string project, out, exe;
  bool image = false;
  bool merged = false;     // --merged: one folder for every disc
  ReleaseOptions release;  // the command line's
};

// disc build's command line into *o: kExitOk; -1 when --help was answered;
// else the exit code of the usage error or failure it printed.
static int parseBuild(int argc, char** argv, BuildOptions* o) {
  for (int i = 0; i < argc; i++) {
    std::string a = argv[i];
    int taken = takeReleaseOption(argc, argv, &i, &o->release);
    if (taken < 0) {
      fprintf(stderr, "ksetup-tool: %s needs a value\n", a.c_str());
      return failUsage(kBuildUsage);
    }
    if (taken > 0) continue;
    if (a == "--help" || a == "-h") {
      printf("usage: ksetup-tool %s\n(ksetup-tool disc help for more)\n", kBuildUsage);
      return -1;
    }
    if ((a == "--out" || a == "--exe") && i + 1 >= argc) {
      fprintf(stderr, "ksetup-tool: %s needs a value\n", a.c_str());
      return failUsage(kBuildUsage);
    }
    if (a == "--out" && i + 1 < argc)
      o->out = fs::absolute(argv[++i]).lexically_normal().string();
    else if (a == "--exe" && i + 1 < argc)
      o->exe = fs::absolute(argv[++i]).lexically_normal().string();
    else if (a == "--image")
      o->image = true;
    else if (a == "--merged")
      o->merged = true;
    else if (a.size() > 1 && a[0] == '-') {
      fprintf(stderr, "ksetup-tool: unknown option %s\n", a.c_str());
      return failUsage(kBuildUsage);
    } else if (o->project.empty())
      o->project = fs::absolute(a).lexically_normal().string();
    else
      return failUsage(kBuildUsage);
  }
  if (o->project.empty() || o->out.empty() || (o->image && o->merged))
    return failUsage(kBuildUsage);
  while (o->project.size() > 1 && o->project.back() == '/') o->project.pop_back();
  while (o->out.size() > 1 && o->out.back() == '/') o->out.pop_back();
  if (o->exe.empty()) {
    std::string searched;
    o->exe = defaultProgram(&searched);
    if (o->exe.empty())
      return failInput("KSetup.exe", "no KSetup.exe: give --exe (looked at " + searched + ")");
  }
  return kExitOk;
}

// Reads the project and lays out its discs; the signed KSetup.exe, when
// signing is asked for, is made between the two steps of the layout into
// `scratch`.
static int layOut(const BuildOptions& o, Project* project, ReleaseOptions* release,
                  ScratchFolder* scratch, DiscSet* set) {
  Failure failure;
  if (!openProject(o.project, project, &failure)) return failInput(failure);
  std::string reason;
  if (!mergeReleaseOptions(o.release, project->settings, release, &reason))
    return failInput("SOURCE_DATE_EPOCH", reason);
  if (!readProjectScript(project, &failure)) return failInput(failure);
  Warnings warnings;
  bool begun = beginLayout(*project, o.exe, set, &warnings, &failure);
  printWarnings(warnings);
  if (!begun && set->scriptFails) {
    printCheck(set->scriptCheck);
    return kExitBadInput;
  }
  if (!begun) return failInput(failure);
  std::string program = o.exe;
  if (release->sign.wanted()) {
    int rc = signDiscProgram(*release, o.exe, set->title, scratch, &program);
    if (rc != kExitOk) {
      abandonLayout();
      return rc;
    }
  }
  warnings.clear();
  bool finished = finishLayout(*project, program, o.image, set, &warnings, &failure);
  printWarnings(warnings);
  return finished ? kExitOk : failInput(failure);
}

static int discBuild(int argc, char** argv) {
  BuildOptions o;
  int rc = parseBuild(argc, argv, &o);
  if (rc != kExitOk) return rc < 0 ? kExitOk : rc;
  Project project;
  ReleaseOptions release;  // the command line's over project.ini's
  ScratchFolder scratch;   // the signed KSetup.exe
  DiscSet set;
  if ((rc = layOut(o, &project, &release, &scratch, &set)) != kExitOk) return rc;
  size_t discCount = set.discs.size();  // the script's, however many folders hold them
  Failure failure;
  if (o.merged && !mergeDiscs(&set, o.project, &failure)) return failInput(failure);

  catchStopSignals();
  DiscOutput output;
  output.out = o.out;
  output.project = o.project;
  output.merged = o.merged;
  if (!prepareOutput(output, set.discs.size(), &failure)) return failInput(failure);
  if ((rc = writeDiscs(output, set)) != kExitOk) return rc;
  std::vector<std::string> discs;
  // The merged folder is checked as every disc of the set.
  for (size_t d = 0; d < discCount; d++) discs.push_back(output.folder(d));
  if ((rc = runDiscSetCheck(discs[0], discs, "")) != kExitOk) return rc;
  setIsoImageDate(release.date);
  if (o.image && (rc = writeImages(output, set)) != kExitOk) return rc;
  std::vector<std::string> images;
  for (size_t d = 0; o.image && d < set.discs.size(); d++) images.push_back(output.image(d));
  return finishRelease(release, o.out, discs, images);
}

// ---- disc list -----------------------------------------------------------------------------

static int discList(const std::string& path) {
  std::string error;
  IsoReader* reader = openIsoImage(path, &error);
  if (!reader) return failInput(path, error);
  std::vector<IsoEntry> entries = listIsoTree(reader);
  printf("label %s\n", isoVolumeLabel(reader).c_str());
  for (const IsoEntry& e : entries)
    if (e.isFolder)
      printf("%12s  %s/\n", "", e.name.c_str());
    else
      printf("%12llu  %s\n", static_cast<unsigned long long>(e.size), e.name.c_str());
  closeIsoImage(reader);
  return kExitOk;
}

int toolDisc(int argc, char** argv) {
  if (argc >= 1 && (!strcmp(argv[0], "help") || !strcmp(argv[0], "--help"))) {
    fputs(kDiscHelp, stdout);
    return kExitOk;
  }
  if (argc >= 1 && !strcmp(argv[0], "build")) return discBuild(argc - 1, argv + 1);
  if (argc >= 1 && !strcmp(argv[0], "verify")) return discVerify(argc - 1, argv + 1);
  if (argc == 2 && !strcmp(argv[0], "list")) return discList(argv[1]);
  return failUsage(kDiscUsage);
}
