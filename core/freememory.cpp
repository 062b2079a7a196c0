// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/freememory.h"

#include "core/exception.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <algorithm>
#include <limits>
#include <sys/resource.h>
#include <unistd.h>

namespace {
constexpr qint64 Unlimited = std::numeric_limits<qint64>::max();

// A small file of /proc or /sys, read whole (they report no size).
QByteArray readSmall(const char *name) {
    QFile f(QString::fromLatin1(name));
    if (!f.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) return QByteArray();
    return f.read(1 << 16);
}

// A "Name:   123 kB" line of /proc/meminfo, in bytes; -1 when absent.
qint64 meminfoField(const QByteArray &meminfo, const char *name) {
    const QByteArray key = QByteArray(name) + ':';
    const qsizetype at = meminfo.indexOf(key);
    if (at < 0) return -1;
    const qsizetype end = meminfo.indexOf('\n', at);
    const QByteArray value = meminfo.mid(at + key.size(), end < 0 ? -1 : end - at - key.size())
                                 .trimmed()
                                 .split(' ')
                                 .value(0);
    bool ok = false;
    const qint64 kib = value.toLongLong(&ok);
    return ok ? kib * 1024 : -1;
}

qint64 addressSpaceLeft() {
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return Unlimited;
    // statm's first field: the whole address space in pages.
    const qint64 pages = readSmall("/proc/self/statm").split(' ').value(0).toLongLong();
    const qint64 used = pages * ::sysconf(_SC_PAGESIZE);
    return std::max<qint64>(0, qint64(limit.rlim_cur) - used);
}

qint64 systemLeft() {
    const QByteArray meminfo = readSmall("/proc/meminfo");
    const qint64 available = meminfoField(meminfo, "MemAvailable");
    if (available < 0) return Unlimited;
    return available + std::max<qint64>(0, meminfoField(meminfo, "SwapFree"));
}

// cgroup v2: memory.max is "max" or a number; the process's own group is
// the one /proc/self/cgroup names ("0::/path").
qint64 groupLeft() {
    const QByteArray line = readSmall("/proc/self/cgroup").trimmed();
    if (!line.startsWith("0::")) return Unlimited;
    const QByteArray base = "/sys/fs/cgroup" + line.mid(3).split('\n').value(0);
    const QByteArray max = readSmall((base + "/memory.max").constData()).trimmed();
    bool ok = false;
    const qint64 limit = max.toLongLong(&ok);
    if (!ok) return Unlimited;
    const qint64 current = readSmall((base + "/memory.current").constData()).trimmed().toLongLong();
    return std::max<qint64>(0, limit - current);
}

QString mebibytes(qint64 bytes) {
    return QLocale(QLocale::French, QLocale::France).toString((bytes + (1 << 20) - 1) >> 20);
}

// "ouvrir « lettre.rtf »", or the action alone.
QString task(const QString &action, const QString &fileName) {
    if (fileName.isEmpty()) return action;
    return QStringLiteral("%1 « %2 »").arg(action, QFileInfo(fileName).fileName());
}
} // namespace

qint64 FreeMemory() {
    return std::min({addressSpaceLeft(), systemLeft(), groupLeft()});
}

void RequireMemory(qint64 bytes, const QString &action, const QString &fileName) {
    const qint64 free = FreeMemory();
    if (bytes <= free) return;
    throw Exception(QStringLiteral("Mémoire insuffisante pour %1 : il faudrait environ %2 Mio, il "
                                   "en reste %3. Rien n'a été modifié.")
                        .arg(task(action, fileName), mebibytes(bytes), mebibytes(free)));
}

void RaiseOutOfMemory(const QString &action, const QString &fileName) {
    throw Exception(QStringLiteral("Mémoire insuffisante pour %1 : l'opération a été abandonnée.")
                        .arg(task(action, fileName)));
}
