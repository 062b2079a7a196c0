// SPDX-License-Identifier: GPL-3.0-or-later
// How much more memory the process may use, and a French refusal where a task
// would need more: the toolkit's text classes do not survive a failed
// allocation, so a task that cannot fit must not start.
#pragma once

#include <QString>
#include <QtGlobal>

// Bytes the process may still allocate: the least of what its address-space
// limit leaves, what the system has available (RAM and free swap) and what its
// control group allows.
qint64 FreeMemory();

// Throws Exception "Mémoire insuffisante pour <action> « file »..." when fewer
// than `bytes` are free. `action` is a verb: "ouvrir", "enregistrer"...; the
// file's name is left out where there is none.
void RequireMemory(qint64 bytes, const QString &action, const QString &fileName = QString());

// The same message, for a task that ran out of memory all the same.
[[noreturn]] void RaiseOutOfMemory(const QString &action, const QString &fileName = QString());
