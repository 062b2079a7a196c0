// SPDX-License-Identifier: GPL-3.0-or-later
// The reader's text: bytes gathered and decoded in the current code page,
// runs of equally formatted text, paragraphs handed over as they end; and the
// words that set the document's code page and the characters' and
// paragraphs' formats.
#include "core/rtfreader_p.h"

#include "core/textcodec.h"

namespace rtf::reader {

// ---------------------------------------------------------------- words

bool Reader::documentWord(const Word &w, long long param) {
    switch (w.act) {
    case Act::Ansi:
    case Act::Mac:
    case Act::Pc:
    case Act::Pca:
    case Act::AnsiCpg:
    case Act::Deff:
        // The document's, in its text: a field's instruction or another
        // destination sets nothing of it.
        if (state_.dest != Dest::Text) return true;
        break;
    default:
        break;
    }
    switch (w.act) {
    case Act::Ansi:
        fonts_.docCodePage = 1252;
        return true;
    case Act::Mac:
        fonts_.docCodePage = 10000;
        return true;
    case Act::Pc:
        fonts_.docCodePage = 437;
        return true;
    case Act::Pca:
        fonts_.docCodePage = 850;
        return true;
    case Act::AnsiCpg: {
        const int cp = clampInt(param, 0, 65535);
        if (cp) fonts_.docCodePage = cp;
        return true;
    }
    case Act::Deff:
        fonts_.defaultFont = clampInt(param, 0, 1 << 20);
        return true;
    default:
        return false;
    }
}

bool Reader::characterWord(const Word &w, bool hasParam, long long param) {
    const bool on = !hasParam || param != 0;
    CharFormat &f = state_.format;
    switch (w.act) {
    case Act::Font:
        selectFont(clampInt(param, 0, 1 << 20));
        return true;
    case Act::Plain: {
        // The fields and note the text stands in are not formats.
        CharFormat plain;
        plain.fields = std::move(f.fields);
        plain.link = std::move(f.link);
        plain.note = std::move(f.note);
        f = std::move(plain);
        if (fonts_.defaultFont >= 0) {
            selectFont(fonts_.defaultFont);
        } else {
            state_.codePage = 0;
        }
        return true;
    }
    case Act::FontSize:
        f.halfPoints = hasParam && param > 0 ? clampInt(param, 2, 3276) : 24;
        return true;
    case Act::Bold:
        f.bold = on;
        return true;
    case Act::Italic:
        f.italic = on;
        return true;
    case Act::Underline:
    case Act::UnderlineNone:
        f.underline = on && w.act == Act::Underline;
        return true;
    case Act::Strike:
        f.strike = on;
        return true;
    case Act::Color:
        f.color = colorAt(hasParam ? param : 0);
        return true;
    case Act::Highlight:
        f.highlight = hasParam && param > 0 ? colorAt(param) : NoColor;
        return true;
    case Act::Super:
    case Act::Sub:
    case Act::NoSuperSub:
        f.valign = w.act == Act::Super ? VAlign::Super
                   : w.act == Act::Sub ? VAlign::Sub
                                       : VAlign::Normal;
        return true;
    case Act::Up:
    case Act::Down:
        f.valign = hasParam && param <= 0 ? VAlign::Normal
                   : w.act == Act::Up     ? VAlign::Super
                                          : VAlign::Sub;
        return true;
    case Act::Uc:
        state_.uc = clampInt(param, 0, 255);
        return true;
    case Act::Unicode:
        unicode(hasParam, param);
        return true;
    default:
        return false;
    }
}

void Reader::unicode(bool hasParam, long long param) {
    flushBytes();
    long long n = param;
    if (n < 0) n += 65536;
    if (!hasParam || n < 0 || n > 0xFFFF) n = 0xFFFD;
    // Word writes a symbol font's characters as U+F020..U+F0FF: they are
    // the font's bytes.
    if (n >= 0xF020 && n <= 0xF0FF && textcodec::isSymbolCodePage(currentCodePage()))
        n = textcodec::symbolChar(currentCodePage(), static_cast<unsigned char>(n - 0xF000));
    addText(QString(QChar(char16_t(n))));
    skipChars_ = state_.uc;
}

bool Reader::paragraphWord(const Word &w, long long param) {
    ParaFormat &p = state_.para.format;
    switch (w.act) {
    case Act::Pard:
        state_.para = ParaState{};
        return true;
    case Act::Align:
        p.align = rtf::Align(w.value);
        return true;
    case Act::LeftIndent:
        p.leftIndent = clampInt(param, -31680, 31680);
        return true;
    case Act::RightIndent:
        p.rightIndent = clampInt(param, -31680, 31680);
        return true;
    case Act::FirstIndent:
        p.firstIndent = clampInt(param, -31680, 31680);
        return true;
    case Act::SpaceBefore:
        p.spaceBefore = clampInt(param, 0, 31680);
        return true;
    case Act::SpaceAfter:
        p.spaceAfter = clampInt(param, 0, 31680);
        return true;
    case Act::Par:
        endParagraph();
        return true;
    case Act::Break:
        // A page or section break ends the paragraph it falls in; at the start
        // of a paragraph (after its list marker's text too) it makes none of
        // its own.
        if (!text_.runText.isEmpty() ||
            text_.para.runs.size() >
                (lists_.markerTo > lists_.markerFrom && lists_.markerTo <= text_.para.runs.size()
                     ? lists_.markerTo - lists_.markerFrom
                     : 0))
            endParagraph();
        // The break is kept before the next paragraph (rtfkept.cpp).
        kept_.before += w.value ? "\\sect" : "\\page";
        return true;
    case Act::Ls:
        state_.para.ls = clampInt(param, 0, 1 << 20);
        return true;
    case Act::Ilvl:
        state_.para.ilvl = clampInt(param, 0, 8);
        return true;
    default:
        return false;
    }
}

// ---------------------------------------------------------------- text

void Reader::addBytes(const char *b, size_t n) {
    if (n == 0) return;
    const int cp = currentCodePage();
    if (!text_.bytes.empty() && cp != text_.bytesCodePage) flushBytes();
    text_.bytesCodePage = cp;
    text_.bytes.append(b, n);
}

void Reader::flushBytes() {
    if (text_.bytes.empty()) return;
    // The bytes change places with an empty buffer (both keep their room):
    // adding the text may flush again, and finds nothing.
    std::swap(text_.bytes, text_.flushing);
    if (state_.dest == Dest::FontTable) {
        fonts_.name += text_.flushing;
    } else {
        addText(textcodec::decode(text_.bytesCodePage, text_.flushing));
    }
    text_.flushing.clear();
}

void Reader::addText(const QString &s) {
    if (s.isEmpty()) return;
    switch (state_.dest) {
    case Dest::FontTable:
        fonts_.name += s.toStdString();
        return;
    case Dest::FieldInst:
        if (fields_.instruction.size() < 1000) fields_.instruction += s;
        return;
    case Dest::PnTextBefore:
        lists_.pn.before += s;
        return;
    case Dest::PnTextAfter:
        lists_.pn.after += s;
        return;
    case Dest::Text:
    case Dest::ListText:
        break;
    default:
        return;
    }
    if (!kept_.inline_.isEmpty() && state_.dest == Dest::Text) {
        // Groups kept at this place go with the text after them.
        endRun();
        text_.runFormat = state_.format;
        text_.runFormat.kept = std::exchange(kept_.inline_, QByteArray());
    } else if (text_.runText.isEmpty()) {
        text_.runFormat = state_.format;
    } else if (!(text_.runFormat == state_.format)) {
        endRun();
        text_.runFormat = state_.format;
    }
    text_.runText += s;
    text_.lastText = state_.para; // a last paragraph without \par keeps these
    text_.lastWasPar = false;
}

void Reader::addChar(char16_t c) {
    flushBytes();
    addText(QString(QChar(c)));
}

void Reader::endRun() {
    flushBytes();
    if (text_.runText.isEmpty()) return;
    text_.para.runs.push_back(Run{text_.runFormat, std::move(text_.runText)});
    text_.runText.clear();
}

void Reader::endParagraph() {
    flushBytes();
    if (state_.dest != Dest::Text) return;
    endRun();
    emitParagraph(state_.para, true);
    text_.para = Paragraph{};
    text_.lastWasPar = true;
}

void Reader::finishDocument() {
    endRun();
    // The paragraph after the last \par exists only if it holds something: a
    // file ending in \par (as word processors write) has no empty line after.
    if (!text_.para.runs.empty() || !text_.lastWasPar || text_.emitted == 0)
        emitParagraph(text_.lastText, !text_.para.runs.empty());
    closeRows(0); // a row the file left open ends with it
    // What the file keeps after its last paragraph (a section break) ends it.
    if (!text_.waiting) return;
    // A file of one empty paragraph ended by \par keeps the \par: to
    // LibreOffice a file without a paragraph has no page of its own, and
    // takes its own default page rather than the file's.
    Paragraph &last = *text_.waiting;
    if (text_.emitted == 1 && text_.lastWasPar && last.depth <= 0 &&
        std::all_of(last.runs.begin(), last.runs.end(),
                    [](const Run &r) { return r.text.isEmpty(); }))
        last.format.after += "\\par";
    last.format.after += kept_.before + kept_.inline_;
    kept_.before.clear();
    kept_.inline_.clear();
    send(*std::exchange(text_.waiting, std::nullopt));
}

void Reader::emitParagraph(const ParaState &props, bool inList, bool endsCell) {
    Paragraph p = std::move(text_.para);
    p.format = props.format;
    // What was kept before the paragraph and after its text (rtfkept.cpp).
    p.format.before = std::exchange(kept_.before, QByteArray());
    p.format.after = std::exchange(kept_.inline_, QByteArray());
    if (!p.format.extra.isEmpty()) p.format.box = paraBox(p.format.extra, fonts_.colors);
    if (text_.emitted == 0 && !kept_.tables.isEmpty()) {
        if (fonts_.defaultFont >= 0)
            p.format.tables = "\\deff" + QByteArray::number(fonts_.defaultFont);
        p.format.tables += kept_.tables;
    }
    p.depth = props.depth;
    p.endsCell = endsCell;
    p.list = inList ? listItem(props) : ListItem{};
    // A list item's marker comes from its list; the text written for readers
    // without lists would show it twice.
    if (p.list.id && lists_.markerTo > lists_.markerFrom && lists_.markerTo <= p.runs.size())
        p.runs.erase(p.runs.begin() + std::ptrdiff_t(lists_.markerFrom),
                     p.runs.begin() + std::ptrdiff_t(lists_.markerTo));
    lists_.markerFrom = lists_.markerTo = 0;
    // Lone surrogate halves and non-characters (\u-1, \u65535) become U+FFFD;
    // an object's U+FFFC has no place in a document.
    clean(p);
    ++text_.emitted;
    tableParagraph(std::move(p));
}

void Reader::deliver(Paragraph &&p) {
    if (text_.waiting) send(std::move(*text_.waiting));
    text_.waiting = std::move(p);
}

void Reader::send(Paragraph &&p) {
    if (sink_) {
        sink_(std::move(p));
    } else {
        text_.doc.paragraphs.push_back(std::move(p));
    }
}

} // namespace rtf::reader
