// The setup script loader over arbitrary script text: once as the program
// loads, once with a report, then the release. Both loads must agree, and
// every position a note gives must lie in the text.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "script/config.h"

namespace {

struct Span {
  const char* begin;
  const char* end;
};

void checkNote(void* context, int kind, int line, const char* at, uint32_t) {
  const Span* text = static_cast<const Span*>(context);
  if (at && (at < text->begin || at > text->end)) abort();
  if (kind != kNoteLine && line < 1) abort();
}

// An empty record as at program start, so that scene slots and disc lists
// kept by a later release do not pile up from one input to the next.
void resetRecord() {
  releaseConfig();
  memset(&config, 0, sizeof config);
  configInitialised = false;
  releaseConfig();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Exactly the text and its zero: a reader that looks past it is caught.
  char* text = static_cast<char*>(malloc(size + 1));
  if (!text) return 0;
  memcpy(text, data, size);
  text[size] = 0;

  resetRecord();
  bool plain = loadConfigText(text, nullptr);
  selectedByteTotal(-1, 0xFFFFFFFFu);
  resetRecord();
  Span span = {text, text + size};
  ScriptReport report = {checkNote, &span};
  bool reported = loadConfigText(text, &report);
  if (plain != reported) abort();
  releaseConfig();  // a later release over what the load filled
  resetRecord();
  free(text);
  return 0;
}
