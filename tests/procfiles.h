// SPDX-License-Identifier: GPL-3.0-or-later
// Shared by the tests and the benchmark: writing a whole file, and the
// process's peak memory as the system counts it.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

namespace procfiles {

// Writes the whole of `data`; false when the file could not be written.
inline bool writeFile(const QString &name, const QByteArray &data) {
    QFile f(name);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(data) == data.size() &&
           f.flush();
}

// The process's peak resident memory (VmHWM) in KiB; -1 when the system does
// not say, so that no figure or check passes on a zero.
inline qint64 peakMemoryKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:")) {
            bool ok = false;
            const qint64 kib = line.mid(6).trimmed().split(' ').value(0).toLongLong(&ok);
            return ok ? kib : -1;
        }
    return -1;
}

} // namespace procfiles
