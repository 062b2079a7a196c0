// SPDX-License-Identifier: GPL-3.0-or-later
// The RTF writer: 7-bit output that every reader understands, with line breaks
// in the file every couple of hundred characters. Tables as Word writes them:
// a row's definition before its cells, a nested row's after its cells.
#include "core/rtf.h"
#include "core/rtfpicture.h"
#include "core/textcodec.h"

#include <QHash>
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>
#include <string>

namespace rtf {

namespace {

constexpr int WrapColumn = 200;

FontFamily guessFamily(const QString &name) {
    const QString n = name.toLower();
    if (n.contains(QLatin1String("mono")) || n.contains(QLatin1String("courier")) ||
        n.contains(QLatin1String("consol")) || n.contains(QLatin1String("fixed")))
        return FontFamily::Modern;
    if (n.contains(QLatin1String("times")) || n.contains(QLatin1String("serif")) ||
        n.contains(QLatin1String("georgia")) || n.contains(QLatin1String("garamond")) ||
        n.contains(QLatin1String("roman")))
        return n.contains(QLatin1String("sans")) ? FontFamily::Swiss : FontFamily::Roman;
    if (n.contains(QLatin1String("symbol")) || n.contains(QLatin1String("wingding")))
        return FontFamily::Tech;
    return FontFamily::Swiss;
}

const char *familyWord(FontFamily f) {
    switch (f) {
    case FontFamily::Roman:
        return "\\froman";
    case FontFamily::Swiss:
        return "\\fswiss";
    case FontFamily::Modern:
        return "\\fmodern";
    case FontFamily::Script:
        return "\\fscript";
    case FontFamily::Decor:
        return "\\fdecor";
    case FontFamily::Tech:
        return "\\ftech";
    default:
        return "\\fnil";
    }
}

const char *borderWord(BorderStyle s) {
    switch (s) {
    case BorderStyle::None:
        return "\\brdrnone";
    case BorderStyle::Single:
        return "\\brdrs";
    case BorderStyle::Thick:
        return "\\brdrth";
    case BorderStyle::Double:
        return "\\brdrdb";
    case BorderStyle::Dotted:
        return "\\brdrdot";
    case BorderStyle::Dashed:
        return "\\brdrdash";
    case BorderStyle::Hairline:
        return "\\brdrhair";
    default:
        return "\\brdrdashd"; // one of the others, read back as such
    }
}

// RTF kept before a paragraph that starts with a break (\sect or \page, not
// \sectd): it ends the paragraph before, in place of \par.
bool breaksBefore(const QByteArray &before) {
    const auto startsWithWord = [&before](const char *word, qsizetype length) {
        return before.startsWith(word) &&
               (before.size() == length ||
                !std::isalpha(static_cast<unsigned char>(before[length])));
    };
    return startsWithWord("\\sect", 5) || startsWithWord("\\page", 5);
}

// True when RTF kept as read holds, out of its groups, a word that ends a
// paragraph (\par, \sect, \page).
bool breaksWithin(const QByteArray &kept) {
    int depth = 0;
    for (qsizetype i = 0; i < kept.size(); ++i) {
        const char c = kept[i];
        if (c == '{') ++depth;
        if (c == '}') --depth;
        if (c != '\\' || i + 1 >= kept.size()) continue;
        qsizetype end = i + 1;
        while (end < kept.size() && std::isalpha(static_cast<unsigned char>(kept[end])))
            ++end;
        const QByteArray word = kept.mid(i + 1, end - i - 1);
        if (depth == 0 && (word == "par" || word == "sect" || word == "page")) return true;
        if (word == "bin") return false; // data follows: nothing more is read here
        // Past the word, or past a control symbol's character (\{ is no brace).
        i = end == i + 1 ? i + 1 : end - 1;
    }
    return false;
}

// A paragraph's words kept that place it in a positioned frame.
bool inFrame(const QByteArray &extra) {
    for (const char *word : {"\\absw", "\\absh", "\\posx", "\\posy", "\\phpg", "\\pvpg", "\\phmrg",
                             "\\pvmrg", "\\phcol", "\\pvpara"}) {
        if (extra.contains(word)) return true;
    }
    return false;
}

class Writer {
public:
    std::string out; // appending a character stays inline

    // A control word; `delimit` marks that text following it needs a space.
    void word(const char *w) {
        wrapHere();
        out.append(w);
        col_ += int(std::strlen(w));
        delimit_ = true;
    }
    void word(const char *w, long long n) {
        char buf[48];
        const size_t len = std::strlen(w);
        std::memcpy(buf, w, len);
        const auto end = std::to_chars(buf + len, buf + sizeof buf - 1, n).ptr;
        *end = '\0';
        word(buf);
    }
    // A picture's RTF, on lines of its own.
    void picture(const Picture &p) {
        newline();
        appendPicture(out, p);
        newline();
    }
    void raw(const char *s) {
        out.append(s);
        col_ += int(std::strlen(s));
        delimit_ = false;
    }
    // RTF kept as read: groups, or words that text after them must be
    // delimited from.
    void kept(const QByteArray &b) {
        if (b.isEmpty()) return;
        wrapHere();
        out.append(b.constData(), size_t(b.size()));
        const qsizetype nl = b.lastIndexOf('\n');
        col_ = nl < 0 ? col_ + int(b.size()) : int(b.size() - nl - 1);
        delimit_ = b.back() != '}' && b.back() != ' ';
    }
    // Text in a font whose charset is not Western goes as \uN only: its
    // bytes would be read in the font's code page.
    bool western = true;
    void hexByte(unsigned char b) {
        static const char hex[] = "0123456789abcdef";
        const char buf[5] = {'\\', '\'', hex[b >> 4], hex[b & 15], 0};
        raw(buf);
    }
    // Document text, escaped.
    void text(QStringView s) {
        const qsizetype n = s.size();
        for (qsizetype i = 0; i < n; ++i) {
            const char16_t c = s[i].unicode();
            if (c >= 0x20 && c < 0x7F) {
                if (c == u'\\' || c == u'{' || c == u'}') {
                    wrapHere();
                    const char buf[3] = {'\\', char(c), 0};
                    raw(buf);
                    continue;
                }
                if (delimit_) {
                    out.push_back(' ');
                    ++col_;
                    delimit_ = false;
                } else if (col_ >= WrapColumn && c != u' ') {
                    newline();
                }
                out.push_back(char(c));
                ++col_;
                continue;
            }
            if (c == u'\t') {
                word("\\tab");
                continue;
            }
            if (c == 0x2028) {
                word("\\line");
                continue;
            }
            if (c == 0x00A0) {
                raw("\\~");
                continue;
            }
            const int b = textcodec::toCp1252(c);
            // Control bytes too: code pages such as 932 give them other
            // characters.
            if ((b >= 0x80 || (b >= 0 && b < 0x20)) && !western) {
                unicode(c, '?');
                continue;
            }
            if (b >= 0x80 || (b >= 0 && b < 0x20)) {
                wrapHere();
                hexByte(static_cast<unsigned char>(b));
                continue;
            }
            // Outside Windows-1252: \uN then a one-byte fallback, never a bare '?'.
            if (QChar::isHighSurrogate(c) && i + 1 < n && s[i + 1].isLowSurrogate()) {
                unicode(c, '?');
                unicode(s[++i].unicode(), '?');
                continue;
            }
            unicode(c, textcodec::bestFitCp1252(c));
        }
    }

    // A list level's text: its length, then the text around the number's
    // place (\'00, this level's number). Readers take every character there
    // as the marker's, so none is written as a control word but \uN. (The
    // text holds no character below 9: those stand for levels' numbers.)
    void levelText(QStringView before, QStringView after, bool numbered) {
        const qsizetype length = before.size() + after.size() + (numbered ? 1 : 0);
        if (length <= 0xFF) {
            hexByte(static_cast<unsigned char>(length));
        } else {
            unicode(char16_t(length), '?'); // as some writers do; ours reads it
        }
        levelChars(before);
        if (numbered) hexByte(0);
        levelChars(after);
    }
    // A character as \uN, then the byte readers without Unicode take.
    void unicode(char16_t c, unsigned char fallback) {
        word("\\u", c > 32767 ? long(c) - 65536 : long(c));
        hexByte(fallback);
    }

private:
    void levelChars(QStringView s) {
        for (const QChar ch : s) {
            const char16_t c = ch.unicode();
            wrapHere();
            if (c >= 0x20 && c < 0x7F && c != u'\\' && c != u'{' && c != u'}') {
                if (delimit_) raw(" ");
                const char buf[2] = {char(c), 0};
                raw(buf);
                continue;
            }
            const int b = textcodec::toCp1252(c);
            if (b >= 0) {
                hexByte(static_cast<unsigned char>(b));
            } else {
                unicode(c, '?');
            }
        }
    }
    void wrapHere() {
        if (col_ >= WrapColumn) newline();
    }
    void newline() {
        out.append("\r\n");
        col_ = 0;
        delimit_ = false;
    }

    int col_ = 0;
    bool delimit_ = false;
};

} // namespace

QByteArray write(const Document &doc, const QString &defaultFont) {
    // Fonts and colours used, in order of appearance.
    // A document read from RTF keeps the file's tables, by their numbers:
    // what is kept as read refers to them. New fonts and colours follow.
    const FileTables original =
        doc.paragraphs.empty() ? FileTables{} : readTables(doc.paragraphs[0].format.tables);
    QHash<QString, int> fontIndex; // by name, the number
    std::vector<FontDef> fonts;
    int nextFont = 0;
    for (const FontDef &f : original.fonts) {
        if (!fontIndex.contains(f.name)) fontIndex.insert(f.name, f.number);
        fonts.push_back(f);
        nextFont = std::max(nextFont, f.number + 1);
    }
    auto addFont = [&](const QString &name, FontFamily family) {
        const QString n = name.isEmpty() ? defaultFont : name;
        auto it = fontIndex.find(n);
        if (it != fontIndex.end()) return it.value();
        const int number = nextFont++;
        fontIndex.insert(n, number);
        fonts.push_back(FontDef{number, n, family == FontFamily::Nil ? guessFamily(n) : family, 0});
        return number;
    };
    QHash<std::int32_t, int> colorIndex;
    std::vector<std::int32_t> colors{NoColor}; // entry 0 is "automatic"
    if (!original.colors.empty()) colors = original.colors;
    for (size_t i = 0; i < colors.size(); ++i)
        if (colors[i] != NoColor && !colorIndex.contains(colors[i]))
            colorIndex.insert(colors[i], int(i));
    auto addColor = [&](std::int32_t c) {
        if (c == NoColor) return 0;
        auto it = colorIndex.find(c);
        if (it != colorIndex.end()) return it.value();
        colors.push_back(c);
        const int index = int(colors.size() - 1);
        colorIndex.insert(c, index);
        return index;
    };
    const auto found =
        std::find_if(original.fonts.begin(), original.fonts.end(),
                     [&](const FontDef &f) { return f.number == original.defaultFont; });
    const int deff =
        found != original.fonts.end() ? found->number : addFont(defaultFont, FontFamily::Nil);
    const QString deffName = found != original.fonts.end() ? found->name : defaultFont;
    addFont(defaultFont, FontFamily::Nil);
    const RowDef *lastRow = nullptr; // rows mostly share their definition
    for (const Paragraph &p : doc.paragraphs) {
        for (const Run &r : p.runs) {
            addFont(r.format.font, r.format.family);
            addColor(r.format.color);
            addColor(r.format.highlight);
        }
        if (p.endsRow && p.endsRow.get() != lastRow) {
            lastRow = p.endsRow.get();
            for (const CellDef &c : lastRow->cells) {
                for (const Border *b : {&c.top, &c.left, &c.bottom, &c.rightBorder})
                    addColor(b->color);
                addColor(c.shading);
            }
        }
    }

    Writer w;
    qsizetype characters = 0;
    for (const Paragraph &p : doc.paragraphs)
        for (const Run &r : p.runs)
            characters += r.text.size() + 16;
    w.out.reserve(size_t(characters) + 4096);
    w.raw("{\\rtf1\\ansi\\ansicpg1252");
    w.word("\\deff", deff);
    w.word("\\deflang1036");
    Writer table;
    table.raw("{\\fonttbl");
    for (const FontDef &f : fonts) {
        table.raw("{");
        table.word("\\f", f.number);
        table.word(familyWord(f.family));
        table.word("\\fcharset", f.charset);
        table.text(f.name);
        table.raw(";}");
    }
    table.raw("}");
    const QByteArray fontTable(table.out.data(), qsizetype(table.out.size()));
    w.kept(fontTable);
    // The code page each font's text is read in, as our reader reads the
    // table written: the text is written for that.
    QHash<int, int> codePageOf; // by number
    for (const FontDef &f : readTables(fontTable).fonts)
        codePageOf.insert(f.number, f.codePage ? f.codePage : 1252);
    const auto westernFont = [&](int number) { return codePageOf.value(number, 1252) == 1252; };
    int plainFont = -1; // a font not of symbols, the default one if it is
    for (auto it = codePageOf.begin(); it != codePageOf.end(); ++it) {
        if (!textcodec::isSymbolCodePage(it.value()) &&
            (plainFont < 0 || it.key() == deff || (plainFont != deff && it.key() < plainFont)))
            plainFont = it.key();
    }
    w.raw("\r\n{\\colortbl ");
    for (size_t i = 0; i < colors.size(); ++i) {
        const std::int32_t c = colors[i];
        if (c == NoColor) {
            w.raw(";");
            continue;
        }
        w.word("\\red", (c >> 16) & 0xFF);
        w.word("\\green", (c >> 8) & 0xFF);
        w.word("\\blue", c & 0xFF);
        w.raw(";");
    }
    w.raw("}\r\n");
    // Lists: one list of one level for each run of items numbered together,
    // numbered from its first item's number, and an override of the same
    // number. An item that does not go on from the last of its list (its
    // marker's form changed, or its number does not follow) starts another.
    // A marker a list table cannot say is written as text: one longer than a
    // level text, one holding characters below 9 (which stand for levels'
    // numbers there) or a symbol font's private-use characters (which readers
    // take as Symbol's), a list starting from a number out of range.
    const auto fitsListTable = [](const ListItem &l) {
        const auto unsayable = [](const QString &s) {
            return std::any_of(s.begin(), s.end(), [](QChar c) {
                return c.unicode() < 9 || (c.unicode() >= 0xF020 && c.unicode() <= 0xF0FF);
            });
        };
        return l.prefix.size() + l.suffix.size() < 0xFFFF && !unsayable(l.prefix) &&
               !unsayable(l.suffix) &&
               (l.style == ListStyle::Bullet || (l.number >= 0 && l.number <= MaxListStart));
    };
    std::vector<int> lsOf(doc.paragraphs.size()); // \ls of each paragraph; 0: none
    std::vector<const ListItem *> lists;
    {
        QHash<int, int> current;   // list id to its latest \ls
        std::vector<int> previous; // by \ls - 1, the last item's number
        for (size_t i = 0; i < doc.paragraphs.size(); ++i) {
            const ListItem &l = doc.paragraphs[i].list;
            if (!l.id) continue;
            auto it = current.find(l.id);
            const bool goesOn =
                it != current.end() && lists[size_t(*it - 1)]->sameList(l) &&
                (l.style == ListStyle::Bullet || l.number == previous[size_t(*it - 1)] + 1);
            if (!goesOn) {
                if (!fitsListTable(l)) continue;
                lists.push_back(&l);
                previous.push_back(0);
                it = current.insert(l.id, int(lists.size()));
            }
            lsOf[i] = *it;
            previous[size_t(*it - 1)] = l.number;
        }
    }
    if (!lists.empty()) {
        w.raw("{\\*");
        w.word("\\listtable");
        for (size_t k = 1; k <= lists.size(); ++k) {
            const ListItem &l = *lists[k - 1];
            w.raw("{");
            w.word("\\list");
            w.word("\\listsimple");
            w.raw("{");
            w.word("\\listlevel");
            w.word("\\levelnfc", levelNfc(l.style));
            w.word("\\levelstartat", l.style == ListStyle::Bullet ? 1 : l.number);
            w.word("\\levelfollow0");
            const bool numbered = l.style != ListStyle::Bullet;
            const QString &before = l.prefix;
            const QString after = numbered ? l.suffix : QString();
            w.raw("{");
            w.word("\\leveltext");
            w.levelText(before, after, numbered);
            w.raw(";}{");
            w.word("\\levelnumbers");
            if (numbered && before.size() < 0xFF)
                w.hexByte(static_cast<unsigned char>(before.size() + 1));
            w.raw(";}}");
            w.word("\\listid", long(k));
            w.raw("}");
        }
        w.raw("}\r\n{\\*");
        w.word("\\listoverridetable");
        for (size_t k = 1; k <= lists.size(); ++k) {
            w.raw("{");
            w.word("\\listoverride");
            w.word("\\listid", long(k));
            w.word("\\listoverridecount0");
            w.word("\\ls", long(k));
            w.raw("}");
        }
        w.raw("}\r\n");
    }
    int curLs = 0;
    // The document's groups and page setup, kept as read.
    if (!doc.paragraphs.empty()) w.kept(doc.paragraphs[0].format.before);
    w.word("\\viewkind4");
    w.word("\\uc1");

    CharFormat cur; // what the reader holds after \plain\f<deff>
    cur.font = deffName;
    cur.halfPoints = 24;
    w.word("\\pard");
    w.word("\\plain");
    w.word("\\f", deff);
    w.western = westernFont(deff);
    ParaFormat curPara;
    int curDepth = 0;
    // A paragraph's format without what is kept around it.
    const auto lookOf = [](const ParaFormat &f) {
        ParaFormat look = f;
        look.before.clear();
        look.after.clear();
        look.tables.clear();
        return look;
    };

    const auto writePara = [&](const ParaFormat &p, int depth) {
        w.word("\\pard");
        if (depth > 0) w.word("\\intbl");
        if (depth > 1) w.word("\\itap", depth);
        curDepth = depth;
        switch (p.align) {
        case Align::Center:
            w.word("\\qc");
            break;
        case Align::Right:
            w.word("\\qr");
            break;
        case Align::Justify:
            w.word("\\qj");
            break;
        default:
            break;
        }
        if (p.leftIndent) w.word("\\li", p.leftIndent);
        if (p.rightIndent) w.word("\\ri", p.rightIndent);
        if (p.firstIndent) w.word("\\fi", p.firstIndent);
        if (p.spaceBefore) w.word("\\sb", p.spaceBefore);
        if (p.spaceAfter) w.word("\\sa", p.spaceAfter);
        if (p.lineSpacing) {
            w.word("\\sl", p.lineSpacing);
            w.word("\\slmult", p.lineMultiple ? 1 : 0);
        }
        w.kept(p.extra);
        curPara = lookOf(p);
    };
    const auto writeBorder = [&](const char *side, const Border &b) {
        if (b == Border{}) return;
        w.word(side);
        w.word(borderWord(b.style));
        if (b.width) w.word("\\brdrw", b.width);
        if (b.color != NoColor) w.word("\\brdrcf", addColor(b.color));
    };
    const auto writeRow = [&](const RowDef &r) {
        w.word("\\trowd");
        w.word("\\trgaph", r.gap);
        if (r.left) w.word("\\trleft", r.left);
        if (r.align == Align::Center) w.word("\\trqc");
        if (r.align == Align::Right) w.word("\\trqr");
        if (r.height) w.word("\\trrh", r.height);
        if (r.header) w.word("\\trhdr");
        w.kept(r.extra);
        for (const CellDef &c : r.cells) {
            w.kept(c.extra);
            if (c.down != Merge::None) w.word(c.down == Merge::First ? "\\clvmgf" : "\\clvmrg");
            if (c.across != Merge::None) w.word(c.across == Merge::First ? "\\clmgf" : "\\clmrg");
            if (c.align == CellAlign::Center) w.word("\\clvertalc");
            if (c.align == CellAlign::Bottom) w.word("\\clvertalb");
            writeBorder("\\clbrdrt", c.top);
            writeBorder("\\clbrdrl", c.left);
            writeBorder("\\clbrdrb", c.bottom);
            writeBorder("\\clbrdrr", c.rightBorder);
            if (c.shading != NoColor) w.word("\\clcbpat", addColor(c.shading));
            if (c.shadingPercent) w.word("\\clshdng", c.shadingPercent);
            w.word("\\cellx", c.right);
        }
    };
    const auto writeFormat = [&](const CharFormat &f) {
        const QString face = f.font.isEmpty() ? defaultFont : f.font;
        const bool newExtra = f.extra != cur.extra;
        if (newExtra) {
            // Words kept as read are taken back only by \plain.
            w.word("\\plain");
            cur = CharFormat{};
            cur.font = deffName;
            w.western = westernFont(deff);
        }
        if (face != cur.font) {
            w.word("\\f", fontIndex.value(face));
            w.western = westernFont(fontIndex.value(face));
        }
        if (f.halfPoints != cur.halfPoints) w.word("\\fs", f.halfPoints);
        if (f.bold != cur.bold) w.word(f.bold ? "\\b" : "\\b0");
        if (f.italic != cur.italic) w.word(f.italic ? "\\i" : "\\i0");
        if (f.underline != cur.underline) w.word(f.underline ? "\\ul" : "\\ulnone");
        if (f.strike != cur.strike) w.word(f.strike ? "\\strike" : "\\strike0");
        if (f.color != cur.color) w.word("\\cf", addColor(f.color));
        if (f.highlight != cur.highlight) w.word("\\highlight", addColor(f.highlight));
        if (f.valign != cur.valign) {
            w.word(f.valign == VAlign::Super ? "\\super"
                   : f.valign == VAlign::Sub ? "\\sub"
                                             : "\\nosupersub");
        }
        if (newExtra) w.kept(f.extra);
        cur = f;
        cur.font = face;
    };

    // Fields open around the text written, each with the state of the text
    // around it, which its closing brace gives back.
    // A field open over a \par holds the next paragraph's \pard too, which
    // its closing brace takes back.
    struct OpenField {
        QByteArray instruction;
        CharFormat outside;
        bool western;
        ParaFormat para;
        int depth;
        int ls;
    };
    std::vector<OpenField> open;
    // A shape's text box among them: the shape's RTF before its text and
    // after it (rtffields.cpp).
    const auto boxPart = [](const QByteArray &field, int part) {
        const qsizetype split = field.indexOf('\x02', 1);
        return part == 0 ? field.mid(1, split - 1) : field.mid(split + 1);
    };
    const auto closeFields = [&](size_t keep) {
        while (open.size() > keep) {
            if (isBox(open.back().instruction)) {
                w.kept(boxPart(open.back().instruction, 1));
            } else {
                w.raw("}}");
            }
            cur = open.back().outside;
            w.western = open.back().western;
            curPara = open.back().para;
            curDepth = open.back().depth;
            curLs = open.back().ls;
            open.pop_back();
        }
    };
    // Opens `fields` (those not open yet) up to `upTo`.
    const auto openFields = [&](const QByteArrayList &fields, size_t upTo) {
        while (open.size() < upTo) {
            open.push_back(OpenField{fields[qsizetype(open.size())], cur, w.western, curPara,
                                     curDepth, curLs});
            if (isBox(open.back().instruction)) {
                // The box's text starts from plain characters, whatever
                // the shape's words around it said (a group of shapes' words
                // go on into its box's shape).
                w.kept(boxPart(open.back().instruction, 0));
                if (open.size() < size_t(fields.size()) && isBox(fields[qsizetype(open.size())]))
                    continue;
                // The shape's words may have set the paragraph's: its
                // format goes again before its end.
                curDepth = -1;
                w.word("\\plain");
                cur = CharFormat{};
                cur.font = deffName;
                w.western = westernFont(deff);
                continue;
            }
            w.raw("{\\field");
            w.kept(open.back().instruction);
            w.raw("{\\fldrslt ");
        }
    };
    // Before a paragraph's end: readers take the paragraph's format from the
    // state at its \par or \cell, which a field closed may have taken back.
    const auto holdPara = [&](const Paragraph &p, int depth, int ls) {
        if (lookOf(p.format) == curPara && depth == curDepth && ls == curLs) return;
        writePara(p.format, depth);
        if (ls) w.word("\\ls", ls);
        curLs = ls;
    };
    // A symbol font's byte for a character, -1 where it has none.
    QHash<int, QHash<char16_t, int>> symbolBytes; // by code page
    const auto symbolByte = [&](int cp, char16_t c) {
        auto it = symbolBytes.find(cp);
        if (it == symbolBytes.end()) {
            it = symbolBytes.insert(cp, {});
            for (int b = 0xFF; b >= 0x20; --b)
                it->insert(textcodec::symbolChar(cp, uchar(b)), b);
        }
        return it->value(c, -1);
    };
    QByteArray lastKept, lastNote;
    const Paragraph *writing = nullptr; // the paragraph whose runs are written
    int writingDepth = 0, writingLs = 0;
    const auto writeRun = [&](const Run &r) {
        QByteArrayList fields = r.format.fields;
        // A link made in the editor (pasted from a page) is a field too.
        if (fields.isEmpty() && !r.format.link.isEmpty()) {
            QString address = r.format.link;
            address.replace(QLatin1Char('"'), QLatin1String("%22"));
            Writer inst;
            inst.text(QStringLiteral("HYPERLINK \"%1\"").arg(address));
            fields.append("{\\*\\fldinst " + QByteArray::fromStdString(inst.out) + "}");
        }
        size_t common = 0;
        while (common < open.size() && common < size_t(fields.size()) &&
               open[common].instruction == fields[qsizetype(common)])
            ++common;
        const size_t wasOpen = open.size();
        closeFields(common);
        // A paragraph begun in a field closed here: its format again, which
        // readers take for a last paragraph from its last text.
        if (writing && open.size() < wasOpen) holdPara(*writing, writingDepth, writingLs);
        if (r.format.kept != lastKept) w.kept(r.format.kept);
        lastKept = r.format.kept;
        openFields(fields, size_t(fields.size()));
        // Text deleted or inserted under tracking is a group of its own:
        // LibreOffice ends a tracked change at a group's end only.
        const bool tracked =
            r.format.extra.contains("\\deleted") || r.format.extra.contains("\\revised");
        const CharFormat outside = cur;
        const bool western = w.western;
        if (tracked) w.raw("{");
        writeFormat(r.format);
        QStringView text = r.text;
        if (!r.format.note.isEmpty() && r.format.note != lastNote) {
            // The note's mark is its number, which readers give it again.
            while (!text.isEmpty() && text.front().isDigit())
                text = text.mid(1);
            w.raw("{\\super\\chftn}");
            w.kept(r.format.note);
        }
        lastNote = r.format.note;
        const int cp = codePageOf.value(fontIndex.value(cur.font), 1252);
        if (!textcodec::isSymbolCodePage(cp)) {
            w.text(text);
        } else {
            // In a symbol font every byte stands for one of the font's
            // characters, ASCII too: a character goes back as its byte, as
            // word processors write it, and one the font has no byte for as
            // \uN, which the reader takes as it stands.
            qsizetype from = 0;
            for (qsizetype k = 0; k < text.size(); ++k) {
                const char16_t c = text[k].unicode();
                if (c < 0x20 || c == 0x2028) continue; // \tab, \line
                const int b = symbolByte(cp, c);
                if (b == c) continue;
                w.text(text.mid(from, k - from));
                from = k + 1;
                if (b >= 0x7F) {
                    w.hexByte(uchar(b));
                } else if (b >= 0) {
                    w.text(QString(QChar(char16_t(b))));
                } else if (c >= 0xF020 && c <= 0xF0FF && plainFont >= 0) {
                    // Readers take these as the symbol font's bytes: the
                    // character itself stands in a font of letters.
                    w.raw("{");
                    w.word("\\f", plainFont);
                    w.unicode(c, '?');
                    w.raw("}");
                } else {
                    w.unicode(c, '?');
                }
            }
            w.text(text.mid(from));
        }
        if (tracked) {
            w.raw("}");
            cur = outside;
            w.western = western;
        }
    };

    const size_t count = doc.paragraphs.size();
    bool inRow = false; // a row of the outermost table is being written
    // Text boxes open when the row began, around the table: its cells end in them.
    size_t rowBoxes = 0;
    for (size_t i = 0; i < count; ++i) {
        const Paragraph &p = doc.paragraphs[i];
        const int ls = lsOf[i];
        const int depth = std::max(0, p.depth);
        if (depth > 0 && !inRow) {
            rowBoxes = 0;
            while (rowBoxes < open.size() && isBox(open[rowBoxes].instruction))
                ++rowBoxes;
            // The row's definition first, from the paragraph that ends it.
            for (size_t j = i; j < count && doc.paragraphs[j].depth > 0; ++j) {
                if (doc.paragraphs[j].depth == 1 && doc.paragraphs[j].endsRow) {
                    writeRow(*doc.paragraphs[j].endsRow);
                    break;
                }
            }
        }
        const bool startsRow = depth > 0 && !inRow;
        inRow = depth > 0 && !(depth == 1 && p.endsRow);
        // A paragraph whose text begins in a shape of a group of shapes open
        // begins in the shape's box: its format, kept groups and marker go
        // in it, none between the group's shapes. (One that begins a row
        // keeps the row's definition before the box, in its cell.)
        if (!startsRow) {
            const Run *firstRun = nullptr;
            for (const Run &r : p.runs) {
                if (!r.text.isEmpty()) {
                    firstRun = r.picture ? nullptr : &r;
                    break;
                }
            }
            const QByteArrayList *first = firstRun ? &firstRun->format.fields : nullptr;
            size_t common = 0;
            while (first && common < open.size() && common < size_t(first->size()) &&
                   open[common].instruction == (*first)[qsizetype(common)])
                ++common;
            size_t boxes = common;
            while (first && boxes < size_t(first->size()) && isBox((*first)[qsizetype(boxes)]))
                ++boxes;
            // In a box open already (a group of shapes): one outside stays
            // where the paragraph's format is read from before it.
            if (boxes > common && common > 0 && isBox(open[common - 1].instruction)) {
                closeFields(common);
                // What stands before the run stands before its box.
                if (firstRun->format.kept != lastKept) w.kept(firstRun->format.kept);
                lastKept = firstRun->format.kept;
                openFields(*first, boxes);
            }
        }
        if (i > 0 && !p.format.before.isEmpty() &&
            p.format.before != doc.paragraphs[i - 1].format.before &&
            !breaksBefore(p.format.before))
            w.kept(p.format.before);
        if (i == 0 ? !(lookOf(p.format) == ParaFormat{}) || ls || depth
                   : !(lookOf(p.format) == curPara) || ls != curLs || depth != curDepth) {
            writePara(p.format, depth);
            if (ls) w.word("\\ls", ls);
            curLs = ls;
        }
        if (ls) {
            // The marker as text, for readers without lists.
            w.raw("{");
            w.word("\\listtext");
            w.text(markerText(p.list.style, p.list.prefix, p.list.suffix, p.list.number));
            w.word("\\tab");
            w.raw("}");
        } else if (p.list.id) {
            w.text(markerText(p.list.style, p.list.prefix, p.list.suffix, p.list.number));
            w.word("\\tab");
        }
        writing = &p;
        writingDepth = depth;
        writingLs = ls;
        for (const Run &r : p.runs) {
            if (r.text.isEmpty()) continue;
            if (r.picture) {
                writeFormat(r.format);
                w.picture(*r.picture);
            } else {
                writeRun(r);
            }
        }
        // LibreOffice ends a paragraph before superscript text that the
        // paragraph's end finds still raised.
        if (cur.valign == VAlign::Super) {
            w.word("\\nosupersub");
            cur.valign = VAlign::Normal;
        }
        // What was kept at the paragraph's end, once where paragraphs split
        // from one share it.
        const bool afterWritten =
            i + 1 >= count || p.format.after != doc.paragraphs[i + 1].format.after;
        // A break kept at the end of a table's row ends no paragraph of its
        // cell: it follows the row.
        const bool afterRow = depth == 1 && p.endsRow && breaksWithin(p.format.after);
        if (afterWritten && !afterRow) w.kept(p.format.after);
        // \par separates paragraphs; a last paragraph that is empty gets one
        // more, since readers take a final \par as the end of the last line
        // (a lone one too after a header or footer, which LibreOffice drops
        // from a body that ends no paragraph). A document of one empty
        // paragraph ended by \par holds that \par after it (rtftext.cpp).
        const bool ended = afterWritten && p.format.after.endsWith("\\par");
        const bool empty = std::all_of(p.runs.begin(), p.runs.end(),
                                       [](const Run &r) { return r.text.isEmpty(); });
        const QByteArray *next = i + 1 < count ? &doc.paragraphs[i + 1].format.before : nullptr;
        const bool breaks = next && breaksBefore(*next) && *next != p.format.before;
        size_t closeAfter = SIZE_MAX; // fields to close after the paragraph's end
        // The fields the next text goes on in.
        size_t common = 0;
        if (!open.empty()) {
            const QByteArrayList *nextFields = nullptr;
            for (size_t j = i + 1; j < count && j <= i + 64 && !nextFields; ++j) {
                for (const Run &r : doc.paragraphs[j].runs) {
                    if (!r.text.isEmpty() && !r.picture) {
                        nextFields = &r.format.fields;
                        break;
                    }
                }
            }
            while (nextFields && common < open.size() && common < size_t(nextFields->size()) &&
                   open[common].instruction == (*nextFields)[qsizetype(common)])
                ++common;
        }
        if (!open.empty()) {
            // A field whose result goes on in the next text (a table of
            // contents) stays open over the \par; the others end with their
            // text, the \par out of them, where readers keep a link to its
            // paragraph. A text box's paragraph ends in the box: the box
            // (the innermost, in a group of boxes) and the fields around it
            // close after the \par.
            size_t box = open.size();
            while (box > common && !isBox(open[box - 1].instruction))
                --box;
            closeFields(box);
            if (box > common) closeAfter = common;
        }
        if (breaks) closeFields(0); // no field goes on over a page or section break
        if (breaks || (depth > 0 && (p.endsCell || p.endsRow))) closeAfter = SIZE_MAX;
        if (!(depth > 0 && (p.endsCell || p.endsRow))) holdPara(p, depth, ls);
        if (depth > 0 && (p.endsCell || p.endsRow)) {
            // A cell ends, outside any field but the text boxes the table
            // stands in; a row ends with its definition, and a paragraph for
            // readers without nested tables.
            closeFields(std::min(rowBoxes, open.size()));
            holdPara(p, depth, ls);
            if (depth == 1) {
                w.word("\\cell");
                if (p.endsRow) {
                    // The definition again before \row, as Word writes it:
                    // readers that take a row's shape at its end (widths
                    // before and after it) find it there.
                    writeRow(*p.endsRow);
                    w.word("\\row");
                }
            } else {
                w.word("\\nestcell");
                if (p.endsRow) {
                    w.raw("{\\*");
                    w.word("\\nesttableprops");
                    writeRow(*p.endsRow);
                    w.word("\\nestrow");
                    w.raw("}{");
                    w.word("\\nonesttables");
                    w.word("\\par");
                    w.raw("}");
                    // The next row's paragraphs say their depth again, as
                    // Word writes them: LibreOffice refuses the file otherwise.
                    curDepth = -1;
                }
            }
            // The boxes close after the table's last row, unless text follows in them.
            if (depth == 1 && p.endsRow) closeFields(std::min(common, open.size()));
            if (afterWritten && afterRow) w.kept(p.format.after);
            if (breaks && depth == 1 && p.endsRow) w.kept(*next);
        } else if (breaks && !empty && depth == 0 && inFrame(p.format.extra)) {
            // A break in place of a framed paragraph's \par has LibreOffice
            // move the paragraph out of its place: \par ends it, and the break
            // stands in a paragraph of its own, out of the frame.
            w.word("\\par");
            w.word("\\pard");
            curPara = ParaFormat{};
            curLs = 0;
            w.kept(*next);
        } else if (breaks && !empty) {
            w.kept(*next); // a section or page break ends the paragraph
        } else if (breaks) {
            // An empty paragraph is no paragraph to a reader before a break:
            // it ends with \par, and the break follows.
            w.word("\\par");
            w.kept(*next);
        } else if (!ended && (i + 1 < count ||
                              (empty && (count > 1 || p.format.before.contains("{\\header") ||
                                         p.format.before.contains("{\\footer"))))) {
            w.word("\\par");
        }
        if (closeAfter < open.size()) closeFields(closeAfter);
    }
    closeFields(0);
    w.raw("\r\n}\r\n");
    return QByteArray(w.out.data(), qsizetype(w.out.size()));
}

} // namespace rtf
