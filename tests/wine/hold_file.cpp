// hold_file.exe FILE SIGNALS [alone]: opens FILE for reading the way another
// program using it would (others may read it, not write or delete it; with
// "alone" nobody else may even read it), creates SIGNALS\held once the file
// is open, and keeps it open until SIGNALS\release exists (at most 60 s).
// Exit code 0, or 1 when the file cannot be opened.
#include <windows.h>

static bool exists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

int main(int argc, char** argv) {
  if (argc != 3 && !(argc == 4 && lstrcmpA(argv[3], "alone") == 0)) return 2;
  char held[MAX_PATH], release[MAX_PATH];
  wsprintfA(held, "%s\\held", argv[2]);
  wsprintfA(release, "%s\\release", argv[2]);
  HANDLE file = CreateFileA(argv[1], GENERIC_READ, argc == 4 ? 0 : FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  HANDLE flag = CreateFileA(held, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (flag != INVALID_HANDLE_VALUE) CloseHandle(flag);
  for (int waited = 0; waited < 60000 && !exists(release); waited += 50) Sleep(50);
  CloseHandle(file);
  return 0;
}
