// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/richconvert.h"

#include "platform/listformat.h"
#include "platform/textformats.h"

#include <QTextBlock>
#include <QTextDocument>
#include <QTextList>
#include <unordered_map>

namespace qtrich {

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

} // namespace qtrich
