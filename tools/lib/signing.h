// Authenticode signatures for KSetup.exe: the signing material is checked
// here (through libcrypto) before anything is written, then osslsigncode
// signs the program with SHA-256 and the signature is checked again.
#pragma once

#include <cstdint>
#include <string>

#include "tools/lib/failure.h"

struct SignSettings {
  std::string pkcs12;        // a PKCS#12 file, or
  std::string cert, key;     // a PEM certificate (its chain after it) and its key
  std::string passwordFile;  // first line: the password; else KSETUP_SIGN_PASSWORD
  std::string timestamp;     // an RFC 3161 server, or empty
  bool wanted() const { return !pkcs12.empty() || !cert.empty() || !key.empty(); }
};

// Where a signing step failed: the file to name and why.
typedef Failure SignFailure;

// Checks that the material opens with its password, that the key belongs to
// the certificate, that the certificate is valid at `now` and may sign code,
// and that osslsigncode is there. False with the failure.
bool checkSigning(const SignSettings& settings, int64_t now, SignFailure* failure);

// Signs the program `in` into `out` (`work`, a folder of the caller's own,
// holds osslsigncode's log and the chain for the check), with `description`
// as the signature's program name and, when `signingTime` is not negative
// and no
// time stamp is asked for, that signing time (so that the same input signs
// to the same bytes); then verifies `out` against the material's own chain
// and the system's certificate authorities. The command line run is put in
// *command (the password never appears in it). False with the failure, and
// `out` removed.
bool signProgram(const SignSettings& settings, const std::string& in, const std::string& out,
                 const std::string& work, const std::string& description, int64_t signingTime,
                 std::string* command, SignFailure* failure);

// The full path of a program found on PATH, or empty.
std::string findOnPath(const std::string& name);

// Runs `argv` (argv[0] a full path) with `input` on its standard input and
// its output in the file `log`; its exit code, or -1 when it could not start.
int runProgram(const std::string* argv, size_t count, const std::string& log,
               const std::string& input);
