// SPDX-License-Identifier: GPL-3.0-or-later
// The reader's fields, shapes and notes: what of them is the document's text.
#include "core/rtfreader_p.h"

#include "core/textcodec.h"

#include <QRegularExpression>

namespace rtf::reader {

bool Reader::fieldDestination(const Word &w) {
    Dest &dest = state_.dest;
    switch (w.act) {
    case Act::Footnote:
        // A footnote's text is not the body's, but its number is: it stands
        // where the note is anchored, numbered in order, and carries the note
        // as read (endCapture).
        if (dest == Dest::Text) {
            capture(KeptPlace::Note);
            dest = kept_.capturing ? Dest::Kept : Dest::Skip;
        } else {
            dest = Dest::Skip;
        }
        return true;
    case Act::Kept:
    case Act::KeptInline:
        if (dest == Dest::Text) capture(w.act == Act::Kept ? KeptPlace::Before : KeptPlace::Inline);
        dest = dest == Dest::Text && kept_.capturing ? Dest::Kept : Dest::Skip;
        return true;
    case Act::Show:
        if (w.value == 1 && dest == Dest::Text && fields_.open.size() < MaxFieldDepth) {
            fields_.open.push_back(OpenField{
                kept_.groupOpen, stack_.size(), text_.emitted, text_.para.runs.size(),
                text_.runText.size() + qsizetype(text_.bytes.size()), kept_.inline_.size()});
        }
        return dest == Dest::Text;
    case Act::FieldInst:
        if (dest != Dest::Text) return false;
        fields_.instruction.clear();
        fields_.instructionGroup.clear();
        fields_.symbolResult = false;
        dest = Dest::FieldInst;
        capture(KeptPlace::FieldInst);
        return true;
    case Act::FieldResult:
        // A symbol field's character is already there.
        if (std::exchange(fields_.symbolResult, false)) dest = Dest::Skip;
        if (dest == Dest::Text) fieldResult();
        return dest == Dest::Text || dest == Dest::Skip;
    case Act::Drawing:
        // Shapes nest in groups and in fields' results; what they hold
        // besides a text box is not text. (What Word writes after a shape
        // for readers without shapes, \shprslt, is skipped: the shape is read.)
        // A shape held as a picture reads on for its picture.
        if (dest == Dest::Holder) return true;
        if (dest != Dest::Text && dest != Dest::Drawing) return false;
        // An old drawing object without a text box (a line, a polygon) is
        // kept as read, where it stands.
        if (w.value == 1 && dest == Dest::Text &&
            shapeHolds(tokens_.input(), tokens_.offset(), pictures_.shapesRead) !=
                ShapeHolds::Text) {
            capture(KeptPlace::Inline);
            dest = kept_.capturing ? Dest::Kept : Dest::Skip;
            return true;
        }
        dest = Dest::Drawing;
        return true;
    case Act::BoxText:
        if (dest == Dest::Drawing) dest = Dest::Text;
        // The box's paragraphs stand where its shape does, in a cell too.
        state_.boxDepth = std::max(state_.boxDepth, state_.para.depth);
        return dest == Dest::Text;
    default:
        return false;
    }
}

// The field's result is text; its runs carry the field's instruction as read,
// and a link's address. Fields nested deeper than MaxFieldDepth show their
// result alone.
void Reader::fieldResult() {
    QByteArray group = std::exchange(fields_.instructionGroup, QByteArray());
    if (group.isEmpty() || size_t(state_.format.fields.size()) >= MaxFieldDepth) return;
    // A field right after the same field (two MERGEFIELD NAME in a row) is a
    // field of its own: a space at the end of its instruction, which means
    // nothing to it, keeps the two apart where runs of one format join.
    flushBytes();
    const CharFormat &last = !text_.runText.isEmpty()   ? text_.runFormat
                             : !text_.para.runs.empty() ? text_.para.runs.back().format
                                                        : CharFormat{};
    const qsizetype at = state_.format.fields.size();
    if (last.fields.size() > at && last.fields.first(at) == state_.format.fields &&
        last.fields[at] == group && group.endsWith('}')) {
        group.insert(group.size() - 1, ' ');
    }
    state_.format.fields.push_back(std::move(group));
    static const QRegularExpression link(
        QStringLiteral("^\\s*HYPERLINK\\s+(\"([^\"]*)\"|([^\\s\\\\]\\S*))?(.*)$"),
        QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch m = link.match(fields_.instruction);
    if (!m.hasMatch()) return;
    static const QRegularExpression place(QStringLiteral("\\\\l\\s*(\"([^\"]*)\"|(\\S+))"));
    const QRegularExpressionMatch l = place.match(m.captured(4));
    QString address = m.captured(2) + m.captured(3);
    if (l.hasMatch()) address += QLatin1Char('#') + l.captured(2) + l.captured(3);
    if (!address.isEmpty()) state_.format.link = address;
}

// A field whose result holds nothing (or that has none) is kept as read,
// before the text after it; one holding text keeps its instruction on it.
void Reader::fieldClosed() {
    const OpenField f = fields_.open.back();
    fields_.open.pop_back();
    fields_.instructionGroup.clear();
    if (state_.dest != Dest::Text || kept_.capturing || text_.emitted != f.emitted ||
        text_.para.runs.size() != f.runs ||
        text_.runText.size() + qsizetype(text_.bytes.size()) != f.text ||
        kept_.inline_.size() < f.kept)
        return;
    const std::string_view data = tokens_.input();
    const size_t to = std::min(tokens_.offset(), data.size());
    if (f.from >= to) return;
    // What it held that was kept (a bookmark) is in it.
    kept_.inline_.truncate(f.kept);
    kept_.inline_.append(sevenBit(data.substr(f.from, to - f.from)));
}

// SYMBOL n [\f "font"] [\u] [\a] [\h] [\s size]: the character n of the
// font (a symbol font's as word processors show it), or of Unicode with \u.
// It stands where the field is; the result the file holds is the same
// character in the font's own bytes, and is skipped.
void Reader::symbolField() {
    static const QRegularExpression symbol(
        QStringLiteral("^\\s*SYMBOL\\s+(0[xX][0-9A-Fa-f]+|\\d+)(.*)$"),
        QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch m = symbol.match(fields_.instruction);
    if (!m.hasMatch()) return;
    bool ok = false;
    const QString number = m.captured(1);
    const uint n = number.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)
                       ? number.mid(2).toUInt(&ok, 16)
                       : number.toUInt(&ok, 10);
    if (!ok || n == 0 || n > 0xFFFF) return;
    static const QRegularExpression fontSwitch(QStringLiteral("\\\\f\\s*(\"([^\"]*)\"|(\\S+))"));
    const QRegularExpressionMatch fm = fontSwitch.match(m.captured(2));
    const QString font = fm.hasMatch() ? fm.captured(2) + fm.captured(3) : QString();
    const bool unicode = m.captured(2).contains(QLatin1String("\\u"));
    char16_t c = char16_t(n);
    if (!unicode && n < 256) {
        if (!font.isEmpty() && isSymbolFontName(font)) {
            c = textcodec::symbolChar(textcodec::symbolCodePage(font),
                                      static_cast<unsigned char>(n));
        } else {
            const char byte = char(n);
            const QString decoded =
                textcodec::decode(currentCodePage(), std::string_view(&byte, 1));
            if (decoded.size() == 1) c = decoded[0].unicode();
        }
    }
    addChar(c);
    fields_.symbolResult = true;
}

} // namespace rtf::reader
