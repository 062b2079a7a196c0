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

} // namespace qtrich
