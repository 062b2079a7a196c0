// SPDX-License-Identifier: GPL-3.0-or-later
// Pictures in the toolkit's documents: one U+FFFC with an image format whose
// image is a resource of the document, decoded at the size shown (a frame
// with a small mark for what the toolkit cannot draw), the picture as read
// kept in a property of the format; the handler that draws them for the
// editor's layout; pictures made from images on the clipboard.
#pragma once

#include "core/rtf.h"
#include "core/rtfpicture.h"

#include <QTextCursor>
#include <QTextFormat>
#include <memory>

class QAbstractTextDocumentLayout;
class QMimeData;

namespace qtrich {

// The picture as read, a std::shared_ptr<const rtf::Picture>.
constexpr int PictureProperty = QTextFormat::UserProperty + 0x200;

// Inserts the picture at the cursor, in the character format `text` (the
// run's): its image made a resource of the document.
void insertPicture(QTextCursor &cursor, const QTextCharFormat &text,
                   const std::shared_ptr<const rtf::Picture> &picture);
// The picture a format holds; null for any other format.
std::shared_ptr<const rtf::Picture> pictureOf(const QTextFormat &format);
// Has the layout draw pictures (the toolkit's layout draws them itself).
void drawPictures(QAbstractTextDocumentLayout *layout);

// A picture from an image on the clipboard (PNG or JPEG as they are, any
// other image as PNG); null when it holds none.
std::shared_ptr<const rtf::Picture> clipboardPicture(const QMimeData *source);
bool hasClipboardPicture(const QMimeData *source);

} // namespace qtrich
