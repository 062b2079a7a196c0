// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/htmlpaste.h"

#include "platform/listformat.h"
#include "platform/richconvert.h"
#include "platform/textformats.h"

#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextList>
#include <QTextTable>

namespace qtrich {

namespace {
// Walks an HTML document built by the toolkit, frame by frame.
class HtmlFlattener {
public:
    HtmlFlattener(const QTextDocument *doc, const TFont &defaults)
        : doc_(doc), defaults_(defaults) {
        out_.paragraphs.clear();
    }

    rtf::Document run() {
        walk(doc_->rootFrame()->begin(), doc_->rootFrame()->end(), 0);
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

    // The blocks and tables of a frame (the document's, or a cell's) as
    // paragraphs at `depth`.
    void walk(QTextFrame::iterator it, const QTextFrame::iterator &end, int depth) {
        const QTextFrame::iterator begin = it;
        for (; it != end; ++it) {
            if (QTextFrame *child = it.currentFrame()) {
                if (auto *table = qobject_cast<QTextTable *>(child)) {
                    addTable(table, depth + 1);
                } else {
                    walk(child->begin(), child->end(), depth);
                }
                continue;
            }
            const QTextBlock b = it.currentBlock();
            if (!b.isValid()) continue;
            // The toolkit puts an empty paragraph on each side of a table.
            if (isEmptyBlock(it)) {
                QTextFrame::iterator prev = it, next = it;
                ++next;
                const bool tableAfter = next != end && !next.atEnd() && next.currentFrame();
                const bool tableBefore = it != begin && (--prev).currentFrame();
                if (tableAfter || tableBefore) continue;
            }
            out_.paragraphs.push_back(paragraphOf(b));
            out_.paragraphs.back().depth = depth;
        }
    }

    // Each column's right edge in twips: the widths the HTML gives (pixels,
    // or shares of the table), the columns that have none sharing what is
    // left of the page equally.
    static std::vector<int> columnEdges(const QTextTable *table) {
        const QTextTableFormat format = table->format();
        const int columns = table->columns();
        const QTextLength width = format.width();
        double total = DefaultTextWidth;
        if (width.type() == QTextLength::FixedLength) total = width.rawValue() * TwipsPerPixel;
        if (width.type() == QTextLength::PercentageLength)
            total = DefaultTextWidth * std::clamp(width.rawValue(), 1.0, 100.0) / 100;
        const QList<QTextLength> given = format.columnWidthConstraints();
        std::vector<double> widths(size_t(columns), -1);
        double used = 0;
        int free = 0;
        for (int c = 0; c < columns; ++c) {
            const QTextLength l = c < given.size() ? given.at(c) : QTextLength();
            if (l.type() == QTextLength::FixedLength) {
                widths[size_t(c)] = l.rawValue() * TwipsPerPixel;
            } else if (l.type() == QTextLength::PercentageLength) {
                widths[size_t(c)] = total * l.rawValue() / 100;
            } else {
                ++free;
                continue;
            }
            used += widths[size_t(c)];
        }
        const double share = free ? std::max(total - used, 360.0 * free) / free : 0;
        std::vector<int> edges;
        double right = 0;
        for (double w : widths) {
            right += w < 0 ? share : std::max(w, 15.0);
            edges.push_back(int(std::lround(right)));
        }
        return edges;
    }

    // A table's rows, its cells as cells of the model: widths from the HTML,
    // its border, each cell's background and vertical alignment, spans as
    // merged cells.
    void addTable(QTextTable *table, int depth) {
        const std::vector<int> edges = columnEdges(table);
        const QTextTableFormat tf = table->format();
        rtf::Border border;
        if (tf.border() > 0) {
            border.style = rtf::BorderStyle::Single;
            border.width = int(std::lround(tf.border() * TwipsPerPixel));
        }
        for (int row = 0; row < table->rows(); ++row) {
            auto def = std::make_shared<rtf::RowDef>();
            def->gap = int(std::lround(tf.cellPadding() * TwipsPerPixel));
            for (int column = 0; column < table->columns(); ++column) {
                const QTextTableCell cell = table->cellAt(row, column);
                rtf::CellDef c;
                c.right = edges[size_t(column)];
                c.top = c.left = c.bottom = c.rightBorder = border;
                const size_t before = out_.paragraphs.size();
                if (cell.isValid()) {
                    const QTextTableCellFormat f = cell.format().toTableCellFormat();
                    if (f.background().style() != Qt::NoBrush)
                        c.shading = std::int32_t(f.background().color().rgb() & 0xFFFFFF);
                    switch (f.verticalAlignment()) {
                    case QTextCharFormat::AlignMiddle:
                        c.align = rtf::CellAlign::Center;
                        break;
                    case QTextCharFormat::AlignBottom:
                        c.align = rtf::CellAlign::Bottom;
                        break;
                    default:
                        break;
                    }
                    // A spanned cell: its text where it starts, the cells it
                    // covers following it.
                    c.across = cell.column() < column  ? rtf::Merge::Next
                               : cell.columnSpan() > 1 ? rtf::Merge::First
                                                       : rtf::Merge::None;
                    c.down = cell.row() < row     ? rtf::Merge::Next
                             : cell.rowSpan() > 1 ? rtf::Merge::First
                                                  : rtf::Merge::None;
                    if (cell.row() == row && cell.column() == column)
                        walk(cell.begin(), cell.end(), depth);
                }
                // A cell ends with a paragraph of its own depth.
                if (out_.paragraphs.size() == before || out_.paragraphs.back().depth != depth) {
                    out_.paragraphs.emplace_back();
                    out_.paragraphs.back().depth = depth;
                }
                out_.paragraphs.back().endsCell = true;
                def->cells.push_back(c);
            }
            if (table->columns() > 0) out_.paragraphs.back().endsRow = def;
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

} // namespace qtrich
