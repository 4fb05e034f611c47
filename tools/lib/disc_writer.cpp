#include "tools/lib/disc_writer.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>

#include "tools/lib/host_files.h"
#include "tools/lib/project.h"

namespace fs = std::filesystem;

// Left in OUT by a build: its disc folders may be replaced by the next.
static const char kStampName[] = ".ksetup-disc-build";

static bool fail(Failure* failure, const std::string& file, const std::string& reason) {
  *failure = {file, reason};
  return false;
}

std::string DiscOutput::folder(size_t disc) const {
  return merged ? out + "/merged" : out + "/disc" + std::to_string(disc + 1);
}
std::string DiscOutput::image(size_t disc) const { return folder(disc) + ".iso"; }

// What an earlier build left in OUT: its disc folders and images, of any
// number of discs, its merged folder, and the images' sums.
static bool isBuildOutput(const std::string& name) {
  if (name == "merged" || name == "SHA256SUMS" || name == "SHA256SUMS.part") return true;
  if (name.size() < 5 || name.compare(0, 4, "disc") != 0) return false;
  size_t end = name.find_first_not_of("0123456789", 4);
  if (end == 4) return false;
  std::string rest = end == std::string::npos ? "" : name.substr(end);
  return rest.empty() || rest == ".iso" || rest == ".iso.part";
}

// Disc folders are replaced only when a build of the same project made
// them; everything an earlier build left goes, so that no disc of a larger
// set survives a smaller one.
bool prepareOutput(const DiscOutput& o, size_t discs, Failure* failure) {
  std::error_code ec;
  fs::create_directories(o.out, ec);
  if (!isFolder(o.out)) return fail(failure, o.out, "cannot make the folder");
  const std::string stampPath = o.out + "/" + kStampName;
  const std::string stamp =
      "disc folders written by ksetup-tool disc build from " + o.project + "\n";
  std::string before;
  bool stamped = readWholeFile(stampPath, &before);
  if (stamped && before != stamp)
    return fail(failure, o.out,
                "holds the discs of another project (" + stampPath + "): choose another --out");
  for (size_t d = 0; d < discs; d++)
    if (fs::exists(o.folder(d)) && !stamped)
      return fail(failure, o.folder(d),
                  "is there and was not written by disc build: remove it or choose another --out");
  if (!writeWholeFile(stampPath, stamp.data(), stamp.size()))
    return fail(failure, o.out, strerror(errno));
  if (stamped)
    for (fs::directory_iterator it(o.out, ec), end; !ec && it != end; it.increment(ec))
      if (isBuildOutput(it->path().filename().string())) fs::remove_all(it->path(), ec);
  for (size_t d = 0; d < discs; d++) {
    fs::remove_all(o.folder(d), ec);
    fs::remove(o.image(d), ec);
    if (!fs::create_directories(o.folder(d), ec))
      return fail(failure, o.folder(d), "cannot make the folder: " + ec.message());
  }
  return true;
}

void removeOutputs(const DiscOutput& o, size_t discs) {
  std::error_code ec;
  for (size_t d = 0; d < discs; d++) {
    fs::remove_all(o.folder(d), ec);
    fs::remove(o.image(d), ec);
  }
}

// Copies one file in blocks, telling `progress`; false on failure or a stop.
static bool copyFile(const std::string& from, const std::string& to, uint64_t total, uint64_t* done,
                     WriteProgress progress, void* context, std::string* error) {
  FILE* in = fopen(from.c_str(), "rb");
  FILE* out = in ? fopen(to.c_str(), "wb") : nullptr;
  bool ok = in && out;
  if (!ok) *error = (in ? to : from) + ": " + strerror(errno);
  std::vector<char> buffer(1 << 20);
  while (ok) {
    size_t n = fread(buffer.data(), 1, buffer.size(), in);
    if (n == 0) {
      if (ferror(in)) {
        ok = false;
        *error = from + ": read error";
      }
      break;
    }
    if (fwrite(buffer.data(), 1, n, out) != n) {
      ok = false;
      *error = to + ": " + strerror(errno);
    }
    *done += n;
    if (!progress(context, *done, total)) {
      ok = false;
      *error = "interrupted";
    }
  }
  if (in) fclose(in);
  if (out && fclose(out) != 0 && ok) {
    ok = false;
    *error = to + ": " + strerror(errno);
  }
  return ok;
}

bool writeDiscFolder(const Disc& disc, const std::string& folder, uint64_t total, uint64_t* done,
                     WriteProgress progress, void* context, Failure* failure) {
  for (const DiscFile& f : disc.files) {
    std::string to = folder + "/" + f.path;
    std::error_code ec;
    fs::create_directories(fs::path(to).parent_path(), ec);
    std::string error;
    bool ok = f.source.empty() ? writeWholeFile(to, f.data.data(), f.data.size())
                               : copyFile(f.source, to, total, done, progress, context, &error);
    if (f.source.empty()) {
      if (!ok) error = to + ": " + strerror(errno);
      *done += f.size;
    }
    if (!ok) return fail(failure, f.source.empty() ? to : f.source, error);
  }
  return true;
}

std::vector<IsoExtraFile> imageExtras(const Disc& disc, size_t d) {
  std::vector<IsoExtraFile> extra;
  if (d == 0 && !disc.byKey.count(pathKey("autorun.inf")))
    extra.push_back({"autorun.inf", "[autorun]\r\nopen=KSetup.exe\r\nicon=KSetup.exe,0\r\n"});
  return extra;
}

bool writeDiscImage(const DiscOutput& o, const Disc& disc, size_t d,
                    const std::vector<IsoExtraFile>& extra, WriteProgress progress, void* context,
                    Failure* failure) {
  std::string error;
  if (!writeIsoImage(o.folder(d), extra, disc.label, o.image(d), progress, context, &error))
    return fail(failure, o.image(d), error);
  return true;
}

// Reads the image back and compares it with what it should hold.
static std::string imageDifference(const std::string& image, const Disc& disc,
                                   const std::vector<IsoExtraFile>& extra, size_t* files) {
  std::string why;
  IsoReader* reader = openIsoImage(image, &why);
  if (!reader) return why;
  std::map<std::string, uint64_t> want, have;
  for (const DiscFile& f : disc.files) want[f.path] = f.size;
  for (const IsoExtraFile& f : extra) want[f.name] = f.data.size();
  for (const IsoEntry& e : listIsoTree(reader))
    if (!e.isFolder) have[e.name] = e.size;
  closeIsoImage(reader);
  *files = have.size();
  for (const auto& w : want) {
    auto h = have.find(w.first);
    if (h == have.end()) return w.first + " is not in it under its name";
    if (h->second != w.second)
      return w.first + " has " + std::to_string(h->second) + " bytes in it";
  }
  if (have.size() != want.size()) return "it holds files that were not asked for";
  return "";
}

bool checkDiscImage(const DiscOutput& o, const Disc& disc, size_t d,
                    const std::vector<IsoExtraFile>& extra, size_t* files, Failure* failure) {
  std::string path = o.image(d);
  std::string difference = imageDifference(path, disc, extra, files);
  if (difference.empty()) return true;
  unlink(path.c_str());
  return fail(failure, path,
              "read back, the image differs from disc " + std::to_string(d + 1) + ": " +
                  difference + "; removed it");
}
