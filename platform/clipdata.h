// SPDX-License-Identifier: GPL-3.0-or-later
// What the editor puts on the clipboard and what it takes from it: plain text
// with RTF written only when some program asks for it.
#pragma once

#include "platform/richconvert.h"

#include <QByteArray>
#include <QString>

class QMimeData;

namespace qtrich {

// Clipboard data holding plain text and, produced when asked for, RTF.
QMimeData *makeMimeData(Snapshot snapshot, const QString &plain, const QString &defaultFont);
// The RTF a clipboard holds under any of its usual names, or an empty array.
QByteArray rtfData(const QMimeData *source);

} // namespace qtrich
