// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/clipdata.h"

#include <QMimeData>

namespace qtrich {

namespace {
class RtfMimeData : public QMimeData {
public:
    RtfMimeData(Snapshot snapshot, const QString &font)
        : snapshot_(std::move(snapshot)), font_(font) {}

    QStringList formats() const override {
        QStringList f = QMimeData::formats();
        f << rtfFormats();
        return f;
    }
    bool hasFormat(const QString &mime) const override {
        return rtfFormats().contains(mime) || QMimeData::hasFormat(mime);
    }

    static const QStringList &rtfFormats() {
        static const QStringList names{
            QStringLiteral("text/rtf"), QStringLiteral("application/rtf"),
            QStringLiteral("application/x-qt-windows-mime;value=\"Rich Text Format\"")};
        return names;
    }

protected:
    QVariant retrieveData(const QString &mime, QMetaType type) const override {
        if (rtfFormats().contains(mime)) {
            // Written only when some program asks for it.
            if (!written_) {
                rtf_ = rtf::write(snapshot_.document(), font_);
                written_ = true;
            }
            return rtf_;
        }
        return QMimeData::retrieveData(mime, type);
    }

private:
    Snapshot snapshot_;
    QString font_;
    mutable QByteArray rtf_;
    mutable bool written_ = false;
};
} // namespace

QMimeData *makeMimeData(Snapshot snapshot, const QString &plain, const QString &defaultFont) {
    auto *data = new RtfMimeData(std::move(snapshot), defaultFont);
    data->setText(plain);
    return data;
}

QByteArray rtfData(const QMimeData *source) {
    for (const QString &name : RtfMimeData::rtfFormats()) {
        if (source->hasFormat(name)) {
            const QByteArray data = source->data(name);
            if (!data.isEmpty()) return data;
        }
    }
    if (source->hasFormat(QStringLiteral("text/richtext")))
        return source->data(QStringLiteral("text/richtext"));
    return {};
}

} // namespace qtrich
