// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/richconvert.h"

#include "platform/listformat.h"
#include "platform/pictures.h"
#include "platform/tableformat.h"
#include "platform/textformats.h"

#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextList>
#include <QTextTable>
#include <unordered_map>

namespace qtrich {

namespace {
constexpr QChar FrameStart(0xFDD0); // the toolkit's mark before each cell
constexpr QChar FrameEnd(0xFDD1);   // and after a table's last cell

bool isBreak(QChar c) {
    return c == QChar::ParagraphSeparator || c == FrameStart || c == FrameEnd;
}

int tableDepth(const QTextFrame *f) {
    int depth = 0;
    for (; f; f = f->parentFrame())
        if (qobject_cast<const QTextTable *>(f)) ++depth;
    return depth;
}

// The fields of the character at `pos`.
QByteArrayList fieldsAt(const QTextDocument *doc, int pos) {
    const QTextBlock b = doc->findBlock(pos);
    for (QTextBlock::iterator it = b.begin(); !it.atEnd(); ++it) {
        const QTextFragment f = it.fragment();
        if (pos >= f.position() && pos < f.position() + f.length())
            return f.charFormat().property(FieldsProperty).value<QByteArrayList>();
    }
    return {};
}

// The first character of text from `pos` going by `step` within [low, high),
// over a few paragraph and cell marks; -1 if there is none.
int textFrom(const QTextDocument *doc, int pos, int step, int low, int high) {
    for (int k = 0; k < 8 && pos >= low && pos < high; ++k, pos += step)
        if (!isBreak(doc->characterAt(pos))) return pos;
    return -1;
}
} // namespace

Snapshot::Snapshot(const QTextDocument *doc, int from, int to, const TFont &defaults,
                   const CellColumns &columns)
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
        if (!cur.hasComplexSelection()) {
            text_ = cur.selectedText(); // the raw text of the range, breaks as U+2029
        } else {
            // From one cell of a table to another the toolkit gives the
            // selected cells' text run together: the range is taken a
            // paragraph at a time, each with the mark that ends it.
            text_.reserve(to - from);
            for (QTextBlock b = doc->findBlock(from); b.isValid() && b.position() < to;
                 b = b.next()) {
                const int start = b.position(), end = start + b.length() - 1;
                text_ += QStringView(b.text()).mid(std::max(from, start) - start,
                                                   std::min(to, end) - std::max(from, start));
                if (end < to) text_ += doc->characterAt(end);
            }
        }
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
    if (!doc->rootFrame()->childFrames().isEmpty()) markTables(doc, from, to, columns);
    // Part of a text box's text is text: a box whose text goes on before or
    // after the range is left out of it, and the text copied out of a shape
    // does not make another.
    const auto cutBoxes = [&](int inside, int outside) {
        if (inside < 0 || outside < 0) return;
        const QByteArrayList out = fieldsAt(doc, outside);
        for (const QByteArray &f : fieldsAt(doc, inside))
            if (rtf::isBox(f) && out.contains(f) && !cutBoxes_.contains(f)) cutBoxes_ << f;
    };
    if (to > from) {
        cutBoxes(textFrom(doc, from, 1, from, to), textFrom(doc, from - 1, -1, 0, from));
        cutBoxes(textFrom(doc, to - 1, -1, from, to), textFrom(doc, to, 1, to, length));
    }
}

// Each paragraph's depth in the range's tables, the ends of cells and rows,
// and the rows' definitions from the cells' formats (equal widths for a
// table whose cells have none).
void Snapshot::markTables(const QTextDocument *doc, int from, int to, const CellColumns &columns) {
    const auto cellOf = [doc](const QTextTable *t, int pos) {
        return t->cellAt(doc->findBlock(pos).position());
    };
    // A range inside one cell is not a table: depths count from that cell's.
    int base = 0;
    const int last = std::max(from, to - 1);
    for (const QTextFrame *f = doc->frameAt(doc->findBlock(from).position()); f;
         f = f->parentFrame()) {
        const auto *t = qobject_cast<const QTextTable *>(f);
        if (t && last <= t->lastPosition() && cellOf(t, from) == cellOf(t, last)) {
            base = tableDepth(t);
            break;
        }
    }
    struct Row {
        std::shared_ptr<rtf::RowDef> def = std::make_shared<rtf::RowDef>();
        int last = -1;    // the paragraph that ended the row's last cell so far
        int current = -1; // the row's last paragraph so far
        rtf::CellDef currentDef;
    };
    std::vector<Row> rows; // open rows, by depth - 1
    const auto endRows = [&](size_t keep) {
        while (rows.size() > keep) {
            Row &r = rows.back();
            if (r.current > r.last) { // the range ends inside a cell
                cells_[size_t(r.current)].endsCell = true;
                r.def->cells.push_back(r.currentDef);
                r.last = r.current;
            }
            if (r.last >= 0) cells_[size_t(r.last)].endsRow = std::move(r.def);
            rows.pop_back();
        }
    };
    cells_.assign(blockFormats_.size(), Cell{});
    const QTextFrame *frame = nullptr;
    const QTextTable *table = nullptr;
    QTextTableCell cell;
    // The cell's, asked once a cell: the toolkit looks each up in the table.
    int cellFirst = -1, cellLast = -1, column = 0, cellRow = 0;
    // Where each table's cells were last met in its grid: the next cell is
    // the next place of the grid holding a cell that starts further on (a
    // cell spanning several places is met at its first), which costs less
    // than the toolkit's finding a cell by its position, row and column.
    struct Place {
        int row = -1, column = -1, first = -1;
    };
    struct Walk {
        int row = 0, column = 0, first = -1;
        Place next; // the cell after it, once looked for
        bool nextKnown = false;
    };
    std::unordered_map<const QTextTable *, Walk> walks;
    const auto nextPlace = [](const QTextTable *t, const Walk &w) -> std::pair<int, int> {
        int r = w.row, c = w.column + 1;
        for (int tries = 0; tries < 1024 && r < t->rows(); ++r, c = 0)
            for (; c < t->columns(); ++c, ++tries)
                if (t->cellAt(r, c).firstPosition() > w.first) return {r, c};
        return {-1, -1};
    };
    // The cell after w's (none: row -1), looked for once.
    const auto nextOf = [&nextPlace](const QTextTable *t, Walk &w) {
        if (!w.nextKnown) {
            w.nextKnown = true;
            if (const auto [r, c] = nextPlace(t, w); r >= 0)
                w.next = Place{r, c, t->cellAt(r, c).firstPosition()};
        }
        return w.next;
    };
    QTextTableCellFormat f;
    int depth = 0;
    bool outside = false;
    size_t i = 0;
    for (QTextBlock b = doc->findBlock(from); b.isValid() && i < cells_.size(); b = b.next(), ++i) {
        const int pos = b.position();
        const QChar before = pos > 0 ? doc->characterAt(pos - 1) : QChar();
        if (i == 0 || before == FrameStart || before == FrameEnd) {
            frame = doc->frameAt(pos);
            table = qobject_cast<const QTextTable *>(frame);
            depth = std::max(0, tableDepth(frame) - base);
            if (depth == 0) table = nullptr;
            if (table) {
                Walk &w = walks[table];
                bool found = false;
                if (w.first >= 0 && before == FrameStart) {
                    if (const Place next = nextOf(table, w); next.row >= 0 && next.first == pos) {
                        cell = table->cellAt(next.row, next.column);
                        w = Walk{next.row, next.column, pos, Place{}, false};
                        found = true;
                    }
                }
                if (!found) {
                    cell = table->cellAt(pos);
                    w = Walk{cell.row(), cell.column(), cell.firstPosition(), Place{}, false};
                }
                cellRow = w.row;
                cellFirst = w.first;
                // The cell ends where the next begins, which costs less than
                // the toolkit's finding the cell among the table's.
                const Place next = nextOf(table, w);
                cellLast = next.row >= 0 ? next.first - 1 : cell.lastPosition();
                f = cellFormat(table, w.row, w.column);
                column = w.column + std::max(1, f.tableCellColumnSpan());
            }
            outside = false;
            if (columns.table && depth > 0) {
                const QTextTableCell c = columns.table->cellAt(pos);
                outside = c.isValid() && (c.column() < columns.first ||
                                          c.column() >= columns.first + columns.count);
            }
        }
        Cell &m = cells_[i];
        const bool empty = b.length() == 1;
        const int end = pos + b.length() - 1;
        const bool endsCell = table && end == cellLast;
        if (empty && !endsCell && b.blockFormat().boolProperty(TablePadProperty) &&
            (doc->characterAt(end) == FrameStart || before == FrameEnd)) {
            m.skip = true; // the toolkit's paragraph beside a table
            continue;
        }
        endRows(size_t(depth));
        if (!table) continue;
        m.depth = depth;
        const bool absent = isAbsent(f) && pos == cellFirst && endsCell && empty;
        m.skip = outside || absent;
        const bool endsRow =
            endsCell && (column >= table->columns() ||
                         (columns.table == table && column >= columns.first + columns.count));
        if (!m.skip) {
            while (rows.size() < size_t(depth))
                rows.emplace_back();
            Row &r = rows.back();
            if (pos == cellFirst && r.def->cells.empty() && r.current < 0) {
                const QTextTableCellFormat first = cellFormat(table, cellRow, 0);
                if (first.boolProperty(RowDefinedProperty)) *r.def = rowDef(first);
            }
            if (f.hasProperty(CellRightProperty)) {
                r.currentDef = cellDef(f);
            } else {
                r.currentDef = rtf::CellDef{};
                r.currentDef.right =
                    r.def->left + column * DefaultTextWidth / std::max(1, table->columns());
            }
            r.current = int(i);
            if (endsCell) {
                m.endsCell = true;
                r.def->cells.push_back(r.currentDef);
                r.last = int(i);
            }
        }
        if (endsRow && rows.size() == size_t(depth)) endRows(size_t(depth) - 1);
        if (b.position() + b.length() > to) break;
    }
    endRows(0);
}

rtf::Document Snapshot::document() const {
    rtf::Document out;
    out.paragraphs.clear();
    // Resolved once per format of the document's format table, not per run.
    std::unordered_map<int, rtf::CharFormat> resolved;
    const auto resolvedAt = [&](int index) -> const rtf::CharFormat & {
        auto it = resolved.find(index);
        if (it == resolved.end()) {
            rtf::CharFormat f = resolve(formats_.value(index).toCharFormat(), defaults_);
            for (const QByteArray &box : cutBoxes_)
                f.fields.removeAll(box);
            it = resolved.emplace(index, std::move(f)).first;
        }
        return it->second;
    };
    // And paragraph formats likewise.
    std::unordered_map<int, rtf::ParaFormat> paraFormats;
    const auto paraFormatAt = [&](int index) -> const rtf::ParaFormat & {
        auto it = paraFormats.find(index);
        if (it == paraFormats.end())
            it = paraFormats.emplace(index, paraOf(formats_.value(index).toBlockFormat())).first;
        return it->second;
    };
    out.paragraphs.reserve(std::max<size_t>(1, blockFormats_.size()));
    const int n = int(text_.size());
    size_t span = 0;
    int start = 0;
    for (size_t block = 0; start <= n; ++block) {
        int end = nextBreak(start);
        if (block < cells_.size() && cells_[block].skip) {
            start = end + 1;
            continue;
        }
        rtf::Paragraph para;
        if (block < blockFormats_.size()) {
            para.format = paraFormatAt(blockFormats_[block]);
            para.list = lists_[block];
        }
        if (block < cells_.size()) {
            para.depth = cells_[block].depth;
            para.endsCell = cells_[block].endsCell;
            para.endsRow = cells_[block].endsRow;
        }
        // Runs: the spans' pieces within [start, end).
        while (span + 1 < spans_.size() && spans_[span + 1].start <= start)
            ++span;
        for (int at = start; at < end && span < spans_.size();) {
            const int next = span + 1 < spans_.size() ? std::min(spans_[span + 1].start, end) : end;
            QString piece = text_.mid(at, next - at);
            if (piece.contains(QChar::ObjectReplacementCharacter)) {
                // A picture is a U+FFFC of its own format; other objects are nothing.
                if (auto picture = pictureOf(formats_.value(spans_[span].format))) {
                    for (qsizetype k = piece.count(QChar::ObjectReplacementCharacter); k > 0; --k)
                        para.runs.push_back(rtf::Run{resolvedAt(spans_[span].format),
                                                     QString(QChar::ObjectReplacementCharacter),
                                                     picture});
                }
                piece.remove(QChar::ObjectReplacementCharacter);
            }
            if (!piece.isEmpty()) {
                const rtf::CharFormat &format = resolvedAt(spans_[span].format);
                if (!para.runs.empty() && para.runs.back().format == format &&
                    !para.runs.back().picture) {
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

int Snapshot::nextBreak(int from) const {
    if (cells_.empty()) {
        const qsizetype at = text_.indexOf(QChar::ParagraphSeparator, from);
        return at < 0 ? int(text_.size()) : int(at);
    }
    const int n = int(text_.size());
    while (from < n && !isBreak(text_.at(from)))
        ++from;
    return from;
}

QString Snapshot::plainText() const {
    QString plain;
    plain.reserve(text_.size());
    const int n = int(text_.size());
    bool first = true;
    bool space = false;  // a space is due before any more text of the cell
    size_t previous = 0; // the last paragraph given
    int start = 0;
    for (size_t block = 0; start <= n; ++block) {
        const int end = nextBreak(start);
        const Cell *cell = block < cells_.size() ? &cells_[block] : nullptr;
        if (cell && cell->skip) {
            start = end + 1;
            continue;
        }
        if (!first) {
            // A row is a line, its cells separated by a tab; the paragraphs
            // of a cell (and the rows of a table inside it) by a space.
            const Cell *before = previous < cells_.size() ? &cells_[previous] : nullptr;
            if (!before || before->depth == 0 || (before->depth == 1 && before->endsRow)) {
                plain += QLatin1Char('\n');
                space = false;
            } else if (before->depth == 1 && before->endsCell) {
                plain += QLatin1Char('\t');
                space = false;
            } else {
                space = true;
            }
        }
        first = false;
        previous = block;
        if (space && (end > start || (block < lists_.size() && lists_[block].id))) {
            plain += QLatin1Char(' ');
            space = false;
        }
        if (block < lists_.size() && lists_[block].id)
            plain += markerOf(lists_[block]) + QLatin1Char('\t');
        const QChar lineBreak = cell && cell->depth > 0 ? QChar(u' ') : QChar(u'\n');
        for (int k = start; k < end; ++k) {
            const QChar c = text_.at(k);
            if (c == QChar::ObjectReplacementCharacter) continue; // a picture is no text
            plain += c == QChar::LineSeparator ? lineBreak : c;
        }
        start = end + 1;
    }
    return plain;
}

rtf::Document extract(const QTextDocument *doc, int from, int to, const TFont &defaults) {
    return Snapshot(doc, from, to, defaults).document();
}

namespace {
// Paragraphs of a table held before its ended rows go in.
constexpr size_t HeldParagraphs = 16384;
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
    : cursor_(cursor), formats_(std::make_unique<Formats>()) {
    fresh_ = intoEmpty;
    // Into a cell a table brings its paragraphs only.
    flat_ = cursor_.currentTable() != nullptr;
    cursor_.beginEditBlock();
}

Inserter::~Inserter() {
    // Left early (an exception): what was put in stays, with the rows held,
    // in one edit block.
    if (!finished_) {
        finished_ = true;
        try {
            endTable();
        } catch (...) {
        }
        cursor_.endEditBlock();
    }
}

void Inserter::add(const rtf::Paragraph &p) {
    if (flat_ && p.depth > 0) {
        rtf::Paragraph plain = p;
        plain.depth = 0;
        plain.endsCell = false;
        plain.endsRow.reset();
        addParagraph(plain);
        return;
    }
    if (p.depth > 0) {
        add(rtf::Paragraph(p));
        return;
    }
    endTable();
    addParagraph(p);
}

void Inserter::add(rtf::Paragraph &&p) {
    if (p.depth > 0 && !flat_) {
        if (pending_.empty()) pending_.reserve(HeldParagraphs + 64);
        pending_.push_back(std::move(p));
        const rtf::Paragraph &held = pending_.back();
        if (held.depth == 1 && held.endsRow) {
            rowEnds_.push_back(pending_.size());
            // The toolkit counts all of a table's cells again when rows are
            // added: the rows held grow with the table, so that it is counted
            // a few dozen times in all, not once every few thousand rows.
            if (pending_.size() >= std::max(HeldParagraphs, tableParagraphs_ / 8)) {
                tableParagraphs_ += pending_.size();
                flushRows(false);
                tableParagraphs_ -= pending_.size(); // those of a row not ended
            }
        }
        return;
    }
    add(static_cast<const rtf::Paragraph &>(p));
}

void Inserter::addParagraph(const rtf::Paragraph &p) {
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
    if (fresh_) {
        // An empty document, a new cell, or the paragraph after a table.
        cursor_.setBlockFormat(format);
    } else if (count_ > 0) {
        cursor_.insertBlock(format);
    } // else the first paragraph of a paste joins the cursor's
    fresh_ = false;
    for (const rtf::Run &r : p.runs) {
        charFormat_ = &formats_->get(r.format);
        if (r.picture) {
            insertPicture(cursor_, *charFormat_, r.picture);
        } else {
            cursor_.insertText(r.text, *charFormat_);
        }
    }
    if (p.runs.empty() && count_ > 0 && charFormat_) {
        // The character format of a cell's first paragraph is its mark's,
        // which holds the cell's definition: that stays.
        const int at = cursor_.block().position();
        if (at > 0 && cursor_.document()->characterAt(at - 1) == FrameStart) {
            cursor_.mergeBlockCharFormat(*charFormat_);
        } else {
            cursor_.setBlockCharFormat(*charFormat_);
        }
    }
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
    afterEdit();
}

void Inserter::afterEdit() {
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

struct Inserter::Row {
    const rtf::Paragraph *begin;
    const rtf::Paragraph *end;
};

namespace {

// A row's cells, each the paragraphs [first, second), and its definition,
// with a cell for each definition and each cell of text, whichever are more.
struct RowPlan {
    std::vector<std::pair<const rtf::Paragraph *, const rtf::Paragraph *>> cells;
    std::shared_ptr<const rtf::RowDef> def;
};

// The row [begin, end) of a table at `depth`: its cells end with the
// paragraphs that end a cell at that depth; deeper paragraphs are rows of
// tables inside its cells.
RowPlan planRow(const rtf::Paragraph *begin, const rtf::Paragraph *end, int depth) {
    RowPlan plan;
    auto &cells = plan.cells;
    const rtf::Paragraph *start = begin;
    for (const rtf::Paragraph *p = begin; p != end; ++p) {
        if (p->depth == depth && (p->endsCell || p->endsRow)) {
            cells.emplace_back(start, p + 1);
            start = p + 1;
        }
    }
    if (start != end) cells.emplace_back(start, end); // a cell that never ended
    const rtf::Paragraph &last = end[-1];
    if (last.depth == depth && last.endsRow && last.endsRow->cells.size() == cells.size() &&
        cells.size() <= size_t(MaxTableColumns)) {
        plan.def = last.endsRow; // as read, shared with the rows alike
        return plan;
    }
    rtf::RowDef def = last.depth == depth && last.endsRow ? *last.endsRow : rtf::RowDef{};
    while (def.cells.size() < cells.size()) {
        rtf::CellDef c;
        c.right = (def.cells.empty() ? def.left : def.cells.back().right) + 1440;
        def.cells.push_back(c);
    }
    while (cells.size() < def.cells.size())
        cells.emplace_back(end, end);
    // Cells past the last column go into the last one, which reaches as far
    // as they did.
    if (cells.size() > size_t(MaxTableColumns)) {
        cells[MaxTableColumns - 1].second = cells.back().second;
        cells.resize(MaxTableColumns);
        def.cells[MaxTableColumns - 1].right = def.cells.back().right;
        def.cells.resize(MaxTableColumns);
    }
    plan.def = std::make_shared<const rtf::RowDef>(std::move(def));
    return plan;
}

} // namespace

namespace {
// The definition most of `plans` share (as read, rows alike share theirs).
std::shared_ptr<const rtf::RowDef> commonest(const std::vector<RowPlan> &plans) {
    std::unordered_map<const rtf::RowDef *, size_t> counts;
    std::shared_ptr<const rtf::RowDef> best;
    size_t most = 0;
    for (const RowPlan &p : plans) {
        const size_t n = ++counts[p.def.get()];
        if (n > most) {
            most = n;
            best = p.def;
        }
    }
    return best;
}
} // namespace

// The toolkit makes a table's cells cheaply when it makes the table, and
// counts them all again whenever rows are added: rows go in many at a time.
void Inserter::putRows(Filling &into, const std::vector<Row> &rows, int depth) {
    if (rows.empty()) return;
    std::vector<RowPlan> plans;
    plans.reserve(rows.size());
    int columns = 1;
    for (const Row &r : rows) {
        plans.push_back(planRow(r.begin, r.end, depth));
        columns = std::max(columns, int(plans.back().cells.size()));
    }
    const int n = int(rows.size());
    QTextTable *&table = into.table;
    const auto formatsOf = [](const rtf::RowDef &def, int total) {
        std::vector<QTextTableCellFormat> formats(static_cast<size_t>(total));
        const int used = int(def.cells.size());
        for (int c = 0; c < total; ++c) {
            QTextTableCellFormat &f = formats[size_t(c)];
            if (c < used) {
                setCellDef(f, def.cells[size_t(c)]);
            } else {
                setAbsent(f);
            }
            if (c == 0) setRowDef(f, def);
        }
        return formats;
    };
    if (!table) {
        // A new table, where the cursor is; the paragraph it is put into
        // goes on after it, with its format.
        const int at = cursor_.position();
        const bool unused = fresh_; // the cursor's paragraph is none of the document's
        if (depth == 1) restFormat_ = cursor_.blockFormat();
        into.usual = commonest(plans);
        QTextTableFormat format;
        setUsualCells(format, formatsOf(*into.usual, int(into.usual->cells.size())));
        into.made = n;
        if (depth == 1 && nextExpected_ < expected_.size())
            into.made = std::max(n, expected_[nextExpected_++]);
        table = cursor_.insertTable(into.made, columns, format);
        into.rows = 0;
        // The toolkit keeps a paragraph before every table: one left empty
        // is no paragraph of the document, unless the document put it there.
        QTextBlock before = cursor_.document()->findBlock(at);
        if (unused && before.length() == 1) {
            QTextCursor pad(before);
            QTextBlockFormat f = before.blockFormat();
            f.setProperty(TablePadProperty, true);
            pad.setBlockFormat(f);
        }
    } else {
        if (table->columns() < columns) {
            // A wider row: the rows before it have no cells there.
            const int old = table->columns();
            table->insertColumns(old, columns - old);
            for (int r = 0; r < into.rows; ++r) {
                for (int c = old; c < columns; ++c) {
                    QTextTableCell cell = table->cellAt(r, c);
                    QTextTableCellFormat f = cell.format().toTableCellFormat();
                    setAbsent(f);
                    cell.setFormat(f);
                }
            }
        }
        if (into.rows + n > into.made) {
            table->appendRows(into.rows + n - into.made);
            into.made = into.rows + n;
        }
    }
    const int total = table->columns();
    for (int r = 0; r < n; ++r) {
        const RowPlan &plan = plans[size_t(r)];
        const int row = into.rows + r;
        const int used = int(plan.cells.size());
        // Rows of a table mostly share their definition: its cells' formats
        // are made once, and the toolkit finds them again by their kept hash.
        if (cellFormats_.size() != size_t(total) || !cellFormatsDef_ ||
            (cellFormatsDef_ != plan.def && !(*cellFormatsDef_ == *plan.def))) {
            cellFormats_ = formatsOf(*plan.def, total);
        }
        cellFormatsDef_ = plan.def;
        // The cells of a row with the table's usual definition keep none of
        // their own.
        const int own = plan.def == into.usual || *plan.def == *into.usual ? used : 0;
        // A table in a cell, put in below, makes formats of its own.
        const bool nests =
            std::any_of(rows[size_t(r)].begin, rows[size_t(r)].end,
                        [depth](const rtf::Paragraph &p) { return p.depth > depth; });
        std::vector<QTextTableCellFormat> kept;
        if (nests) kept = cellFormats_;
        const std::vector<QTextTableCellFormat> &formats = nests ? kept : cellFormats_;
        for (int c = 0; c < total; ++c) {
            QTextTableCell cell = table->cellAt(row, c);
            if (c >= own) cell.setFormat(formats[size_t(c)]);
            if (c >= used) continue;
            cursor_.setPosition(cell.firstPosition());
            fresh_ = true;
            const rtf::Paragraph *p = plan.cells[size_t(c)].first;
            const rtf::Paragraph *const last = plan.cells[size_t(c)].second;
            while (p != last) {
                if (p->depth <= depth) {
                    addParagraph(*p++);
                    continue;
                }
                // A table in the cell: its rows, up to the cell's next paragraph.
                std::vector<Row> inner;
                const rtf::Paragraph *start = p;
                for (; p != last && p->depth > depth; ++p) {
                    if (p->depth == depth + 1 && p->endsRow) {
                        inner.push_back(Row{start, p + 1});
                        start = p + 1;
                    }
                }
                if (start != p) inner.push_back(Row{start, p}); // a row that never ended
                Filling nested;
                putRows(nested, inner, depth + 1);
                cursor_.setPosition(nested.table->lastPosition() + 1);
                fresh_ = true;
            }
        }
    }
    into.rows += n;
}

// Puts in the body table's rows held: those ended, or all of them.
void Inserter::flushRows(bool all) {
    if (all && (rowEnds_.empty() ? 0 : rowEnds_.back()) < pending_.size())
        rowEnds_.push_back(pending_.size()); // a row that never ended
    if (rowEnds_.empty()) return;
    std::vector<Row> rows;
    rows.reserve(rowEnds_.size());
    size_t start = 0;
    for (size_t end : rowEnds_) {
        rows.push_back(Row{pending_.data() + start, pending_.data() + end});
        start = end;
    }
    putRows(table_, rows, 1);
    pending_.erase(pending_.begin(), pending_.begin() + std::ptrdiff_t(start));
    rowEnds_.clear();
}

// Ends the body's table: the rows held go in and the cursor goes to the
// paragraph after the table.
void Inserter::endTable() {
    flushRows(true);
    if (!table_.table) return;
    // Rows made for rows that did not come (the count was not of this
    // document's paragraphs) go.
    if (table_.rows < table_.made) table_.table->removeRows(table_.rows, table_.made - table_.rows);
    cursor_.setPosition(table_.table->lastPosition() + 1);
    fresh_ = true;
    table_ = Filling{};
    tableParagraphs_ = 0;
}

void Inserter::finish() {
    if (finished_) return;
    const bool afterTable = table_.table || !pending_.empty();
    endTable();
    if (afterTable) {
        // The rest of the paragraph the table went into, or the paragraph the
        // toolkit keeps after a table that ends the document.
        QTextBlockFormat f = restFormat_;
        if (cursor_.block().length() == 1) f.setProperty(TablePadProperty, true);
        cursor_.setBlockFormat(f);
    }
    finished_ = true;
    cursor_.endEditBlock();
}

void Inserter::expectRows(std::vector<int> rows) {
    expected_ = std::move(rows);
    nextExpected_ = 0;
}

void RowCounter::add(const rtf::Paragraph &p) {
    if (p.depth == 0) {
        close();
        return;
    }
    if (!inTable_) {
        rows_.push_back(0);
        widest_ = rowCells_ = 0;
    }
    inTable_ = rowOpen_ = true;
    cellOpen_ = p.depth > 1 || !(p.endsCell || p.endsRow);
    if (p.depth > 1) return;
    if (p.endsCell || p.endsRow) ++rowCells_;
    if (p.endsRow) {
        ++rows_.back();
        widest_ = std::max(widest_, rowCells_);
        rowCells_ = 0;
        rowOpen_ = false;
    }
}

void RowCounter::close() {
    if (!inTable_) return;
    if (rowOpen_) { // a row that never ended
        ++rows_.back();
        widest_ = std::max(widest_, rowCells_ + (cellOpen_ ? 1 : 0));
    }
    cells_ += qint64(rows_.back()) * std::max(1, widest_);
    inTable_ = rowOpen_ = cellOpen_ = false;
}

std::vector<int> RowCounter::finish() {
    close();
    return std::move(rows_);
}

void insert(QTextCursor &cursor, const rtf::Document &doc, bool intoEmpty) {
    Inserter in(cursor, intoEmpty);
    for (const rtf::Paragraph &p : doc.paragraphs)
        in.add(p);
    in.finish();
}

} // namespace qtrich
