// SPDX-License-Identifier: GPL-3.0-or-later
// The program's entry: brings up the application, creates the main window,
// runs the loop, and reports any failure that escapes. Always returns 0.
#pragma once

#include <functional>

class TApplication;

int RunPavelin(const std::function<void(TApplication &)> &createForms);
int PavelinMain();
