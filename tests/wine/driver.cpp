// ksdriver: works the windows of another program from outside, the way a
// person would, for the Wine tests. One action per run; results go to
// standard output in UTF-8; the exit code is 0 on success, 1 when the thing
// waited for did not happen, 2 on a usage error.
//
//   start [-env NAME=VALUE]... CWD EXE [ARGS]   start a program, print its id
//   find [-class C] [-title T] [-control ID] [-pid P] [-timeout MS]
//                                               wait for a visible top-level
//                                               window, print its handle
//   gone HWND [-timeout MS]                     wait until it is gone
//   text HWND [ID]                              text of a window or control
//   state HWND ID                               enabled, visible, focus, default
//   focus HWND                                  id of the control with focus
//   click HWND ID                               press a button (BM_CLICK)
//   command HWND ID                             send WM_COMMAND ID
//   close HWND                                  WM_CLOSE
//   combo HWND ID                               items of a combo box, and the
//                                               selected one last ("sel=N")
//   select HWND ID INDEX                        select a combo box item
//   rect HWND [ID]                              client-relative rectangle
//   origin HWND                                 screen position of the
//                                               client area's corner
//   waitexit PID [-timeout MS]                  wait for a process to end
//   procs [NAME]                                processes: id, command line
//                                               and current folder
//   windows                                     visible top-level windows
#include <windows.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

namespace {

void out(const std::wstring& text) {
  int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                  nullptr, nullptr);
  std::string utf8(bytes, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &utf8[0], bytes, nullptr,
                      nullptr);
  utf8 += '\n';
  DWORD written;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), utf8.data(), static_cast<DWORD>(utf8.size()), &written,
            nullptr);
}

int usage() {
  out(L"ksdriver: bad arguments (see driver.cpp)");
  return 2;
}

HWND toWindow(const wchar_t* text) { return reinterpret_cast<HWND>(static_cast<INT_PTR>(_wcstoi64(text, nullptr, 0))); }

std::wstring hex(HWND window) {
  wchar_t buffer[32];
  swprintf(buffer, 32, L"0x%llx", static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(window)));
  return buffer;
}

// Text through WM_GETTEXT, which the system carries across processes.
std::wstring windowText(HWND window) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, 10000, &length)) return L"";
  std::vector<wchar_t> buffer(length + 2);
  DWORD_PTR got = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                      SMTO_NORMAL, 10000, &got);
  return std::wstring(buffer.data());
}

std::wstring className(HWND window) {
  wchar_t buffer[256] = {0};
  GetClassNameW(window, buffer, 256);
  return buffer;
}

struct Query {
  const wchar_t* windowClass = nullptr;
  const wchar_t* title = nullptr;
  int control = -1000000;
  DWORD pid = 0;
  HWND found = nullptr;
};

BOOL CALLBACK matchWindow(HWND window, LPARAM data) {
  Query* query = reinterpret_cast<Query*>(data);
  if (!IsWindowVisible(window)) return TRUE;
  if (query->windowClass && className(window) != query->windowClass) return TRUE;
  if (query->title && windowText(window) != query->title) return TRUE;
  if (query->control != -1000000 && !GetDlgItem(window, query->control)) return TRUE;
  if (query->pid) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != query->pid) return TRUE;
  }
  query->found = window;
  return FALSE;
}

DWORD timeoutOption(int argc, wchar_t** argv, int from, DWORD fallback) {
  for (int i = from; i + 1 < argc; i++)
    if (!wcscmp(argv[i], L"-timeout")) return wcstoul(argv[i + 1], nullptr, 10);
  return fallback;
}

int find(int argc, wchar_t** argv) {
  Query query;
  for (int i = 2; i + 1 < argc; i += 2) {
    if (!wcscmp(argv[i], L"-class")) query.windowClass = argv[i + 1];
    else if (!wcscmp(argv[i], L"-title")) query.title = argv[i + 1];
    else if (!wcscmp(argv[i], L"-control")) query.control = _wtoi(argv[i + 1]);
    else if (!wcscmp(argv[i], L"-pid")) query.pid = wcstoul(argv[i + 1], nullptr, 10);
    else if (wcscmp(argv[i], L"-timeout")) return usage();
  }
  DWORD deadline = GetTickCount() + timeoutOption(argc, argv, 2, 10000);
  for (;;) {
    query.found = nullptr;
    EnumWindows(matchWindow, reinterpret_cast<LPARAM>(&query));
    if (query.found) {
      out(hex(query.found));
      return 0;
    }
    if (static_cast<LONG>(GetTickCount() - deadline) > 0) return 1;
    Sleep(100);
  }
}

int gone(int argc, wchar_t** argv) {
  if (argc < 3) return usage();
  HWND window = toWindow(argv[2]);
  DWORD deadline = GetTickCount() + timeoutOption(argc, argv, 3, 10000);
  while (IsWindow(window) && IsWindowVisible(window)) {
    if (static_cast<LONG>(GetTickCount() - deadline) > 0) return 1;
    Sleep(100);
  }
  return 0;
}

HWND target(int argc, wchar_t** argv, int index) {
  HWND window = toWindow(argv[2]);
  if (argc > index) return GetDlgItem(window, _wtoi(argv[index]));
  return window;
}

int focusedControl(HWND window, HWND* focused) {
  GUITHREADINFO info;
  ZeroMemory(&info, sizeof info);
  info.cbSize = sizeof info;
  *focused = nullptr;
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info)) return 0;
  *focused = info.hwndFocus;
  return info.hwndFocus ? GetDlgCtrlID(info.hwndFocus) : 0;
}

int state(int argc, wchar_t** argv) {
  if (argc < 4) return usage();
  HWND control = target(argc, argv, 3);
  if (!control) return 1;
  HWND focused;
  focusedControl(toWindow(argv[2]), &focused);
  LONG style = GetWindowLongW(control, GWL_STYLE);
  wchar_t buffer[128];
  swprintf(buffer, 128, L"enabled=%d visible=%d focus=%d default=%d", IsWindowEnabled(control) ? 1 : 0,
           IsWindowVisible(control) ? 1 : 0, focused == control ? 1 : 0,
           (style & 0x0F) == BS_DEFPUSHBUTTON ? 1 : 0);
  out(buffer);
  return 0;
}

int combo(int argc, wchar_t** argv) {
  if (argc < 4) return usage();
  HWND control = target(argc, argv, 3);
  if (!control) return 1;
  DWORD_PTR count = 0, selected = 0;
  SendMessageTimeoutW(control, CB_GETCOUNT, 0, 0, SMTO_NORMAL, 10000, &count);
  for (DWORD_PTR i = 0; i < count && count != static_cast<DWORD_PTR>(CB_ERR); i++) {
    DWORD_PTR length = 0;
    SendMessageTimeoutW(control, CB_GETLBTEXTLEN, i, 0, SMTO_NORMAL, 10000, &length);
    std::vector<wchar_t> buffer(length + 2);
    DWORD_PTR got = 0;
    SendMessageTimeoutW(control, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(buffer.data()), SMTO_ABORTIFHUNG,
                        5000, &got);
    out(buffer.data());
  }
  SendMessageTimeoutW(control, CB_GETCURSEL, 0, 0, SMTO_NORMAL, 10000, &selected);
  out(L"sel=" + std::to_wstring(static_cast<long long>(static_cast<LONG_PTR>(selected))));
  return 0;
}

int rect(int argc, wchar_t** argv) {
  HWND dialog = toWindow(argv[2]);
  HWND window = target(argc, argv, 3);
  if (!window) return 1;
  RECT area;
  GetWindowRect(window, &area);
  if (window != dialog) MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&area), 2);
  else {
    GetClientRect(window, &area);
  }
  wchar_t buffer[96];
  swprintf(buffer, 96, L"%ld %ld %ld %ld", area.left, area.top, area.right, area.bottom);
  out(buffer);
  return 0;
}

int start(int argc, wchar_t** argv) {
  int i = 2;
  std::vector<std::pair<std::wstring, std::wstring>> overrides;
  while (i + 1 < argc && !wcscmp(argv[i], L"-env")) {
    std::wstring pair = argv[i + 1];
    size_t equals = pair.find(L'=');
    if (equals == std::wstring::npos) return usage();
    overrides.emplace_back(pair.substr(0, equals), pair.substr(equals + 1));
    i += 2;
  }
  if (argc < i + 2) return usage();
  const wchar_t* folder = argv[i];
  const wchar_t* program = argv[i + 1];
  std::wstring commandLine = L"\"" + std::wstring(program) + L"\"";
  for (int k = i + 2; k < argc; k++) commandLine += L" " + std::wstring(argv[k]);
  for (auto& pair : overrides) SetEnvironmentVariableW(pair.first.c_str(), pair.second.c_str());
  STARTUPINFOW startup;
  ZeroMemory(&startup, sizeof startup);
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  if (!CreateProcessW(program, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, folder, &startup,
                      &process)) {
    out(L"start failed: " + std::to_wstring(GetLastError()));
    return 1;
  }
  out(std::to_wstring(process.dwProcessId));
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return 0;
}

int waitExit(int argc, wchar_t** argv) {
  if (argc < 3) return usage();
  HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                               wcstoul(argv[2], nullptr, 10));
  if (!process) return 0;  // already gone
  DWORD result = WaitForSingleObject(process, timeoutOption(argc, argv, 3, 10000));
  DWORD code = 0;
  GetExitCodeProcess(process, &code);
  CloseHandle(process);
  if (result != WAIT_OBJECT_0) return 1;
  out(L"exit=" + std::to_wstring(code));
  return 0;
}

// A UNICODE_STRING of another process's parameter block.
std::wstring remoteString(HANDLE process, const BYTE* address) {
  UNICODE_STRING text;
  SIZE_T got = 0;
  if (!ReadProcessMemory(process, address, &text, sizeof text, &got)) return L"?";
  std::vector<wchar_t> buffer(text.Length / 2 + 1);
  if (text.Length && !ReadProcessMemory(process, text.Buffer, buffer.data(), text.Length, &got)) return L"?";
  return std::wstring(buffer.data(), text.Length / 2);
}

typedef NTSTATUS(NTAPI* QueryProcess)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);

int procs(int argc, wchar_t** argv) {
  QueryProcess query =
      reinterpret_cast<QueryProcess>(reinterpret_cast<void*>(
          GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32W entry;
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
    if (argc > 2 && _wcsicmp(entry.szExeFile, argv[2])) continue;
    std::wstring line = std::to_wstring(entry.th32ProcessID) + L"\t" + entry.szExeFile;
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, entry.th32ProcessID);
    if (process && query) {
      PROCESS_BASIC_INFORMATION basic;
      ULONG got = 0;
      if (query(process, ProcessBasicInformation, &basic, sizeof basic, &got) == 0) {
        BYTE* parameters = nullptr;
        SIZE_T read = 0;
        // PEB.ProcessParameters, then its CurrentDirectory.DosPath and
        // CommandLine (64-bit layout).
        ReadProcessMemory(process, reinterpret_cast<BYTE*>(basic.PebBaseAddress) + 0x20, &parameters,
                          sizeof parameters, &read);
        if (parameters)
          line += L"\t" + remoteString(process, parameters + 0x70) + L"\t" +
                  remoteString(process, parameters + 0x38);
      }
    }
    if (process) CloseHandle(process);
    out(line);
  }
  CloseHandle(snapshot);
  return 0;
}

BOOL CALLBACK listWindow(HWND window, LPARAM) {
  if (!IsWindowVisible(window)) return TRUE;
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  out(hex(window) + L"\t" + std::to_wstring(pid) + L"\t" + className(window) + L"\t" + windowText(window));
  return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return usage();
  std::wstring action = argv[1];
  if (action == L"start") return start(argc, argv);
  if (action == L"find") return find(argc, argv);
  if (action == L"gone") return gone(argc, argv);
  if (action == L"waitexit") return waitExit(argc, argv);
  if (action == L"procs") return procs(argc, argv);
  if (action == L"windows") {
    EnumWindows(listWindow, 0);
    return 0;
  }
  if (argc < 3) return usage();
  if (action == L"text") {
    HWND window = target(argc, argv, 3);
    if (!window) return 1;
    out(windowText(window));
    return 0;
  }
  if (action == L"state") return state(argc, argv);
  if (action == L"focus") {
    HWND focused;
    out(std::to_wstring(focusedControl(toWindow(argv[2]), &focused)));
    return 0;
  }
  if (action == L"click" || action == L"command") {
    if (argc < 4) return usage();
    HWND dialog = toWindow(argv[2]);
    HWND control = GetDlgItem(dialog, _wtoi(argv[3]));
    if (action == L"click") {
      if (!control) return 1;
      return PostMessageW(control, BM_CLICK, 0, 0) ? 0 : 1;
    }
    return PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(_wtoi(argv[3]), BN_CLICKED),
                        reinterpret_cast<LPARAM>(control))
               ? 0
               : 1;
  }
  if (action == L"close") return PostMessageW(toWindow(argv[2]), WM_CLOSE, 0, 0) ? 0 : 1;
  if (action == L"combo") return combo(argc, argv);
  if (action == L"select") {
    if (argc < 5) return usage();
    HWND control = target(argc, argv, 3);
    DWORD_PTR result = 0;
    SendMessageTimeoutW(control, CB_SETCURSEL, _wtoi(argv[4]), 0, SMTO_NORMAL, 10000, &result);
    return result == static_cast<DWORD_PTR>(CB_ERR) ? 1 : 0;
  }
  if (action == L"rect") return rect(argc, argv);
  if (action == L"origin") {
    POINT corner = {0, 0};
    if (!ClientToScreen(toWindow(argv[2]), &corner)) return 1;
    out(std::to_wstring(corner.x) + L" " + std::to_wstring(corner.y));
    return 0;
  }
  return usage();
}
