// SPDX-License-Identifier: GPL-3.0-or-later
// The RTF reader: the tokenizer's tokens applied to a state kept on a stack of
// its own, so input nesting never becomes recursion. What each control word is
// and does stands in one table; text bytes are gathered and decoded together
// in the code page of the current font.
#include "core/rtf.h"

#include "core/exception.h"
#include "core/rtftokens.h"
#include "core/textcodec.h"

#include <QHash>
#include <QRegularExpression>
#include <algorithm>
#include <array>
#include <functional>
#include <map>
#include <string>
#include <unordered_map>

namespace rtf {

namespace {

// ---------------------------------------------------------------- the table

// What a control word is: a destination (its group holds something other than
// text), a symbol (it stands for a character), a toggle (on, or off with 0), a
// value (it sets a number) or a flag (it sets a state or marks a point).
enum class Kind : std::uint8_t { Destination, Symbol, Toggle, Value, Flag };

enum class Act : std::uint8_t {
    None,
    // destinations
    Skip,        // not document text
    Show,        // its text is the document's (fields' results...)
    FieldInst,   // a field's instruction
    FieldResult, // a field's result as last computed
    Drawing,     // a shape or drawing object: only its text box holds text
    BoxText,     // a text box's text
    FontTable,
    ColorTable,
    ListTable,
    List,
    ListLevel,
    LevelText,
    OverrideTable,
    Override,
    OverrideLevel,
    ListText, // a list item's marker as text, for readers without lists
    Pn,       // an old-style list definition
    PnTextBefore,
    PnTextAfter,
    Footnote,
    // document
    Ansi,
    Mac,
    Pc,
    Pca,
    AnsiCpg,
    Deff,
    // fonts and colours
    Font,
    Family,
    Charset,
    Cpg,
    Red,
    Green,
    Blue,
    // characters
    Plain,
    FontSize,
    Bold,
    Italic,
    Underline,
    UnderlineNone,
    Strike,
    Color,
    Highlight,
    Super,
    Sub,
    NoSuperSub,
    Up,
    Down,
    Uc,
    Unicode,
    // paragraphs
    Pard,
    Align,
    LeftIndent,
    RightIndent,
    FirstIndent,
    SpaceBefore,
    SpaceAfter,
    Par,
    Break, // page or section
    // lists
    Ls,
    Ilvl,
    ListId,
    LevelNfc,
    LevelStartAt,
    LevelLegal,
    PnLevel,
    PnStyle,
    PnStart,
    PnFont,
};

struct Word {
    Kind kind;
    Act act;
    int value = 0;             // Symbol: the character; Align, Family, PnStyle: which
    bool endsFallback = false; // ends a \uN fallback rather than counting in it
};

constexpr int PnBullet = -1, PnCont = -2; // PnLevel values besides outline levels

const Word *findWord(std::string_view w) {
    using K = Kind;
    static const std::unordered_map<std::string_view, Word> table = [] {
        std::unordered_map<std::string_view, Word> t = {
            // destinations read for what they hold
            {"fonttbl", {K::Destination, Act::FontTable}},
            {"colortbl", {K::Destination, Act::ColorTable}},
            {"listtable", {K::Destination, Act::ListTable}},
            {"list", {K::Destination, Act::List}},
            {"listlevel", {K::Destination, Act::ListLevel}},
            {"leveltext", {K::Destination, Act::LevelText}},
            {"listoverridetable", {K::Destination, Act::OverrideTable}},
            {"listoverride", {K::Destination, Act::Override}},
            {"lfolevel", {K::Destination, Act::OverrideLevel}},
            {"listtext", {K::Destination, Act::ListText}},
            {"pntext", {K::Destination, Act::ListText}},
            {"pn", {K::Destination, Act::Pn}},
            {"pntxtb", {K::Destination, Act::PnTextBefore}},
            {"pntxta", {K::Destination, Act::PnTextAfter}},
            {"footnote", {K::Destination, Act::Footnote}},
            {"field", {K::Destination, Act::Show}},
            {"fldrslt", {K::Destination, Act::FieldResult}},
            {"fldinst", {K::Destination, Act::FieldInst}},
            {"shptxt", {K::Destination, Act::BoxText}},
            {"dptxbxtext", {K::Destination, Act::BoxText}},
            {"shpinst", {K::Destination, Act::Drawing}},
            {"do", {K::Destination, Act::Drawing}},
            {"result", {K::Destination, Act::Show}},
            {"nonesttables", {K::Destination, Act::Show}},
            // document
            {"rtf", {K::Value, Act::None}},
            {"ansi", {K::Flag, Act::Ansi}},
            {"mac", {K::Flag, Act::Mac}},
            {"pc", {K::Flag, Act::Pc}},
            {"pca", {K::Flag, Act::Pca}},
            {"ansicpg", {K::Value, Act::AnsiCpg}},
            {"deff", {K::Value, Act::Deff}},
            // fonts and colours
            {"f", {K::Value, Act::Font}},
            {"fnil", {K::Flag, Act::Family, int(FontFamily::Nil)}},
            {"fbidi", {K::Flag, Act::Family, int(FontFamily::Nil)}},
            {"froman", {K::Flag, Act::Family, int(FontFamily::Roman)}},
            {"fswiss", {K::Flag, Act::Family, int(FontFamily::Swiss)}},
            {"fmodern", {K::Flag, Act::Family, int(FontFamily::Modern)}},
            {"fscript", {K::Flag, Act::Family, int(FontFamily::Script)}},
            {"fdecor", {K::Flag, Act::Family, int(FontFamily::Decor)}},
            {"ftech", {K::Flag, Act::Family, int(FontFamily::Tech)}},
            {"fcharset", {K::Value, Act::Charset}},
            {"cpg", {K::Value, Act::Cpg}},
            {"red", {K::Value, Act::Red}},
            {"green", {K::Value, Act::Green}},
            {"blue", {K::Value, Act::Blue}},
            // characters
            {"plain", {K::Flag, Act::Plain}},
            {"fs", {K::Value, Act::FontSize}},
            {"b", {K::Toggle, Act::Bold}},
            {"i", {K::Toggle, Act::Italic}},
            {"ulnone", {K::Flag, Act::UnderlineNone}},
            {"strike", {K::Toggle, Act::Strike}},
            {"striked", {K::Toggle, Act::Strike}},
            {"cf", {K::Value, Act::Color}},
            {"highlight", {K::Value, Act::Highlight}},
            {"cb", {K::Value, Act::Highlight}},
            {"chcbpat", {K::Value, Act::Highlight}},
            {"super", {K::Flag, Act::Super}},
            {"sub", {K::Flag, Act::Sub}},
            {"nosupersub", {K::Flag, Act::NoSuperSub}},
            {"up", {K::Value, Act::Up}},
            {"dn", {K::Value, Act::Down}},
            {"uc", {K::Value, Act::Uc}},
            {"u", {K::Value, Act::Unicode}},
            // paragraphs
            {"pard", {K::Flag, Act::Pard, 0, true}},
            {"ql", {K::Flag, Act::Align, int(rtf::Align::Left)}},
            {"qc", {K::Flag, Act::Align, int(rtf::Align::Center)}},
            {"qr", {K::Flag, Act::Align, int(rtf::Align::Right)}},
            {"qj", {K::Flag, Act::Align, int(rtf::Align::Justify)}},
            {"qd", {K::Flag, Act::Align, int(rtf::Align::Justify)}},
            {"li", {K::Value, Act::LeftIndent}},
            {"lin", {K::Value, Act::LeftIndent}},
            {"ri", {K::Value, Act::RightIndent}},
            {"rin", {K::Value, Act::RightIndent}},
            {"fi", {K::Value, Act::FirstIndent}},
            {"sb", {K::Value, Act::SpaceBefore}},
            {"sa", {K::Value, Act::SpaceAfter}},
            {"par", {K::Flag, Act::Par, 0, true}},
            {"row", {K::Flag, Act::Par, 0, true}},
            {"nestrow", {K::Flag, Act::Par, 0, true}},
            {"page", {K::Flag, Act::Break, 0, true}},
            {"sect", {K::Flag, Act::Break, 0, true}},
            // characters by name
            {"line", {K::Symbol, Act::None, 0x2028, true}},
            {"tab", {K::Symbol, Act::None, '\t'}},
            {"cell", {K::Symbol, Act::None, '\t', true}},
            {"nestcell", {K::Symbol, Act::None, '\t', true}},
            {"emdash", {K::Symbol, Act::None, 0x2014}},
            {"endash", {K::Symbol, Act::None, 0x2013}},
            {"bullet", {K::Symbol, Act::None, 0x2022}},
            {"lquote", {K::Symbol, Act::None, 0x2018}},
            {"rquote", {K::Symbol, Act::None, 0x2019}},
            {"ldblquote", {K::Symbol, Act::None, 0x201C}},
            {"rdblquote", {K::Symbol, Act::None, 0x201D}},
            {"emspace", {K::Symbol, Act::None, 0x2003}},
            {"enspace", {K::Symbol, Act::None, 0x2002}},
            {"qmspace", {K::Symbol, Act::None, 0x2005}},
            {"zwj", {K::Symbol, Act::None, 0x200D}},
            {"zwnj", {K::Symbol, Act::None, 0x200C}},
            {"ltrmark", {K::Symbol, Act::None, 0x200E}},
            {"rtlmark", {K::Symbol, Act::None, 0x200F}},
            // lists
            {"ls", {K::Value, Act::Ls}},
            {"ilvl", {K::Value, Act::Ilvl}},
            {"listid", {K::Value, Act::ListId}},
            {"levelnfc", {K::Value, Act::LevelNfc}},
            {"levelnfcn", {K::Value, Act::LevelNfc}},
            {"levelstartat", {K::Value, Act::LevelStartAt}},
            {"levellegal", {K::Toggle, Act::LevelLegal}},
            {"pnlvl", {K::Value, Act::PnLevel}},
            {"pnlvlbody", {K::Flag, Act::PnLevel, 10}},
            {"pnlvlblt", {K::Flag, Act::PnLevel, PnBullet}},
            {"pnlvlcont", {K::Flag, Act::PnLevel, PnCont}},
            {"pndec", {K::Flag, Act::PnStyle, int(ListStyle::Decimal)}},
            {"pncard", {K::Flag, Act::PnStyle, int(ListStyle::Decimal)}},
            {"pnord", {K::Flag, Act::PnStyle, int(ListStyle::Decimal)}},
            {"pnordt", {K::Flag, Act::PnStyle, int(ListStyle::Decimal)}},
            {"pnucltr", {K::Flag, Act::PnStyle, int(ListStyle::UpperAlpha)}},
            {"pnlcltr", {K::Flag, Act::PnStyle, int(ListStyle::LowerAlpha)}},
            {"pnucrm", {K::Flag, Act::PnStyle, int(ListStyle::UpperRoman)}},
            {"pnlcrm", {K::Flag, Act::PnStyle, int(ListStyle::LowerRoman)}},
            {"pnstart", {K::Value, Act::PnStart}},
            {"pnf", {K::Value, Act::PnFont}},
        };
        for (const char *u : {"ul", "uld", "uldash", "uldashd", "uldashdd", "uldb", "ulhwave",
                              "ulldash", "ulth", "ulthd", "ulthdash", "ulthdashd", "ulthdashdd",
                              "ulthldash", "ululdbwave", "ulw", "ulwave"})
            t.emplace(u, Word{K::Toggle, Act::Underline});
        // Destinations whose content is not document text.
        for (const char *d : {"annotation",
                              "atnauthor",
                              "atndate",
                              "atnid",
                              "atnparent",
                              "atnref",
                              "atntime",
                              "author",
                              "bkmkend",
                              "bkmkstart",
                              "blipuid",
                              "buptim",
                              "category",
                              "colorschememapping",
                              "comment",
                              "company",
                              "creatim",
                              "datafield",
                              "datastore",
                              "defchp",
                              "defpap",
                              "doccomm",
                              "docvar",
                              "falt",
                              "fchars",
                              "ffdeftext",
                              "ffentrymcr",
                              "ffexitmcr",
                              "ffformat",
                              "ffhelptext",
                              "ffl",
                              "ffname",
                              "ffstattext",
                              "field_inst",
                              "filetbl",
                              "fontemb",
                              "fontfile",
                              "footer",
                              "footerf",
                              "footerl",
                              "footerr",
                              "ftncn",
                              "ftnsep",
                              "ftnsepc",
                              "aftncn",
                              "aftnsep",
                              "aftnsepc",
                              "generator",
                              "header",
                              "headerf",
                              "headerl",
                              "headerr",
                              "hlinkbase",
                              "info",
                              "keywords",
                              "latentstyles",
                              "lchars",
                              "levelnumbers",
                              "listname",
                              "listpicture",
                              "manager",
                              "mmathPr",
                              "nesttableprops",
                              "nextfile",
                              "nonshppict",
                              "objalias",
                              "objclass",
                              "objdata",
                              "objname",
                              "objsect",
                              "objtime",
                              "oldcprops",
                              "oldpprops",
                              "oldsprops",
                              "oldtprops",
                              "operator",
                              "panose",
                              "pgdsctbl",
                              "pict",
                              "pnseclvl",
                              "printim",
                              "private",
                              "propname",
                              "protusertbl",
                              "revtbl",
                              "revtim",
                              "rsidtbl",
                              "shprslt",
                              "sp",
                              "stylesheet",
                              "subject",
                              "tc",
                              "template",
                              "themedata",
                              "title",
                              "txe",
                              "userprops",
                              "wgrffmtfilter",
                              "windowcaption",
                              "writereservation",
                              "writereservhash",
                              "xe",
                              "xmlnstbl",
                              "xmlopen"})
            t.emplace(d, Word{K::Destination, Act::Skip});
        return t;
    }();
    auto it = table.find(w);
    return it == table.end() ? nullptr : &it->second;
}

bool isSymbolFontName(const QString &name) {
    return name.compare(QLatin1String("Symbol"), Qt::CaseInsensitive) == 0 ||
           textcodec::symbolCodePage(name) != textcodec::CpSymbol;
}

int clampInt(long long v, int lo, int hi) {
    return int(std::clamp<long long>(v, lo, hi));
}

// ---------------------------------------------------------------- the state

enum class Dest : std::uint8_t {
    Text,
    Skip,
    FieldInst,
    Drawing,
    FontTable,
    ColorTable,
    ListTable,
    LevelText,
    OverrideTable,
    ListText,
    Pn,
    PnTextBefore,
    PnTextAfter
};

struct FontEntry {
    QString name;
    FontFamily family = FontFamily::Nil;
    int codePage = 0; // 0: the document's
};

// An old-style list definition (\pn), a paragraph property.
struct PnDef {
    int level = 0; // 0: none; PnBullet, PnCont, or an outline level
    ListStyle style = ListStyle::Decimal;
    int start = 1;
    QString before, after;
    bool operator==(const PnDef &) const = default;
};

struct ParaState {
    ParaFormat format;
    int ls = 0; // the list override a paragraph belongs to; 0: none
    int ilvl = 0;
    int pn = -1; // the old-style list definition, in pnDefs_; -1: none
};

struct State {
    CharFormat format;
    ParaState para;
    int fontIndex = -1;
    int codePage = 0; // of the current font; 0: the document's
    int uc = 1;
    Dest dest = Dest::Text;
};

// A list level of the list table. Its text is a template: the first
// character gives the length, characters 0 to 8 stand for the numbers of
// those levels. Bytes stay bytes until the level's font is known.
struct Level {
    bool given = false;      // read from the file (an override changes only these)
    bool startGiven = false; // an override's new start for the level
    bool legal = false;      // the other levels' numbers in Arabic figures
    ListStyle style = ListStyle::Decimal;
    int start = 1;
    int font = -1;
    std::vector<std::pair<bool, char16_t>> text; // (is a byte, value)
};

struct ListDef {
    std::vector<Level> levels;
};

class Reader {
public:
    Reader(const QByteArray &data, const std::function<void(Paragraph &&)> &sink,
           const std::function<bool(double)> &progress = {})
        : tokens_(std::string_view(data.constData(), size_t(data.size()))), sink_(sink),
          progress_(progress) {
        doc_.paragraphs.clear();
    }
    bool cancelled() const { return cancelled_; }
    Document run();

private:
    void flushPendingSpaces() {
        const std::string spaces(size_t(std::exchange(pendingSpaces_, 0)), ' ');
        addBytes(spaces.data(), spaces.size());
    }
    // --- tokens
    void text(std::string_view bytes);
    void word(std::string_view name, bool hasParam, long long param);
    void symbol(char c);
    bool destination(const Word &w);
    void openGroup();
    void closeGroup();
    bool swallowedByFallback(bool endsFallback);

    // --- text
    void addBytes(const char *b, size_t n);
    void addByte(char b) { addBytes(&b, 1); }
    void flushBytes();
    void addText(const QString &s);
    void addChar(char16_t c);
    void endRun();
    void endParagraph();
    void finishDocument();
    // Hands para_ over with the properties given; `inList`: it may be a list item.
    void emitParagraph(const ParaState &props, bool inList);

    // --- fields
    void symbolField();

    // --- tables
    void endFontEntry();
    void endColorEntry();
    void endLevel();
    ListItem listItem(const ParaState &para);

    int codePageOf(int font) const {
        auto it = fonts_.find(font);
        const int cp = it != fonts_.end() && it->codePage ? it->codePage : docCodePage_;
        return cp ? cp : 1252;
    }
    // A list marker's font: a symbol font by its name alone, whatever
    // charset the file gives it (writers give Symbol's bullet as Western).
    int markerCodePage(int font) const {
        auto it = fonts_.find(font);
        if (it != fonts_.end() && isSymbolFontName(it->name))
            return textcodec::symbolCodePage(it->name);
        return codePageOf(font);
    }
    int currentCodePage() const {
        const int cp = state_.codePage ? state_.codePage : docCodePage_;
        return cp ? cp : 1252;
    }
    void selectFont(int index);
    std::int32_t colorAt(long long index) const {
        if (index < 0 || index >= static_cast<long long>(colors_.size())) return NoColor;
        return colors_[size_t(index)];
    }

    Tokenizer tokens_;
    const std::function<void(Paragraph &&)> &sink_; // empty: paragraphs go to doc_
    const std::function<bool(double)> &progress_;   // told the share read; true: stop
    bool cancelled_ = false;
    bool done_ = false;
    size_t emitted_ = 0;
    State state_;
    std::vector<State> stack_;
    int docCodePage_ = 1252;
    int defaultFont_ = -1;
    int skipChars_ = 0;
    bool star_ = false;       // \* before this word
    bool groupStart_ = false; // the next control word opens this group
    int pendingSpaces_ = 0;   // spaces at a group's start, before its first word

    // fonts and colours
    QHash<int, FontEntry> fonts_;
    int fontNum_ = -1;
    FontEntry fontEntry_;
    std::string fontName_;
    std::vector<std::int32_t> colors_;
    int red_ = 0, green_ = 0, blue_ = 0;
    bool colorSet_ = false;

    // lists
    std::unordered_map<long long, ListDef> lists_; // by \listid
    ListDef list_;                                 // being read
    long long listId_ = 0;
    std::unordered_map<int, long long> overrides_; // \ls to \listid
    size_t listDepth_ = 0; // the stack's depth inside the list being read; 0: none
    long long overrideList_ = 0;
    int overrideLs_ = 0;
    int overrideLevel_ = 0;                       // levels overridden so far, 1-based
    std::unordered_map<int, ListDef> overridden_; // by \ls, where levels were overridden
    size_t overrideDepth_ = 0;
    PnDef pn_;                  // being read
    std::vector<PnDef> pnDefs_; // those read, each once in a row
    struct Sequence {
        int id;
        int count;
    };
    std::map<std::pair<int, int>, Sequence> sequences_; // by (\ls, level)
    int lastPn_ = -1;
    int pnId_ = 0;
    bool lastWasPnItem_ = false;
    int nextListId_ = 0;
    size_t markerFrom_ = 0, markerTo_ = 0; // the runs of \listtext in para_

    // fields
    QString fieldInst_;
    bool symbolResult_ = false; // the field's result is to be skipped

    // text
    std::string bytes_;    // undecoded text bytes
    std::string flushing_; // those being decoded
    int bytesCodePage_ = 1252;
    Document doc_;
    Paragraph para_;
    ParaState lastText_; // the paragraph properties where text was last added
    QString runText_;
    CharFormat runFormat_;
    bool lastWasPar_ = false;
    int footnotes_ = 0;
};

// ---------------------------------------------------------------- tokens

Document Reader::run() {
    unsigned steps = 0;
    while (!done_) {
        if (progress_ && (++steps & 0xFFF) == 0 && progress_(tokens_.position())) {
            cancelled_ = true;
            break;
        }
        const Token t = tokens_.next();
        if (pendingSpaces_ && t.kind != TokenKind::Word && t.kind != TokenKind::Text)
            flushPendingSpaces(); // not a destination: the spaces were text
        switch (t.kind) {
        case TokenKind::End:
            done_ = true;
            break;
        case TokenKind::GroupOpen:
            skipChars_ = 0;
            openGroup();
            break;
        case TokenKind::GroupClose:
            skipChars_ = 0;
            closeGroup();
            break;
        case TokenKind::Text:
            text(t.text);
            break;
        case TokenKind::Word:
            word(t.text, t.hasParam, t.param);
            break;
        case TokenKind::HexByte:
            groupStart_ = false;
            if (swallowedByFallback(false)) break;
            if (state_.dest == Dest::LevelText) {
                list_.levels.back().text.emplace_back(true, t.byte);
            } else {
                addByte(char(t.byte));
            }
            break;
        case TokenKind::Broken: // stands for nothing, but counts as a fallback character
            groupStart_ = false;
            swallowedByFallback(false);
            break;
        case TokenKind::Binary: // skipped whatever the destination
            groupStart_ = false;
            break;
        case TokenKind::Symbol:
            if (t.byte == '*') {
                star_ = true;
                break;
            }
            groupStart_ = false;
            if (swallowedByFallback(false)) break;
            symbol(char(t.byte));
            break;
        }
    }
    if (!cancelled_) finishDocument();
    return std::move(doc_);
}

// Counts a token against the \uN fallback; true when the token is swallowed.
// Braces end the fallback, and so do paragraph-level breaks, which no writer
// means as a fallback character.
bool Reader::swallowedByFallback(bool endsFallback) {
    if (skipChars_ <= 0) return false;
    if (endsFallback) {
        skipChars_ = 0;
        return false;
    }
    --skipChars_;
    return true;
}

void Reader::text(std::string_view bytes) {
    if (groupStart_ && state_.dest == Dest::Text &&
        std::all_of(bytes.begin(), bytes.end(), [](char b) { return b == ' '; })) {
        // Spaces may stand before a destination's keyword: hold them until
        // the group shows what it is.
        pendingSpaces_ += int(bytes.size());
        return;
    }
    if (pendingSpaces_) flushPendingSpaces();
    groupStart_ = false;
    const size_t skip = std::min(bytes.size(), size_t(std::max(0, skipChars_)));
    skipChars_ -= int(skip);
    bytes.remove_prefix(skip);
    switch (state_.dest) {
    case Dest::Skip:
    case Dest::Drawing:
    case Dest::OverrideTable:
    case Dest::ListTable:
    case Dest::Pn:
        return;
    case Dest::ColorTable:
        for (char c : bytes)
            if (c == ';') endColorEntry();
        return;
    case Dest::FontTable:
        for (char c : bytes) {
            if (c == ';') {
                endFontEntry();
            } else {
                addByte(c);
            }
        }
        return;
    case Dest::LevelText:
        for (char c : bytes)
            list_.levels.back().text.emplace_back(true, static_cast<unsigned char>(c));
        return;
    default:
        break;
    }
    size_t from = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\t') {
            addBytes(bytes.data() + from, i - from);
            addChar(u'\t');
            from = i + 1;
        }
    }
    addBytes(bytes.data() + from, bytes.size() - from);
}

void Reader::symbol(char c) {
    if (state_.dest == Dest::LevelText && c != ';') return;
    switch (c) {
    case '\\':
    case '{':
    case '}':
        addByte(c);
        return;
    case '~':
        addChar(0x00A0);
        return;
    case '-':
        addChar(0x00AD); // optional hyphen: shown only where a line breaks
        return;
    case '_':
        addChar(0x2011);
        return;
    case ';':
        if (state_.dest == Dest::ColorTable) {
            endColorEntry();
        } else if (state_.dest == Dest::FontTable) {
            endFontEntry();
        } else {
            addByte(';');
        }
        return;
    default:
        return; // \|, \:, and the rest
    }
}

void Reader::openGroup() {
    // (The bytes gathered stay: the group's state is the same until a word
    // changes it, and words flush them first.)
    if (stack_.size() >= size_t(MaxDepth)) {
        throw Exception(
            QStringLiteral("Le fichier RTF est illisible : ses groupes sont imbriqués sur "
                           "plus de %1 niveaux.")
                .arg(MaxDepth));
    }
    stack_.push_back(state_);
    groupStart_ = true;
    star_ = false;
}

void Reader::closeGroup() {
    // Text gathered goes on across groups that change nothing of it: a
    // million tiny groups cost no more than the text they hold.
    if (state_.dest != Dest::Text || stack_.empty() || stack_.back().dest != Dest::Text ||
        stack_.back().codePage != state_.codePage || !(stack_.back().format == state_.format))
        flushBytes();
    if (state_.dest == Dest::FontTable && fontNum_ >= 0 && !fontName_.empty())
        endFontEntry(); // an entry closed without its ';'
    if (stack_.empty()) {
        // A '}' with no group open: the structure has ended, and what follows
        // (mail signatures, junk) is not the document's.
        done_ = true;
        return;
    }
    const Dest inner = state_.dest;
    state_ = stack_.back();
    stack_.pop_back();
    // The brace that closes {\rtf1 ends the document: what rich-edit controls
    // and mailers put after it (a line end, a NUL, a signature) is not text.
    if (stack_.empty()) done_ = true;
    if (inner == Dest::FontTable && state_.dest != Dest::FontTable) {
        // The font table is complete: the default font applies from here on.
        if (state_.fontIndex < 0 && defaultFont_ >= 0) selectFont(defaultFont_);
    }
    if (listDepth_ && stack_.size() < listDepth_) {
        if (lists_.size() < 10000) lists_[listId_] = std::move(list_);
        list_ = ListDef{};
        listDepth_ = 0;
    }
    if (overrideDepth_ && stack_.size() < overrideDepth_) {
        if (overrideLs_ && overrides_.size() < 10000) {
            overrides_[overrideLs_] = overrideList_;
            // Levels the override defines replace the list's.
            if (std::any_of(list_.levels.begin(), list_.levels.end(),
                            [](const Level &l) { return l.given || l.startGiven; })) {
                auto base = lists_.find(overrideList_);
                ListDef merged = base != lists_.end() ? base->second : ListDef{};
                if (merged.levels.size() < list_.levels.size())
                    merged.levels.resize(list_.levels.size());
                for (size_t i = 0; i < list_.levels.size(); ++i) {
                    if (list_.levels[i].given) {
                        merged.levels[i] = list_.levels[i];
                    } else if (list_.levels[i].startGiven) {
                        merged.levels[i].start = list_.levels[i].start;
                    }
                }
                overridden_[overrideLs_] = std::move(merged);
            }
        }
        list_ = ListDef{};
        overrideDepth_ = 0;
    }
    if (inner == Dest::FieldInst && state_.dest == Dest::Text) symbolField();
    if (inner == Dest::Pn && state_.dest == Dest::Text) {
        // The definition is a property of the paragraph around it.
        if (pnDefs_.empty() || !(pnDefs_.back() == pn_)) pnDefs_.push_back(pn_);
        state_.para.pn = int(pnDefs_.size()) - 1;
    }
    if (inner == Dest::ListText && state_.dest != Dest::ListText) {
        endRun();
        markerTo_ = para_.runs.size();
    }
    groupStart_ = false;
    star_ = false;
}

// Only the first control word of a group starts a destination; a skipped
// destination's word later in a group skips the rest of it. True when the
// word has been dealt with.
bool Reader::destination(const Word &w) {
    const bool opens = groupStart_;
    if (w.act == Act::Skip) {
        state_.dest = Dest::Skip;
        return true;
    }
    if (!opens) return false;
    switch (w.act) {
    case Act::FontTable:
        state_.dest = Dest::FontTable;
        return true;
    case Act::ColorTable:
        state_.dest = Dest::ColorTable;
        return true;
    // The list tables' state is one for the document: they open only in its
    // text, a list only when none is being read, so that a level's state
    // stays while its words are read, whatever groups nest inside it. A table
    // or a list inside another is skipped whole.
    case Act::ListTable:
        state_.dest = state_.dest == Dest::Text ? Dest::ListTable : Dest::Skip;
        return true;
    case Act::List:
        if (state_.dest != Dest::ListTable) break;
        if (listDepth_ || overrideDepth_) {
            state_.dest = Dest::Skip;
            return true;
        }
        list_ = ListDef{};
        listId_ = 0;
        listDepth_ = stack_.size();
        return true;
    case Act::ListLevel:
        if (state_.dest == Dest::OverrideTable && overrideLevel_ > 0) {
            // An override's own definition of one level: read as the list
            // table's, into the override's levels.
            list_.levels.resize(size_t(overrideLevel_));
            list_.levels.back() = Level{};
            list_.levels.back().given = true;
            state_.dest = Dest::ListTable;
            return true;
        }
        if (state_.dest != Dest::ListTable) break;
        if (list_.levels.size() < 9) list_.levels.emplace_back();
        list_.levels.back().given = true;
        return true;
    case Act::LevelText:
        if (state_.dest != Dest::ListTable || list_.levels.empty()) break;
        list_.levels.back().text.clear();
        state_.dest = Dest::LevelText;
        return true;
    case Act::OverrideTable:
        state_.dest = state_.dest == Dest::Text ? Dest::OverrideTable : Dest::Skip;
        return true;
    case Act::Override:
        if (state_.dest != Dest::OverrideTable) break;
        if (overrideDepth_) {
            state_.dest = Dest::Skip;
            return true;
        }
        overrideList_ = 0;
        overrideLs_ = 0;
        overrideLevel_ = 0;
        list_ = ListDef{};
        overrideDepth_ = stack_.size();
        return true;
    case Act::OverrideLevel:
        if (state_.dest != Dest::OverrideTable || !overrideDepth_ || overrideLevel_ >= 9) break;
        ++overrideLevel_;
        return true;
    case Act::ListText:
        if (state_.dest != Dest::Text) break;
        endRun();
        markerFrom_ = markerTo_ = para_.runs.size();
        state_.dest = Dest::ListText;
        return true;
    case Act::Pn:
        if (state_.dest != Dest::Text && state_.dest != Dest::ListText) break;
        pn_ = PnDef{};
        state_.dest = Dest::Pn;
        return true;
    case Act::PnTextBefore:
    case Act::PnTextAfter:
        if (state_.dest != Dest::Pn) break;
        state_.dest = w.act == Act::PnTextBefore ? Dest::PnTextBefore : Dest::PnTextAfter;
        return true;
    case Act::Footnote:
        // A footnote's text is not the body's, but its number is: it stands
        // where the note is anchored, numbered in order.
        if (state_.dest == Dest::Text) addText(QString::number(++footnotes_));
        state_.dest = Dest::Skip;
        return true;
    case Act::Show:
        return state_.dest == Dest::Text;
    case Act::FieldInst:
        if (state_.dest != Dest::Text) break;
        fieldInst_.clear();
        symbolResult_ = false;
        state_.dest = Dest::FieldInst;
        return true;
    case Act::FieldResult:
        // A symbol field's character is already there.
        if (std::exchange(symbolResult_, false)) state_.dest = Dest::Skip;
        return state_.dest == Dest::Text || state_.dest == Dest::Skip;
    case Act::Drawing:
        // Shapes nest in groups and in fields' results; what they hold
        // besides a text box is not text. (What Word writes after a shape
        // for readers without shapes, \shprslt, is skipped: the shape is read.)
        if (state_.dest != Dest::Text && state_.dest != Dest::Drawing) break;
        state_.dest = Dest::Drawing;
        return true;
    case Act::BoxText:
        if (state_.dest == Dest::Drawing) state_.dest = Dest::Text;
        return state_.dest == Dest::Text;
    default:
        break;
    }
    return false;
}

void Reader::word(std::string_view name, bool hasParam, long long param) {
    const Word *w = findWord(name);
    const bool star = std::exchange(star_, false);
    if (skipChars_ > 0) {
        if (w && w->endsFallback) {
            skipChars_ = 0;
        } else {
            --skipChars_;
            groupStart_ = false;
            return;
        }
    }
    if (state_.dest == Dest::Skip) {
        groupStart_ = false;
        return;
    }
    const bool isDestination = w && w->kind == Kind::Destination;
    if (pendingSpaces_) {
        // Spaces before a destination's keyword are not text; before any
        // other word (or a field, whose result is text) they are.
        if ((isDestination && w->act != Act::Show) || (star && !w)) {
            pendingSpaces_ = 0;
        } else {
            flushPendingSpaces();
        }
    }
    if (!w || w->act != Act::Unicode) flushBytes();
    if (!w) {
        // An unknown destination marked \* is skipped whole.
        if (star && groupStart_) state_.dest = Dest::Skip;
        groupStart_ = false;
        return;
    }
    if (isDestination) {
        const bool handled = destination(*w);
        groupStart_ = false;
        if (handled) return;
        if (star) state_.dest = Dest::Skip;
        return;
    }
    groupStart_ = false;

    const bool on = !hasParam || param != 0;
    State &s = state_;
    CharFormat &f = s.format;
    ParaFormat &p = s.para.format;

    switch (s.dest) {
    case Dest::FontTable:
        switch (w->act) {
        case Act::Font:
            fontNum_ = clampInt(param, 0, 1 << 20);
            fontEntry_ = FontEntry{};
            fontName_.clear();
            return;
        case Act::Family:
            fontEntry_.family = FontFamily(w->value);
            return;
        case Act::Charset:
            if (!fontEntry_.codePage || fontEntry_.codePage == 1252)
                fontEntry_.codePage = textcodec::codePageOfCharset(clampInt(param, 0, 255));
            return;
        case Act::Cpg:
            fontEntry_.codePage = clampInt(param, 0, 65535);
            return;
        default:
            return;
        }
    case Dest::ColorTable: {
        const int v = clampInt(param, 0, 255);
        if (w->act == Act::Red) red_ = v;
        if (w->act == Act::Green) green_ = v;
        if (w->act == Act::Blue) blue_ = v;
        colorSet_ = colorSet_ || w->act == Act::Red || w->act == Act::Green || w->act == Act::Blue;
        return;
    }
    case Dest::ListTable:
        if (w->act == Act::ListId) listId_ = param;
        if (list_.levels.empty()) return;
        switch (w->act) {
        case Act::LevelNfc: {
            list_.levels.back().style = styleOfLevelNfc(clampInt(param, 0, 255));
            return;
        }
        case Act::LevelStartAt:
            list_.levels.back().start = clampInt(param, 0, MaxListStart);
            return;
        case Act::LevelLegal:
            list_.levels.back().legal = on;
            return;
        case Act::Font:
            list_.levels.back().font = clampInt(param, 0, 1 << 20);
            return;
        default:
            return;
        }
    case Dest::LevelText:
        if (w->act == Act::Unicode) {
            long long n = param < 0 ? param + 65536 : param;
            // Some writers give the length and the placeholders as \uN too.
            if (n >= 0 && n <= 0xFFFF) list_.levels.back().text.emplace_back(n < 0x20, char16_t(n));
            skipChars_ = s.uc;
        } else if (w->act == Act::Uc) {
            s.uc = clampInt(param, 0, 255);
        }
        return;
    case Dest::OverrideTable:
        if (w->act == Act::ListId) overrideList_ = param;
        if (w->act == Act::Ls) overrideLs_ = clampInt(param, 0, 1 << 20);
        if (w->act == Act::LevelStartAt && overrideLevel_ > 0) {
            if (list_.levels.size() < size_t(overrideLevel_))
                list_.levels.resize(size_t(overrideLevel_));
            Level &l = list_.levels[size_t(overrideLevel_ - 1)];
            l.start = clampInt(param, 0, MaxListStart);
            l.startGiven = true;
        }
        return;
    case Dest::Pn:
        switch (w->act) {
        case Act::PnLevel:
            pn_.level = w->value ? w->value : clampInt(param, 1, 9);
            if (pn_.level == PnBullet) pn_.style = ListStyle::Bullet;
            return;
        case Act::PnStyle:
            if (pn_.level != PnBullet) pn_.style = ListStyle(w->value);
            return;
        case Act::PnStart:
            pn_.start = clampInt(param, 0, MaxListStart);
            return;
        case Act::PnFont: {
            // The texts of the definition are in this font's code page.
            s.codePage = markerCodePage(clampInt(param, 0, 1 << 20));
            return;
        }
        default:
            return;
        }
    default:
        break;
    }

    switch (w->kind) {
    case Kind::Symbol:
        addChar(char16_t(w->value));
        return;
    default:
        break;
    }

    switch (w->act) {
    case Act::Ansi:
        docCodePage_ = 1252;
        return;
    case Act::Mac:
        docCodePage_ = 10000;
        return;
    case Act::Pc:
        docCodePage_ = 437;
        return;
    case Act::Pca:
        docCodePage_ = 850;
        return;
    case Act::AnsiCpg: {
        const int cp = clampInt(param, 0, 65535);
        if (cp) docCodePage_ = cp;
        return;
    }
    case Act::Deff:
        defaultFont_ = clampInt(param, 0, 1 << 20);
        return;
    case Act::Font:
        selectFont(clampInt(param, 0, 1 << 20));
        return;
    case Act::Plain:
        f = CharFormat{};
        if (defaultFont_ >= 0) {
            selectFont(defaultFont_);
        } else {
            s.codePage = 0;
        }
        return;
    case Act::FontSize:
        f.halfPoints = hasParam && param > 0 ? clampInt(param, 2, 3276) : 24;
        return;
    case Act::Bold:
        f.bold = on;
        return;
    case Act::Italic:
        f.italic = on;
        return;
    case Act::Underline:
        f.underline = on;
        return;
    case Act::UnderlineNone:
        f.underline = false;
        return;
    case Act::Strike:
        f.strike = on;
        return;
    case Act::Color:
        f.color = colorAt(hasParam ? param : 0);
        return;
    case Act::Highlight:
        f.highlight = hasParam && param > 0 ? colorAt(param) : NoColor;
        return;
    case Act::Super:
        f.valign = VAlign::Super;
        return;
    case Act::Sub:
        f.valign = VAlign::Sub;
        return;
    case Act::NoSuperSub:
        f.valign = VAlign::Normal;
        return;
    case Act::Up:
        f.valign = (!hasParam || param > 0) ? VAlign::Super : VAlign::Normal;
        return;
    case Act::Down:
        f.valign = (!hasParam || param > 0) ? VAlign::Sub : VAlign::Normal;
        return;
    case Act::Uc:
        s.uc = clampInt(param, 0, 255);
        return;
    case Act::Unicode: {
        flushBytes();
        long long n = param;
        if (n < 0) n += 65536;
        if (!hasParam || n < 0 || n > 0xFFFF) n = 0xFFFD;
        // Word writes a symbol font's characters as U+F020..U+F0FF: they are
        // the font's bytes.
        if (n >= 0xF020 && n <= 0xF0FF && textcodec::isSymbolCodePage(currentCodePage()))
            n = textcodec::symbolChar(currentCodePage(), static_cast<unsigned char>(n - 0xF000));
        addText(QString(QChar(char16_t(n))));
        skipChars_ = s.uc;
        return;
    }
    case Act::Pard:
        s.para = ParaState{};
        return;
    case Act::Align:
        p.align = rtf::Align(w->value);
        return;
    case Act::LeftIndent:
        p.leftIndent = clampInt(param, -31680, 31680);
        return;
    case Act::RightIndent:
        p.rightIndent = clampInt(param, -31680, 31680);
        return;
    case Act::FirstIndent:
        p.firstIndent = clampInt(param, -31680, 31680);
        return;
    case Act::SpaceBefore:
        p.spaceBefore = clampInt(param, 0, 31680);
        return;
    case Act::SpaceAfter:
        p.spaceAfter = clampInt(param, 0, 31680);
        return;
    case Act::Par:
        endParagraph();
        return;
    case Act::Break:
        // A page or section break ends the paragraph it falls in; at the start
        // of a paragraph it makes none of its own.
        if (!runText_.isEmpty() || !para_.runs.empty()) endParagraph();
        return;
    case Act::Ls:
        s.para.ls = clampInt(param, 0, 1 << 20);
        return;
    case Act::Ilvl:
        s.para.ilvl = clampInt(param, 0, 8);
        return;
    default:
        return;
    }
}

// ---------------------------------------------------------------- text

void Reader::addBytes(const char *b, size_t n) {
    if (n == 0) return;
    const int cp = currentCodePage();
    if (!bytes_.empty() && cp != bytesCodePage_) flushBytes();
    bytesCodePage_ = cp;
    bytes_.append(b, n);
}

void Reader::flushBytes() {
    if (bytes_.empty()) return;
    // The bytes change places with an empty buffer (both keep their room):
    // adding the text may flush again, and finds nothing.
    std::swap(bytes_, flushing_);
    if (state_.dest == Dest::FontTable) {
        fontName_ += flushing_;
    } else {
        addText(textcodec::decode(bytesCodePage_, flushing_));
    }
    flushing_.clear();
}

void Reader::addText(const QString &s) {
    if (s.isEmpty()) return;
    switch (state_.dest) {
    case Dest::FontTable:
        fontName_ += s.toStdString();
        return;
    case Dest::FieldInst:
        if (fieldInst_.size() < 1000) fieldInst_ += s;
        return;
    case Dest::PnTextBefore:
        pn_.before += s;
        return;
    case Dest::PnTextAfter:
        pn_.after += s;
        return;
    case Dest::Text:
    case Dest::ListText:
        break;
    default:
        return;
    }
    if (runText_.isEmpty()) {
        runFormat_ = state_.format;
    } else if (!(runFormat_ == state_.format)) {
        endRun();
        runFormat_ = state_.format;
    }
    runText_ += s;
    lastText_ = state_.para; // a last paragraph without \par keeps these
    lastWasPar_ = false;
}

void Reader::addChar(char16_t c) {
    flushBytes();
    addText(QString(QChar(c)));
}

void Reader::endRun() {
    flushBytes();
    if (runText_.isEmpty()) return;
    para_.runs.push_back(Run{runFormat_, std::move(runText_)});
    runText_.clear();
}

void Reader::endParagraph() {
    flushBytes();
    if (state_.dest != Dest::Text) return;
    endRun();
    emitParagraph(state_.para, true);
    para_ = Paragraph{};
    lastWasPar_ = true;
}

void Reader::finishDocument() {
    endRun();
    // The paragraph after the last \par exists only if it holds something: a
    // file ending in \par (as word processors write) has no empty line after.
    if (!para_.runs.empty() || !lastWasPar_ || emitted_ == 0)
        emitParagraph(lastText_, !para_.runs.empty());
}

void Reader::emitParagraph(const ParaState &props, bool inList) {
    Paragraph p = std::move(para_);
    p.format = props.format;
    p.list = inList ? listItem(props) : ListItem{};
    // A list item's marker comes from its list; the text written for readers
    // without lists would show it twice.
    if (p.list.id && markerTo_ > markerFrom_ && markerTo_ <= p.runs.size())
        p.runs.erase(p.runs.begin() + std::ptrdiff_t(markerFrom_),
                     p.runs.begin() + std::ptrdiff_t(markerTo_));
    markerFrom_ = markerTo_ = 0;
    // Lone surrogate halves and non-characters (\u-1, \u65535) become U+FFFD;
    // an object's U+FFFC has no place in a document.
    clean(p);
    ++emitted_;
    if (sink_) {
        sink_(std::move(p));
    } else {
        doc_.paragraphs.push_back(std::move(p));
    }
}

void Reader::selectFont(int index) {
    state_.fontIndex = index;
    auto it = fonts_.find(index);
    if (it == fonts_.end()) {
        state_.codePage = 0;
        return;
    }
    state_.format.font = it->name;
    state_.format.family = it->family;
    state_.codePage = it->codePage;
}

// ---------------------------------------------------------------- fields

// SYMBOL n [\f "font"] [\u] [\a] [\h] [\s size]: the character n of the
// font (a symbol font's as word processors show it), or of Unicode with \u.
// It stands where the field is; the result the file holds is the same
// character in the font's own bytes, and is skipped.
void Reader::symbolField() {
    static const QRegularExpression symbol(
        QStringLiteral("^\\s*SYMBOL\\s+(0[xX][0-9A-Fa-f]+|\\d+)(.*)$"),
        QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch m = symbol.match(fieldInst_);
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
    symbolResult_ = true;
}

// ---------------------------------------------------------------- tables

void Reader::endFontEntry() {
    flushBytes();
    if (fontNum_ >= 0) {
        const int cp = fontEntry_.codePage ? fontEntry_.codePage : docCodePage_;
        QString name =
            textcodec::decode(textcodec::isSymbolCodePage(cp) ? 1252 : cp, fontName_).trimmed();
        // Symbol, Wingdings and the other picture fonts each draw their
        // bytes differently.
        // A symbol font named without a charset is one all the same.
        if (fontEntry_.codePage == textcodec::CpSymbol ||
            (!fontEntry_.codePage && isSymbolFontName(name)))
            fontEntry_.codePage = textcodec::symbolCodePage(name);
        fontEntry_.name = name;
        fonts_.insert(fontNum_, fontEntry_);
    }
    fontName_.clear();
    fontNum_ = -1;
}

void Reader::endColorEntry() {
    const std::int32_t color = colorSet_ ? (red_ << 16) | (green_ << 8) | blue_ : NoColor;
    if (colors_.size() < 100000) colors_.push_back(color);
    red_ = green_ = blue_ = 0;
    colorSet_ = false;
}

// A paragraph's list item, numbered in its list. A definition that cannot be
// found, or that shows nothing, makes no list item: the text written for
// readers without lists then stays.
ListItem Reader::listItem(const ParaState &para) {
    ListItem item;
    if (para.pn >= 0 && pnDefs_[size_t(para.pn)].level != 0 &&
        pnDefs_[size_t(para.pn)].level != PnCont) {
        const PnDef &d = pnDefs_[size_t(para.pn)];
        if (d.style == ListStyle::Bullet && d.before.trimmed().isEmpty()) return item;
        if (!lastWasPnItem_ || !(d == pnDefs_[size_t(lastPn_)])) {
            pnId_ = ++nextListId_;
            sequences_[{-1, 0}] = Sequence{pnId_, 0};
        }
        Sequence &seq = sequences_[{-1, 0}];
        lastPn_ = para.pn;
        lastWasPnItem_ = true;
        item.id = seq.id;
        item.style = d.style;
        item.prefix = d.before;
        item.suffix = d.after;
        item.start = d.start;
        item.number = d.start + seq.count++;
        return item;
    }
    lastWasPnItem_ = false;
    if (para.ls <= 0) return item;
    const ListDef *def0 = nullptr;
    if (auto v = overridden_.find(para.ls); v != overridden_.end()) {
        def0 = &v->second;
    } else if (auto o = overrides_.find(para.ls); o != overrides_.end()) {
        if (auto l = lists_.find(o->second); l != lists_.end()) def0 = &l->second;
    }
    if (!def0 || def0->levels.empty()) return item;
    const std::vector<Level> &levels = def0->levels;
    const int level = std::min(para.ilvl, int(levels.size()) - 1);
    const Level &def = levels[size_t(level)];

    // This item's number; deeper levels start again after it.
    auto seq = sequences_.find({para.ls, level});
    if (seq == sequences_.end())
        seq = sequences_.emplace(std::pair{para.ls, level}, Sequence{++nextListId_, 0}).first;
    const int number = def.start + seq->second.count++;
    sequences_.erase(sequences_.upper_bound({para.ls, level}),
                     sequences_.lower_bound({para.ls + 1, 0}));
    // Another level's number as it stands, in that level's style (in figures
    // for a legal level).
    const auto numberOf = [&](int lv) {
        auto it = sequences_.find({para.ls, lv});
        const Level *other = lv < int(levels.size()) ? &levels[size_t(lv)] : nullptr;
        const int start = other ? other->start : 1;
        const int n = it == sequences_.end() ? start : start + std::max(0, it->second.count - 1);
        ListStyle style = other && !def.legal ? other->style : ListStyle::Decimal;
        if (style == ListStyle::Bullet || style == ListStyle::None) style = ListStyle::Decimal;
        return markerText(style, {}, {}, n);
    };

    // The template: before this level's number, the number, after it. Other
    // levels' numbers are written out as they stand now.
    const int cp = def.font >= 0 ? markerCodePage(def.font) : docCodePage_;
    QString before, after;
    bool seen = false;
    std::string pending;
    const auto flush = [&] {
        if (pending.empty()) return;
        (seen ? after : before) += textcodec::decode(cp, pending);
        pending.clear();
    };
    const size_t length = def.text.empty() ? 0 : def.text.front().second;
    for (size_t i = 1; i <= length && i < def.text.size(); ++i) {
        const auto [isByte, v] = def.text[i];
        if (isByte && v < 9) {
            flush();
            if (int(v) == level && def.style != ListStyle::Bullet && def.style != ListStyle::None) {
                seen = true;
            } else if (int(v) < level) {
                (seen ? after : before) += numberOf(v);
            }
        } else if (isByte) {
            pending += char(v);
        } else {
            flush();
            char16_t c = v;
            // Private-use characters of a symbol font are its bytes; without
            // one, Symbol's are meant (Word's bullet U+F0B7).
            if (c >= 0xF020 && c <= 0xF0FF)
                c = textcodec::symbolChar(textcodec::isSymbolCodePage(cp) ? cp
                                                                          : textcodec::CpSymbol,
                                          static_cast<unsigned char>(c - 0xF000));
            (seen ? after : before) += QChar(c);
        }
    }
    flush();
    if (!seen && before.trimmed().isEmpty()) return item;
    item.id = seq->second.id;
    item.level = level;
    item.style = seen ? def.style : ListStyle::Bullet;
    item.prefix = before;
    item.suffix = after;
    item.start = def.start;
    item.number = seen ? number : 1;
    return item;
}

} // namespace

Document read(const QByteArray &data) {
    const std::function<void(Paragraph &&)> none;
    return Reader(data, none).run();
}

void read(const QByteArray &data, const std::function<void(Paragraph &&)> &paragraph) {
    Reader(data, paragraph).run();
}

bool read(const QByteArray &data, const std::function<void(Paragraph &&)> &paragraph,
          const std::function<bool(double)> &progress) {
    Reader reader(data, paragraph, progress);
    reader.run();
    return !reader.cancelled();
}

} // namespace rtf
