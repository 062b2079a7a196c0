// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qtrichtext.h"

#include <QMimeData>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextList>
#include <QTextTable>
#include <cmath>
#include <unordered_map>

namespace qtrich {

namespace {
constexpr double TwipsPerPixel = 15.0; // 1440 twips an inch, 96 pixels an inch

std::int32_t rgbOf(const QBrush &brush) {
    if (brush.style() == Qt::NoBrush) return rtf::NoColor;
    return std::int32_t(brush.color().rgb() & 0xFFFFFF);
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
    return f;
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
    return f;
}

struct CharFormatHash {
    size_t operator()(const rtf::CharFormat &c) const {
        size_t h = qHash(c.font);
        const auto mix = [&h](size_t v) { h ^= v + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2); };
        mix(size_t(c.halfPoints));
        mix(size_t(c.bold) | size_t(c.italic) << 1 | size_t(c.underline) << 2 |
            size_t(c.strike) << 3 | size_t(c.valign) << 4 | size_t(c.family) << 8);
        mix(size_t(std::uint32_t(c.color)));
        mix(size_t(std::uint32_t(c.highlight)));
        return h;
    }
};

// Builds each distinct run format once. QTextFormat::setProperty is slow, and
// a format object used again keeps the hash the document's format table needs,
// so a document with few formats costs one lookup per run. The colour is set
// last on a copy of the format without it: documents with many colours and
// few other formats stay cheap too, and give the very same formats.
class FormatCache {
public:
    const QTextCharFormat &get(const rtf::CharFormat &c) {
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
        if (c.color != rtf::NoColor) f.setForeground(QColor(QRgb(c.color)));
        return full_.emplace(c, std::move(f)).first->second;
    }

private:
    static constexpr size_t Limit = 4096;
    std::unordered_map<rtf::CharFormat, QTextCharFormat, CharFormatHash> full_, uncoloured_;
};

// A run's format, with what the run leaves unset taken from the editor's font.
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
    c.underline =
        f.hasProperty(QTextFormat::TextUnderlineStyle) || f.hasProperty(QTextFormat::FontUnderline)
            ? f.fontUnderline()
            : bool(d.Style & fsUnderline);
    c.strike =
        f.hasProperty(QTextFormat::FontStrikeOut) ? f.fontStrikeOut() : bool(d.Style & fsStrikeOut);
    c.color = rgbOf(f.foreground());
    if (c.color == rtf::NoColor && !(d.Color & 0x80000000u)) {
        c.color =
            std::int32_t(((d.Color & 0xFF) << 16) | (d.Color & 0xFF00) | ((d.Color >> 16) & 0xFF));
    }
    c.highlight = rgbOf(f.background());
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

// What a list holds beyond the toolkit's list format.
constexpr int ListStyleProperty = QTextFormat::UserProperty + 1; // rtf::ListStyle
constexpr int ListStartProperty = QTextFormat::UserProperty + 2;
constexpr int ListLevelProperty = QTextFormat::UserProperty + 3;
// A long list is held in parts (see Inserter::add): every part of one list
// has the same key, and each but the first the object index of the part
// before it.
constexpr int ListKeyProperty = QTextFormat::UserProperty + 4;
constexpr int ListPreviousProperty = QTextFormat::UserProperty + 5;

QTextListFormat listFormatOf(const rtf::ListItem &item) {
    QTextListFormat f;
    switch (item.style) {
    case rtf::ListStyle::Bullet:
        f.setStyle(QTextListFormat::ListDisc);
        break;
    case rtf::ListStyle::LowerAlpha:
        f.setStyle(QTextListFormat::ListLowerAlpha);
        break;
    case rtf::ListStyle::UpperAlpha:
        f.setStyle(QTextListFormat::ListUpperAlpha);
        break;
    case rtf::ListStyle::LowerRoman:
        f.setStyle(QTextListFormat::ListLowerRoman);
        break;
    case rtf::ListStyle::UpperRoman:
        f.setStyle(QTextListFormat::ListUpperRoman);
        break;
    default:
        f.setStyle(QTextListFormat::ListDecimal);
        break;
    }
    f.setIndent(0); // the paragraph's own indents place it
    f.setNumberPrefix(item.prefix);
    f.setNumberSuffix(item.suffix);
    f.setProperty(ListStyleProperty, int(item.style));
    f.setProperty(ListStartProperty, item.start);
    f.setProperty(ListLevelProperty, item.level);
    return f;
}

int startOf(const QTextList *list) {
    const QTextListFormat f = list->format();
    return f.hasProperty(ListStartProperty) ? f.intProperty(ListStartProperty) : 1;
}

// The list a part belongs to: the parts of one list share their key; a list
// made in one piece is its own (a negative key, from its object index).
long long keyOf(const QTextFormat &f, const QTextList *list) {
    return f.hasProperty(ListKeyProperty) ? f.intProperty(ListKeyProperty)
                                          : -1 - list->objectIndex();
}

// The part before `list` in its list, or null for the first.
const QTextList *previousPart(const QTextList *list) {
    const QTextListFormat f = list->format();
    if (!f.hasProperty(ListPreviousProperty)) return nullptr;
    const auto *previous = qobject_cast<const QTextList *>(
        list->document()->object(f.intProperty(ListPreviousProperty)));
    // A copy of the document (QTextDocument::clone) numbers its objects anew:
    // a part whose link leads elsewhere is counted from there.
    if (!previous || keyOf(previous->format(), previous) != keyOf(f, list)) return nullptr;
    return previous;
}

// A list item with the number given; the style and texts from its list, the
// id the caller's.
rtf::ListItem listItemOf(const QTextList *list, int number) {
    const QTextListFormat f = list->format();
    rtf::ListItem item;
    item.style = rtf::ListStyle(f.intProperty(ListStyleProperty));
    if (item.style == rtf::ListStyle::None) item.style = rtf::ListStyle::Decimal;
    item.prefix = f.numberPrefix();
    item.suffix = f.numberSuffix();
    item.start = startOf(list);
    item.level = f.intProperty(ListLevelProperty);
    item.number = number;
    return item;
}

QString markerOf(const rtf::ListItem &item) {
    return rtf::markerText(item.style, item.prefix, item.suffix, item.number);
}

class RtfMimeData : public QMimeData {
public:
    RtfMimeData(Snapshot snapshot, const QString &font)
        : snapshot_(std::move(snapshot)), font_(font) {}

    QStringList formats() const override {
        QStringList f = QMimeData::formats();
        f << rtfFormats();
        return f;
    }
    bool hasFormat(const QString &mime) const override {
        return rtfFormats().contains(mime) || QMimeData::hasFormat(mime);
    }

    static const QStringList &rtfFormats() {
        static const QStringList names{
            QStringLiteral("text/rtf"), QStringLiteral("application/rtf"),
            QStringLiteral("application/x-qt-windows-mime;value=\"Rich Text Format\"")};
        return names;
    }

protected:
    QVariant retrieveData(const QString &mime, QMetaType type) const override {
        if (rtfFormats().contains(mime)) {
            // Written only when some program asks for it.
            if (!written_) {
                rtf_ = rtf::write(snapshot_.document(), font_);
                written_ = true;
            }
            return rtf_;
        }
        return QMimeData::retrieveData(mime, type);
    }

private:
    Snapshot snapshot_;
    QString font_;
    mutable QByteArray rtf_;
    mutable bool written_ = false;
};
} // namespace

Snapshot::Snapshot(const QTextDocument *doc, int from, int to, const TFont &defaults)
    : formats_(doc->allFormats()), defaults_(defaults) {
    const int length = doc->characterCount() - 1;
    from = std::clamp(from, 0, length);
    to = std::clamp(to, from, length);
    if (to - from > length / 2) {
        text_ = doc->toRawText().mid(from, to - from); // one copy, no walk through the pieces
    } else if (to > from) {
        QTextCursor cur(const_cast<QTextDocument *>(doc));
        cur.setPosition(from);
        cur.setPosition(to, QTextCursor::KeepAnchor);
        text_ = cur.selectedText(); // the raw text of the range, breaks as U+2029
    }
    // Items are numbered as they come; the number of a part's first item in
    // the range is asked once a part, not once an item.
    ListNumbering numbering;
    std::unordered_map<const QTextList *, int> numbers; // the next item's, by part
    std::unordered_map<long long, int> ids;             // by list
    for (QTextBlock b = doc->findBlock(from); b.isValid() && b.position() <= to; b = b.next()) {
        blockFormats_.push_back(b.blockFormatIndex());
        lists_.emplace_back();
        if (const QTextList *list = b.textList(); list && b.position() >= from) {
            auto it = numbers.find(list);
            if (it == numbers.end()) it = numbers.emplace(list, numbering.number(b)).first;
            lists_.back() = listItemOf(list, it->second++);
            lists_.back().id =
                ids.emplace(keyOf(list->format(), list), int(ids.size()) + 1).first->second;
        }
        // Fragments follow each other: their positions are summed, not looked up.
        int fe = b.position();
        for (QTextBlock::iterator it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment frag = it.fragment();
            const int fs = fe;
            fe = fs + frag.length();
            if (fe <= from || fs >= to) continue;
            if (spans_.empty() || spans_.back().format != frag.charFormatIndex())
                spans_.push_back(Span{std::max(fs, from) - from, frag.charFormatIndex()});
        }
        if (b.position() + b.length() > to) break;
    }
}

rtf::Document Snapshot::document() const {
    rtf::Document out;
    out.paragraphs.clear();
    // Resolved once per format of the document's format table, not per run.
    std::unordered_map<int, rtf::CharFormat> resolved;
    const auto resolvedAt = [&](int index) -> const rtf::CharFormat & {
        auto it = resolved.find(index);
        if (it == resolved.end()) {
            it = resolved.emplace(index, resolve(formats_.value(index).toCharFormat(), defaults_))
                     .first;
        }
        return it->second;
    };
    const int n = int(text_.size());
    size_t span = 0;
    int start = 0;
    for (size_t block = 0; start <= n; ++block) {
        int end = int(text_.indexOf(QChar::ParagraphSeparator, start));
        if (end < 0) end = n;
        rtf::Paragraph para;
        if (block < blockFormats_.size()) {
            para.format = paraOf(formats_.value(blockFormats_[block]).toBlockFormat());
            para.list = lists_[block];
        }
        // Runs: the spans' pieces within [start, end).
        while (span + 1 < spans_.size() && spans_[span + 1].start <= start)
            ++span;
        for (int at = start; at < end && span < spans_.size();) {
            const int next = span + 1 < spans_.size() ? std::min(spans_[span + 1].start, end) : end;
            QString piece = text_.mid(at, next - at);
            piece.remove(QChar::ObjectReplacementCharacter);
            if (!piece.isEmpty()) {
                const rtf::CharFormat &format = resolvedAt(spans_[span].format);
                if (!para.runs.empty() && para.runs.back().format == format) {
                    para.runs.back().text += piece;
                } else {
                    para.runs.push_back(rtf::Run{format, std::move(piece)});
                }
            }
            at = next;
            if (span + 1 < spans_.size() && spans_[span + 1].start <= at) ++span;
        }
        out.paragraphs.push_back(std::move(para));
        start = end + 1;
    }
    if (out.paragraphs.empty()) out.paragraphs.emplace_back();
    return out;
}

QString Snapshot::plainText() const {
    QString plain;
    plain.reserve(text_.size());
    size_t block = 0;
    const auto marker = [&] {
        if (block < lists_.size() && lists_[block].id)
            plain += markerOf(lists_[block]) + QLatin1Char('\t');
    };
    marker();
    for (const QChar c : text_) {
        if (c == QChar::ParagraphSeparator) {
            plain += QLatin1Char('\n');
            ++block;
            marker();
        } else {
            plain += c == QChar::LineSeparator ? QChar(u'\n') : c;
        }
    }
    return plain;
}

QTextCharFormat leadingCharFormat(const QTextBlock &block) {
    return block.begin().atEnd() ? block.charFormat() : block.begin().fragment().charFormat();
}

int ListNumbering::itemsBefore(const QTextList *part) {
    // The parts back to the first, or to one whose count is known.
    std::vector<const QTextList *> chain;
    int n = 0;
    for (const QTextList *p = part; p; p = previousPart(p)) {
        if (auto known = known_.find(p); known != known_.end()) {
            n = known->second.before + p->count();
            break;
        }
        chain.push_back(p);
    }
    for (auto p = chain.rbegin(); p != chain.rend(); ++p) {
        known_[*p] = Known{n, (*p)->item(0).position()};
        n += (*p)->count();
    }
    return known_[part].before;
}

void ListNumbering::forgetFrom(int position) {
    // The parts of a list follow each other: what comes before a part's
    // first position is all that counts for it.
    std::erase_if(known_, [position](const auto &k) { return k.second.start >= position; });
}

int ListNumbering::number(const QTextBlock &block) {
    const QTextList *list = block.textList();
    if (!list) return 0;
    return startOf(list) + itemsBefore(list) + list->itemNumber(block);
}

QString ListNumbering::marker(const QTextBlock &block) {
    const QTextList *list = block.textList();
    if (!list) return {};
    return markerOf(listItemOf(list, number(block)));
}

QString listMarker(const QTextBlock &block) {
    return ListNumbering().marker(block);
}

void markersToText(QTextDocument *doc) {
    // Counted in the order of the paragraphs: the links between the parts of
    // a list do not hold in a copy.
    std::vector<std::pair<QTextBlock, QString>> items;
    std::unordered_map<long long, int> counts; // items so far, by list
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
        if (const QTextList *list = b.textList()) {
            const int number = startOf(list) + counts[keyOf(list->format(), list)]++;
            items.emplace_back(b, markerOf(listItemOf(list, number)));
        }
    }
    if (items.empty()) return;
    QTextCursor cur(doc);
    cur.beginEditBlock();
    for (auto &[block, marker] : items) {
        block.textList()->remove(block);
        cur.setPosition(block.position());
        cur.insertText(marker + QLatin1Char('\t'), leadingCharFormat(block));
    }
    cur.endEditBlock();
}

rtf::Document extract(const QTextDocument *doc, int from, int to, const TFont &defaults) {
    return Snapshot(doc, from, to, defaults).document();
}

namespace {
// Each list made by an inserter has a key of its own.
int nextListKey = 0;
// The toolkit marks every item of a list changed when one is added, which
// makes a list of n items cost n * n to build; a long list is built in parts
// of this many items, linked to each other and numbered across them.
constexpr int ListPartItems = 16;
} // namespace

struct Inserter::Formats : FormatCache {
    struct List {
        QTextList *part = nullptr; // the last part
        int items = 0;             // in the last part
    };
    std::unordered_map<int, List> lists; // by the reader's list id
};

Inserter::Inserter(QTextCursor &cursor, bool intoEmpty)
    : cursor_(cursor), formats_(std::make_unique<Formats>()), intoEmpty_(intoEmpty) {
    cursor_.beginEditBlock();
}

Inserter::~Inserter() {
    finish();
}

void Inserter::add(const rtf::Paragraph &p) {
    if (count_ == 0 || !(lastPara_ == p.format)) {
        blockFormat_ = blockFormatOf(p.format);
        lastPara_ = p.format;
        itemPart_ = nullptr;
    }
    Formats::List *list = p.list.id ? &formats_->lists[p.list.id] : nullptr;
    // An item joins its list's last part as its paragraph is made, while the
    // part has room.
    const bool joins = list && list->part && list->items < ListPartItems;
    if (joins && itemPart_ != list->part) {
        itemFormat_ = blockFormat_;
        itemFormat_.setObjectIndex(list->part->objectIndex());
        itemPart_ = list->part;
    }
    const QTextBlockFormat &format = joins ? itemFormat_ : blockFormat_;
    if (count_ > 0) {
        cursor_.insertBlock(format);
    } else if (intoEmpty_) {
        cursor_.setBlockFormat(format);
    }
    for (const rtf::Run &r : p.runs) {
        charFormat_ = &formats_->get(r.format);
        cursor_.insertText(r.text, *charFormat_);
    }
    if (p.runs.empty() && count_ > 0 && charFormat_) cursor_.setBlockCharFormat(*charFormat_);
    if (joins) {
        ++list->items;
    } else if (list) {
        QTextListFormat f;
        if (list->part) {
            f = list->part->format();
            f.setProperty(ListPreviousProperty, list->part->objectIndex());
        } else {
            // Numbered from this item's number: a copied part of a list keeps it.
            rtf::ListItem first = p.list;
            first.start = p.list.number;
            f = listFormatOf(first);
            f.setProperty(ListKeyProperty, ++nextListKey);
        }
        list->part = cursor_.createList(f);
        list->items = 1;
    }
    ++count_;
    // The document's watchers (its layout, the editor's indexes) hear of
    // what was added when an edit block ends, taking time in proportion to
    // it: a long document is added in edit blocks of a part of it each, so
    // that no one of them holds up the progress window, nor are there so
    // many that announcing them costs more than the document.
    if (++sinceEdit_ >= std::max<size_t>(16384, count_ / 32)) {
        cursor_.endEditBlock();
        cursor_.beginEditBlock();
        sinceEdit_ = 0;
    }
}

void Inserter::finish() {
    if (finished_) return;
    finished_ = true;
    cursor_.endEditBlock();
}

void insert(QTextCursor &cursor, const rtf::Document &doc, bool intoEmpty) {
    Inserter in(cursor, intoEmpty);
    for (const rtf::Paragraph &p : doc.paragraphs)
        in.add(p);
}

namespace {
// Walks an HTML document built by the toolkit, frame by frame.
class HtmlFlattener {
public:
    HtmlFlattener(const QTextDocument *doc, const TFont &defaults)
        : doc_(doc), defaults_(defaults) {
        out_.paragraphs.clear();
    }

    rtf::Document run() {
        walk(doc_->rootFrame());
        if (out_.paragraphs.empty()) out_.paragraphs.emplace_back();
        for (rtf::Paragraph &p : out_.paragraphs)
            rtf::clean(p);
        return std::move(out_);
    }

private:
    // The block's own paragraph, formats resolved as on copy.
    rtf::Paragraph paragraphOf(const QTextBlock &b) const {
        rtf::Document d = extract(doc_, b.position(), b.position() + b.length() - 1, defaults_);
        rtf::Paragraph p = d.paragraphs.empty() ? rtf::Paragraph{} : std::move(d.paragraphs[0]);
        p.list = {}; // the marker goes into the text
        if (QTextList *list = b.textList()) {
            QString marker;
            switch (list->format().style()) {
            case QTextListFormat::ListDisc:
                marker = QString(QChar(0x2022));
                break;
            case QTextListFormat::ListCircle:
                marker = QString(QChar(0x25E6));
                break;
            case QTextListFormat::ListSquare:
                marker = QString(QChar(0x25AA));
                break;
            default:
                marker = list->itemText(b); // "1.", "a.", "iv."
                break;
            }
            const rtf::CharFormat format =
                p.runs.empty() ? resolve(b.charFormat(), defaults_) : p.runs.front().format;
            p.runs.insert(p.runs.begin(), rtf::Run{format, marker + QLatin1Char('\t')});
            // The indent the toolkit gives each level, 40 pixels.
            p.format.leftIndent += int(list->format().indent() * 40 * TwipsPerPixel);
        }
        return p;
    }

    static bool isEmptyBlock(const QTextFrame::iterator &it) {
        const QTextBlock b = it.currentBlock();
        return !it.currentFrame() && b.isValid() && b.length() <= 1;
    }

    void walk(QTextFrame *frame) {
        for (QTextFrame::iterator it = frame->begin(); !it.atEnd(); ++it) {
            if (QTextFrame *child = it.currentFrame()) {
                if (auto *table = qobject_cast<QTextTable *>(child)) {
                    addTable(table);
                } else {
                    walk(child);
                }
                continue;
            }
            const QTextBlock b = it.currentBlock();
            if (!b.isValid()) continue;
            // The toolkit puts an empty paragraph on each side of a table.
            if (isEmptyBlock(it)) {
                QTextFrame::iterator prev = it, next = it;
                ++next;
                const bool tableAfter = !next.atEnd() && next.currentFrame();
                const bool tableBefore = it != frame->begin() && (--prev).currentFrame();
                if (tableAfter || tableBefore) continue;
            }
            out_.paragraphs.push_back(paragraphOf(b));
        }
    }

    // The runs of everything in a frame (a cell), one line of text.
    void flattenInto(QTextFrame::iterator it, const QTextFrame::iterator &end,
                     std::vector<rtf::Run> &runs) {
        bool first = true;
        const auto separate = [&] {
            if (!first && !runs.empty() && !runs.back().text.endsWith(QLatin1Char(' ')))
                runs.back().text += QLatin1Char(' ');
            first = false;
        };
        for (; it != end; ++it) {
            if (QTextFrame *child = it.currentFrame()) {
                separate();
                flattenInto(child->begin(), child->end(), runs);
                continue;
            }
            const QTextBlock b = it.currentBlock();
            if (!b.isValid() || b.length() <= 1) continue;
            rtf::Paragraph p = paragraphOf(b);
            if (p.runs.empty()) continue;
            // A tab inside a cell would start a column of its own.
            for (rtf::Run &r : p.runs)
                r.text.replace(QLatin1Char('\t'), QLatin1Char(' '));
            separate();
            for (rtf::Run &r : p.runs)
                runs.push_back(std::move(r));
        }
    }

    void addTable(QTextTable *table) {
        for (int row = 0; row < table->rows(); ++row) {
            rtf::Paragraph p;
            for (int column = 0; column < table->columns(); ++column) {
                const QTextTableCell cell = table->cellAt(row, column);
                // A merged cell is written once, where it starts.
                if (!cell.isValid() || cell.row() != row || cell.column() != column) continue;
                if (column > 0) {
                    const rtf::CharFormat format = p.runs.empty()
                                                       ? resolve(QTextCharFormat(), defaults_)
                                                       : p.runs.back().format;
                    p.runs.push_back(rtf::Run{format, QStringLiteral("\t")});
                }
                flattenInto(cell.begin(), cell.end(), p.runs);
            }
            out_.paragraphs.push_back(std::move(p));
        }
    }

    const QTextDocument *doc_;
    const TFont &defaults_;
    rtf::Document out_;
};
} // namespace

rtf::Document fromHtml(const QString &html, const TFont &defaults) {
    QTextDocument doc;
    doc.setUndoRedoEnabled(false);
    doc.setHtml(html);
    return HtmlFlattener(&doc, defaults).run();
}

QMimeData *makeMimeData(Snapshot snapshot, const QString &plain, const QString &defaultFont) {
    auto *data = new RtfMimeData(std::move(snapshot), defaultFont);
    data->setText(plain);
    return data;
}

QByteArray rtfData(const QMimeData *source) {
    for (const QString &name : RtfMimeData::rtfFormats()) {
        if (source->hasFormat(name)) {
            const QByteArray data = source->data(name);
            if (!data.isEmpty()) return data;
        }
    }
    if (source->hasFormat(QStringLiteral("text/richtext")))
        return source->data(QStringLiteral("text/richtext"));
    return {};
}

} // namespace qtrich
