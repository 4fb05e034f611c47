// The multimedia calls the program needs (the CD-audio device's media test,
// the millisecond clock), from winmm.dll. winmm is no known DLL of the
// system, so it is not imported: a DLL of that name beside the program or in
// the current folder would be loaded with it. It is loaded here on first use
// from the system folder only.
#pragma once

#include <windows.h>
#include <mmsystem.h>

// mciSendCommandW; MCIERR_DEVICE_NOT_INSTALLED when winmm cannot be had.
MCIERROR mciCommand(MCIDEVICEID device, UINT message, DWORD_PTR flags, DWORD_PTR parameters);
// timeGetTime; the system's tick count when winmm cannot be had.
DWORD multimediaTime();

// A DLL from the system folder only, never from the program's folder, the
// current folder or PATH. Null when it cannot be loaded.
HMODULE loadSystemDll(const wchar_t* name);
