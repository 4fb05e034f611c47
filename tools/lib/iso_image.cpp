#include "tools/lib/iso_image.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>

// libisofs.h uses the fixed-size types without including their header, and
// declares the data source it hands out for an image only on request.
#include <cstdint>
#define LIBISOFS_WITHOUT_LIBBURN 1
#include <libisofs/libisofs.h>

// ---- The library ---------------------------------------------------------------------

// Started once for the process: names in UTF-8 whatever the locale, messages
// queued rather than printed, so that a failure can be told in one line.
static void startLibrary() {
  static std::once_flag once;
  std::call_once(once, [] {
    iso_init_with_flag(1);  // do not take the character set from the locale
    iso_set_local_charset(const_cast<char*>("UTF-8"), 0);
    iso_set_msgs_severities(const_cast<char*>("SORRY"), const_cast<char*>("NEVER"),
                            const_cast<char*>("ksetup-tool"));
  });
}

// The most severe message the library queued since the last call, or the
// text of `code`.
static std::string libraryReason(int code) {
  std::string reason;
  int error = 0, image = 0;
  char text[ISO_MSGS_MESSAGE_LEN], severity[80];
  while (iso_obtain_msgs(const_cast<char*>("SORRY"), &error, &image, text, severity) == 1)
    if (reason.empty()) reason = text;
  if (reason.empty() && code < 0) reason = iso_error_to_msg(code);
  return reason.empty() ? "the image engine failed" : reason;
}

// ---- Names ---------------------------------------------------------------------------

// The UTF-16 units of a UTF-8 text, or -1 when it is no UTF-8; *pair is set
// when a character needs two units.
static long utf16Units(const std::string& text, bool* pair, bool* forbidden) {
  long units = 0;
  for (size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (length == 0 || i + length > text.size()) return -1;
    for (size_t k = 1; k < length; k++)
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return -1;
    if (length == 4) *pair = true;
    if (length == 1 && (c < 0x20 || strchr("*/:;?\\", c))) *forbidden = true;
    units += length == 4 ? 2 : 1;
    i += length;
  }
  return units;
}

std::string isoPathProblem(const std::string& path) {
  // Joliet: 64 characters a name, folders 8 deep with the root, and 240
  // bytes a path, counted as the image engine counts them before it leaves a
  // path out without a word: one for the root, two for each character of a
  // name and one before it, and the dot it gives a file name without one
  // ("KEY1" is stored as "KEY1.").
  long total = 1;
  int parts = 0;
  size_t start = 0;
  bool dot = false;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    std::string name = path.substr(start, end - start);
    bool pair = false, forbidden = false;
    long units = utf16Units(name, &pair, &forbidden);
    if (units < 0) return "its name is no UTF-8 text";
    if (forbidden)
      return "\"" + name +
             "\" holds a character Joliet names cannot (* / : ; ? \\ or a control character)";
    if (pair) return "\"" + name + "\" holds a character Joliet's UCS-2 names cannot";
    if (units > 64)
      return "\"" + name + "\" is " + std::to_string(units) +
             " characters long; a Joliet name holds at most 64";
    total += 1 + 2 * units;
    dot = name.find('.') != std::string::npos;
    parts++;
    start = end + 1;
  }
  if (!dot) total += 2;
  if (parts > 8)
    return "it lies " + std::to_string(parts - 1) + " folders deep; a disc holds 7 at most";
  if (total > 240)
    return "its path takes " + std::to_string(total) +
           " bytes in a Joliet tree (two a character, one before each name); at most 240 are kept";
  return "";
}

std::string isoLabelProblem(const std::string& label) {
  bool pair = false, forbidden = false;
  long units = utf16Units(label, &pair, &forbidden);
  if (units < 0) return "it is no UTF-8 text";
  if (units == 0) return "it is empty";
  if (pair || forbidden) return "it holds a character a disc label cannot";
  if (units > 16)
    return "it is " + std::to_string(units) + " characters long; a disc label holds 16";
  return "";
}

std::string isoCutLabel(const std::string& label) {
  std::string cut;
  long units = 0;
  for (size_t i = 0; i < label.size() && units < 16;) {
    unsigned char c = static_cast<unsigned char>(label[i]);
    size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : 4;
    if (length == 4 || (length == 1 && (c < 0x20 || strchr("*/:;?\\", c)))) {
      i += length;
      continue;
    }
    cut += label.substr(i, length);
    units++;
    i += length;
  }
  return cut;
}

// ---- Writing -------------------------------------------------------------------------

static int64_t imageDate = -1;

void setIsoImageDate(int64_t date) { imageDate = date; }

bool writeIsoImage(const std::string& folder, const std::vector<IsoExtraFile>& extra,
                   const std::string& label, const std::string& imagePath, IsoProgress progress,
                   void* context, std::string* error) {
  startLibrary();
  libraryReason(0);  // forget older messages
  // The library's "now" stamps the nodes made here (the extra files) and the
  // volume.
  time_t now = time_t(imageDate);
  iso_nowtime(&now, imageDate >= 0 ? 1 : 2);
  IsoImage* image = nullptr;
  int rc = iso_image_new(label.c_str(), &image);
  if (rc < 0) {
    *error = libraryReason(rc);
    return false;
  }
  iso_image_set_application_id(image, const_cast<char*>("KSETUP-TOOL DISC BUILD"));
  iso_tree_set_follow_symlinks(image, 1);
  iso_tree_set_ignore_hidden(image, 0);
  iso_tree_set_ignore_special(image, 1);
  IsoDir* root = iso_image_get_root(image);
  rc = iso_tree_add_dir_rec(image, root, folder.c_str());
  for (size_t i = 0; rc >= 0 && i < extra.size(); i++) {
    // The stream owns the bytes; the file takes the stream's reference.
    unsigned char* bytes = static_cast<unsigned char*>(malloc(extra[i].data.size() + 1));
    if (!bytes) {
      iso_image_unref(image);
      *error = "out of memory";
      return false;
    }
    memcpy(bytes, extra[i].data.data(), extra[i].data.size());
    IsoStream* stream = nullptr;
    rc = iso_memory_stream_new(bytes, extra[i].data.size(), &stream);
    if (rc < 0) {
      free(bytes);
      break;
    }
    rc = iso_image_add_new_file(image, root, extra[i].name.c_str(), stream, nullptr);
    if (rc < 0) iso_stream_unref(stream);
  }
  if (rc < 0) {
    *error = libraryReason(rc);
    iso_image_unref(image);
    return false;
  }

  IsoWriteOpts* options = nullptr;
  iso_write_opts_new(&options, 2);  // distribution: Rock Ridge and Joliet, default modes
  iso_write_opts_set_iso_level(options, 2);
  iso_write_opts_set_rockridge(options, 1);
  iso_write_opts_set_joliet(options, 1);
  if (imageDate >= 0) {
    // Every date from the one given, in GMT; the volume identifier (its
    // creation time to the centisecond) from it too.
    char uuid[32];
    struct tm tm = {};
    gmtime_r(&now, &tm);
    strftime(uuid, sizeof uuid, "%Y%m%d%H%M%S00", &tm);
    iso_write_opts_set_replace_timestamps(options, 2);
    iso_write_opts_set_default_timestamp(options, now);
    iso_write_opts_set_always_gmt(options, 1);
    iso_write_opts_set_pvd_times(options, now, now, 0, 0, uuid);
    // The Rock Ridge entries without file serial numbers, which the library
    // hands out in an order of its own from build to build.
    iso_write_opts_set_rrip_version_1_10(options, 1);
  }
  struct burn_source* source = nullptr;
  rc = iso_image_create_burn_source(image, options, &source);
  iso_write_opts_free(options);
  if (rc < 0) {
    *error = libraryReason(rc);
    iso_image_unref(image);
    return false;
  }

  std::string partial = imagePath + ".part";
  FILE* out = fopen(partial.c_str(), "wb");
  bool ok = out != nullptr;
  if (!ok) *error = partial + ": " + strerror(errno);
  uint64_t total = uint64_t(source->get_size(source)), done = 0;
  // The source hands out whole blocks of 2048 bytes, as a burner takes them.
  static const int kBlock = 2048;
  std::vector<unsigned char> buffer(kBlock);
  while (ok) {
    int got = source->read_xt(source, buffer.data(), kBlock);
    if (got < 0) {
      ok = false;
      *error = libraryReason(got);
      break;
    }
    if (got == 0) break;
    if (fwrite(buffer.data(), 1, size_t(got), out) != size_t(got)) {
      ok = false;
      *error = partial + ": " + strerror(errno);
      break;
    }
    done += uint64_t(got);
    if (progress && done % (256 * kBlock) == 0 && !progress(context, done, total)) {
      ok = false;
      *error = "stopped";
    }
  }
  if (!ok) source->cancel(source);
  source->free_data(source);
  free(source);
  iso_image_unref(image);
  if (out && fclose(out) != 0 && ok) {
    ok = false;
    *error = partial + ": " + strerror(errno);
  }
  if (ok && done != total) {
    ok = false;
    *error = "the image engine delivered " + std::to_string(done) + " of " + std::to_string(total) +
             " bytes";
  }
  if (ok && rename(partial.c_str(), imagePath.c_str()) != 0) {
    ok = false;
    *error = imagePath + ": " + strerror(errno);
  }
  if (!ok) unlink(partial.c_str());
  return ok;
}
