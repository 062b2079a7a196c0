// SPDX-License-Identifier: GPL-3.0-or-later
// Colours and fonts between the controls' types and the toolkit's.
#pragma once

#include "platform/classes.h"

#include <QColor>
#include <QFont>
#include <QPalette>

QColor ToQColor(TColor color, const QPalette &palette = QPalette());
TColor FromQColor(const QColor &color);
QFont ToQFont(const TFont &font);
TFont FromQFont(const QFont &font, const QColor &color);
