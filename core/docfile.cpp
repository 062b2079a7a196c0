// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/docfile.h"

#include "core/exception.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

QString FrenchReason(int error) {
    switch (error) {
    case ENOENT:
        return QStringLiteral("le fichier ou le dossier n'existe pas");
    case EACCES:
    case EPERM:
        return QStringLiteral("permission refusée");
    case ENOSPC:
        return QStringLiteral("plus de place sur le disque");
    case EDQUOT:
        return QStringLiteral("quota de disque dépassé");
    case EISDIR:
        return QStringLiteral("c'est un dossier");
    case ENOTDIR:
        return QStringLiteral("un élément du chemin n'est pas un dossier");
    case EROFS:
        return QStringLiteral("système de fichiers en lecture seule");
    case ENAMETOOLONG:
        return QStringLiteral("nom de fichier trop long");
    case EFBIG:
        return QStringLiteral("fichier trop volumineux");
    case EIO:
        return QStringLiteral("erreur d'entrée-sortie");
    case ELOOP:
        return QStringLiteral("trop de liens symboliques");
    case EMFILE:
    case ENFILE:
        return QStringLiteral("trop de fichiers ouverts");
    case ETXTBSY:
    case EBUSY:
        return QStringLiteral("fichier occupé");
    case ENXIO:
    case ENODEV:
        return QStringLiteral("périphérique introuvable");
    default:
        return QString::fromLocal8Bit(std::strerror(error));
    }
}

namespace {
const QString saveFailed = QStringLiteral("Impossible d'enregistrer le fichier");

[[noreturn]] void failSave(const QString &fileName, int error) {
    RaiseFileError(saveFailed, fileName, FrenchReason(error ? error : EIO));
}

// Follows symbolic links, also to a target that does not exist yet.
QString resolveLinks(const QString &fileName) {
    QString path = QFileInfo(fileName).absoluteFilePath();
    for (int hops = 0; hops < 40; ++hops) {
        const QFileInfo info(path);
        if (!info.isSymLink()) return path;
        const QString target = info.symLinkTarget();
        if (target.isEmpty()) return path;
        path = target;
    }
    errno = ELOOP;
    return QString();
}

// The new file takes the old one's owner and group where the process may give
// them (root may; a user may give a group of their own), then its mode, which
// a change of owner would have stripped of set-id bits.
void keepOwnerAndMode(int fd, const struct stat &old) {
    if (fd < 0) return;
    if (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) {
        if (::fchown(fd, old.st_uid, old.st_gid) != 0 && ::fchown(fd, uid_t(-1), old.st_gid) != 0) {
            // Neither could be given: the file is the writer's, as a new one.
        }
    }
    if (::fchmod(fd, old.st_mode & 07777) != 0) {
        // The new file keeps the mode it was made with.
    }
}

// Writes all of the data from the descriptor's current offset (the start, for
// a file just opened); false with errno set when it can't.
bool writeAll(int fd, const QByteArray &data) {
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.constData() + done, size_t(data.size() - done));
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += n;
    }
    return true;
}

// Writes straight into a device or a pipe: nothing to keep, nothing to replace.
void writeToDevice(const QString &display, const QString &path, const QByteArray &data) {
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) failSave(display, errno);
    if (!writeAll(fd, data)) {
        const int error = errno;
        ::close(fd);
        failSave(display, error);
    }
    if (::close(fd) != 0) failSave(display, errno);
}

// A file whose folder is closed to us can't be replaced, only rewritten, and a
// rewrite stopped halfway (a crash, a full disk, the power) would leave it cut.
// So the new content is first written whole to a copy in the user's temporary
// folder, kept until the file holds all of it: whatever stops the rewrite,
// the old file or the copy is complete. Where no copy can be made, nothing is
// written. The file's own space is reserved before its first byte changes, so
// that a full disk is found while the old content is still there.
void writeInPlace(const QString &display, const QString &path, const QByteArray &data) {
    QByteArray copyName = QFile::encodeName(
        QDir(QDir::tempPath())
            .filePath(
                QStringLiteral("tavrolle-%1-XXXXXX").arg(QFileInfo(path).fileName().left(60))));
    const int copy = ::mkostemp(copyName.data(), O_CLOEXEC);
    const auto noCopy = [&](int error) {
        RaiseFileError(saveFailed, display,
                       QStringLiteral("son dossier n'est pas modifiable et aucune copie de sûreté "
                                      "n'a pu être écrite dans le dossier temporaire « %1 » (%2) ; "
                                      "le fichier n'a pas été modifié")
                           .arg(QDir::tempPath(), FrenchReason(error ? error : EIO)));
    };
    if (copy < 0) noCopy(errno);
    if (!writeAll(copy, data) || ::fsync(copy) != 0) {
        const int error = errno;
        ::close(copy);
        ::unlink(copyName.constData());
        noCopy(error);
    }
    ::close(copy);

    const QString copyPath = QFile::decodeName(copyName);
    const auto failKeepingCopy = [&](int error) {
        RaiseFileError(saveFailed, display,
                       QStringLiteral("%1 ; le nouveau contenu complet est conservé dans « %2 »")
                           .arg(FrenchReason(error ? error : EIO), copyPath));
    };
    const auto failUntouched = [&](int fd, int error) {
        if (fd >= 0) ::close(fd);
        ::unlink(copyName.constData());
        failSave(display, error);
    };
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) failUntouched(-1, errno);
    if (!data.isEmpty()) {
        const int error = ::posix_fallocate(fd, 0, off_t(data.size()));
        // Filesystems without reservation answer EOPNOTSUPP: the write will tell.
        if (error == ENOSPC || error == EDQUOT || error == EFBIG) failUntouched(fd, error);
    }
    if (!writeAll(fd, data) || ::ftruncate(fd, off_t(data.size())) != 0 || ::fsync(fd) != 0) {
        const int error = errno;
        ::close(fd);
        failKeepingCopy(error);
    }
    if (::close(fd) != 0) failKeepingCopy(errno);
    ::unlink(copyName.constData());
}
} // namespace

void SafeWriteFile(const QString &fileName, const QByteArray &data) {
    if (fileName.isEmpty()) failSave(fileName, ENOENT);
    errno = 0;
    const QString target = resolveLinks(fileName);
    if (target.isEmpty()) failSave(fileName, errno);
    const QByteArray native = QFile::encodeName(target);

    struct stat st {};
    const bool exists = ::stat(native.constData(), &st) == 0;
    if (exists) {
        if (S_ISDIR(st.st_mode)) failSave(fileName, EISDIR);
        if (!S_ISREG(st.st_mode)) return writeToDevice(fileName, target, data);
        // A file its owner made read-only is not replaced behind its back, not
        // even by root, whom access() would let through.
        if ((st.st_mode & 0222) == 0) failSave(fileName, EACCES);
        if (::access(native.constData(), W_OK) != 0) failSave(fileName, errno);
        const QByteArray folder = QFile::encodeName(QFileInfo(target).absolutePath());
        if (::access(folder.constData(), W_OK) != 0) return writeInPlace(fileName, target, data);
    } else {
        const QFileInfo folder(QFileInfo(target).absolutePath());
        if (!folder.exists()) failSave(fileName, ENOENT);
        if (!folder.isDir()) failSave(fileName, ENOTDIR);
    }

    QSaveFile file(target);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly)) failSave(fileName, errno ? errno : EACCES);
    if (file.write(data) != data.size()) {
        const int error = errno;
        file.cancelWriting();
        failSave(fileName, error);
    }
    if (exists) keepOwnerAndMode(file.handle(), st);
    errno = 0;
    if (!file.commit()) failSave(fileName, errno ? errno : EIO);
}

namespace {
const QString openFailed = QStringLiteral("Impossible d'ouvrir le fichier");

// A device, a pipe or a socket is no document: reading /dev/zero would only
// stop at the size bound. Refused by name, before anything is read.
[[noreturn]] void refuseSpecial(const QString &fileName) {
    RaiseFileError(openFailed, fileName,
                   QStringLiteral("ce n'est pas un fichier ordinaire (périphérique, tube ou "
                                  "socket)"));
}

QString byteCount(qint64 n) {
    return QLocale(QLocale::French, QLocale::France).toString(n);
}
} // namespace

QByteArray ReadDocumentFile(const QString &fileName, qint64 maxSize) {
    if (fileName.isEmpty()) RaiseFileError(openFailed, fileName, FrenchReason(ENOENT));
    const QByteArray native = QFile::encodeName(fileName);
    struct stat st {};
    if (::stat(native.constData(), &st) != 0)
        RaiseFileError(openFailed, fileName, FrenchReason(errno));
    if (S_ISDIR(st.st_mode)) RaiseFileError(openFailed, fileName, FrenchReason(EISDIR));
    if (!S_ISREG(st.st_mode)) refuseSpecial(fileName);
    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) RaiseFileError(openFailed, fileName, FrenchReason(errno));
    if (::fstat(fd, &st) != 0) {
        const int error = errno;
        ::close(fd);
        RaiseFileError(openFailed, fileName, FrenchReason(error));
    }
    if (!S_ISREG(st.st_mode)) { // replaced between the two looks
        ::close(fd);
        refuseSpecial(fileName);
    }
    if (st.st_size > maxSize) {
        ::close(fd);
        // Exact figures: a file one byte too large must show why it is refused.
        RaiseFileError(openFailed, fileName,
                       QStringLiteral("le fichier est trop volumineux (%1 octets ; l'éditeur en "
                                      "accepte au plus %2, soit %3 Mio)")
                           .arg(byteCount(st.st_size), byteCount(maxSize))
                           .arg(maxSize / (1024 * 1024)));
    }
    QByteArray data;
    data.reserve(qsizetype(st.st_size));
    char buffer[1 << 16];
    while (true) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int error = errno;
            ::close(fd);
            RaiseFileError(openFailed, fileName, FrenchReason(error));
        }
        if (n == 0) break;
        if (data.size() + n > maxSize) { // a file that grows while it is read
            ::close(fd);
            RaiseFileError(openFailed, fileName, QStringLiteral("le fichier est trop volumineux"));
        }
        data.append(buffer, n);
    }
    ::close(fd);
    return data;
}
