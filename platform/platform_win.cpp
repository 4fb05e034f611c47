// Windows implementation of the platform layer, on kernel32 alone. Names
// reach the system in UTF-16, converted from code page 932.
#include "platform/platform.h"

#include <windows.h>

#include "platform/text_win.h"

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
  wchar_t name[MAX_PATH];
  if (!path || !widen(path, name, MAX_PATH)) return nullptr;
  HANDLE h = CreateFileW(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
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

bool setCurrentFolder(const char* path) {
  wchar_t name[MAX_PATH];
  return path && widen(path, name, MAX_PATH) && SetCurrentDirectoryW(name);
}

bool getCurrentFolder(char* buffer, size_t size) {
  if (!buffer || !size) return false;
  wchar_t name[MAX_PATH];
  DWORD n = GetCurrentDirectoryW(MAX_PATH, name);
  return n != 0 && n < MAX_PATH && narrow(name, buffer, size);
}

static wchar_t programFolderOverride[MAX_PATH];

void setProgramFolder(const char* hostFolder) {
  if (!hostFolder || !widen(hostFolder, programFolderOverride, MAX_PATH)) programFolderOverride[0] = 0;
}

bool enterProgramFolder() {
  if (programFolderOverride[0]) return SetCurrentDirectoryW(programFolderOverride) != FALSE;
  wchar_t path[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return false;
  wchar_t* cut = nullptr;
  for (wchar_t* p = path; *p; p++)
    if (*p == L'\\') cut = p;
  if (!cut) return false;
  cut[cut == path + 2 ? 1 : 0] = 0;  // "C:\KSetup.exe": the root keeps its backslash
  return SetCurrentDirectoryW(path) != FALSE;
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
