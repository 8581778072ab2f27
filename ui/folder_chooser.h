// The folder chooser (the shell's folder browser) and the text helper of the
// help window.
#pragma once

#include "platform/mfc.h"

// Holds the start folder while the browser is open and the chosen folder
// afterwards; what browse_for_folder returns lives here until its next call.
extern char chooser_result[MAX_PATH];

// Opens the browser on `start_folder` (a writable buffer: one trailing '\'
// is removed from it) with `title`, or "Choose a Directory" for none or an
// empty one. Returns the chosen folder ending in '\', or null when the user
// cancels. Without a shell allocator no browser is shown and the result is
// null, as for a cancel; so is a chosen path that leaves no room for its '\'.
char* browse_for_folder(char* start_folder, const char* title);

// The browser's callback: opens it on chooser_result and shows the full path
// of each selection in its status line. Always 0.
int CALLBACK folder_chooser_hook(HWND browser, UINT message, LPARAM parameter, LPARAM data);

// The text with every line feed turned into carriage return and line feed.
CString to_crlf(const char* text);
