// SPDX-License-Identifier: GPL-3.0-or-later
// What the reader keeps as the RTF it was read as, for the writer to write
// again at its place: the document's groups (style sheet, information, headers
// and footers), page setup and section words, bookmarks, comments and notes,
// fields' instructions, and the paragraph and character words the editor does
// not model. Kept groups are the file's bytes from '{' to '}': they refer to
// fonts and colours by the file's numbers, which the writer keeps (readTables).
#include "core/rtfreader_p.h"
#include "core/rtftokens.h"
#include "core/wordtable.h"

#include <algorithm>
#include <cmath>

namespace rtf::reader {

namespace {

enum class KeptKind : std::uint8_t { Document, Paragraph, Border, Character, Toggle, Inline };

struct KeptRow {
    std::string_view name;
    KeptKind kind;
};

// clang-format off
const KeptRow KeptRows[] = {
    // page setup and the document's formatting
    {"paperw", KeptKind::Document}, {"paperh", KeptKind::Document},
    {"margl", KeptKind::Document}, {"margr", KeptKind::Document},
    {"margt", KeptKind::Document}, {"margb", KeptKind::Document},
    {"gutter", KeptKind::Document}, {"gutterprl", KeptKind::Document},
    {"rtlgutter", KeptKind::Document}, {"landscape", KeptKind::Document},
    {"facingp", KeptKind::Document}, {"margmirror", KeptKind::Document},
    {"deftab", KeptKind::Document}, {"widowctrl", KeptKind::Document},
    {"ftnbj", KeptKind::Document}, {"ftntj", KeptKind::Document},
    {"ftnstart", KeptKind::Document}, {"ftnrstpg", KeptKind::Document},
    {"ftnrestart", KeptKind::Document}, {"ftnrstcont", KeptKind::Document},
    {"ftnnar", KeptKind::Document}, {"ftnnalc", KeptKind::Document},
    {"ftnnauc", KeptKind::Document}, {"ftnnrlc", KeptKind::Document},
    {"ftnnruc", KeptKind::Document}, {"aenddoc", KeptKind::Document},
    {"aendnotes", KeptKind::Document}, {"aftnbj", KeptKind::Document},
    {"aftntj", KeptKind::Document}, {"aftnstart", KeptKind::Document},
    {"aftnnar", KeptKind::Document}, {"aftnnrlc", KeptKind::Document},
    {"endnotes", KeptKind::Document}, {"enddoc", KeptKind::Document},
    {"fet", KeptKind::Document}, {"pgnstart", KeptKind::Document},
    {"linestart", KeptKind::Document}, {"hyphauto", KeptKind::Document},
    {"hyphhotz", KeptKind::Document}, {"hyphconsec", KeptKind::Document},
    {"hyphcaps", KeptKind::Document}, {"formshade", KeptKind::Document},
    // sections
    {"sectd", KeptKind::Document}, {"sbknone", KeptKind::Document},
    {"sbkcol", KeptKind::Document}, {"sbkpage", KeptKind::Document},
    {"sbkeven", KeptKind::Document}, {"sbkodd", KeptKind::Document},
    {"pgwsxn", KeptKind::Document}, {"pghsxn", KeptKind::Document},
    {"marglsxn", KeptKind::Document}, {"margrsxn", KeptKind::Document},
    {"margtsxn", KeptKind::Document}, {"margbsxn", KeptKind::Document},
    {"guttersxn", KeptKind::Document}, {"lndscpsxn", KeptKind::Document},
    {"titlepg", KeptKind::Document}, {"headery", KeptKind::Document},
    {"footery", KeptKind::Document}, {"pgnstarts", KeptKind::Document},
    {"pgncont", KeptKind::Document}, {"pgnrestart", KeptKind::Document},
    {"pgndec", KeptKind::Document}, {"pgnucrm", KeptKind::Document},
    {"pgnlcrm", KeptKind::Document}, {"pgnucltr", KeptKind::Document},
    {"pgnlcltr", KeptKind::Document}, {"cols", KeptKind::Document},
    {"colsx", KeptKind::Document}, {"colno", KeptKind::Document},
    {"colw", KeptKind::Document}, {"colsr", KeptKind::Document},
    {"linebetcol", KeptKind::Document}, {"linemod", KeptKind::Document},
    {"linex", KeptKind::Document}, {"linestarts", KeptKind::Document},
    {"linerestart", KeptKind::Document}, {"lineppage", KeptKind::Document},
    {"linecont", KeptKind::Document}, {"vertalt", KeptKind::Document},
    {"vertalc", KeptKind::Document}, {"vertalj", KeptKind::Document},
    {"vertalb", KeptKind::Document}, {"endnhere", KeptKind::Document},
    {"sectunlocked", KeptKind::Document}, {"sectdefaultcl", KeptKind::Document},
    // paragraphs
    {"s", KeptKind::Paragraph}, {"keepn", KeptKind::Paragraph},
    {"keep", KeptKind::Paragraph}, {"widctlpar", KeptKind::Paragraph},
    {"nowidctlpar", KeptKind::Paragraph}, {"pagebb", KeptKind::Paragraph},
    {"hyphpar", KeptKind::Paragraph}, {"noline", KeptKind::Paragraph},
    {"outlinelevel", KeptKind::Paragraph}, {"contextualspace", KeptKind::Paragraph},
    {"sbauto", KeptKind::Paragraph}, {"saauto", KeptKind::Paragraph},
    {"tx", KeptKind::Paragraph}, {"tb", KeptKind::Paragraph},
    {"tqr", KeptKind::Paragraph}, {"tqc", KeptKind::Paragraph},
    {"tqdec", KeptKind::Paragraph}, {"tldot", KeptKind::Paragraph},
    {"tlhyph", KeptKind::Paragraph}, {"tlul", KeptKind::Paragraph},
    {"tlth", KeptKind::Paragraph}, {"tleq", KeptKind::Paragraph},
    {"tlmdot", KeptKind::Paragraph}, {"shading", KeptKind::Paragraph},
    {"cbpat", KeptKind::Paragraph}, {"cfpat", KeptKind::Paragraph},
    {"bghoriz", KeptKind::Paragraph}, {"bgvert", KeptKind::Paragraph},
    {"bgfdiag", KeptKind::Paragraph}, {"bgbdiag", KeptKind::Paragraph},
    {"bgcross", KeptKind::Paragraph}, {"bgdcross", KeptKind::Paragraph},
    // a positioned frame the paragraph (a table's too) stands in
    {"phmrg", KeptKind::Paragraph}, {"phpg", KeptKind::Paragraph},
    {"phcol", KeptKind::Paragraph}, {"pvmrg", KeptKind::Paragraph},
    {"pvpg", KeptKind::Paragraph}, {"pvpara", KeptKind::Paragraph},
    {"posx", KeptKind::Paragraph}, {"posnegx", KeptKind::Paragraph},
    {"posy", KeptKind::Paragraph}, {"posnegy", KeptKind::Paragraph},
    {"posxc", KeptKind::Paragraph}, {"posxi", KeptKind::Paragraph},
    {"posxo", KeptKind::Paragraph}, {"posxl", KeptKind::Paragraph},
    {"posxr", KeptKind::Paragraph}, {"posyt", KeptKind::Paragraph},
    {"posyil", KeptKind::Paragraph}, {"posyc", KeptKind::Paragraph},
    {"posyb", KeptKind::Paragraph}, {"posyin", KeptKind::Paragraph},
    {"posyout", KeptKind::Paragraph}, {"absw", KeptKind::Paragraph},
    {"absh", KeptKind::Paragraph}, {"dxfrtext", KeptKind::Paragraph},
    {"dfrmtxtx", KeptKind::Paragraph}, {"dfrmtxty", KeptKind::Paragraph},
    {"wraparound", KeptKind::Paragraph}, {"nowrap", KeptKind::Paragraph},
    {"wraptight", KeptKind::Paragraph}, {"absnoovrlp", KeptKind::Paragraph},
    {"abslock", KeptKind::Paragraph}, {"dropcapli", KeptKind::Paragraph},
    {"dropcapt", KeptKind::Paragraph},
    {"brdrt", KeptKind::Border}, {"brdrl", KeptKind::Border},
    {"brdrb", KeptKind::Border}, {"brdrr", KeptKind::Border},
    {"brdrbtw", KeptKind::Border}, {"brdrbar", KeptKind::Border},
    {"box", KeptKind::Border},
    // characters
    {"scaps", KeptKind::Toggle}, {"caps", KeptKind::Toggle},
    {"outl", KeptKind::Toggle}, {"shad", KeptKind::Toggle},
    {"v", KeptKind::Toggle}, {"embo", KeptKind::Toggle},
    {"impr", KeptKind::Toggle}, {"noproof", KeptKind::Toggle},
    {"expnd", KeptKind::Character}, {"expndtw", KeptKind::Character},
    {"lang", KeptKind::Character}, {"langfe", KeptKind::Character},
    {"langnp", KeptKind::Character}, {"langfenp", KeptKind::Character},
    {"cs", KeptKind::Character}, {"kerning", KeptKind::Character},
    {"charscalex", KeptKind::Character}, {"ulc", KeptKind::Character},
    // tracked changes: text deleted or inserted, by whom and when
    {"deleted", KeptKind::Toggle}, {"revised", KeptKind::Toggle},
    {"revauth", KeptKind::Character}, {"revauthdel", KeptKind::Character},
    {"revdttm", KeptKind::Character}, {"revdttmdel", KeptKind::Character},
    // at their place in the text
    {"chatn", KeptKind::Inline}, {"chpgn", KeptKind::Inline},
    {"chdate", KeptKind::Inline}, {"chdpl", KeptKind::Inline},
    {"chdpa", KeptKind::Inline}, {"chtime", KeptKind::Inline},
};
// clang-format on

const KeptRow *findKept(std::string_view name) {
    static const WordTable<const KeptRow *> table = [] {
        WordTable<const KeptRow *> t;
        for (const KeptRow &row : KeptRows)
            t.add(row.name, &row);
        return t;
    }();
    const KeptRow *const *row = table.find(name);
    return row ? *row : nullptr;
}

bool isLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

void appendWord(QByteArray &to, std::string_view name, bool hasParam, long long param) {
    to += '\\';
    to.append(name.data(), qsizetype(name.size()));
    if (hasParam) to += QByteArray::number(param);
}

// Takes the words for which `same` holds out of words kept.
template <typename Same> void removeWords(QByteArray &words, Same same) {
    qsizetype i = 0;
    while (i < words.size()) {
        qsizetype end = i + 1;
        while (end < words.size() && isLetter(words[end]))
            ++end;
        const std::string_view name(words.constData() + i + 1, size_t(end - i - 1));
        while (end < words.size() && words[end] != '\\')
            ++end;
        if (same(name)) {
            words.remove(i, end - i);
        } else {
            i = end;
        }
    }
}

bool isUnderlineKind(std::string_view name) {
    return name.size() > 2 && name.substr(0, 2) == "ul" && name != "ulc" && name != "ulnone";
}

} // namespace

// A kept group written back 7-bit, meaning what it meant, token for token
// as the reader reads it: a byte of 128 and over becomes \'hh (read in the
// same code page), \bin's bytes become the hex digits a picture or object
// reads alike, and a control symbol of such a byte, which means nothing, is
// left out, with a space for the word before it to end at. (\bin's bytes
// go as hex even when 7-bit: cut short at a damaged file's end, \binN would
// take the braces written after them.)
QByteArray sevenBit(std::string_view in) {
    static const char hex[] = "0123456789abcdef";
    const auto high = [](char c) { return static_cast<unsigned char>(c) >= 0x80; };
    if (std::none_of(in.begin(), in.end(), high) && in.find("\\bin") == std::string_view::npos)
        return QByteArray(in.data(), qsizetype(in.size()));
    QByteArray out;
    out.reserve(qsizetype(in.size() + in.size() / 4));
    const auto appendHex = [&](unsigned char b) {
        out += hex[b >> 4];
        out += hex[b & 15];
    };
    Tokenizer tokens(in);
    bool wordOpen = false; // the last thing written is a word no delimiter ended
    for (size_t from = 0;;) {
        const Token t = tokens.next();
        if (t.kind == TokenKind::End) break;
        const std::string_view raw = in.substr(from, tokens.offset() - from);
        from = tokens.offset();
        if (t.kind == TokenKind::Binary) {
            if (wordOpen) out += ' ';
            for (const char c : t.text)
                appendHex(static_cast<unsigned char>(c));
            wordOpen = false;
            continue;
        }
        if (t.kind == TokenKind::Symbol && t.byte >= 0x80) {
            if (wordOpen) out += ' ';
            wordOpen = false;
            continue;
        }
        for (const char c : raw) {
            if (high(c)) {
                out += "\\'";
                appendHex(static_cast<unsigned char>(c));
            } else {
                out += c;
            }
        }
        wordOpen = t.kind == TokenKind::Word && !raw.empty() && raw.back() != ' ' &&
                   raw.back() != '\r' && raw.back() != '\n';
    }
    out.append(in.data() + tokens.offset(), qsizetype(in.size() - tokens.offset()));
    return out;
}

// Words kept as read: true when the word has been dealt with. Underlines are
// read as one, and their kind is kept besides.
bool Reader::keptWord(std::string_view name, const Word *w, bool hasParam, long long param) {
    if (state_.dest != Dest::Text) return false;
    if (w && (w->act == Act::Underline || w->act == Act::UnderlineNone)) {
        kept_.borderWords = false;
        removeWords(state_.format.extra, isUnderlineKind);
        if (w->act == Act::Underline && (!hasParam || param != 0) && name != "ul")
            appendWord(state_.format.extra, name, false, 0);
        return false;
    }
    if (w && w->act == Act::Pard) kept_.borderWords = false;
    if (name == "sl") {
        state_.para.format.lineSpacing = clampInt(param, -31680, 31680);
        return true;
    }
    if (name == "slmult") {
        state_.para.format.lineMultiple = hasParam && param != 0;
        return true;
    }
    const KeptRow *row = findKept(name);
    if (!row) {
        // A border's words follow the side they are for.
        if (kept_.borderWords && (name.substr(0, 4) == "brdr" || name == "brsp")) {
            appendWord(state_.para.format.extra, name, hasParam, param);
            return true;
        }
        kept_.borderWords = false;
        return false;
    }
    kept_.borderWords = row->kind == KeptKind::Border;
    switch (row->kind) {
    case KeptKind::Document:
        appendWord(kept_.before, name, hasParam, param);
        return true;
    case KeptKind::Paragraph:
    case KeptKind::Border:
        if (state_.para.format.extra.size() < 4096)
            appendWord(state_.para.format.extra, name, hasParam, param);
        return true;
    case KeptKind::Character:
    case KeptKind::Toggle: {
        QByteArray &extra = state_.format.extra;
        removeWords(extra, [name](std::string_view n) { return n == name; });
        if (row->kind == KeptKind::Character || !hasParam || param != 0)
            appendWord(extra, name, hasParam, param);
        return true;
    }
    case KeptKind::Inline:
        appendWord(kept_.inline_, name, hasParam, param);
        return true;
    }
    return false;
}

// The group just opened is kept as read, from its '{' to its '}'.
void Reader::capture(KeptPlace place) {
    if (kept_.capturing || stack_.empty()) return;
    kept_.capturing = true;
    kept_.from = kept_.groupOpen;
    kept_.depth = stack_.size() - 1;
    kept_.place = place;
}

// The group kept has closed: its bytes go where they stand.
void Reader::endCapture() {
    kept_.capturing = false;
    const std::string_view data = tokens_.input();
    const size_t to = std::min(tokens_.offset(), data.size());
    if (kept_.from >= to) return;
    const QByteArray bytes = sevenBit(data.substr(kept_.from, to - kept_.from));
    switch (kept_.place) {
    case KeptPlace::Before:
        kept_.before += bytes;
        return;
    case KeptPlace::Inline:
        kept_.inline_ += bytes;
        return;
    case KeptPlace::Tables:
        kept_.tables += bytes;
        return;
    case KeptPlace::FieldInst:
        fields_.instructionGroup = bytes;
        return;
    case KeptPlace::Note: {
        // The note's mark: its number, in the text around it.
        const CharFormat around = state_.format;
        state_.format.note = bytes;
        addText(QString::number(++fields_.footnotes));
        endRun();
        state_.format = around;
        return;
    }
    }
}

FileTables Reader::fileTables() const {
    FileTables t;
    std::vector<int> numbers;
    for (auto it = fonts_.fonts.begin(); it != fonts_.fonts.end(); ++it)
        numbers.push_back(it.key());
    std::sort(numbers.begin(), numbers.end());
    for (int n : numbers) {
        const FontEntry &e = fonts_.fonts[n];
        t.fonts.push_back(FontDef{n, e.name, e.family, e.charset, e.codePage});
    }
    t.colors = fonts_.colors;
    t.defaultFont = fonts_.defaultFont;
    return t;
}

} // namespace rtf::reader

namespace rtf {

ParaBox paraBox(const QByteArray &extra, const std::vector<std::int32_t> &colors) {
    ParaBox box;
    std::vector<Border *> sides; // those the border words go to
    std::int32_t back = NoColor, fore = NoColor;
    int percent = -1;
    const auto color = [&colors](long long n) {
        return n >= 0 && size_t(n) < colors.size() ? colors[size_t(n)] : NoColor;
    };
    for (qsizetype i = 0; i < extra.size();) {
        qsizetype end = i + 1;
        while (end < extra.size() && reader::isLetter(extra[end]))
            ++end;
        const std::string_view name(extra.constData() + i + 1, size_t(end - i - 1));
        const qsizetype digits = end;
        while (end < extra.size() && extra[end] != '\\')
            ++end;
        const bool hasParam = end > digits;
        const long long param = hasParam ? extra.mid(digits, end - digits).toLongLong() : 0;
        i = end;
        if (name == "brdrt" || name == "brdrl" || name == "brdrb" || name == "brdrr") {
            Border *side[] = {&box.top, &box.left, &box.bottom, &box.right};
            sides = {side[std::string_view("tlbr").find(name.back())]};
            *sides.front() = Border{BorderStyle::Single, 0, NoColor};
        } else if (name == "box") {
            sides = {&box.top, &box.left, &box.bottom, &box.right};
            for (Border *b : sides)
                *b = Border{BorderStyle::Single, 0, NoColor};
        } else if (name == "brdrbtw" || name == "brdrbar") {
            sides.clear(); // between paragraphs, beside them: not drawn
        } else if (name == "brdrw") {
            for (Border *b : sides)
                b->width = int(std::clamp(param, 0LL, 1440LL));
        } else if (name == "brdrcf") {
            for (Border *b : sides)
                b->color = color(param);
        } else if (name == "brsp") {
            if (!sides.empty()) box.space = int(std::clamp(param, 0LL, 1440LL));
        } else if (name.substr(0, 4) == "brdr") {
            const reader::Word *w = reader::findWord(name);
            if (w && w->act == reader::Act::BorderLine)
                for (Border *b : sides)
                    b->style = BorderStyle(w->value);
        } else if (name == "shading") {
            percent = int(std::clamp(param, 0LL, 10000LL));
        } else if (name == "cbpat") {
            back = color(param);
        } else if (name == "cfpat") {
            fore = color(param);
        }
    }
    if (back == NoColor && percent <= 0) return box;
    // The pattern's share of the foreground (black by default) over the
    // background (white by default), as a fine pattern looks from afar.
    const double p = std::max(percent, 0) / 10000.0;
    const std::int32_t b = back == NoColor ? 0xFFFFFF : back, f = fore == NoColor ? 0 : fore;
    std::int32_t mixed = 0;
    for (int shift : {16, 8, 0}) {
        const int c = int(std::lround(((b >> shift) & 0xFF) * (1 - p) + ((f >> shift) & 0xFF) * p));
        mixed |= std::int32_t(std::clamp(c, 0, 255)) << shift;
    }
    box.shading = mixed;
    return box;
}

FileTables readTables(const QByteArray &tables) {
    if (tables.isEmpty()) return {};
    const QByteArray rtf = "{\\rtf1" + tables + "}";
    const std::function<void(Paragraph &&)> none = [](Paragraph &&) {};
    reader::Reader r(rtf, none);
    r.run();
    return r.fileTables();
}

} // namespace rtf
