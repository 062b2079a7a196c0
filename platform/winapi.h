// SPDX-License-Identifier: GPL-3.0-or-later
// The few system calls the commands make: message boxes and window messages.
#pragma once

#include "platform/wintypes.h"

constexpr UINT MB_OK = 0x0;
constexpr UINT MB_YESNO = 0x4;
constexpr int IDOK = 1;
constexpr int IDYES = 6;
constexpr int IDNO = 7;
constexpr UINT WM_UNDO = 0x0304;

// Texts are 8-bit strings in the system code page (UTF-8 here). With no owner the
// box leaves every window usable while it waits; commands started meanwhile run
// to their end before this call returns.
int MessageBoxA(HWND owner, const char *text, const char *caption, UINT type);

// Sends a message to the control owning the handle; 0 for an unknown handle.
LRESULT SendMessageA(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
