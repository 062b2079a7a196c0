// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qtconvert.h"

QColor ToQColor(TColor color, const QPalette &palette) {
    if (color & 0x80000000u) {
        switch (color) {
        case clBtnFace:
            return palette.color(QPalette::Button);
        case clWindowText:
        default:
            return palette.color(QPalette::WindowText);
        }
    }
    return QColor(int(color & 0xFF), int((color >> 8) & 0xFF), int((color >> 16) & 0xFF));
}

TColor FromQColor(const QColor &color) {
    return TColor(color.red()) | (TColor(color.green()) << 8) | (TColor(color.blue()) << 16);
}

QFont ToQFont(const TFont &font) {
    QFont f(font.Name);
    // Heights are pixels at 96 dpi; as points they keep their size on paper,
    // where a printer has many more pixels to the inch.
    if (font.Height < 0) {
        f.setPointSizeF(-font.Height * 72.0 / 96.0);
    } else if (font.Height > 0) {
        // A positive height counts the internal leading too; near enough.
        f.setPointSizeF(font.Height * 0.8 * 72.0 / 96.0);
    }
    f.setBold(font.Style & fsBold);
    f.setItalic(font.Style & fsItalic);
    f.setUnderline(font.Style & fsUnderline);
    f.setStrikeOut(font.Style & fsStrikeOut);
    return f;
}

TFont FromQFont(const QFont &qf, const QColor &color) {
    TFont font;
    font.Name = qf.family();
    font.Height = qf.pixelSize() > 0 ? -qf.pixelSize() : -int(qf.pointSizeF() * 96.0 / 72.0 + 0.5);
    font.Style = (qf.bold() ? TFontStyles(fsBold) : 0u) |
                 (qf.italic() ? TFontStyles(fsItalic) : 0u) |
                 (qf.underline() ? TFontStyles(fsUnderline) : 0u) |
                 (qf.strikeOut() ? TFontStyles(fsStrikeOut) : 0u);
    font.Color = color.isValid() ? FromQColor(color) : clWindowText;
    return font;
}
