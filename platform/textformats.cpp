// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/textformats.h"

#include <QBrush>
#include <QColor>
#include <QFont>
#include <algorithm>
#include <cctype>
#include <cmath>

namespace qtrich {

namespace {
std::int32_t rgbOf(const QBrush &brush) {
    if (brush.style() == Qt::NoBrush) return rtf::NoColor;
    return std::int32_t(brush.color().rgb() & 0xFFFFFF);
}

// The character words kept as read that the toolkit can show: small and all
// capitals, character spacing, the kinds of underline it draws.
void showExtra(QTextCharFormat &f, const QByteArray &extra) {
    for (const QByteArray &w : extra.split('\\')) {
        qsizetype n = 0;
        while (n < w.size() && std::isalpha(static_cast<unsigned char>(w[n])))
            ++n;
        const QByteArray name = w.left(n);
        const int value = w.mid(n).toInt();
        if (name == "scaps") {
            f.setFontCapitalization(QFont::SmallCaps);
        } else if (name == "caps") {
            f.setFontCapitalization(QFont::AllUppercase);
        } else if (name == "expndtw" || name == "expnd") {
            // \expnd is in quarter points, \expndtw in twips.
            f.setFontLetterSpacingType(QFont::AbsoluteSpacing);
            f.setFontLetterSpacing((name == "expnd" ? value * 5 : value) / TwipsPerPixel);
        } else if (name.startsWith("ul")) {
            static const std::pair<const char *, QTextCharFormat::UnderlineStyle> kinds[] = {
                {"uld", QTextCharFormat::DotLine},
                {"ulthd", QTextCharFormat::DotLine},
                {"uldash", QTextCharFormat::DashUnderline},
                {"ulthdash", QTextCharFormat::DashUnderline},
                {"ulldash", QTextCharFormat::DashUnderline},
                {"ulthldash", QTextCharFormat::DashUnderline},
                {"uldashd", QTextCharFormat::DashDotLine},
                {"ulthdashd", QTextCharFormat::DashDotLine},
                {"uldashdd", QTextCharFormat::DashDotDotLine},
                {"ulthdashdd", QTextCharFormat::DashDotDotLine},
                {"ulwave", QTextCharFormat::WaveUnderline},
                {"ulhwave", QTextCharFormat::WaveUnderline},
                {"ululdbwave", QTextCharFormat::WaveUnderline},
            };
            for (const auto &[kind, style] : kinds)
                if (name == kind) f.setUnderlineStyle(style);
        } else if (name == "v") {
            f.setProperty(HiddenProperty, true);
        }
    }
    if (f.boolProperty(HiddenProperty)) {
        // Hidden text stays in the text (it is saved, found, copied) but
        // takes no room: its letters shaped a sixty-fourth of a percent
        // wide (the least the toolkit's fixed-point spacing holds; 0 would
        // mean "unchanged"), so that positions and the caret stay sound.
        // Its colour goes to a property and the letters are drawn in none.
        f.setFontLetterSpacingType(QFont::PercentageSpacing);
        f.setFontLetterSpacing(1.0 / 64);
    }
}

// Everything of a run's format but its colour, which comes last (see FormatCache).
QTextCharFormat uncolouredFormatOf(const rtf::CharFormat &c) {
    QTextCharFormat f;
    if (!c.font.isEmpty()) f.setFontFamilies(QStringList{c.font});
    f.setFontPointSize(c.halfPoints / 2.0);
    f.setFontWeight(c.bold ? QFont::Bold : QFont::Normal);
    f.setFontItalic(c.italic);
    f.setFontUnderline(c.underline);
    f.setFontStrikeOut(c.strike);
    if (c.highlight != rtf::NoColor) f.setBackground(QColor(QRgb(c.highlight)));
    if (c.valign == rtf::VAlign::Super) f.setVerticalAlignment(QTextCharFormat::AlignSuperScript);
    if (c.valign == rtf::VAlign::Sub) f.setVerticalAlignment(QTextCharFormat::AlignSubScript);
    if (!c.extra.isEmpty()) {
        f.setProperty(CharExtraProperty, c.extra);
        showExtra(f, c.extra);
    }
    if (!c.fields.isEmpty()) f.setProperty(FieldsProperty, QVariant::fromValue(c.fields));
    if (!c.link.isEmpty()) {
        f.setAnchor(true);
        f.setAnchorHref(c.link);
    }
    if (!c.note.isEmpty()) f.setProperty(NoteProperty, c.note);
    if (!c.kept.isEmpty()) f.setProperty(KeptBeforeProperty, c.kept);
    return f;
}
} // namespace

rtf::ParaBox paraBoxOf(const QTextBlockFormat &f) {
    const QList<int> v = f.property(ParaBoxProperty).value<QList<int>>();
    rtf::ParaBox box;
    if (v.size() != 14) return box;
    rtf::Border *sides[] = {&box.top, &box.left, &box.bottom, &box.right};
    for (int k = 0; k < 4; ++k) {
        sides[k]->style = rtf::BorderStyle(std::clamp(v[3 * k], 0, int(rtf::BorderStyle::Other)));
        sides[k]->width = v[3 * k + 1];
        sides[k]->color = v[3 * k + 2];
    }
    box.space = v[12];
    box.shading = v[13];
    return box;
}

rtf::ParaFormat paraOf(const QTextBlockFormat &f) {
    rtf::ParaFormat p;
    const Qt::Alignment a = f.alignment() & Qt::AlignHorizontal_Mask;
    if (a & Qt::AlignHCenter)
        p.align = rtf::Align::Center;
    else if (a & Qt::AlignRight)
        p.align = rtf::Align::Right;
    else if (a & Qt::AlignJustify)
        p.align = rtf::Align::Justify;
    p.leftIndent = int(std::lround(f.leftMargin() * TwipsPerPixel));
    p.rightIndent = int(std::lround(f.rightMargin() * TwipsPerPixel));
    p.firstIndent = int(std::lround(f.textIndent() * TwipsPerPixel));
    p.spaceBefore = int(std::lround(f.topMargin() * TwipsPerPixel));
    p.spaceAfter = int(std::lround(f.bottomMargin() * TwipsPerPixel));
    p.lineSpacing = f.intProperty(LineSpacingProperty);
    p.lineMultiple = f.boolProperty(LineMultipleProperty);
    p.extra = f.property(ParaExtraProperty).toByteArray();
    p.box = paraBoxOf(f);
    p.before = f.property(ParaBeforeProperty).toByteArray();
    p.after = f.property(ParaAfterProperty).toByteArray();
    p.tables = f.property(ParaTablesProperty).toByteArray();
    return p;
}

QTextBlockFormat blockFormatOf(const rtf::ParaFormat &p) {
    QTextBlockFormat f;
    switch (p.align) {
    case rtf::Align::Center:
        f.setAlignment(Qt::AlignHCenter);
        break;
    case rtf::Align::Right:
        f.setAlignment(Qt::AlignRight);
        break;
    case rtf::Align::Justify:
        f.setAlignment(Qt::AlignJustify);
        break;
    default:
        f.setAlignment(Qt::AlignLeft);
        break;
    }
    if (p.leftIndent) f.setLeftMargin(p.leftIndent / TwipsPerPixel);
    if (p.rightIndent) f.setRightMargin(p.rightIndent / TwipsPerPixel);
    if (p.firstIndent) f.setTextIndent(p.firstIndent / TwipsPerPixel);
    if (p.spaceBefore) f.setTopMargin(p.spaceBefore / TwipsPerPixel);
    if (p.spaceAfter) f.setBottomMargin(p.spaceAfter / TwipsPerPixel);
    if (p.lineSpacing) {
        f.setProperty(LineSpacingProperty, p.lineSpacing);
        f.setProperty(LineMultipleProperty, p.lineMultiple);
        if (p.lineMultiple) {
            f.setLineHeight(std::abs(p.lineSpacing) * 100.0 / 240,
                            QTextBlockFormat::ProportionalHeight);
        } else {
            f.setLineHeight(std::abs(p.lineSpacing) / TwipsPerPixel,
                            p.lineSpacing > 0 ? QTextBlockFormat::MinimumHeight
                                              : QTextBlockFormat::FixedHeight);
        }
    }
    if (!p.extra.isEmpty()) f.setProperty(ParaExtraProperty, p.extra);
    if (!p.box.isEmpty()) {
        QList<int> v;
        for (const rtf::Border *b : {&p.box.top, &p.box.left, &p.box.bottom, &p.box.right})
            v << int(b->style) << b->width << b->color;
        v << p.box.space << p.box.shading;
        f.setProperty(ParaBoxProperty, QVariant::fromValue(v));
    }
    if (!p.before.isEmpty()) f.setProperty(ParaBeforeProperty, p.before);
    if (!p.after.isEmpty()) f.setProperty(ParaAfterProperty, p.after);
    if (!p.tables.isEmpty()) f.setProperty(ParaTablesProperty, p.tables);
    return f;
}

size_t CharFormatHash::operator()(const rtf::CharFormat &c) const {
    size_t h = qHash(c.font);
    const auto mix = [&h](size_t v) { h ^= v + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2); };
    mix(size_t(c.halfPoints));
    mix(size_t(c.bold) | size_t(c.italic) << 1 | size_t(c.underline) << 2 | size_t(c.strike) << 3 |
        size_t(c.valign) << 4 | size_t(c.family) << 8);
    mix(size_t(std::uint32_t(c.color)));
    mix(size_t(std::uint32_t(c.highlight)));
    return h;
}

const QTextCharFormat &FormatCache::get(const rtf::CharFormat &c) {
    auto it = full_.find(c);
    if (it != full_.end()) return it->second;
    if (full_.size() >= Limit) full_.clear();
    rtf::CharFormat key = c;
    key.color = rtf::NoColor;
    auto base = uncoloured_.find(key);
    if (base == uncoloured_.end()) {
        if (uncoloured_.size() >= Limit) uncoloured_.clear();
        base = uncoloured_.emplace(key, uncolouredFormatOf(key)).first;
    }
    QTextCharFormat f = base->second;
    if (f.boolProperty(HiddenProperty)) {
        f.setProperty(HiddenColorProperty, c.color);
        f.setForeground(QColor(Qt::transparent));
    } else if (c.color != rtf::NoColor) {
        f.setForeground(QColor(QRgb(c.color)));
    }
    return full_.emplace(c, std::move(f)).first->second;
}

rtf::CharFormat resolve(const QTextCharFormat &f, const TFont &d) {
    rtf::CharFormat c;
    const QStringList families = f.fontFamilies().toStringList();
    c.font = families.isEmpty() ? d.Name : families.first();
    c.halfPoints = f.hasProperty(QTextFormat::FontPointSize)
                       ? std::max(2, int(std::lround(f.fontPointSize() * 2)))
                       : d.Size() * 2;
    c.bold = f.hasProperty(QTextFormat::FontWeight) ? f.fontWeight() >= QFont::DemiBold
                                                    : bool(d.Style & fsBold);
    c.italic = f.hasProperty(QTextFormat::FontItalic) ? f.fontItalic() : bool(d.Style & fsItalic);
    // (A dotted or wavy underline is one too; its kind is kept in extra.)
    c.underline = f.hasProperty(QTextFormat::TextUnderlineStyle)
                      ? f.underlineStyle() != QTextCharFormat::NoUnderline
                  : f.hasProperty(QTextFormat::FontUnderline) ? f.fontUnderline()
                                                              : bool(d.Style & fsUnderline);
    c.strike =
        f.hasProperty(QTextFormat::FontStrikeOut) ? f.fontStrikeOut() : bool(d.Style & fsStrikeOut);
    c.color = f.hasProperty(HiddenColorProperty) ? f.intProperty(HiddenColorProperty)
                                                 : rgbOf(f.foreground());
    if (c.color == rtf::NoColor && !(d.Color & 0x80000000u)) {
        c.color =
            std::int32_t(((d.Color & 0xFF) << 16) | (d.Color & 0xFF00) | ((d.Color >> 16) & 0xFF));
    }
    c.highlight = rgbOf(f.background());
    c.extra = f.property(CharExtraProperty).toByteArray();
    c.fields = f.property(FieldsProperty).value<QByteArrayList>();
    if (f.isAnchor()) c.link = f.anchorHref();
    c.note = f.property(NoteProperty).toByteArray();
    c.kept = f.property(KeptBeforeProperty).toByteArray();
    switch (f.verticalAlignment()) {
    case QTextCharFormat::AlignSuperScript:
        c.valign = rtf::VAlign::Super;
        break;
    case QTextCharFormat::AlignSubScript:
        c.valign = rtf::VAlign::Sub;
        break;
    default:
        break;
    }
    return c;
}

} // namespace qtrich
