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
//   checked HWND ID                             check state of a button (0, 1, 2)
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
//   wow64 PID                                   1 when the process runs
//                                               under WoW64, else 0
//   windows                                     visible top-level windows
//   resource EXE ID                             the dialog template ID of the
//                                               program EXE as stored: header,
//                                               then one line per control
//   manifest EXE                                the program's manifest text
//   icon EXE ID                                 sizes of icon group ID
//   security PATH                               the access list of a file or
//                                               folder as SDDL ("D:...")
//   regtext KEY NAME                            a string value below
//                                               HKEY_CURRENT_USER, in UTF-8
//   securefolder PATH SDDL                      make a folder with that access
//                                               list, print the list it reads
//                                               back with, remove the folder
//   elevated PID                                whether the process runs with
//                                               an elevated token (0 or 1)
//   suspend HWND                                suspend the thread of a window
//                                               (its messages queue up), print
//                                               the thread's id
//   resume TID                                  resume that thread
//   dialogfont EXE ID                           the font dialog ID of the program
//                                               EXE gets on this system: the
//                                               face chosen for it and whether
//                                               it holds Japanese ("face=F
//                                               japanese=1")
//   template EXE ID                             show dialog ID of the program
//                                               EXE as a modeless dialog, print
//                                               its template as the system
//                                               built it, and stay until closed
//   control HWND ID                             the handle of a dialog's control
//   treeselect HWND ID PATH                     select a tree view's item by its
//                                               place on each level ("0.2")
//   key HWND VK                                 post WM_KEYDOWN of a key
//   syskey HWND VK                              post WM_SYSKEYDOWN (with Alt)
//   mouseup HWND [left|right|middle]            post a button release
//   checked HWND ID                             check state of a button
//                                               (0, 1, or 2 indeterminate)
//   settext HWND ID TEXT                        set a control's text
//   shortcut FILE                               a shell link's target,
//                                               arguments, working folder,
//                                               description and show command
#include <windows.h>
#include <commctrl.h>
#include <objidl.h>
#include <sddl.h>
#include <shlobj.h>
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
        // CommandLine, in the layout of the driver's own build (the programs
        // it reads are built alike).
#ifdef _WIN64
        const size_t parametersAt = 0x20, folderAt = 0x38, commandLineAt = 0x70;
#else
        const size_t parametersAt = 0x10, folderAt = 0x24, commandLineAt = 0x40;
#endif
        ReadProcessMemory(process, reinterpret_cast<BYTE*>(basic.PebBaseAddress) + parametersAt,
                          &parameters, sizeof parameters, &read);
        if (parameters)
          line += L"\t" + remoteString(process, parameters + commandLineAt) + L"\t" +
                  remoteString(process, parameters + folderAt);
      }
    }
    if (process) CloseHandle(process);
    out(line);
  }
  CloseHandle(snapshot);
  return 0;
}

int wow64(int argc, wchar_t** argv) {
  if (argc < 3) return usage();
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, wcstoul(argv[2], nullptr, 10));
  BOOL under = FALSE;
  BOOL ok = process && IsWow64Process(process, &under);
  if (process) CloseHandle(process);
  if (!ok) return 1;
  out(under ? L"1" : L"0");
  return 0;
}

BOOL CALLBACK listWindow(HWND window, LPARAM) {
  if (!IsWindowVisible(window)) return TRUE;
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  out(hex(window) + L"\t" + std::to_wstring(pid) + L"\t" + className(window) + L"\t" + windowText(window));
  return TRUE;
}

// A child window: handle, id, class and text (for windows the system makes,
// whose controls no test knows beforehand).
BOOL CALLBACK listChild(HWND window, LPARAM) {
  if (!IsWindowVisible(window)) return TRUE;
  out(hex(window) + L"\t" + std::to_wstring(GetDlgCtrlID(window)) + L"\t" + className(window) +
      L"\t" + windowText(window));
  return TRUE;
}

// Reads a shell link through its Unicode interface, as the program writes it.
int shortcut(const wchar_t* file) {
  if (FAILED(CoInitialize(nullptr))) return 1;
  IShellLinkW* link = nullptr;
  IPersistFile* persist = nullptr;
  int result = 1;
  if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                 reinterpret_cast<void**>(&link))) &&
      SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist))) &&
      SUCCEEDED(persist->Load(file, STGM_READ))) {
    wchar_t text[1024];
    int show = 0;
    text[0] = 0;
    // The target from the link's item list, which keeps every name; the
    // path it also stores is in the system's code page.
    LPITEMIDLIST items = nullptr;
    if (FAILED(link->GetIDList(&items)) || !items || !SHGetPathFromIDListW(items, text))
      link->GetPath(text, 1024, nullptr, SLGP_RAWPATH);
    if (items) CoTaskMemFree(items);
    out(std::wstring(L"target=") + text);
    text[0] = 0;
    link->GetArguments(text, 1024);
    out(std::wstring(L"arguments=") + text);
    text[0] = 0;
    link->GetWorkingDirectory(text, 1024);
    out(std::wstring(L"folder=") + text);
    text[0] = 0;
    link->GetDescription(text, 1024);
    out(std::wstring(L"description=") + text);
    link->GetShowCmd(&show);
    out(L"show=" + std::to_wstring(show));
    result = 0;
  }
  if (persist) persist->Release();
  if (link) link->Release();
  CoUninitialize();
  return result;
}

// The dialog-unit value whose pixel size in the dialog is `pixels` (the
// inverse of MapDialogRect, exact since the mapping is increasing).
long toDialogUnits(long pixels, int base, int units) {
  if (pixels < 0) return -toDialogUnits(-pixels, base, units);
  for (long v = 0; v < 4000; v++)
    if (MulDiv(v, base, units) >= pixels) return MulDiv(v, base, units) == pixels ? v : -99999;
  return -99999;
}

struct DialogUnits {
  int baseX;  // pixels of 4 horizontal units
  int baseY;  // pixels of 8 vertical units
};

std::wstring unitsOf(const RECT& area, const DialogUnits& units) {
  wchar_t buffer[96];
  swprintf(buffer, 96, L"%ld,%ld,%ld,%ld", toDialogUnits(area.left, units.baseX, 4),
           toDialogUnits(area.top, units.baseY, 8), toDialogUnits(area.right - area.left, units.baseX, 4),
           toDialogUnits(area.bottom - area.top, units.baseY, 8));
  return buffer;
}

std::wstring escaped(const std::wstring& text) {
  std::wstring result;
  for (wchar_t c : text) {
    if (c == L'\r') result += L"\\r";
    else if (c == L'\n') result += L"\\n";
    else result += c;
  }
  return result;
}

INT_PTR CALLBACK templateProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_CLOSE || (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL))) {
    DestroyWindow(dialog);
    return TRUE;
  }
  if (message == WM_DESTROY) PostQuitMessage(0);
  return message == WM_INITDIALOG;
}

BOOL CALLBACK printControl(HWND control, LPARAM data) {
  const DialogUnits& units = *reinterpret_cast<const DialogUnits*>(data);
  RECT area;
  GetWindowRect(control, &area);
  MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&area), 2);
  wchar_t style[16];
  swprintf(style, 16, L"%08lx", static_cast<unsigned long>(GetWindowLongW(control, GWL_STYLE)));
  out(std::to_wstring(GetDlgCtrlID(control)) + L"\t" + className(control) + L"\t" + style + L"\t" +
      unitsOf(area, units) + L"\t" + escaped(windowText(control)));
  return TRUE;
}

// Header line: caption, style, client size in dialog units, font face and
// points; then one line per control: id, class, style, position and size in
// dialog units, text.
int showTemplate(int argc, wchar_t** argv) {
  if (argc < 4) return usage();
  HMODULE module = LoadLibraryExW(argv[2], nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (!module) module = LoadLibraryExW(argv[2], nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) return 1;
  HWND dialog = CreateDialogParamW(module, MAKEINTRESOURCEW(_wtoi(argv[3])), nullptr, templateProc, 0);
  if (!dialog) {
    out(L"no dialog " + std::wstring(argv[3]));
    return 1;
  }
  RECT unitRect = {0, 0, 4, 8};
  MapDialogRect(dialog, &unitRect);
  DialogUnits units = {unitRect.right, unitRect.bottom};
  RECT client;
  GetClientRect(dialog, &client);
  LOGFONTW font;
  ZeroMemory(&font, sizeof font);
  HFONT handle = reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0));
  if (handle) GetObjectW(handle, sizeof font, &font);
  HDC screen = GetDC(nullptr);
  int points = MulDiv(font.lfHeight < 0 ? -font.lfHeight : font.lfHeight, 72, GetDeviceCaps(screen, LOGPIXELSY));
  ReleaseDC(nullptr, screen);
  wchar_t style[16];
  swprintf(style, 16, L"%08lx", static_cast<unsigned long>(GetWindowLongW(dialog, GWL_STYLE)));
  out(L"dialog\t" + escaped(windowText(dialog)) + L"\t" + style + L"\t" +
      std::to_wstring(toDialogUnits(client.right, units.baseX, 4)) + L"," +
      std::to_wstring(toDialogUnits(client.bottom, units.baseY, 8)) + L"\t" + font.lfFaceName + L"\t" +
      std::to_wstring(points));
  EnumChildWindows(dialog, printControl, reinterpret_cast<LPARAM>(&units));
  out(L"end");
  ShowWindow(dialog, SW_SHOW);
  SetTimer(nullptr, 0, 60000, nullptr);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (message.message == WM_TIMER && !message.hwnd) break;
    if (!IsDialogMessageW(dialog, &message)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  if (IsWindow(dialog)) DestroyWindow(dialog);
  return 0;
}

// The font the system chose for a dialog of another program's resources,
// made here (hidden) on this system and locale.
int dialogFont(int argc, wchar_t** argv) {
  if (argc < 4) return usage();
  HMODULE module = LoadLibraryExW(argv[2], nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (!module) module = LoadLibraryExW(argv[2], nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) return 1;
  HWND dialog = CreateDialogParamW(module, MAKEINTRESOURCEW(_wtoi(argv[3])), nullptr, templateProc, 0);
  if (!dialog) return 1;
  HFONT font = reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0));
  HDC dc = GetDC(dialog);
  HGDIOBJ old = SelectObject(dc, font ? font : GetStockObject(SYSTEM_FONT));
  wchar_t face[LF_FACESIZE] = {0};
  GetTextFaceW(dc, LF_FACESIZE, face);
  FONTSIGNATURE signature;
  ZeroMemory(&signature, sizeof signature);
  GetTextCharsetInfo(dc, &signature, 0);
  SelectObject(dc, old);
  ReleaseDC(dialog, dc);
  DestroyWindow(dialog);
  out(std::wstring(L"face=") + face + L" japanese=" + ((signature.fsCsb[0] & FS_JISJAPAN) ? L"1" : L"0"));
  return 0;
}

// Reads a dialog template as stored in the resources.
struct TemplateReader {
  const BYTE* p;
  WORD word() { WORD v = *reinterpret_cast<const WORD*>(p); p += 2; return v; }
  DWORD dword() { DWORD v = *reinterpret_cast<const DWORD*>(p); p += 4; return v; }
  short coordinate() { return static_cast<short>(word()); }
  std::wstring text() {
    std::wstring t;
    while (WORD c = word()) t += static_cast<wchar_t>(c);
    return t;
  }
  // A name or a number (0xFFFF followed by the number).
  std::wstring nameOrNumber() {
    if (*reinterpret_cast<const WORD*>(p) == 0xFFFF) {
      word();
      WORD n = word();
      switch (n) {
        case 0x80: return L"BUTTON";
        case 0x81: return L"EDIT";
        case 0x82: return L"STATIC";
        case 0x83: return L"LISTBOX";
        case 0x84: return L"SCROLLBAR";
        case 0x85: return L"COMBOBOX";
      }
      return L"#" + std::to_wstring(n);
    }
    return text();
  }
  void align(const BYTE* base) {
    while ((p - base) % 4) p++;
  }
};

std::wstring hex32(DWORD v) {
  wchar_t buffer[16];
  swprintf(buffer, 16, L"%08lx", static_cast<unsigned long>(v));
  return buffer;
}

std::wstring box(short x, short y, short w, short h) {
  return std::to_wstring(x) + L"," + std::to_wstring(y) + L"," + std::to_wstring(w) + L"," + std::to_wstring(h);
}

int dumpResource(int argc, wchar_t** argv) {
  if (argc < 4) return usage();
  HMODULE module = LoadLibraryExW(argv[2], nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) return 1;
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(_wtoi(argv[3])), reinterpret_cast<LPCWSTR>(RT_DIALOG));
  HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
  const BYTE* base = loaded ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
  if (!base) {
    out(L"no dialog " + std::wstring(argv[3]));
    return 1;
  }
  TemplateReader r = {base};
  bool extended = reinterpret_cast<const WORD*>(base)[1] == 0xFFFF;
  DWORD style, exStyle;
  if (extended) {
    r.word();
    r.word();
    r.dword();  // help id
    exStyle = r.dword();
    style = r.dword();
  } else {
    style = r.dword();
    exStyle = r.dword();
  }
  WORD count = r.word();
  short x = r.coordinate(), y = r.coordinate(), w = r.coordinate(), h = r.coordinate();
  std::wstring menu = r.nameOrNumber();
  std::wstring windowClass = r.nameOrNumber();
  std::wstring caption = r.text();
  std::wstring font;
  if (style & DS_SETFONT) {
    font = std::to_wstring(r.word()) + L"pt";
    if (extended) {
      WORD weight = r.word();
      BYTE italic = *r.p++;
      BYTE charset = *r.p++;
      font += L" weight=" + std::to_wstring(weight) + L" italic=" + std::to_wstring(italic) + L" charset=" +
              std::to_wstring(charset);
    }
    font += L" " + r.text();
  }
  out(std::wstring(extended ? L"DIALOGEX" : L"DIALOG") + L"\t" + hex32(style) + L"\t" + hex32(exStyle) + L"\t" +
      box(x, y, w, h) + L"\t" + escaped(caption) + L"\t" + font + (menu.empty() ? L"" : L"\tmenu=" + menu) +
      (windowClass.empty() ? L"" : L"\tclass=" + windowClass));
  for (WORD i = 0; i < count; i++) {
    r.align(base);
    long id;
    if (extended) {
      r.dword();  // help id
      exStyle = r.dword();
      style = r.dword();
    } else {
      style = r.dword();
      exStyle = r.dword();
    }
    x = r.coordinate(), y = r.coordinate(), w = r.coordinate(), h = r.coordinate();
    id = extended ? static_cast<long>(static_cast<int32_t>(r.dword())) : static_cast<short>(r.word());
    std::wstring itemClass = r.nameOrNumber();
    std::wstring title = r.nameOrNumber();
    WORD extra = r.word();
    r.p += extra;
    out(std::to_wstring(id) + L"\t" + itemClass + L"\t" + hex32(style) + (exStyle ? L"/" + hex32(exStyle) : L"") +
        L"\t" + box(x, y, w, h) + L"\t" + escaped(title));
  }
  return 0;
}

int dumpManifest(int argc, wchar_t** argv) {
  HMODULE module = LoadLibraryExW(argv[2], nullptr, LOAD_LIBRARY_AS_DATAFILE);
  HRSRC found = module ? FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24)) : nullptr;
  HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
  const char* text = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
  if (!text) return 1;
  std::string utf8(text, SizeofResource(module, found));
  DWORD written;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
  return 0;
}

// The group icon directory: one "WxH bits" per image.
int dumpIcon(int argc, wchar_t** argv) {
  if (argc < 4) return usage();
  HMODULE module = LoadLibraryExW(argv[2], nullptr, LOAD_LIBRARY_AS_DATAFILE);
  HRSRC found = module ? FindResourceW(module, MAKEINTRESOURCEW(_wtoi(argv[3])),
                                       reinterpret_cast<LPCWSTR>(RT_GROUP_ICON))
                       : nullptr;
  HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
  const BYTE* group = loaded ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
  if (!group) return 1;
  WORD count = *reinterpret_cast<const WORD*>(group + 4);
  for (WORD i = 0; i < count; i++) {
    const BYTE* entry = group + 6 + 14 * i;
    int w = entry[0] ? entry[0] : 256, h = entry[1] ? entry[1] : 256;
    out(std::to_wstring(w) + L"x" + std::to_wstring(h) + L" " +
        std::to_wstring(*reinterpret_cast<const WORD*>(entry + 6)) + L"bit");
  }
  return 0;
}

}  // namespace

int run(int argc, wchar_t** argv);

int wmain(int argc, wchar_t** argv) { return run(argc, argv); }

int run(int argc, wchar_t** argv) {
  if (argc < 2) return usage();
  std::wstring action = argv[1];
  if (action == L"start") return start(argc, argv);
  if (action == L"find") return find(argc, argv);
  if (action == L"gone") return gone(argc, argv);
  if (action == L"waitexit") return waitExit(argc, argv);
  if (action == L"procs") return procs(argc, argv);
  if (action == L"wow64") return wow64(argc, argv);
  if (action == L"template") return showTemplate(argc, argv);
  if (action == L"dialogfont") return dialogFont(argc, argv);
  if (action == L"resource") return dumpResource(argc, argv);
  if (action == L"manifest") return dumpManifest(argc, argv);
  if (action == L"icon") return dumpIcon(argc, argv);
  if (action == L"windows") {
    EnumWindows(listWindow, 0);
    return 0;
  }
  if (argc < 3) return usage();
  if (action == L"children") {
    EnumChildWindows(toWindow(argv[2]), listChild, 0);
    return 0;
  }
  if (action == L"text") {
    HWND window = target(argc, argv, 3);
    if (!window) return 1;
    out(windowText(window));
    return 0;
  }
  if (action == L"state") return state(argc, argv);
  if (action == L"checked") {
    if (argc < 4) return usage();
    HWND control = target(argc, argv, 3);
    DWORD_PTR result = 0;
    if (!control || !SendMessageTimeoutW(control, BM_GETCHECK, 0, 0, SMTO_NORMAL, 10000, &result)) return 1;
    out(std::to_wstring(static_cast<unsigned long long>(result)));
    return 0;
  }
  if (action == L"treeselect") {
    // PATH: the item's place counted from 0 on each level, as "0.2".
    HWND tree = target(argc, argv, 3);
    if (argc < 5 || !tree) return 1;
    DWORD_PTR item = 0;
    const wchar_t* p = argv[4];
    for (bool first = true; *p; first = false) {
      wchar_t* end = nullptr;
      long skip = wcstol(p, &end, 10);
      if (end == p) return 1;
      if (!SendMessageTimeoutW(tree, TVM_GETNEXTITEM, first ? TVGN_ROOT : TVGN_CHILD,
                               static_cast<LPARAM>(item), SMTO_ABORTIFHUNG, 5000, &item))
        return 1;
      while (item && skip-- > 0)
        if (!SendMessageTimeoutW(tree, TVM_GETNEXTITEM, TVGN_NEXT, static_cast<LPARAM>(item),
                                 SMTO_ABORTIFHUNG, 5000, &item))
          return 1;
      if (!item) return 1;
      p = *end == L'.' ? end + 1 : end;
      // Children are often made only when their parent opens.
      DWORD_PTR expanded = 0;
      if (*p)
        SendMessageTimeoutW(tree, TVM_EXPAND, TVE_EXPAND, static_cast<LPARAM>(item),
                            SMTO_ABORTIFHUNG, 5000, &expanded);
    }
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(tree, TVM_SELECTITEM, TVGN_CARET, static_cast<LPARAM>(item),
                               SMTO_ABORTIFHUNG, 5000, &result) &&
                   result
               ? 0
               : 1;
  }
  if (action == L"control") {
    HWND control = target(argc, argv, 3);
    if (argc < 4 || !control) return 1;
    out(hex(control));
    return 0;
  }
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
  if (action == L"dropdown") {  // HWND ID 1|0: opens or closes a combo box's list
    if (argc < 5) return usage();
    HWND control = target(argc, argv, 3);
    DWORD_PTR result = 0;
    return control && SendMessageTimeoutW(control, CB_SHOWDROPDOWN, _wtoi(argv[4]), 0, SMTO_NORMAL,
                                          10000, &result)
               ? 0
               : 1;
  }
  if (action == L"rect") return rect(argc, argv);
  if (action == L"shortcut") return shortcut(argv[2]);
  if (action == L"key" || action == L"syskey") {
    if (argc < 4) return usage();
    UINT key = wcstoul(argv[3], nullptr, 0);
    LPARAM flags = 1 | (static_cast<LPARAM>(MapVirtualKeyW(key, MAPVK_VK_TO_VSC)) << 16);
    if (action == L"syskey") flags |= 1 << 29;  // Alt is held
    return PostMessageW(toWindow(argv[2]), action == L"key" ? WM_KEYDOWN : WM_SYSKEYDOWN, key, flags) ? 0
                                                                                                       : 1;
  }
  if (action == L"mouseup") {
    std::wstring button = argc > 3 ? argv[3] : L"left";
    UINT message = button == L"right" ? WM_RBUTTONUP : button == L"middle" ? WM_MBUTTONUP : WM_LBUTTONUP;
    return PostMessageW(toWindow(argv[2]), message, 0, MAKELPARAM(10, 10)) ? 0 : 1;
  }
  if (action == L"checked") {
    HWND control = target(argc, argv, 3);
    DWORD_PTR result = 0;
    if (argc < 4 || !control ||
        !SendMessageTimeoutW(control, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 5000, &result))
      return 1;
    out(std::to_wstring(static_cast<unsigned long long>(result)));
    return 0;
  }
  if (action == L"settext") {
    if (argc < 5) return usage();
    HWND control = target(argc, argv, 3);
    DWORD_PTR result = 0;
    if (!control || !SendMessageTimeoutW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[4]),
                                         SMTO_ABORTIFHUNG, 5000, &result))
      return 1;
    return result ? 0 : 1;
  }
  if (action == L"regtext") {
    if (argc < 4) return usage();
    wchar_t text[1024];
    DWORD size = sizeof text;
    if (RegGetValueW(HKEY_CURRENT_USER, argv[2], argv[3], RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS)
      return 1;
    out(text);
    return 0;
  }
  if (action == L"securefolder") {
    if (argc < 4) return usage();
    PSECURITY_DESCRIPTOR wanted = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(argv[3], SDDL_REVISION_1, &wanted, nullptr)) return 1;
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, wanted, FALSE};
    BOOL made = CreateDirectoryW(argv[2], &attributes);
    LocalFree(wanted);
    if (!made) return 1;
    std::vector<wchar_t*> args(argv, argv + argc);
    args[1] = const_cast<wchar_t*>(L"security");
    int result = run(3, args.data());
    RemoveDirectoryW(argv[2]);
    return result;
  }
  if (action == L"security") {
    DWORD size = 0;
    GetFileSecurityW(argv[2], DACL_SECURITY_INFORMATION, nullptr, 0, &size);
    std::vector<BYTE> descriptor(size ? size : 1);
    LPWSTR text = nullptr;
    if (!size || !GetFileSecurityW(argv[2], DACL_SECURITY_INFORMATION, descriptor.data(), size, &size) ||
        !ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor.data(), SDDL_REVISION_1,
                                                              DACL_SECURITY_INFORMATION, &text, nullptr))
      return 1;
    out(text);
    LocalFree(text);
    return 0;
  }
  if (action == L"elevated") {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(_wtoi(argv[2])));
    HANDLE token = nullptr;
    TOKEN_ELEVATION elevation = {};
    DWORD size = 0;
    bool known = process && OpenProcessToken(process, TOKEN_QUERY, &token) &&
                 GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size);
    if (token) CloseHandle(token);
    if (process) CloseHandle(process);
    if (!known) return 1;
    out(elevation.TokenIsElevated ? L"1" : L"0");
    return 0;
  }
  if (action == L"suspend" || action == L"resume") {
    DWORD id = action == L"suspend" ? GetWindowThreadProcessId(toWindow(argv[2]), nullptr)
                                    : static_cast<DWORD>(_wtoi(argv[2]));
    HANDLE thread = id ? OpenThread(THREAD_SUSPEND_RESUME, FALSE, id) : nullptr;
    if (!thread) return 1;
    DWORD count = action == L"suspend" ? SuspendThread(thread) : ResumeThread(thread);
    CloseHandle(thread);
    if (count == static_cast<DWORD>(-1)) return 1;
    if (action == L"suspend") out(std::to_wstring(id));
    return 0;
  }
  if (action == L"origin") {
    POINT corner = {0, 0};
    if (!ClientToScreen(toWindow(argv[2]), &corner)) return 1;
    out(std::to_wstring(corner.x) + L" " + std::to_wstring(corner.y));
    return 0;
  }
  return usage();
}
