// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sysutils.h"

void RaiseFileError(const QString &what, const QString &fileName, const QString &reason) {
    QString message = QStringLiteral("%1 « %2 »").arg(what, fileName);
    if (!reason.isEmpty()) message += QStringLiteral(" : %1").arg(reason);
    if (!message.endsWith(QLatin1Char('.'))) message += QLatin1Char('.');
    throw Exception(message);
}
