// SPDX-License-Identifier: GPL-3.0-or-later
// The system's handle and message types, which controls and the system calls share.
#pragma once

#include <cstdint>

struct HWND__;
using HWND = HWND__ *;
using UINT = unsigned;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
