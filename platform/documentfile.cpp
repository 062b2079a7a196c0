// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/documentfile.h"

#include "core/docfile.h"
#include "core/freememory.h"
#include "core/rtf.h"
#include "core/textcodec.h"
#include "platform/blocklayout.h"
#include "platform/progress.h"
#include "platform/richconvert.h"
#include "platform/richedit_p.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QTextCursor>
#include <QTextDocument>

namespace {
// What an Open may need beside what it holds, in bytes per byte of the file
// or character of the text, as measured on documents of every shape (100 M
// characters of plain text in 1.8 M lines took 600 MB of address space at the
// most; the toolkit's text classes do not survive a failed allocation, so the
// guess errs on the large side). The reserve is kept free while the document is
// filled, for the toolkit's own needs.
constexpr qint64 ReadNeedPerByte = 3; // the file's bytes and the text they decode to
constexpr qint64 RtfNeedPerByte = 5;  // RTF: the document it makes
constexpr qint64 TextNeedPerChar = 6; // plain text: the document, its layout, pieces
constexpr qint64 NeedPerParagraph = 64;
// A table's cell as the toolkit makes it, beside its text (an empty one took
// 200 bytes): a file of empty cells needs far more than its size says.
constexpr qint64 NeedPerCell = 256;
constexpr qint64 OpenReserve = qint64(48) << 20;
// Save As: the document's copy and its RTF, which may take 8 bytes a character.
constexpr qint64 SaveAsNeedPerChar = 16;
constexpr qint64 SaveReserve = qint64(16) << 20;

// A file with this many row ends may hold a table longer than an Inserter
// makes at once from the rows it holds.
constexpr qsizetype CountedRows = 4096;

// Open as it goes: the file, its progress window, and now and then a look at
// the memory left, so that Open stops before the toolkit runs out.
class Opening {
public:
    Opening(RichEditWidget *editor, const QString &fileName)
        : e_(editor), fileName_(fileName),
          progress_(QStringLiteral("Ouverture de « %1 »...").arg(QFileInfo(fileName).fileName()),
                    true) {
        sinceCheck_.start();
    }

    // False when cancelled.
    bool run() {
        require(ReadNeedPerByte * QFileInfo(fileName_).size());
        QByteArray data = ReadDocumentFile(fileName_);
        if (progress_.Step(0.05)) return false;
        const bool complete = rtf::looksLikeRtf(data) ? readRtf(data) : readPlain(std::move(data));
        // Where the caret already is, it is not moved: the toolkit would
        // measure its whole paragraph.
        if (e_->textCursor().position() != 0) e_->moveCursor(QTextCursor::Start);
        e_->setModified(false);
        return complete;
    }

private:
    void require(qint64 bytes) { RequireMemory(OpenReserve + bytes, action(), fileName_); }
    static QString action() { return QStringLiteral("ouvrir"); }
    void checkMemory() {
        if (sinceCheck_.elapsed() < 20) return;
        sinceCheck_.restart();
        if (FreeMemory() < OpenReserve) RaiseOutOfMemory(action(), fileName_);
    }

    // Each paragraph goes into the document as soon as it is read. A file
    // that may hold long tables is read twice: first to count their rows,
    // so that each table is made whole at once.
    bool readRtf(const QByteArray &data) {
        require(RtfNeedPerByte * data.size());
        std::vector<int> rows;
        double from = 0.05;
        if (data.count("\\row") >= CountedRows) {
            qtrich::RowCounter counter;
            if (!rtf::read(
                    data, [&](rtf::Paragraph &&p) { counter.add(p); },
                    [&](double done) {
                        checkMemory();
                        return progress_.Step(0.05 + 0.25 * done);
                    }))
                return false;
            rows = counter.finish();
            from = 0.3;
            require(RtfNeedPerByte * data.size() + NeedPerCell * counter.cells());
        }
        bool complete = true;
        e_->load([&] {
            QTextCursor cur(e_->document());
            qtrich::Inserter inserter(cur, true);
            inserter.expectRows(std::move(rows));
            complete = rtf::read(
                data, [&](rtf::Paragraph &&p) { inserter.add(std::move(p)); },
                [&](double done) {
                    checkMemory();
                    return progress_.Step(from + (0.95 - from) * done);
                });
            inserter.finish();
        });
        return complete;
    }

    // In pieces, so that the window can show how far it is.
    bool readPlain(QByteArray data) {
        const QString text = textcodec::decodePlainText(data);
        data = QByteArray(); // the file's bytes are not needed beside the text
        require(TextNeedPerChar * text.size() + NeedPerParagraph * text.count(QLatin1Char('\n')));
        if (progress_.Step(0.2)) return false;
        bool complete = true;
        e_->load([&] { complete = insertPieces(text); }, true); // breaks are all '\n'
        return complete;
    }

    bool insertPieces(const QString &text) {
        QTextCursor cur(e_->document());
        constexpr qsizetype Piece = qsizetype(1) << 22;
        const qsizetype n = text.size();
        for (qsizetype from = 0; from < n;) {
            // The first piece is short: the caret goes before it at once,
            // where the toolkit measures a short paragraph (not all of a long
            // one), and the rest goes in after it.
            qsizetype to = std::min(n, from + (from == 0 ? BlockLayout::SegmentLength : Piece));
            if (to < n) {
                // At a line's end when one is near; a line of many megabytes
                // is cut too, but not inside a surrogate pair.
                const qsizetype nl = text.indexOf(QLatin1Char('\n'), to);
                if (nl >= 0 && nl - to < Piece) {
                    to = nl + 1;
                } else if (text.at(to - 1).isHighSurrogate()) {
                    ++to;
                }
            }
            // In an edit block: the cursor does not then ask the paragraph's
            // layout for its column, which for a long paragraph means
            // analysing all of it.
            cur.beginEditBlock();
            cur.insertText(from == 0 && to == n ? text : text.mid(from, to - from));
            cur.endEditBlock();
            if (from == 0) e_->moveCursor(QTextCursor::Start);
            from = to;
            checkMemory();
            if (progress_.Step(0.2 + 0.8 * double(from) / double(n))) return false;
        }
        return true;
    }

    RichEditWidget *e_;
    QString fileName_;
    TProgress progress_;
    QElapsedTimer sinceCheck_;
};

void empty(RichEditWidget *e) {
    e->load([e] { e->document()->clear(); });
    e->setModified(false);
}
} // namespace

bool LoadDocumentFile(RichEditWidget *e, const QString &fileName) {
    e->setAccessibleName(QStringLiteral("Document"));
    // The document goes first, with the memory it holds.
    empty(e);
    try {
        if (!Opening(e, fileName).run()) {
            empty(e); // cancelled: as after a failed Open
            return false;
        }
        e->setAccessibleName(QFileInfo(fileName).fileName());
        return true;
    } catch (const std::bad_alloc &) {
        empty(e);
        RaiseOutOfMemory(QStringLiteral("ouvrir"), fileName);
    } catch (...) {
        // No half document: the editor is left empty, as after Annuler.
        empty(e);
        throw;
    }
}

void SaveDocumentFile(RichEditWidget *e, const QString &defaultFont, const QString &fileName) {
    const QString action = QStringLiteral("enregistrer");
    RequireMemory(SaveReserve + SaveAsNeedPerChar * e->documentLength(), action, fileName);
    try {
        TProgress progress(
            QStringLiteral("Enregistrement de « %1 »...").arg(QFileInfo(fileName).fileName()),
            false);
        const rtf::Document doc = e->extract(0, e->documentLength());
        progress.Step(0.3);
        const QByteArray bytes = rtf::write(doc, defaultFont);
        progress.Step(0.8);
        SafeWriteFile(fileName, bytes);
    } catch (const std::bad_alloc &) {
        RaiseOutOfMemory(action, fileName);
    }
}
