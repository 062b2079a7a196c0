// SPDX-License-Identifier: GPL-3.0-or-later
// The current printer and the print dialogs that set it up.
#pragma once

#include <QString>

class QPrinter;

QPrinter &CurrentPrinter();
