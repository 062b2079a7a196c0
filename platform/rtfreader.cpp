// The RTF reader: a tokenizer over an explicit group stack, so input nesting
// never becomes recursion. Text bytes are gathered and decoded together in the
// code page of the current font.
#include "platform/rtf.h"

#include "platform/sysutils.h"
#include "platform/textcodec.h"

#include <QHash>
#include <algorithm>
#include <cstring>
#include <functional>
#include <string>

namespace rtf {

bool looksLikeRtf(const QByteArray &data) {
    return data.startsWith("{\\rtf");
}

QString Document::plainText() const {
    QString out;
    for (size_t i = 0; i < paragraphs.size(); ++i) {
        if (i) out += QLatin1Char('\n');
        for (const Run &r : paragraphs[i].runs)
            out += r.text;
    }
    return out;
}

namespace {

enum class Dest : std::uint8_t { Text, Skip, FontTable, ColorTable };

struct FontEntry {
    QString name;
    FontFamily family = FontFamily::Nil;
    int codePage = 0; // 0: the document's
};

struct State {
    CharFormat format;
    ParaFormat para;
    int fontIndex = -1;
    int codePage = 0; // of the current font; 0: the document's
    int uc = 1;
    Dest dest = Dest::Text;
};

// Control words that start a destination whose content is not document text.
bool isSkippedDestination(std::string_view w) {
    static const char *const names[] = {"annotation",
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
                                        "do",
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
                                        "fldinst",
                                        "fontemb",
                                        "fontfile",
                                        "footer",
                                        "footerf",
                                        "footerl",
                                        "footerr",
                                        "footnote",
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
                                        "listoverridetable",
                                        "listpicture",
                                        "listtable",
                                        "manager",
                                        "mmathPr",
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
                                        "pn",
                                        "pnseclvl",
                                        "pntxta",
                                        "pntxtb",
                                        "printim",
                                        "private",
                                        "propname",
                                        "protusertbl",
                                        "revtbl",
                                        "revtim",
                                        "rsidtbl",
                                        "shpinst",
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
                                        "xmlopen"};
    static const QHash<QByteArray, bool> set = [] {
        QHash<QByteArray, bool> s;
        for (const char *n : names)
            s.insert(QByteArray(n), true);
        return s;
    }();
    return set.contains(QByteArray::fromRawData(w.data(), qsizetype(w.size())));
}

class Reader {
public:
    Reader(const QByteArray &data, const std::function<void(Paragraph &&)> &sink,
           const std::function<bool(double)> &progress = {})
        : p_(data.constData()), end_(data.constData() + data.size()), sink_(sink),
          progress_(progress), begin_(data.constData()) {
        doc_.paragraphs.clear();
    }
    bool cancelled() const { return cancelled_; }

    Document run();

private:
    // --- text
    void addBytes(const char *b, size_t n);
    void addByte(char b) { addBytes(&b, 1); }
    void flushBytes();
    void addText(const QString &s);
    void addChar(char16_t c);
    void endParagraph();
    void finishDocument();
    void emitParagraph(Paragraph &&p);

    // --- tokens
    void controlWord(std::string_view word, bool hasParam, long long param);
    void controlSymbol(char c);
    void openGroup();
    void closeGroup();
    bool consumeSkip(bool structural);

    int currentCodePage() const {
        const int cp = state_.codePage ? state_.codePage : docCodePage_;
        return cp ? cp : 1252;
    }
    void selectFont(int index);
    std::int32_t colorAt(long long index) const {
        if (index < 0 || index >= static_cast<long long>(colors_.size())) return NoColor;
        return colors_[size_t(index)];
    }

    const char *p_;
    const char *end_;
    const std::function<void(Paragraph &&)> &sink_; // empty: paragraphs go to doc_
    const std::function<bool(double)> &progress_;   // told the share read; true: stop
    const char *begin_;
    bool cancelled_ = false;
    size_t emitted_ = 0;
    State state_;
    std::vector<State> stack_;
    int docCodePage_ = 1252;
    int defaultFont_ = -1;
    QHash<int, FontEntry> fonts_;
    std::vector<std::int32_t> colors_;
    int skipChars_ = 0;
    bool pendingStarDest_ = false;
    bool groupStart_ = false; // the next control word opens this group

    // font table entry being read
    int fontNum_ = -1;
    FontEntry fontEntry_;
    std::string fontName_;
    // colour table entry being read
    int red_ = 0, green_ = 0, blue_ = 0;
    bool colorSet_ = false;

    std::string bytes_; // undecoded text bytes
    int bytesCodePage_ = 1252;
    Document doc_;
    Paragraph para_;
    QString runText_;
    CharFormat runFormat_;
    bool lastWasPar_ = false;
    int footnotes_ = 0;
    bool done_ = false;
    int pendingSpaces_ = 0;

    void flushPendingSpaces() {
        const std::string spaces(size_t(pendingSpaces_), ' ');
        pendingSpaces_ = 0;
        groupStart_ = false;
        addBytes(spaces.data(), spaces.size());
    }
};

void Reader::addBytes(const char *b, size_t n) {
    const int cp = currentCodePage();
    if (!bytes_.empty() && cp != bytesCodePage_) flushBytes();
    bytesCodePage_ = cp;
    bytes_.append(b, n);
}

void Reader::flushBytes() {
    if (bytes_.empty()) return;
    const std::string bytes = std::move(bytes_);
    bytes_.clear();
    if (state_.dest == Dest::FontTable) {
        fontName_ += bytes;
        return;
    }
    addText(textcodec::decode(bytesCodePage_, bytes));
}

void Reader::addText(const QString &s) {
    if (s.isEmpty()) return;
    if (state_.dest == Dest::FontTable) {
        fontName_ += s.toStdString();
        return;
    }
    if (state_.dest != Dest::Text) return;
    if (runText_.isEmpty()) {
        runFormat_ = state_.format;
    } else if (!(runFormat_ == state_.format)) {
        para_.runs.push_back(Run{runFormat_, std::move(runText_)});
        runText_.clear();
        runFormat_ = state_.format;
    }
    runText_ += s;
    para_.format = state_.para; // a last paragraph without \par keeps these
    lastWasPar_ = false;
}

void Reader::addChar(char16_t c) {
    flushBytes();
    addText(QString(QChar(c)));
}

void Reader::endParagraph() {
    flushBytes();
    if (state_.dest != Dest::Text) return;
    if (!runText_.isEmpty()) {
        para_.runs.push_back(Run{runFormat_, std::move(runText_)});
        runText_.clear();
    }
    para_.format = state_.para;
    emitParagraph(std::move(para_));
    para_ = Paragraph{};
    lastWasPar_ = true;
}

void Reader::finishDocument() {
    flushBytes();
    if (!runText_.isEmpty()) para_.runs.push_back(Run{runFormat_, std::move(runText_)});
    // The paragraph after the last \par exists only if it holds something: a
    // file ending in \par (as word processors write) has no empty line after.
    if (!para_.runs.empty() || !lastWasPar_ || emitted_ == 0) emitParagraph(std::move(para_));
}

void Reader::emitParagraph(Paragraph &&p) {
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

void Reader::openGroup() {
    flushBytes();
    if (stack_.size() >= size_t(MaxDepth)) {
        throw Exception(
            QStringLiteral("Le fichier RTF est illisible : ses groupes sont imbriqués sur "
                           "plus de %1 niveaux.")
                .arg(MaxDepth));
    }
    stack_.push_back(state_);
    groupStart_ = true;
    pendingStarDest_ = false;
}

void Reader::closeGroup() {
    flushBytes();
    if (state_.dest == Dest::FontTable && fontNum_ >= 0 && !fontName_.empty()) {
        // An entry closed without its ';'.
        controlSymbol(';');
    }
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
        if (state_.fontIndex < 0 && defaultFont_ >= 0) {
            selectFont(defaultFont_);
        }
    }
    groupStart_ = false;
    pendingStarDest_ = false;
}

// Counts a token against the \uN fallback; true when the token is swallowed.
// Braces end the fallback, and so do paragraph-level breaks, which no writer
// means as a fallback character.
bool Reader::consumeSkip(bool structural) {
    if (skipChars_ <= 0) return false;
    if (structural) {
        skipChars_ = 0;
        return false;
    }
    --skipChars_;
    return true;
}

Document Reader::run() {
    unsigned steps = 0;
    while (p_ < end_ && !done_) {
        if (progress_ && (++steps & 0xFFFF) == 0 &&
            progress_(double(p_ - begin_) / double(end_ - begin_))) {
            cancelled_ = done_ = true;
            break;
        }
        const char c = *p_;
        if (pendingSpaces_ && c != '\\' && c != '\r' && c != '\n' && !(groupStart_ && c == ' '))
            flushPendingSpaces();
        if (c == '{') {
            ++p_;
            skipChars_ = 0;
            openGroup();
            continue;
        }
        if (c == '}') {
            ++p_;
            skipChars_ = 0;
            closeGroup();
            continue;
        }
        if (c == '\r' || c == '\n' || c == '\0') {
            // Line ends are the file's layout; NUL bytes carry no text.
            ++p_;
            continue;
        }
        if (c != '\\') {
            // A run of plain bytes up to the next special character.
            const char *start = p_;
            while (p_ < end_ && *p_ != '\\' && *p_ != '{' && *p_ != '}' && *p_ != '\r' &&
                   *p_ != '\n' && *p_ != '\0')
                ++p_;
            const char *s = start;
            if (groupStart_ && state_.dest == Dest::Text &&
                std::all_of(start, p_, [](char b) { return b == ' '; })) {
                // Spaces may stand before a destination's keyword: hold them
                // until the group shows what it is.
                pendingSpaces_ += int(p_ - start);
                continue;
            }
            while (skipChars_ > 0 && s < p_) {
                --skipChars_;
                ++s;
            }
            groupStart_ = false;
            if (state_.dest == Dest::Skip) continue;
            if (state_.dest == Dest::ColorTable || state_.dest == Dest::FontTable) {
                for (const char *q = s; q < p_; ++q) {
                    if (*q == ';') {
                        controlSymbol(';');
                    } else if (state_.dest == Dest::FontTable) {
                        addByte(*q);
                    }
                }
                continue;
            }
            for (const char *q = s; q < p_; ++q) {
                if (*q == '\t') {
                    if (q > s) addBytes(s, size_t(q - s));
                    addChar(u'\t');
                    s = q + 1;
                }
            }
            if (p_ > s) addBytes(s, size_t(p_ - s));
            continue;
        }
        // A backslash: control word, control symbol or \'hh.
        ++p_;
        if (p_ >= end_) break;
        const char d = *p_;
        if ((d >= 'a' && d <= 'z') || (d >= 'A' && d <= 'Z')) {
            const char *w = p_;
            while (p_ < end_ && ((*p_ >= 'a' && *p_ <= 'z') || (*p_ >= 'A' && *p_ <= 'Z')))
                ++p_;
            std::string_view word(w, size_t(p_ - w));
            bool hasParam = false;
            bool negative = false;
            long long param = 0;
            if (p_ < end_ && *p_ == '-' && p_ + 1 < end_ && p_[1] >= '0' && p_[1] <= '9') {
                negative = true;
                ++p_;
            }
            int digits = 0;
            while (p_ < end_ && *p_ >= '0' && *p_ <= '9') {
                if (digits < 12) param = param * 10 + (*p_ - '0');
                ++digits;
                ++p_;
                hasParam = true;
            }
            if (negative) param = -param;
            param = std::clamp<long long>(param, -2147483647LL, 2147483647LL);
            if (p_ < end_ && *p_ == ' ') ++p_;
            if (word.size() > 32) word = word.substr(0, 32);
            if (word == "bin") {
                // Binary data: skipped whatever the destination.
                const long long n = std::clamp<long long>(hasParam ? param : 0, 0, end_ - p_);
                p_ += n;
                groupStart_ = false;
                continue;
            }
            const bool structural = word == "par" || word == "pard" || word == "sect" ||
                                    word == "page" || word == "cell" || word == "row" ||
                                    word == "line" || word == "nestcell" || word == "nestrow";
            if (consumeSkip(structural)) {
                groupStart_ = false;
                continue;
            }
            controlWord(word, hasParam, param);
            groupStart_ = false;
            continue;
        }
        if (pendingSpaces_) flushPendingSpaces();
        if (d == '\'') {
            ++p_;
            int value = 0, n = 0;
            while (n < 2 && p_ < end_ && std::isxdigit(static_cast<unsigned char>(*p_))) {
                const char h = *p_++;
                value = value * 16 + (h <= '9' ? h - '0' : (h | 0x20) - 'a' + 10);
                ++n;
            }
            groupStart_ = false;
            if (consumeSkip(false)) continue;
            if (n < 2) continue; // a broken escape stands for nothing
            if (state_.dest == Dest::Text || state_.dest == Dest::FontTable) addByte(char(value));
            continue;
        }
        ++p_;
        if (d == '\r' || d == '\n') { // "\" before a line end is \par
            if (consumeSkip(true)) continue;
            controlWord("par", false, 0);
            continue;
        }
        if (d == '*') {
            pendingStarDest_ = true;
            continue;
        }
        if (consumeSkip(false)) continue;
        controlSymbol(d);
        groupStart_ = false;
    }
    finishDocument();
    return std::move(doc_);
}

void Reader::controlSymbol(char c) {
    switch (c) {
    case '\\':
    case '{':
    case '}':
        if (state_.dest == Dest::Text || state_.dest == Dest::FontTable) addByte(c);
        return;
    case '~':
        addChar(0x00A0);
        return;
    case '-':
        addChar(0x00AD);
        return; // optional hyphen: shown only where a line breaks
    case '_':
        addChar(0x2011);
        return;
    case ';':
        if (state_.dest == Dest::ColorTable) {
            const std::int32_t color = colorSet_ ? (red_ << 16) | (green_ << 8) | blue_ : NoColor;
            if (colors_.size() < 100000) colors_.push_back(color);
            red_ = green_ = blue_ = 0;
            colorSet_ = false;
        } else if (state_.dest == Dest::FontTable) {
            flushBytes();
            if (fontNum_ >= 0) {
                const int cp = fontEntry_.codePage ? fontEntry_.codePage : docCodePage_;
                QString name =
                    textcodec::decode(textcodec::isSymbolCodePage(cp) ? 1252 : cp, fontName_)
                        .trimmed();
                // Symbol, Wingdings and the other picture fonts each draw
                // their bytes differently.
                if (fontEntry_.codePage == textcodec::CpSymbol)
                    fontEntry_.codePage = textcodec::symbolCodePage(name);
                fontEntry_.name = name;
                fonts_.insert(fontNum_, fontEntry_);
            }
            fontName_.clear();
            fontNum_ = -1;
        } else {
            addByte(';');
        }
        return;
    default:
        return; // \|, \:, and the rest
    }
}

namespace {
enum class Cmd {
    Unknown,
    Rtf,
    Ansi,
    Mac,
    Pc,
    Pca,
    AnsiCpg,
    Deff,
    FontTbl,
    ColorTbl,
    F,
    FRoman,
    FSwiss,
    FModern,
    FScript,
    FDecor,
    FTech,
    FNil,
    FCharset,
    Cpg,
    Red,
    Green,
    Blue,
    Plain,
    Fs,
    B,
    I,
    Ul,
    UlNone,
    Strike,
    Cf,
    Highlight,
    Cb,
    Super,
    Sub,
    NoSuperSub,
    Up,
    Dn,
    Pard,
    Ql,
    Qc,
    Qr,
    Qj,
    Li,
    Ri,
    Fi,
    Sb,
    Sa,
    Par,
    Line,
    Tab,
    Page,
    Sect,
    Cell,
    Row,
    Uc,
    U,
    Emdash,
    Endash,
    Bullet,
    Lquote,
    Rquote,
    Ldblquote,
    Rdblquote,
    Emspace,
    Enspace,
    Qmspace,
    Zwj,
    Zwnj,
    Ltrmark,
    Rtlmark,
    Fldrslt,
    ShowDest,
    Skip
};

Cmd lookup(std::string_view w) {
    static const std::unordered_map<std::string_view, Cmd> table = {
        {"rtf", Cmd::Rtf},
        {"ansi", Cmd::Ansi},
        {"mac", Cmd::Mac},
        {"pc", Cmd::Pc},
        {"pca", Cmd::Pca},
        {"ansicpg", Cmd::AnsiCpg},
        {"deff", Cmd::Deff},
        {"fonttbl", Cmd::FontTbl},
        {"colortbl", Cmd::ColorTbl},
        {"f", Cmd::F},
        {"froman", Cmd::FRoman},
        {"fswiss", Cmd::FSwiss},
        {"fmodern", Cmd::FModern},
        {"fscript", Cmd::FScript},
        {"fdecor", Cmd::FDecor},
        {"ftech", Cmd::FTech},
        {"fbidi", Cmd::FNil},
        {"fnil", Cmd::FNil},
        {"fcharset", Cmd::FCharset},
        {"cpg", Cmd::Cpg},
        {"red", Cmd::Red},
        {"green", Cmd::Green},
        {"blue", Cmd::Blue},
        {"plain", Cmd::Plain},
        {"fs", Cmd::Fs},
        {"b", Cmd::B},
        {"i", Cmd::I},
        {"ul", Cmd::Ul},
        {"uld", Cmd::Ul},
        {"uldash", Cmd::Ul},
        {"uldashd", Cmd::Ul},
        {"uldashdd", Cmd::Ul},
        {"uldb", Cmd::Ul},
        {"ulhwave", Cmd::Ul},
        {"ulldash", Cmd::Ul},
        {"ulth", Cmd::Ul},
        {"ulthd", Cmd::Ul},
        {"ulthdash", Cmd::Ul},
        {"ulthdashd", Cmd::Ul},
        {"ulthdashdd", Cmd::Ul},
        {"ulthldash", Cmd::Ul},
        {"ululdbwave", Cmd::Ul},
        {"ulw", Cmd::Ul},
        {"ulwave", Cmd::Ul},
        {"ulnone", Cmd::UlNone},
        {"strike", Cmd::Strike},
        {"striked", Cmd::Strike},
        {"cf", Cmd::Cf},
        {"highlight", Cmd::Highlight},
        {"cb", Cmd::Cb},
        {"chcbpat", Cmd::Cb},
        {"super", Cmd::Super},
        {"sub", Cmd::Sub},
        {"nosupersub", Cmd::NoSuperSub},
        {"up", Cmd::Up},
        {"dn", Cmd::Dn},
        {"pard", Cmd::Pard},
        {"ql", Cmd::Ql},
        {"qc", Cmd::Qc},
        {"qr", Cmd::Qr},
        {"qj", Cmd::Qj},
        {"qd", Cmd::Qj},
        {"li", Cmd::Li},
        {"lin", Cmd::Li},
        {"ri", Cmd::Ri},
        {"rin", Cmd::Ri},
        {"fi", Cmd::Fi},
        {"sb", Cmd::Sb},
        {"sa", Cmd::Sa},
        {"par", Cmd::Par},
        {"line", Cmd::Line},
        {"tab", Cmd::Tab},
        {"page", Cmd::Page},
        {"sect", Cmd::Sect},
        {"cell", Cmd::Cell},
        {"nestcell", Cmd::Cell},
        {"row", Cmd::Row},
        {"nestrow", Cmd::Row},
        {"uc", Cmd::Uc},
        {"u", Cmd::U},
        {"emdash", Cmd::Emdash},
        {"endash", Cmd::Endash},
        {"bullet", Cmd::Bullet},
        {"lquote", Cmd::Lquote},
        {"rquote", Cmd::Rquote},
        {"ldblquote", Cmd::Ldblquote},
        {"rdblquote", Cmd::Rdblquote},
        {"emspace", Cmd::Emspace},
        {"enspace", Cmd::Enspace},
        {"qmspace", Cmd::Qmspace},
        {"zwj", Cmd::Zwj},
        {"zwnj", Cmd::Zwnj},
        {"ltrmark", Cmd::Ltrmark},
        {"rtlmark", Cmd::Rtlmark},
        {"fldrslt", Cmd::Fldrslt},
        {"pntext", Cmd::ShowDest},
        {"listtext", Cmd::ShowDest},
        {"field", Cmd::ShowDest},
        {"shptxt", Cmd::ShowDest},
        {"result", Cmd::ShowDest},
        {"nesttableprops", Cmd::Skip},
        {"nonesttables", Cmd::ShowDest},
    };
    auto it = table.find(w);
    if (it != table.end()) return it->second;
    return isSkippedDestination(w) ? Cmd::Skip : Cmd::Unknown;
}

int clampInt(long long v, int lo, int hi) {
    return int(std::clamp<long long>(v, lo, hi));
}
} // namespace

void Reader::controlWord(std::string_view word, bool hasParam, long long param) {
    const Cmd cmd = lookup(word);
    const bool opensGroup = groupStart_;
    const bool star = pendingStarDest_;
    pendingStarDest_ = false;

    if (state_.dest == Dest::Skip) return;
    if (pendingSpaces_) {
        const bool destination = cmd == Cmd::FontTbl || cmd == Cmd::ColorTbl || cmd == Cmd::Skip ||
                                 (star && cmd == Cmd::Unknown);
        if (destination) {
            pendingSpaces_ = 0;
        } else {
            const bool keep = groupStart_;
            flushPendingSpaces();
            groupStart_ = keep;
        }
    }
    if (cmd != Cmd::U) flushBytes();

    // Destinations: only the first control word of a group starts one.
    if (opensGroup) {
        switch (cmd) {
        case Cmd::FontTbl:
            state_.dest = Dest::FontTable;
            return;
        case Cmd::ColorTbl:
            state_.dest = Dest::ColorTable;
            return;
        case Cmd::Skip:
            // A footnote's text is not the body's, but its number is: it
            // stands where the note is anchored, numbered in order.
            if (word == "footnote" && state_.dest == Dest::Text)
                addText(QString::number(++footnotes_));
            state_.dest = Dest::Skip;
            return;
        case Cmd::Fldrslt:
        case Cmd::ShowDest:
            if (state_.dest == Dest::Text) return;
            break;
        case Cmd::Unknown:
            if (star) {
                state_.dest = Dest::Skip;
                return;
            }
            break;
        default:
            break;
        }
    }
    if (star && cmd == Cmd::Skip) {
        state_.dest = Dest::Skip;
        return;
    }

    const bool on = !hasParam || param != 0;
    State &s = state_;
    CharFormat &f = s.format;

    if (s.dest == Dest::FontTable) {
        switch (cmd) {
        case Cmd::F:
            fontNum_ = clampInt(param, 0, 1 << 20);
            fontEntry_ = FontEntry{};
            fontName_.clear();
            return;
        case Cmd::FRoman:
            fontEntry_.family = FontFamily::Roman;
            return;
        case Cmd::FSwiss:
            fontEntry_.family = FontFamily::Swiss;
            return;
        case Cmd::FModern:
            fontEntry_.family = FontFamily::Modern;
            return;
        case Cmd::FScript:
            fontEntry_.family = FontFamily::Script;
            return;
        case Cmd::FDecor:
            fontEntry_.family = FontFamily::Decor;
            return;
        case Cmd::FTech:
            fontEntry_.family = FontFamily::Tech;
            return;
        case Cmd::FNil:
            fontEntry_.family = FontFamily::Nil;
            return;
        case Cmd::FCharset:
            if (!fontEntry_.codePage || fontEntry_.codePage == 1252)
                fontEntry_.codePage = textcodec::codePageOfCharset(clampInt(param, 0, 255));
            return;
        case Cmd::Cpg:
            fontEntry_.codePage = clampInt(param, 0, 65535);
            return;
        default:
            return;
        }
    }
    if (s.dest == Dest::ColorTable) {
        switch (cmd) {
        case Cmd::Red:
            red_ = clampInt(param, 0, 255);
            colorSet_ = true;
            return;
        case Cmd::Green:
            green_ = clampInt(param, 0, 255);
            colorSet_ = true;
            return;
        case Cmd::Blue:
            blue_ = clampInt(param, 0, 255);
            colorSet_ = true;
            return;
        default:
            return;
        }
    }

    switch (cmd) {
    case Cmd::Rtf:
    case Cmd::Ansi:
        if (cmd == Cmd::Ansi) docCodePage_ = 1252;
        return;
    case Cmd::Mac:
        docCodePage_ = 10000;
        return;
    case Cmd::Pc:
        docCodePage_ = 437;
        return;
    case Cmd::Pca:
        docCodePage_ = 850;
        return;
    case Cmd::AnsiCpg: {
        const int cp = clampInt(param, 0, 65535);
        if (cp) docCodePage_ = cp;
        return;
    }
    case Cmd::Deff:
        defaultFont_ = clampInt(param, 0, 1 << 20);
        return;
    case Cmd::F:
        selectFont(clampInt(param, 0, 1 << 20));
        return;
    case Cmd::Plain: {
        f = CharFormat{};
        if (defaultFont_ >= 0) {
            selectFont(defaultFont_);
        } else {
            s.codePage = 0;
        }
        return;
    }
    case Cmd::Fs:
        f.halfPoints = hasParam && param > 0 ? clampInt(param, 2, 3276) : 24;
        return;
    case Cmd::B:
        f.bold = on;
        return;
    case Cmd::I:
        f.italic = on;
        return;
    case Cmd::Ul:
        f.underline = on;
        return;
    case Cmd::UlNone:
        f.underline = false;
        return;
    case Cmd::Strike:
        f.strike = on;
        return;
    case Cmd::Cf:
        f.color = colorAt(hasParam ? param : 0);
        return;
    case Cmd::Highlight:
    case Cmd::Cb:
        f.highlight = hasParam && param > 0 ? colorAt(param) : NoColor;
        return;
    case Cmd::Super:
        f.valign = VAlign::Super;
        return;
    case Cmd::Sub:
        f.valign = VAlign::Sub;
        return;
    case Cmd::NoSuperSub:
        f.valign = VAlign::Normal;
        return;
    case Cmd::Up:
        f.valign = (!hasParam || param > 0) ? VAlign::Super : VAlign::Normal;
        return;
    case Cmd::Dn:
        f.valign = (!hasParam || param > 0) ? VAlign::Sub : VAlign::Normal;
        return;
    case Cmd::Pard:
        s.para = ParaFormat{};
        return;
    case Cmd::Ql:
        s.para.align = Align::Left;
        return;
    case Cmd::Qc:
        s.para.align = Align::Center;
        return;
    case Cmd::Qr:
        s.para.align = Align::Right;
        return;
    case Cmd::Qj:
        s.para.align = Align::Justify;
        return;
    case Cmd::Li:
        s.para.leftIndent = clampInt(param, -31680, 31680);
        return;
    case Cmd::Ri:
        s.para.rightIndent = clampInt(param, -31680, 31680);
        return;
    case Cmd::Fi:
        s.para.firstIndent = clampInt(param, -31680, 31680);
        return;
    case Cmd::Sb:
        s.para.spaceBefore = clampInt(param, 0, 31680);
        return;
    case Cmd::Sa:
        s.para.spaceAfter = clampInt(param, 0, 31680);
        return;
    case Cmd::Par:
    case Cmd::Row:
        endParagraph();
        return;
    case Cmd::Page:
    case Cmd::Sect:
        // A page or section break ends the paragraph it falls in; at the start
        // of a paragraph it makes none of its own.
        flushBytes();
        if (!runText_.isEmpty() || !para_.runs.empty()) endParagraph();
        return;
    case Cmd::Line:
        addChar(0x2028);
        return;
    case Cmd::Tab:
    case Cmd::Cell:
        addChar(u'\t');
        return;
    case Cmd::Uc:
        s.uc = clampInt(param, 0, 255);
        return;
    case Cmd::U: {
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
    case Cmd::Emdash:
        addChar(0x2014);
        return;
    case Cmd::Endash:
        addChar(0x2013);
        return;
    case Cmd::Bullet:
        addChar(0x2022);
        return;
    case Cmd::Lquote:
        addChar(0x2018);
        return;
    case Cmd::Rquote:
        addChar(0x2019);
        return;
    case Cmd::Ldblquote:
        addChar(0x201C);
        return;
    case Cmd::Rdblquote:
        addChar(0x201D);
        return;
    case Cmd::Emspace:
        addChar(0x2003);
        return;
    case Cmd::Enspace:
        addChar(0x2002);
        return;
    case Cmd::Qmspace:
        addChar(0x2005);
        return;
    case Cmd::Zwj:
        addChar(0x200D);
        return;
    case Cmd::Zwnj:
        addChar(0x200C);
        return;
    case Cmd::Ltrmark:
        addChar(0x200E);
        return;
    case Cmd::Rtlmark:
        addChar(0x200F);
        return;
    case Cmd::Skip:
        // A destination word met inside a group that began with another: the
        // rest of this group is that destination's.
        s.dest = Dest::Skip;
        return;
    default:
        return;
    }
}

} // namespace

void clean(Paragraph &p) {
    for (Run &r : p.runs)
        r.text = textcodec::cleanText(std::move(r.text));
    std::erase_if(p.runs, [](const Run &r) { return r.text.isEmpty(); });
}

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
