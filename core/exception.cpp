// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/exception.h"

void RaiseFileError(const QString &what, const QString &fileName, const QString &reason) {
    QString message = QStringLiteral("%1 « %2 »").arg(what, fileName);
    if (!reason.isEmpty()) message += QStringLiteral(" : %1").arg(reason);
    if (!message.endsWith(QLatin1Char('.'))) message += QLatin1Char('.');
    throw Exception(message);
}

Exception OutOfMemoryException() {
    return Exception(QStringLiteral("Mémoire insuffisante : l'opération a été abandonnée. Le "
                                    "document est tel qu'il était avant elle."));
}

Exception UnexpectedException() {
    return Exception(QStringLiteral("Une erreur inattendue a interrompu l'opération."));
}
