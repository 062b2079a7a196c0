// SPDX-License-Identifier: GPL-3.0-or-later
// A picture in a document: what RTF's \pict says of it (its kind, its bytes
// as read, its sizes, scale and crop), and the RTF around it that the editor
// does not build itself (an object with its data, a picture written twice for
// older readers), kept as read so that writing gives it back.
#pragma once

#include <QByteArray>
#include <cstdint>
#include <string>

namespace rtf {

enum class PictureKind : std::uint8_t {
    None,   // none this program knows: an object whose result holds no picture,
            // a \pmmetafile...
    Png,    // \pngblip
    Jpeg,   // \jpegblip
    Dib,    // \dibitmapN: a device-independent bitmap without its file header
    Bitmap, // \wbitmapN: a device-dependent bitmap
    Wmf,    // \wmetafileN
    Emf,    // \emfblip
    MacPict // \macpict
};

struct Picture {
    PictureKind kind = PictureKind::None;
    QByteArray data;   // the picture's bytes, as read (hex decoded, or \bin)
    int kindParam = 0; // \wmetafileN's mapping mode, \dibitmapN, \wbitmapN
    int width = 0;     // \picw, \pich: pixels, or 0.01 mm for metafiles
    int height = 0;
    int goalWidth = 0; // \picwgoal, \pichgoal: twips
    int goalHeight = 0;
    int scaleX = 100; // \picscalex, \picscaley: percent
    int scaleY = 100;
    int cropLeft = 0, cropRight = 0, cropTop = 0, cropBottom = 0; // twips
    int bitsPerPixel = 0, planes = 0, widthBytes = 0;             // \wbitmap's
    // A shape's box (\shpleft to \shpright, \shptop to \shpbottom) in
    // twips, the size the shape shows its picture at; 0: no shape's.
    int shapeWidth = 0, shapeHeight = 0;
    // The RTF as read: `prefix` and `suffix` stand around the picture's data
    // in its own group (from its '{' to the data, and from the data to its
    // '}'); `before` and `after` around that group (an object's or a shape's
    // words and data, the same picture written again for older readers).
    // Empty `prefix`: the group is written from the fields.
    QByteArray before, prefix, suffix, after;

    // The size shown, in twips: the shape's box, else the goal size (or the
    // picture's own), scaled, less the crops; kept within a page's size, and
    // a small frame's when it has none.
    int shownWidth() const;
    int shownHeight() const;
    // Qt-readable bytes: a PNG, a JPEG, a BMP file (a DIB with its file
    // header put back); empty for the kinds it cannot draw.
    QByteArray drawable() const;
};

// The picture as RTF: what was read around it, and its \pict group.
void appendPicture(std::string &out, const Picture &p);

// The size of a page this program can show, and a frame's for a picture
// without one, in twips.
constexpr int MaxPictureTwips = 22 * 1440;
constexpr int DefaultPictureTwips = 1440;

} // namespace rtf
