#include "tools/lib/signing.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/pkcs12.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include "tools/lib/host_files.h"

extern char** environ;

namespace {

// The material, once read: the signer's certificate and key, the chain that
// came with it.
struct Material {
  X509* cert = nullptr;
  EVP_PKEY* key = nullptr;
  STACK_OF(X509) * chain = nullptr;
  ~Material() {
    X509_free(cert);
    EVP_PKEY_free(key);
    sk_X509_pop_free(chain, X509_free);
  }
};

bool fail(SignFailure* failure, const std::string& file, const std::string& reason) {
  failure->file = file;
  failure->reason = reason;
  ERR_clear_error();
  return false;
}

// The password: the first line of the password file, else the environment.
bool readPassword(const SignSettings& s, std::string* password, SignFailure* failure) {
  password->clear();
  if (!s.passwordFile.empty()) {
    std::string text;
    if (!readWholeFile(s.passwordFile, &text))
      return fail(failure, s.passwordFile,
                  std::string("cannot read the password: ") + strerror(errno));
    *password = text.substr(0, text.find_first_of("\r\n"));
    return true;
  }
  const char* env = getenv("KSETUP_SIGN_PASSWORD");
  if (env) *password = env;
  return true;
}

std::string dateText(const ASN1_TIME* t) {
  struct tm tm = {};
  if (!ASN1_TIME_to_tm(t, &tm)) return "?";
  char text[32];
  strftime(text, sizeof text, "%Y-%m-%d", &tm);
  return text;
}

// Whether the password opens any of the file's encrypted parts (the
// certificates, the shrouded key): when it does but the integrity check
// fails, the file is damaged rather than the password wrong.
bool passwordOpensAPart(PKCS12* p12, const std::string& password) {
  STACK_OF(PKCS7)* safes = PKCS12_unpack_authsafes(p12);
  if (!safes) return false;
  const char* pass = password.c_str();
  int length = int(password.size());
  bool opens = false;
  for (int i = 0; !opens && i < sk_PKCS7_num(safes); i++) {
    PKCS7* p7 = sk_PKCS7_value(safes, i);
    int nid = OBJ_obj2nid(p7->type);
    STACK_OF(PKCS12_SAFEBAG)* bags = nid == NID_pkcs7_encrypted
                                         ? PKCS12_unpack_p7encdata(p7, pass, length)
                                     : nid == NID_pkcs7_data ? PKCS12_unpack_p7data(p7)
                                                             : nullptr;
    opens = bags && nid == NID_pkcs7_encrypted;
    for (int k = 0; !opens && bags && k < sk_PKCS12_SAFEBAG_num(bags); k++) {
      const PKCS12_SAFEBAG* bag = sk_PKCS12_SAFEBAG_value(bags, k);
      if (PKCS12_SAFEBAG_get_nid(bag) != NID_pkcs8ShroudedKeyBag) continue;
      PKCS8_PRIV_KEY_INFO* key = PKCS12_decrypt_skey(bag, pass, length);
      opens = key != nullptr;
      PKCS8_PRIV_KEY_INFO_free(key);
    }
    sk_PKCS12_SAFEBAG_pop_free(bags, PKCS12_SAFEBAG_free);
  }
  sk_PKCS7_pop_free(safes, PKCS7_free);
  return opens;
}

bool readPkcs12(const SignSettings& s, const std::string& password, Material* m,
                SignFailure* failure) {
  std::string data;
  if (!readWholeFile(s.pkcs12, &data)) return fail(failure, s.pkcs12, strerror(errno));
  const unsigned char* p = reinterpret_cast<const unsigned char*>(data.data());
  PKCS12* p12 = d2i_PKCS12(nullptr, &p, long(data.size()));
  if (!p12) return fail(failure, s.pkcs12, "not a PKCS#12 file, or a damaged one");
  bool opens = PKCS12_verify_mac(p12, password.c_str(), int(password.size())) == 1 ||
               (password.empty() && PKCS12_verify_mac(p12, nullptr, 0) == 1);
  if (!opens) {
    bool damaged = passwordOpensAPart(p12, password);
    PKCS12_free(p12);
    return fail(failure, s.pkcs12,
                damaged ? "damaged: the password opens it, but its integrity check fails"
                : password.empty()
                    ? "it needs a password: give --sign-password-file or set KSETUP_SIGN_PASSWORD"
                    : "the password does not open it (a wrong password, or a damaged file)");
  }
  bool parsed = PKCS12_parse(p12, password.c_str(), &m->key, &m->cert, &m->chain) == 1;
  PKCS12_free(p12);
  if (!parsed || !m->cert || !m->key)
    return fail(failure, s.pkcs12, "holds no certificate with its key, or is damaged");
  return true;
}

int passwordCallback(char* buffer, int size, int, void* context) {
  const std::string* password = static_cast<const std::string*>(context);
  int n = int(password->size()) < size ? int(password->size()) : size;
  memcpy(buffer, password->data(), size_t(n));
  return n;
}

bool readPem(const SignSettings& s, const std::string& password, Material* m,
             SignFailure* failure) {
  if (s.cert.empty() || s.key.empty())
    return fail(failure, s.cert.empty() ? s.key : s.cert,
                "--sign-cert and --sign-key go together (or give --sign-pkcs12)");
  BIO* bio = BIO_new_file(s.cert.c_str(), "rb");
  if (!bio) return fail(failure, s.cert, strerror(errno));
  m->cert = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr);
  m->chain = sk_X509_new_null();
  while (X509* more = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr))
    sk_X509_push(m->chain, more);
  BIO_free(bio);
  if (!m->cert) return fail(failure, s.cert, "no PEM certificate in it");
  bio = BIO_new_file(s.key.c_str(), "rb");
  if (!bio) return fail(failure, s.key, strerror(errno));
  std::string pass = password;
  m->key = PEM_read_bio_PrivateKey(bio, nullptr, passwordCallback, &pass);
  BIO_free(bio);
  if (!m->key) return fail(failure, s.key, "cannot read the key: no PEM key, or a wrong password");
  return true;
}

bool readMaterial(const SignSettings& s, Material* m, SignFailure* failure) {
  std::string password;
  if (!readPassword(s, &password, failure)) return false;
  if (!s.pkcs12.empty() && (!s.cert.empty() || !s.key.empty()))
    return fail(failure, s.pkcs12, "give --sign-pkcs12 or --sign-cert with --sign-key, not both");
  return s.pkcs12.empty() ? readPem(s, password, m, failure) : readPkcs12(s, password, m, failure);
}

}  // namespace

std::string findOnPath(const std::string& name) {
  const char* path = getenv("PATH");
  std::string list = path ? path : "/usr/bin:/bin";
  for (size_t start = 0; start <= list.size();) {
    size_t end = list.find(':', start);
    if (end == std::string::npos) end = list.size();
    std::string dir = list.substr(start, end - start);
    start = end + 1;
    if (dir.empty() || dir[0] != '/') continue;  // only absolute folders
    std::string candidate = dir + "/" + name;
    struct stat st;
    if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        access(candidate.c_str(), X_OK) == 0)
      return candidate;
  }
  return "";
}

int runProgram(const std::string* argv, size_t count, const std::string& log,
               const std::string& input) {
  std::vector<char*> args;
  for (size_t i = 0; i < count; i++) args.push_back(const_cast<char*>(argv[i].c_str()));
  args.push_back(nullptr);
  // The input through a pipe, so that it is never written to a file; it is
  // one short line, which the pipe holds whole.
  int pipeEnds[2] = {-1, -1};
  if (!input.empty() && (input.size() > 4096 || pipe2(pipeEnds, O_CLOEXEC) != 0)) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (input.empty())
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  else
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[0], 0);
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  pid_t pid = 0;
  int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (!input.empty()) {
    close(pipeEnds[0]);
    if (rc == 0 && write(pipeEnds[1], input.data(), input.size()) != ssize_t(input.size())) rc = -1;
    close(pipeEnds[1]);
  }
  if (rc != 0) return -1;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

bool checkSigning(const SignSettings& settings, int64_t now, SignFailure* failure) {
  Material m;
  if (!readMaterial(settings, &m, failure)) return false;
  const std::string& file = settings.pkcs12.empty() ? settings.cert : settings.pkcs12;
  if (X509_check_private_key(m.cert, m.key) != 1)
    return fail(failure, settings.pkcs12.empty() ? settings.key : file,
                "the key does not belong to the certificate");
  time_t t = time_t(now);
  if (X509_cmp_time(X509_get0_notBefore(m.cert), &t) > 0)
    return fail(failure, file,
                "the certificate is not valid before " + dateText(X509_get0_notBefore(m.cert)));
  if (X509_cmp_time(X509_get0_notAfter(m.cert), &t) < 0)
    return fail(failure, file,
                "the certificate expired on " + dateText(X509_get0_notAfter(m.cert)));
  uint32_t flags = X509_get_extension_flags(m.cert);
  if ((flags & EXFLAG_XKUSAGE) && !(X509_get_extended_key_usage(m.cert) & XKU_CODE_SIGN))
    return fail(failure, file,
                "the certificate is not meant for code signing (its extended key usage lacks it)");
  if ((flags & EXFLAG_KUSAGE) && !(X509_get_key_usage(m.cert) & KU_DIGITAL_SIGNATURE))
    return fail(failure, file, "the certificate's key usage does not allow signatures");
  if (findOnPath("osslsigncode").empty())
    return fail(failure, "osslsigncode",
                "not found on PATH: it signs KSetup.exe (Debian: apt-get install osslsigncode)");
  return true;
}

// The line of a tool's log that says most about its failure.
static std::string whyFromLog(const std::string& log) {
  std::string text, best;
  int bestRank = 0;
  readWholeFile(log, &text);
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    at = end + 1;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (line.empty() || line == "Failed") continue;
    // The first "Error:" line says most; else the last that tells of a
    // failure; else the last line.
    int rank = line.find("Error:") != std::string::npos ? 3
               : line.find("rror") != std::string::npos || line.find("failed") != std::string::npos
                   ? 2
                   : 1;
    if (rank > bestRank || (rank == bestRank && rank < 3)) {
      best = line;
      bestRank = rank;
    }
  }
  while (!best.empty() && (best[0] == ' ' || best[0] == '\t')) best.erase(0, 1);
  for (char& c : best)
    if (c == '\t') c = ' ';
  return best.empty() ? "no reason given" : best;
}

static std::string shellWords(const std::vector<std::string>& argv) {
  std::string out;
  for (const std::string& a : argv) {
    bool plain = !a.empty() && a.find_first_not_of(
                                   "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                   "0123456789-_./:=+,@") == std::string::npos;
    out += (out.empty() ? "" : " ") + (plain ? a : "'" + a + "'");
  }
  return out;
}

bool signProgram(const SignSettings& settings, const std::string& in, const std::string& out,
                 const std::string& work, const std::string& description, int64_t signingTime,
                 std::string* command, SignFailure* failure) {
  Material m;
  if (!readMaterial(settings, &m, failure)) return false;
  std::string tool = findOnPath("osslsigncode");
  if (tool.empty()) return fail(failure, "osslsigncode", "not found on PATH");
  std::string password;
  readPassword(settings, &password, failure);

  std::vector<std::string> argv = {tool, "sign"};
  if (!settings.pkcs12.empty())
    argv.insert(argv.end(), {"-pkcs12", settings.pkcs12});
  else
    argv.insert(argv.end(), {"-certs", settings.cert, "-key", settings.key});
  // The password goes to osslsigncode on its standard input, a pipe: named
  // as a file, since osslsigncode before 2.8 knows no "-" for it.
  if (!password.empty()) argv.insert(argv.end(), {"-readpass", "/dev/stdin"});
  argv.insert(argv.end(), {"-h", "sha256"});
  if (!description.empty()) argv.insert(argv.end(), {"-n", description});
  if (!settings.timestamp.empty())
    argv.insert(argv.end(), {"-ts", settings.timestamp});
  else if (signingTime >= 0)
    argv.insert(argv.end(), {"-time", std::to_string(signingTime)});
  argv.insert(argv.end(), {"-in", in, "-out", out});
  *command = shellWords(argv);

  unlink(out.c_str());
  std::string log = work + "/osslsigncode.log";
  int rc = runProgram(argv.data(), argv.size(), log, password.empty() ? "" : password + "\n");
  if (rc != 0) {
    unlink(out.c_str());
    return fail(
        failure, settings.pkcs12.empty() ? settings.cert : settings.pkcs12,
        rc < 0 ? "osslsigncode does not start" : "osslsigncode cannot sign: " + whyFromLog(log));
  }

  // The check: the signature against the chain that came with the
  // certificate and the system's authorities.
  std::string chainFile = work + "/chain.pem";
  BIO* bio = BIO_new_file(chainFile.c_str(), "wb");
  bool ok = bio && PEM_write_bio_X509(bio, m.cert) == 1;
  for (int i = 0; ok && m.chain && i < sk_X509_num(m.chain); i++)
    ok = PEM_write_bio_X509(bio, sk_X509_value(m.chain, i)) == 1;
  std::string system;
  if (ok && readWholeFile("/etc/ssl/certs/ca-certificates.crt", &system))
    ok = BIO_write(bio, system.data(), int(system.size())) == int(system.size());
  if (bio) BIO_free(bio);
  if (!ok) {
    unlink(out.c_str());
    return fail(failure, chainFile, "cannot write the chain for the check");
  }
  std::vector<std::string> verify = {tool, "verify", "-in", out, "-CAfile", chainFile};
  rc = runProgram(verify.data(), verify.size(), log, "");
  if (rc != 0) {
    unlink(out.c_str());
    return fail(failure, settings.pkcs12.empty() ? settings.cert : settings.pkcs12,
                "signed, but the signature does not verify (the certificate's chain up to its "
                "root must be in the file or the system's store): " +
                    whyFromLog(log));
  }
  return true;
}
