// The sample disc set's stand-ins: sample-game.exe plays the game
// HOSHIMI.EXE, sample-dxsetup.exe (built with STANDIN_DXSETUP) the DirectX
// setup DIRECTX\DXSETUP.EXE. Each appends one line to a marker file in the
// temporary folder (ran-game.txt, ran-dxsetup.txt): its command line and
// its current folder, in UTF-8. Then it shows a small window saying what it
// is, which closes on a click or a key, or by itself after a few seconds when
// the command line holds /autoclose or the environment variable
// KSETUP_SAMPLE_AUTOCLOSE is set (to the number of seconds, 3 when not a
// number). The game also writes two save files when its SAVE folder exists,
// so that an uninstall has save data to keep or remove.
#include <windows.h>

#ifdef STANDIN_DXSETUP
static const wchar_t kMarker[] = L"ran-dxsetup.txt";
static const wchar_t kCaption[] = L"DirectX セットアップ (サンプル)";
static const wchar_t kMessage[] =
    L"DirectX セットアップの代わりのプログラムです。\n"
    L"このサンプルでは何もインストールしません。\n\n"
    L"クリックすると終了します。";
#else
static const wchar_t kMarker[] = L"ran-game.txt";
static const wchar_t kCaption[] = L"星見の丘ソナタ";
static const wchar_t kMessage[] =
    L"「星見の丘ソナタ」のサンプルゲームが起動しました。\n"
    L"KSetup のサンプル用の代わりのプログラムです。\n\n"
    L"クリックすると終了します。";
#endif

static const UINT_PTR kCloseTimer = 1;
static HFONT textFont;
static HFONT smallFont;
static wchar_t commandLine[1024];

static void appendUtf8(HANDLE file, const wchar_t* text) {
  char buffer[4096];
  int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer, sizeof buffer, nullptr, nullptr);
  DWORD written;
  if (bytes > 1) WriteFile(file, buffer, DWORD(bytes - 1), &written, nullptr);
}

// %TEMP%\<marker>: one line "cmdline=...<TAB>cwd=..." per start.
static void writeMarker() {
  wchar_t path[MAX_PATH + 32];
  DWORD length = GetTempPathW(MAX_PATH, path);
  if (length == 0 || length > MAX_PATH) return;
  lstrcatW(path, kMarker);
  HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  wchar_t folder[MAX_PATH] = {0};
  GetCurrentDirectoryW(MAX_PATH, folder);
  appendUtf8(file, L"cmdline=");
  appendUtf8(file, GetCommandLineW());
  appendUtf8(file, L"\tcwd=");
  appendUtf8(file, folder);
  appendUtf8(file, L"\n");
  CloseHandle(file);
}

#ifndef STANDIN_DXSETUP
// SAVE\SLOT01.SAV and SAVE\CONFIG.DAT beside the program, when SAVE exists.
static void writeSaveFiles() {
  wchar_t folder[MAX_PATH];
  DWORD length = GetModuleFileNameW(nullptr, folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  wchar_t* slash = nullptr;
  for (wchar_t* p = folder; *p; p++)
    if (*p == L'\\') slash = p;
  if (!slash || slash - folder > MAX_PATH - 32) return;
  lstrcpyW(slash + 1, L"SAVE");
  DWORD attributes = GetFileAttributesW(folder);
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return;
  static const wchar_t* const names[] = {L"\\SLOT01.SAV", L"\\CONFIG.DAT"};
  static const char content[] = "HOSHIMI NO OKA save data (sample)\r\n";
  size_t base = size_t(lstrlenW(folder));
  for (const wchar_t* name : names) {
    lstrcpyW(folder + base, name);
    HANDLE file = CreateFileW(folder, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) continue;
    DWORD written;
    WriteFile(file, content, sizeof content - 1, &written, nullptr);
    CloseHandle(file);
  }
}
#endif

// Seconds after which the window closes by itself; 0 when it waits.
static UINT autoCloseSeconds() {
  wchar_t value[16];
  DWORD length = GetEnvironmentVariableW(L"KSETUP_SAMPLE_AUTOCLOSE", value, 16);
  if (length > 0 && length < 16) {
    UINT seconds = 0;
    for (const wchar_t* p = value; *p >= L'0' && *p <= L'9' && seconds < 3600; p++)
      seconds = seconds * 10 + UINT(*p - L'0');
    return seconds ? seconds : 3;
  }
  const wchar_t* line = GetCommandLineW();
  for (int i = 0, length = lstrlenW(line); i + 10 <= length; i++)
    if (CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, line + i, 10, L"/autoclose", 10) ==
        CSTR_EQUAL)
      return 3;
  return 0;
}

static void paint(HWND window) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window, &ps);
  RECT client;
  GetClientRect(window, &client);
  // The sample's night-sky colours: indigo, a gold rule, warm white text.
  HBRUSH night = CreateSolidBrush(RGB(0x14, 0x16, 0x44));
  FillRect(dc, &client, night);
  DeleteObject(night);
  RECT rule = {client.left + 20, client.top + 18, client.right - 20, client.top + 20};
  HBRUSH gold = CreateSolidBrush(RGB(0xF6, 0xCF, 0x72));
  FillRect(dc, &rule, gold);
  DeleteObject(gold);
  SetBkMode(dc, TRANSPARENT);
  HGDIOBJ previous = SelectObject(dc, textFont);
  SetTextColor(dc, RGB(0xFF, 0xF4, 0xDC));
  RECT text = {client.left + 20, client.top + 32, client.right - 20, client.bottom - 40};
  DrawTextW(dc, kMessage, -1, &text, DT_LEFT | DT_WORDBREAK | DT_NOPREFIX);
  SelectObject(dc, smallFont);
  SetTextColor(dc, RGB(0xB9, 0xAB, 0xF2));
  RECT line = {client.left + 20, client.bottom - 34, client.right - 20, client.bottom - 10};
  DrawTextW(dc, commandLine, -1, &line, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX | DT_PATH_ELLIPSIS);
  SelectObject(dc, previous);
  EndPaint(window, &ps);
}

static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT:
      paint(window);
      return 0;
    case WM_LBUTTONUP:
    case WM_TIMER:
      DestroyWindow(window);
      return 0;
    case WM_KEYDOWN:
      if (wParam == VK_ESCAPE || wParam == VK_RETURN || wParam == VK_SPACE) DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int show) {
  writeMarker();
#ifndef STANDIN_DXSETUP
  writeSaveFiles();
#endif
  lstrcpynW(commandLine, GetCommandLineW(), 1024);

  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = windowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // arrow
  windowClass.lpszClassName = L"KSetupSampleStandin";
  if (!RegisterClassW(&windowClass)) return 1;

  textFont = CreateFontW(-15, 0, 0, 0, FW_NORMAL, 0, 0, 0, SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS,
                         CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, L"MS UI Gothic");
  smallFont = CreateFontW(-11, 0, 0, 0, FW_NORMAL, 0, 0, 0, SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS,
                          CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, L"MS UI Gothic");
  const int width = 420, height = 190;
  HWND window = CreateWindowExW(0, windowClass.lpszClassName, kCaption,
                                WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
                                (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                                (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height, nullptr,
                                nullptr, instance, nullptr);
  if (!window) return 1;
  UINT seconds = autoCloseSeconds();
  if (seconds) SetTimer(window, kCloseTimer, seconds * 1000, nullptr);
  ShowWindow(window, show);
  UpdateWindow(window);

  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  DeleteObject(textFont);
  DeleteObject(smallFont);
  return 0;
}
