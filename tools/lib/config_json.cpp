#include "tools/lib/config_json.h"

#include <cstdint>

#include "platform/text.h"
#include "script/config.h"

// ---- JSON -----------------------------------------------------------------------

static void putString(std::string* out, const char* text, size_t size) {
  static const char kHex[] = "0123456789abcdef";
  out->push_back('"');
  for (char c : cp932ToUtf8(text, size)) {
    unsigned char u = static_cast<unsigned char>(c);
    switch (c) {
      case '"': *out += "\\\""; break;
      case '\\': *out += "\\\\"; break;
      case '\b': *out += "\\b"; break;
      case '\f': *out += "\\f"; break;
      case '\n': *out += "\\n"; break;
      case '\r': *out += "\\r"; break;
      case '\t': *out += "\\t"; break;
      default:
        if (u < 0x20) {
          *out += "\\u00";
          out->push_back(kHex[u >> 4]);
          out->push_back(kHex[u & 15]);
        } else {
          out->push_back(c);
        }
    }
  }
  out->push_back('"');
}

static void putKey(std::string* out, const char* key) {
  if (out->back() != '{') out->push_back(',');
  out->push_back('"');
  *out += key;
  *out += "\":";
}

static void putText(std::string* out, const char* key, const char (&field)[kTextSize]) {
  putKey(out, key);
  putString(out, field, kTextSize);
}

template <size_t N>
static void putTextList(std::string* out, const char* key, const char (&items)[N][kTextSize]) {
  size_t count = N;
  while (count > 0 && !items[count - 1][0]) count--;
  putKey(out, key);
  out->push_back('[');
  for (size_t i = 0; i < count; i++) {
    if (i) out->push_back(',');
    putString(out, items[i], kTextSize);
  }
  out->push_back(']');
}

static void putNumbers(std::string* out, const uint32_t* values, size_t n) {
  while (n > 0 && values[n - 1] == 0) n--;
  out->push_back('[');
  for (size_t i = 0; i < n; i++) {
    if (i) out->push_back(',');
    *out += std::to_string(values[i]);
  }
  out->push_back(']');
}

static void putDiscNumbers(std::string* out, const char* key,
                           const uint32_t (&lists)[kDiscs][kFilesPerDisc]) {
  putKey(out, key);
  out->push_back('[');
  for (int d = 0; d < kDiscs; d++) {
    if (d) out->push_back(',');
    putNumbers(out, lists[d], kFilesPerDisc);
  }
  out->push_back(']');
}

static void putSigned(std::string* out, const char* key, int32_t value) {
  putKey(out, key);
  *out += std::to_string(value);
}

static void putUnsigned(std::string* out, const char* key, uint32_t value) {
  putKey(out, key);
  *out += std::to_string(value);
}

std::string configToJson() {
  const SetupConfig& c = config;
  std::string out = "{";
  putUnsigned(&out, "discNum", c.discNum);
  putText(&out, "appliTitle", c.appliTitle);
  putText(&out, "exeName", c.exeName);
  putText(&out, "mustMakeFolder", c.mustMakeFolder);
  putText(&out, "regAddress", c.regAddress);
  putText(&out, "dxMessage", c.dxMessage);
  putText(&out, "dxPlace", c.dxPlace);
  putText(&out, "brandName", c.brandName);
  putText(&out, "uninstallEntry", c.uninstallEntry);
  putTextList(&out, "discLabel", c.discLabel);
  putTextList(&out, "discName", c.discName);
  putTextList(&out, "shortcutLabel", c.shortcutLabel);
  putTextList(&out, "shortcutName", c.shortcutName);
  putTextList(&out, "shortcutLink", c.shortcutLink);
  putTextList(&out, "shortcutFolder", c.shortcutFolder);
  putTextList(&out, "shortcutParam", c.shortcutParam);
  putTextList(&out, "saveData", c.saveData);
  putTextList(&out, "keyFile", c.keyFile);
  putTextList(&out, "optionTitle", c.optionTitle);
  putTextList(&out, "makeFolder", c.makeFolder);
  putKey(&out, "dxDisc");
  putNumbers(&out, c.dxDisc, kDxDiscs);

  putKey(&out, "exec");
  out.push_back('[');
  int execCount = kExecEntries;
  while (execCount > 0 && c.exec[execCount - 1].command == 0) execCount--;
  for (int i = 0; i < execCount; i++) {
    const ExecEntry& e = c.exec[i];
    out += i ? ",{" : "{";
    putUnsigned(&out, "command", e.command);
    putKey(&out, "argument");
    if (e.text)
      putString(&out, e.text, kPathSize);
    else
      out += std::to_string(e.argument);
    out.push_back('}');
  }
  out.push_back(']');

  putKey(&out, "fileList");
  out.push_back('[');
  for (int d = 0; d < kDiscs; d++) {
    if (d) out.push_back(',');
    int count = kFilesPerDisc;
    while (count > 0 && !c.fileList[d][count - 1]) count--;
    out.push_back('[');
    for (int i = 0; i < count; i++) {
      if (i) out.push_back(',');
      if (c.fileList[d][i])
        putString(&out, c.fileList[d][i], kPathSize);
      else
        out += "null";
    }
    out.push_back(']');
  }
  out.push_back(']');
  putDiscNumbers(&out, "fileSize", c.fileSize);
  putDiscNumbers(&out, "fileOption", c.fileOption);

  putKey(&out, "scene");
  out.push_back('[');
  bool first = true;
  for (const SceneElement& e : c.scene) {
    if (e.type == kSceneFree) continue;
    out += first ? "{" : ",{";
    first = false;
    putSigned(&out, "type", e.type);
    putText(&out, "name", e.name);
    putSigned(&out, "x", e.x);
    putSigned(&out, "y", e.y);
    putSigned(&out, "moveX", e.moveX);
    putSigned(&out, "moveY", e.moveY);
    putSigned(&out, "showFrom", e.showFrom);
    putSigned(&out, "showUntil", e.showUntil);
    putSigned(&out, "frameInterval", e.frameInterval);
    putSigned(&out, "startDelay", e.startDelay);
    putSigned(&out, "firstFrameInterval", e.firstFrameInterval);
    putSigned(&out, "cellHeight", e.cellHeight);
    putUnsigned(&out, "mode", e.mode);
    out.push_back('}');
  }
  out += "]}\n";
  return out;
}
