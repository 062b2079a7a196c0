// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/pictures.h"

#include "platform/textformats.h"

#include <QAbstractTextDocumentLayout>
#include <QAtomicInt>
#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QMimeData>
#include <QPaintDevice>
#include <QPainter>
#include <QTextDocument>
#include <QUrl>
#include <cmath>

Q_DECLARE_METATYPE(std::shared_ptr<const rtf::Picture>)

namespace qtrich {

namespace {

QAtomicInt pictureNames;

QSize pixelsOf(const rtf::Picture &p) {
    return QSize(std::max(1, int(std::lround(p.shownWidth() / TwipsPerPixel))),
                 std::max(1, int(std::lround(p.shownHeight() / TwipsPerPixel))));
}

// The picture at `size` pixels: its bytes decoded at that size (never at
// their own when it is larger), or a null image when they do not decode.
QImage decoded(const rtf::Picture &p, QSize size) {
    QByteArray bytes = p.drawable();
    if (bytes.isEmpty()) return {};
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QSize own = reader.size();
    if (!own.isValid() || own.isEmpty()) return {};
    // Cropped pictures show part of the image: the part is taken from the
    // image decoded at the scale that gives it the size shown.
    const double goalW = p.goalWidth > 0 ? p.goalWidth : own.width() * TwipsPerPixel;
    const double goalH = p.goalHeight > 0 ? p.goalHeight : own.height() * TwipsPerPixel;
    const double keptW = goalW - p.cropLeft - p.cropRight, keptH = goalH - p.cropTop - p.cropBottom;
    if (keptW <= 0 || keptH <= 0) return {};
    const QSize whole(std::max(1, int(std::lround(size.width() * goalW / keptW))),
                      std::max(1, int(std::lround(size.height() * goalH / keptH))));
    if (whole.width() > 4 * size.width() + 16 || whole.height() > 4 * size.height() + 16)
        return {}; // a crop past the picture's middle
    if (whole.width() < own.width() || whole.height() < own.height()) reader.setScaledSize(whole);
    QImage image = reader.read();
    if (image.isNull()) return {};
    if (p.cropLeft || p.cropRight || p.cropTop || p.cropBottom) {
        const int x = int(std::lround(image.width() * p.cropLeft / goalW));
        const int y = int(std::lround(image.height() * p.cropTop / goalH));
        image = image.copy(x, y, int(std::lround(image.width() * keptW / goalW)),
                           int(std::lround(image.height() * keptH / goalH)));
    }
    return image;
}

// What stands for a picture the toolkit cannot draw: a light frame of its
// size with a small mark (a hill under a sun) in its corner.
QImage placeholder(QSize size) {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setPen(QPen(QColor(0xB0, 0xB0, 0xB0), 1));
    p.drawRect(QRectF(0.5, 0.5, size.width() - 1.0, size.height() - 1.0));
    if (size.width() >= 20 && size.height() >= 16) {
        p.setRenderHint(QPainter::Antialiasing);
        p.setBrush(QColor(0xC8, 0xC8, 0xC8));
        p.setPen(Qt::NoPen);
        p.drawEllipse(QPointF(13, 7), 2.5, 2.5);
        const QPointF hill[] = {{4, 14}, {9, 8}, {14, 14}};
        p.drawPolygon(hill, 3);
    }
    return image;
}

class PictureHandler : public QObject, public QTextObjectInterface {
    Q_OBJECT
    Q_INTERFACES(QTextObjectInterface)
public:
    using QObject::QObject;
    QSizeF intrinsicSize(QTextDocument *doc, int, const QTextFormat &format) override {
        const QTextImageFormat f = format.toImageFormat();
        QSizeF size(f.width(), f.height());
        // A layout for a printer lays out in its dots.
        if (const QPaintDevice *device = doc->documentLayout()->paintDevice())
            size = QSizeF(size.width() * device->logicalDpiX() / 96.0,
                          size.height() * device->logicalDpiY() / 96.0);
        return size;
    }
    void drawObject(QPainter *painter, const QRectF &rect, QTextDocument *doc, int,
                    const QTextFormat &format) override {
        const QImage image =
            doc->resource(QTextDocument::ImageResource, QUrl(format.toImageFormat().name()))
                .value<QImage>();
        if (!image.isNull()) {
            painter->drawImage(rect, image);
        } else {
            painter->drawImage(rect.topLeft(), placeholder(rect.size().toSize()));
        }
    }
};

} // namespace

void insertPicture(QTextCursor &cursor, const QTextCharFormat &text,
                   const std::shared_ptr<const rtf::Picture> &picture) {
    const QSize size = pixelsOf(*picture);
    // Decoded at the size shown on a screen of the application's scale.
    const double ratio = qApp ? std::max(1.0, qApp->devicePixelRatio()) : 1.0;
    QImage image = decoded(*picture, (QSizeF(size) * ratio).toSize());
    if (image.isNull()) image = placeholder(size);
    const QString name =
        QStringLiteral("pavelin-picture:%1").arg(pictureNames.fetchAndAddRelaxed(1));
    cursor.document()->addResource(QTextDocument::ImageResource, QUrl(name), image);
    QTextImageFormat f;
    f.merge(text);
    f.setObjectType(QTextFormat::ImageObject);
    f.setName(name);
    f.setWidth(size.width());
    f.setHeight(size.height());
    f.setProperty(PictureProperty, QVariant::fromValue(picture));
    cursor.insertImage(f);
}

std::shared_ptr<const rtf::Picture> pictureOf(const QTextFormat &format) {
    if (!format.isImageFormat() || !format.hasProperty(PictureProperty)) return nullptr;
    return format.property(PictureProperty).value<std::shared_ptr<const rtf::Picture>>();
}

void drawPictures(QAbstractTextDocumentLayout *layout) {
    layout->registerHandler(QTextFormat::ImageObject, new PictureHandler(layout));
}

bool hasClipboardPicture(const QMimeData *source) {
    return source && (source->hasFormat(QStringLiteral("image/png")) ||
                      source->hasFormat(QStringLiteral("image/jpeg")) || source->hasImage());
}

std::shared_ptr<const rtf::Picture> clipboardPicture(const QMimeData *source) {
    if (!hasClipboardPicture(source)) return nullptr;
    auto p = std::make_shared<rtf::Picture>();
    if (source->hasFormat(QStringLiteral("image/png"))) {
        p->kind = rtf::PictureKind::Png;
        p->data = source->data(QStringLiteral("image/png"));
    } else if (source->hasFormat(QStringLiteral("image/jpeg"))) {
        p->kind = rtf::PictureKind::Jpeg;
        p->data = source->data(QStringLiteral("image/jpeg"));
    } else {
        const QImage image = source->imageData().value<QImage>();
        if (image.isNull()) return nullptr;
        QBuffer buffer(&p->data);
        buffer.open(QIODevice::WriteOnly);
        if (!image.save(&buffer, "PNG")) return nullptr;
        p->kind = rtf::PictureKind::Png;
    }
    QBuffer buffer(&p->data);
    buffer.open(QIODevice::ReadOnly);
    const QSize own = QImageReader(&buffer).size();
    if (!own.isValid() || own.isEmpty()) return nullptr;
    p->width = own.width();
    p->height = own.height();
    p->goalWidth = int(own.width() * TwipsPerPixel);
    p->goalHeight = int(own.height() * TwipsPerPixel);
    return p;
}

} // namespace qtrich

#include "pictures.moc"
