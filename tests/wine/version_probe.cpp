// version_probe.exe FILE: what Windows reads from a program's version
// resource, one line each, UTF-8:
//   fixed <file version> <product version> <file type>
//   translation <language> <code page>
//   NAME <value>            for each string of the first translation
#include <windows.h>

#include <cstdio>
#include <vector>

static void printUtf8(const wchar_t* text) {
  char out[1024];
  int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, out, sizeof out, nullptr, nullptr);
  fputs(n > 0 ? out : "?", stdout);
}

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return 2;
  DWORD unused = 0, size = GetFileVersionInfoSizeW(argv[1], &unused);
  if (size == 0) {
    puts("no version resource");
    return 1;
  }
  std::vector<char> data(size);
  if (!GetFileVersionInfoW(argv[1], 0, size, data.data())) return 1;
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) && fixed)
    printf("fixed\t%u.%u.%u.%u\t%u.%u.%u.%u\t%lu\n", HIWORD(fixed->dwFileVersionMS),
           LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS),
           LOWORD(fixed->dwFileVersionLS), HIWORD(fixed->dwProductVersionMS),
           LOWORD(fixed->dwProductVersionMS), HIWORD(fixed->dwProductVersionLS),
           LOWORD(fixed->dwProductVersionLS), static_cast<unsigned long>(fixed->dwFileType));
  WORD* translation = nullptr;
  if (!VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation",
                      reinterpret_cast<void**>(&translation), &length) ||
      length < 4)
    return 1;
  printf("translation\t%04x\t%u\n", translation[0], translation[1]);
  for (const wchar_t* name : {L"FileDescription", L"FileVersion", L"InternalName",
                              L"OriginalFilename", L"ProductName", L"ProductVersion"}) {
    wchar_t path[128];
    swprintf(path, 128, L"\\StringFileInfo\\%04x%04x\\%ls", translation[0], translation[1], name);
    wchar_t* value = nullptr;
    printUtf8(name);
    fputs("\t", stdout);
    if (VerQueryValueW(data.data(), path, reinterpret_cast<void**>(&value), &length) && value)
      printUtf8(value);
    fputs("\n", stdout);
  }
  return 0;
}
