// The Windows types, constants and calls the plug-in uses, on Windows: the
// system's own headers (windows, common controls, common dialogs, shell).
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
#include <shlobj.h>

#include <cstdint>

// The MFC-shaped layer is linked statically into every module that uses it.
#define VXP_API
