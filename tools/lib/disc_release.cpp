#include "tools/lib/disc_release.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <vector>

#include <openssl/evp.h>

#include "ksetup_version.h"
#include "tools/lib/host_files.h"
#include "tools/lib/iso_image.h"

namespace fs = std::filesystem;

const char kReleaseUsage[] =
    "[--sign-pkcs12 FILE | --sign-cert CERT.pem --sign-key KEY.pem] [--sign-password-file FILE] "
    "[--timestamp URL]";

static std::string absolute(const std::string& path, const std::string& base) {
  fs::path p(path);
  if (p.is_relative()) p = fs::path(base) / p;
  return p.lexically_normal().string();
}

int takeReleaseOption(int argc, char** argv, int* i, ReleaseOptions* options) {
  static const struct {
    const char* name;
    std::string SignSettings::*field;
    bool path;
  } kOptions[] = {
      {"--sign-pkcs12", &SignSettings::pkcs12, true},
      {"--sign-cert", &SignSettings::cert, true},
      {"--sign-key", &SignSettings::key, true},
      {"--sign-password-file", &SignSettings::passwordFile, true},
      {"--timestamp", &SignSettings::timestamp, false},
  };
  for (const auto& o : kOptions) {
    if (strcmp(argv[*i], o.name) != 0) continue;
    if (*i + 1 >= argc || !argv[*i + 1][0]) return -1;
    std::string value = argv[++*i];
    options->sign.*o.field = o.path ? absolute(value, fs::current_path().string()) : value;
    return 1;
  }
  return 0;
}

int64_t parseDate(const std::string& text) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, used = 0;
  char extra = 0;
  int n = sscanf(text.c_str(), "%4d-%2d-%2d%n", &y, &mo, &d, &used);
  if (n != 3 || used != 10) return -1;
  std::string rest = text.substr(10);
  if (!rest.empty()) {
    int fields = sscanf(rest.c_str(), " %2d:%2d:%2d %c", &h, &mi, &s, &extra);
    if (fields == 2 && rest.find(':') == rest.rfind(':'))
      s = 0;
    else if (fields != 3)
      return -1;
  }
  if (y < 1970 || mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 59) return -1;
  struct tm tm = {};
  tm.tm_year = y - 1900;
  tm.tm_mon = mo - 1;
  tm.tm_mday = d;
  tm.tm_hour = h;
  tm.tm_min = mi;
  tm.tm_sec = s;
  time_t t = timegm(&tm);
  // 31 February and the like come back as another day.
  struct tm back = {};
  gmtime_r(&t, &back);
  if (back.tm_mday != d || back.tm_mon != mo - 1) return -1;
  return int64_t(t);
}

int takeReleaseSetting(const std::string& line, const std::string& project,
                       ReleaseOptions* settings, std::string* reason) {
  size_t eq = line.find('=');
  if (eq == std::string::npos) return 0;
  std::string name = line.substr(0, eq), value = line.substr(eq + 1);
  while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.pop_back();
  while (!value.empty() && (value[0] == ' ' || value[0] == '\t')) value.erase(0, 1);
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
    value = value.substr(1, value.size() - 2);
  static const struct {
    const char* name;
    std::string SignSettings::*field;
    bool path;
  } kSettings[] = {
      {"SIGNPKCS12", &SignSettings::pkcs12, true},
      {"SIGNCERT", &SignSettings::cert, true},
      {"SIGNKEY", &SignSettings::key, true},
      {"SIGNPASSWORDFILE", &SignSettings::passwordFile, true},
      {"TIMESTAMP", &SignSettings::timestamp, false},
  };
  if (name == "DATE") {
    settings->date = parseDate(value);
    settings->dateFrom = "DATE in project.ini";
    if (settings->date < 0) {
      *reason = "DATE \"" + value + "\" is no date: write YYYY-MM-DD or YYYY-MM-DD HH:MM:SS (UTC)";
      return -1;
    }
    return 1;
  }
  if (name == "SIGNPASSWORD") {
    *reason =
        "a password does not belong in the project: name a file with SIGNPASSWORDFILE, or set "
        "KSETUP_SIGN_PASSWORD";
    return -1;
  }
  for (const auto& s : kSettings) {
    if (name != s.name) continue;
    if (value.empty()) {
      *reason = name + " without a value";
      return -1;
    }
    settings->sign.*s.field = s.path ? absolute(value, project) : value;
    return 1;
  }
  return 0;
}

bool mergeReleaseOptions(const ReleaseOptions& commandLine, const ReleaseOptions& file,
                         ReleaseOptions* merged, std::string* reason) {
  *merged = file;
  // Signing material given on the command line replaces the project's as a
  // whole; the password file and the time stamp each on their own.
  if (commandLine.sign.wanted()) {
    merged->sign.pkcs12 = commandLine.sign.pkcs12;
    merged->sign.cert = commandLine.sign.cert;
    merged->sign.key = commandLine.sign.key;
  }
  if (!commandLine.sign.passwordFile.empty())
    merged->sign.passwordFile = commandLine.sign.passwordFile;
  if (!commandLine.sign.timestamp.empty()) merged->sign.timestamp = commandLine.sign.timestamp;
  if (merged->date >= 0) return true;
  const char* epoch = getenv("SOURCE_DATE_EPOCH");
  if (!epoch || !*epoch) return true;
  char* end = nullptr;
  errno = 0;
  long long seconds = strtoll(epoch, &end, 10);
  if (*end || errno || seconds < 0 || epoch[0] == '-' || epoch[0] == '+' || epoch[0] == ' ') {
    *reason = std::string("SOURCE_DATE_EPOCH \"") + epoch + "\" is no count of seconds";
    return false;
  }
  merged->date = seconds;
  merged->dateFrom = "SOURCE_DATE_EPOCH";
  return true;
}

bool setTreeDate(const std::string& folder, int64_t date, std::string* reason) {
  struct timespec times[2];
  times[0].tv_sec = times[1].tv_sec = time_t(date);
  times[0].tv_nsec = times[1].tv_nsec = 0;
  std::vector<std::string> paths;
  std::error_code ec;
  if (fs::is_directory(folder, ec))
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
      paths.push_back(it->path().string());
  if (ec) {
    *reason = folder + ": " + ec.message();
    return false;
  }
  paths.push_back(folder);
  for (const std::string& p : paths)
    if (utimensat(AT_FDCWD, p.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) {
      *reason = p + ": cannot set its date: " + strerror(errno);
      return false;
    }
  return true;
}

std::string defaultProgram(std::string* searched) {
  char self[4096];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) {
    *searched = "the tool's own folder (unknown)";
    return "";
  }
  self[n] = 0;
  fs::path bin = fs::path(self).parent_path();
  const fs::path places[] = {
      bin / "KSetup.exe", (bin / KSETUP_DATA_FROM_BIN / "win32" / "KSetup.exe").lexically_normal()};
  searched->clear();
  for (const fs::path& p : places) {
    struct stat st;
    if (stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return p.string();
    *searched += (searched->empty() ? "" : ", ") + p.string();
  }
  return "";
}

std::string sha256OfFile(const std::string& path, std::string* reason) {
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) {
    *reason = strerror(errno);
    return "";
  }
  EVP_MD_CTX* ctx = EVP_MD_CTX_new();
  EVP_DigestInit_ex(ctx, EVP_sha256(), nullptr);
  std::vector<unsigned char> buffer(1 << 20);
  size_t got;
  while ((got = fread(buffer.data(), 1, buffer.size(), f)) > 0)
    EVP_DigestUpdate(ctx, buffer.data(), got);
  bool ok = !ferror(f);
  fclose(f);
  unsigned char digest[32];
  unsigned int length = 0;
  EVP_DigestFinal_ex(ctx, digest, &length);
  EVP_MD_CTX_free(ctx);
  if (!ok) {
    *reason = "read error";
    return "";
  }
  static const char kHex[] = "0123456789abcdef";
  std::string hex;
  for (unsigned i = 0; i < length; i++) {
    hex += kHex[digest[i] >> 4];
    hex += kHex[digest[i] & 15];
  }
  return hex;
}

ScratchFolder::~ScratchFolder() {
  if (path.empty()) return;
  std::error_code ec;
  fs::remove_all(path, ec);
}

bool ScratchFolder::make(std::string* reason) {
  if (!path.empty()) return true;
  const char* tmp = getenv("TMPDIR");
  std::string name = std::string(tmp && *tmp ? tmp : "/tmp") + "/ksetup-sign-XXXXXX";
  if (!mkdtemp(&name[0])) {
    *reason = name + ": " + strerror(errno);
    return false;
  }
  path = name;
  return true;
}

bool writeChecksums(const std::string& dir, const std::vector<std::string>& names,
                    std::string* reason) {
  std::string text;
  for (const std::string& name : names) {
    std::string why, sum = sha256OfFile(dir + "/" + name, &why);
    if (sum.empty()) {
      *reason = dir + "/" + name + ": " + why;
      return false;
    }
    text += sum + "  " + name + "\n";
  }
  std::string path = dir + "/SHA256SUMS", partial = path + ".part";
  if (!writeWholeFile(partial, text.data(), text.size()) ||
      rename(partial.c_str(), path.c_str()) != 0) {
    *reason = path + ": " + strerror(errno);
    remove(partial.c_str());
    return false;
  }
  return true;
}

// The lines of SHA256SUMS: "HEX  NAME" or "HEX *NAME". False with the line
// number of one that is neither.
bool parseChecksums(const std::string& text, std::vector<std::pair<std::string, std::string>>* sums,
                    int* badLine) {
  int line = 0;
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string l = text.substr(at, end - at);
    at = end + 1;
    line++;
    if (!l.empty() && l.back() == '\r') l.pop_back();
    if (l.empty()) continue;
    bool hex = l.size() > 66 && l.find_first_not_of("0123456789abcdefABCDEF") == 64 &&
               l[64] == ' ' && (l[65] == ' ' || l[65] == '*');
    if (!hex || l.find('/', 66) != std::string::npos) {
      *badLine = line;
      return false;
    }
    std::string sum = l.substr(0, 64);
    for (char& c : sum) c = char(tolower(static_cast<unsigned char>(c)));
    sums->push_back({sum, l.substr(66)});
  }
  return true;
}

// Reads every file of the image to its end; the first one that does not
// read whole, or empty. *files and *bytes count what was read.
std::string readImageBack(const std::string& path, size_t* files, uint64_t* bytes) {
  std::string why;
  IsoReader* image = openIsoImage(path, &why);
  if (!image) return why;
  std::vector<char> buffer(1 << 20);
  std::string problem;
  for (const IsoEntry& e : listIsoTree(image)) {
    if (e.isFolder) continue;
    IsoFileReader* file = openIsoFile(image, e.name);
    if (!file) {
      problem = e.name + ": cannot be opened in the image";
      break;
    }
    uint64_t read = 0;
    uint32_t got = 0;
    bool ok = true;
    while ((ok = readIsoFile(file, buffer.data(), uint32_t(buffer.size()), &got)) && got > 0)
      read += got;
    closeIsoFile(file);
    if (!ok || read != e.size) {
      problem = e.name + ": " +
                (ok ? "reads back " + std::to_string(read) + " of its " + std::to_string(e.size) +
                          " bytes"
                    : "a read error in the image");
      break;
    }
    (*files)++;
    *bytes += read;
  }
  closeIsoImage(image);
  return problem;
}
