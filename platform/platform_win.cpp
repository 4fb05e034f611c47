// Windows implementation of the platform layer, on kernel32 alone.
#include "platform/platform.h"

#include <windows.h>

// ---- Heap -------------------------------------------------------------------

static DWORD heapFaultSlot = TLS_OUT_OF_INDEXES;

void* heapAlloc(size_t bytes) {
  if (heapFaultSlot != TLS_OUT_OF_INDEXES) {
    UINT_PTR left = reinterpret_cast<UINT_PTR>(TlsGetValue(heapFaultSlot));
    if (left != 0) {
      TlsSetValue(heapFaultSlot, reinterpret_cast<void*>(left - 1));
      if (left == 1) return nullptr;
    }
  }
  return GlobalAlloc(GPTR, bytes ? bytes : 1);
}

void heapFree(void* block) {
  if (block) GlobalFree(block);
}

void heapFailAfter(unsigned n) {
  if (heapFaultSlot == TLS_OUT_OF_INDEXES) heapFaultSlot = TlsAlloc();
  if (heapFaultSlot != TLS_OUT_OF_INDEXES) TlsSetValue(heapFaultSlot, reinterpret_cast<void*>(static_cast<UINT_PTR>(n)));
}

// ---- Files ------------------------------------------------------------------

FileRef fileOpenRead(const char* path) {
  if (!path) return nullptr;
  HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE || h == nullptr) return nullptr;
  return h;
}

uint64_t fileSize(FileRef file) {
  LARGE_INTEGER size;
  if (!file || !GetFileSizeEx(static_cast<HANDLE>(file), &size)) return 0;
  return static_cast<uint64_t>(size.QuadPart);
}

bool fileRead(FileRef file, void* buffer, uint32_t bytes, uint32_t* got) {
  DWORD n = 0;
  BOOL ok = file && ReadFile(static_cast<HANDLE>(file), buffer, bytes, &n, nullptr);
  if (got) *got = ok ? n : 0;
  return ok != FALSE;
}

bool fileSkip(FileRef file, uint32_t bytes) {
  LARGE_INTEGER move;
  move.QuadPart = bytes;
  return file && SetFilePointerEx(static_cast<HANDLE>(file), move, nullptr, FILE_CURRENT);
}

void fileClose(FileRef file) {
  if (file) CloseHandle(static_cast<HANDLE>(file));
}

// ---- Clock ------------------------------------------------------------------

uint32_t clockMilliseconds() { return GetTickCount(); }

// ---- Folders ----------------------------------------------------------------

bool setCurrentFolder(const char* path) { return path && SetCurrentDirectoryA(path); }

bool getCurrentFolder(char* buffer, size_t size) {
  if (!buffer || !size) return false;
  DWORD n = GetCurrentDirectoryA(static_cast<DWORD>(size), buffer);
  return n != 0 && n < size;
}

static char programFolderOverride[MAX_PATH];

void setProgramFolder(const char* path) {
  lstrcpynA(programFolderOverride, path ? path : "", MAX_PATH);
}

bool getProgramFolder(char* buffer, size_t size) {
  if (!buffer || size < 2) return false;
  if (programFolderOverride[0]) {
    if ((size_t)lstrlenA(programFolderOverride) + 1 > size) return false;
    lstrcpyA(buffer, programFolderOverride);
    return true;
  }
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return false;
  char* cut = nullptr;
  for (char* p = path; *p; p++)
    if (*p == '\\') cut = p;
  if (cut) *cut = 0;
  if ((size_t)lstrlenA(path) + 1 > size) return false;
  lstrcpyA(buffer, path);
  return true;
}

// A critical section made ready on first use; the first caller initialises it
// while any other waits for it to be ready.
static CRITICAL_SECTION currentFolderSection;
static volatile LONG currentFolderState;  // 0 none, 1 being made ready, 2 ready

static void readyCurrentFolderSection() {
  if (currentFolderState == 2) return;
  if (InterlockedCompareExchange(&currentFolderState, 1, 0) == 0) {
    InitializeCriticalSection(&currentFolderSection);
    InterlockedExchange(&currentFolderState, 2);
    return;
  }
  while (currentFolderState != 2) Sleep(0);
}

void lockCurrentFolder() {
  readyCurrentFolderSection();
  EnterCriticalSection(&currentFolderSection);
}

void unlockCurrentFolder() { LeaveCriticalSection(&currentFolderSection); }
