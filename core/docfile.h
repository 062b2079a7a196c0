// SPDX-License-Identifier: GPL-3.0-or-later
// Document files: read whole within a bound, written without ever losing one.
#pragma once

#include <QByteArray>
#include <QString>

// Writes the data completely, then replaces the file: a failure leaves the old
// file as it was. Follows symbolic links to their target and keeps the file's
// permissions. Where only the file (not its folder) is writable, it is
// rewritten from a complete copy left in the temporary folder until the
// rewrite has succeeded (a failure names that copy). Throws Exception with a
// French message naming the file and reason.
void SafeWriteFile(const QString &fileName, const QByteArray &data);

// The largest file Open loads: bigger ones are refused before being read.
constexpr qint64 MaxDocumentFileSize = qint64(256) * 1024 * 1024;

// Reads a whole file; refuses one larger than `maxSize` before reading it.
QByteArray ReadDocumentFile(const QString &fileName, qint64 maxSize = MaxDocumentFileSize);

// The system's reason for an error number, in French.
QString FrenchReason(int error);
