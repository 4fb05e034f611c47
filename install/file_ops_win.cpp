// Windows file operations for the copy walk and the removal, on kernel32.
// Names reach the system in UTF-16, converted from code page 932, and come
// back from searches converted to code page 932.
#include <windows.h>

#include "install/file_ops.h"
#include "platform/text_win.h"

static void* handleOrNull(HANDLE h) { return h == INVALID_HANDLE_VALUE ? nullptr : h; }

static void* winOpenRead(const char* path) {
  wchar_t name[MAX_PATH];
  if (!widen(path, name, MAX_PATH)) return nullptr;
  return handleOrNull(CreateFileW(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

static bool winSize(void* file, uint64_t* bytes) {
  DWORD high = 0;
  DWORD low = GetFileSize(static_cast<HANDLE>(file), &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return false;
  *bytes = static_cast<uint64_t>(high) << 32 | low;
  return true;
}

static void* winCreate(const char* path) {
  wchar_t name[MAX_PATH];
  if (!widen(path, name, MAX_PATH)) return nullptr;
  return handleOrNull(CreateFileW(name, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
}

static bool winRead(void* file, void* buffer, uint32_t bytes, uint32_t* moved) {
  DWORD n = 0;
  BOOL ok = ReadFile(static_cast<HANDLE>(file), buffer, bytes, &n, nullptr);
  *moved = n;
  return ok != FALSE;
}

static bool winWrite(void* file, const void* buffer, uint32_t bytes, uint32_t* moved) {
  DWORD n = 0;
  BOOL ok = WriteFile(static_cast<HANDLE>(file), buffer, bytes, &n, nullptr);
  *moved = n;
  return ok != FALSE;
}

static void winClose(void* file) {
  if (file) CloseHandle(static_cast<HANDLE>(file));
}

static void copyFound(const WIN32_FIND_DATAW* data, FoundName* found) {
  found->isFolder = (data->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  found->foreign = !narrow(data->cFileName, found->name, sizeof found->name);
}

static void* winFindFirst(const char* pattern, FoundName* found) {
  wchar_t name[MAX_PATH];
  if (!widen(pattern, name, MAX_PATH)) return nullptr;
  WIN32_FIND_DATAW data;
  HANDLE h = FindFirstFileW(name, &data);
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  copyFound(&data, found);
  return h;
}

static bool winFindNext(void* search, FoundName* found) {
  WIN32_FIND_DATAW data;
  if (!FindNextFileW(static_cast<HANDLE>(search), &data)) return false;
  copyFound(&data, found);
  return true;
}

static void winFindClose(void* search) {
  if (search) FindClose(static_cast<HANDLE>(search));
}

static DeleteResult winDeleteFile(const char* path) {
  wchar_t name[MAX_PATH];
  if (!widen(path, name, MAX_PATH)) return kDeleteFailed;
  if (DeleteFileW(name)) return kDeleteDone;
  DWORD error = GetLastError();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? kDeleteMissing : kDeleteFailed;
}

static MoveResult winMoveFile(const char* from, const char* to) {
  wchar_t source[MAX_PATH], target[MAX_PATH];
  if (!widen(from, source, MAX_PATH) || !widen(to, target, MAX_PATH)) return kMoveFailed;
  if (MoveFileExW(source, target, 0)) return kMoveDone;
  DWORD error = GetLastError();
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return kMoveMissing;
  return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ? kMoveExists : kMoveFailed;
}

static bool winCreateFolder(const char* path) {
  wchar_t name[MAX_PATH];
  return widen(path, name, MAX_PATH) && CreateDirectoryW(name, nullptr) != FALSE;
}

static bool winRemoveFolder(const char* path) {
  wchar_t name[MAX_PATH];
  return widen(path, name, MAX_PATH) && RemoveDirectoryW(name) != FALSE;
}

static bool winSetCurrent(const char* path) {
  wchar_t name[MAX_PATH];
  return widen(path, name, MAX_PATH) && SetCurrentDirectoryW(name) != FALSE;
}

static void winSleep(uint32_t milliseconds) { Sleep(milliseconds); }

static bool winIsLink(const char* path) {
  wchar_t name[MAX_PATH];
  DWORD attributes =
      widen(path, name, MAX_PATH) ? GetFileAttributesW(name) : INVALID_FILE_ATTRIBUTES;
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

static const FileOps winOps = {
    winOpenRead,     winSize,       winCreate,    winRead,       winWrite,    winClose,
    winFindFirst,    winFindNext,   winFindClose, winDeleteFile, winMoveFile, winCreateFolder,
    winRemoveFolder, winSetCurrent, winSleep,     winIsLink,
};

const FileOps* platformFileOps() { return &winOps; }

static const FileOps* chosenOps;

const FileOps* fileOps() { return chosenOps ? chosenOps : &winOps; }

void setFileOps(const FileOps* ops) { chosenOps = ops; }
