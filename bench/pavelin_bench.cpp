// SPDX-License-Identifier: GPL-3.0-or-later
// Measures the editor's own code paths on large generated documents against
// baselines measured in the same run. Prints figures; never passes or fails.
//   pavelin_bench table [megabytes=20] [repeats=5] [big=100]   the in-process figures
//   pavelin_bench memory ours|bare plain|rtf FILE              peak memory after Open
//   pavelin_bench generate plain|rtf MEGABYTES FILE            an input file
//   pavelin_bench shapes [scale=1] [repeats=20] [limit=120] [name]   every figure on many
//   shapes (those whose name holds `name`)
//   pavelin_bench reader [megabytes=8] [repeats=5]             the RTF reader alone, many shapes
//   pavelin_bench shape-run ours|plain|textedit|textedit-rich FILE REPEATS   one editor on
//   one file
//   pavelin_bench profile parse|open|save|saveas|key FILE           one code path, for perf or
//   callgrind
#include "app/entry.h"
#include "core/rtf.h"
#include "platform/editoraccess.h"
#include "platform/richconvert.h"
#include "tests/procfiles.h"
#include "ui/form1.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QMap>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

namespace {
const char *const words[] = {
    "le",     "chat",   "été",    "fenêtre", "où",      "garçon",  "crème", "brûlée", "déjà",
    "naïf",   "Noël",   "cœur",   "à",       "très",    "bientôt", "élève", "forêt",  "ça",
    "maison", "lettre", "écrire", "rivière", "château", "hôpital", "voilà"};

// French paragraphs of 60 to 120 words, about `bytes` long in UTF-8.
QString frenchText(qint64 bytes) {
    QRandomGenerator rng(42);
    QString out;
    qint64 size = 0;
    while (size < bytes) {
        const int n = 60 + int(rng.bounded(61));
        QString para;
        for (int i = 0; i < n; ++i) {
            if (i) para += QLatin1Char(' ');
            para += QString::fromUtf8(words[rng.bounded(int(std::size(words)))]);
        }
        para += QStringLiteral(".\n");
        size += para.toUtf8().size();
        out += para;
    }
    out.chop(1);
    return out;
}

// The same text as RTF, the formatting changing every few words: bold,
// italic, colour, size, face.
QByteArray formattedRtf(const QString &text) {
    rtf::Document doc;
    doc.paragraphs.clear();
    QRandomGenerator rng(7);
    const QString faces[] = {QStringLiteral("Times New Roman"), QStringLiteral("Arial"),
                             QStringLiteral("Courier New")};
    for (const QString &line : text.split(QLatin1Char('\n'))) {
        rtf::Paragraph p;
        const QStringList ws = line.split(QLatin1Char(' '));
        for (qsizetype i = 0; i < ws.size();) {
            const qsizetype n = std::min<qsizetype>(2 + rng.bounded(4), ws.size() - i);
            rtf::CharFormat f;
            f.font = faces[rng.bounded(3)];
            f.halfPoints = 20 + 2 * int(rng.bounded(6));
            f.bold = rng.bounded(3) == 0;
            f.italic = rng.bounded(4) == 0;
            f.color = rng.bounded(3) == 0 ? std::int32_t(rng.bounded(0x1000000)) : rtf::NoColor;
            QString t = ws.mid(i, n).join(QLatin1Char(' '));
            i += n;
            if (i < ws.size()) t += QLatin1Char(' ');
            p.runs.push_back(rtf::Run{f, t});
        }
        doc.paragraphs.push_back(std::move(p));
    }
    return rtf::write(doc);
}

struct Figure {
    double median = 0, spread = 0;
};

// Median and spread of `repeats` runs, after one run that warms caches and
// the allocator and is not counted.
Figure measure(int repeats, const std::function<void()> &setup, const std::function<void()> &run) {
    std::vector<double> ms;
    for (int i = -1; i < repeats; ++i) {
        if (setup) setup();
        QElapsedTimer t;
        t.start();
        run();
        if (i >= 0) ms.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms.back() - ms.front()};
}

void row(const QString &what, Figure ours, Figure base, const QString &baseline) {
    std::printf("| %-40s | %10.1f ± %-8.1f | %10.1f ± %-8.1f | %6.2f | %s |\n", qPrintable(what),
                ours.median, ours.spread, base.median, base.spread,
                base.median > 0 ? ours.median / base.median : 0.0, qPrintable(baseline));
    std::fflush(stdout);
}

void writeFile(const QString &name, const QByteArray &data) {
    if (!procfiles::writeFile(name, data)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(name));
        std::exit(1);
    }
}

// Peak memory in KiB; a figure that can't be read shows as -1, never as 0.
qint64 peakKiB() {
    return procfiles::peakMemoryKiB();
}

TForm1 *makeForm() {
    Application = new TApplication;
    Application->Initialize();
    QTimer::singleShot(0, [] {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *box = qobject_cast<QMessageBox *>(w)) box->button(QMessageBox::Ok)->click();
    });
    Application->CreateForm(Form1);
    return Form1;
}

// One key typed into a shown editor, until the window has repainted.
[[gnu::noinline]] double keystroke(QWidget *editor) {
    QElapsedTimer t;
    t.start();
    QKeyEvent press(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
    QApplication::sendEvent(editor, &press);
    QApplication::sendEvent(editor, &release);
    editor->repaint();
    QApplication::processEvents();
    return double(t.nsecsElapsed()) / 1e6;
}

// Keys typed at the start (0), middle (1) or end (2) of a shown editor.
template <class Edit> Figure keystrokes(Edit *edit, int where, int repeats) {
    QTextCursor cur = edit->textCursor();
    const int len = edit->document()->characterCount() - 1;
    cur.setPosition(where == 0 ? 0 : where == 1 ? len / 2 : len);
    edit->setTextCursor(cur);
    edit->ensureCursorVisible();
    QApplication::processEvents();
    return measure(repeats, nullptr, [&] { keystroke(edit->viewport()); });
}

int table(int megabytes, int repeats, int bigMegabytes) {
    TForm1 *form = makeForm();
    QTemporaryDir dir;
    const QString text = frenchText(qint64(megabytes) * 1024 * 1024);
    const QString plainFile = dir.filePath(QStringLiteral("doc.txt"));
    writeFile(plainFile, text.toUtf8());
    const QString rtfFile = dir.filePath(QStringLiteral("doc.rtf"));
    writeFile(rtfFile, formattedRtf(text));
    std::printf("Documents: %d MB of French text (%lld characters), the same as RTF with a format "
                "change every few "
                "words (%lld MB); median of %d runs, in ms\n\n",
                megabytes, qlonglong(text.size()),
                qlonglong(QFileInfo(rtfFile).size() / (1024 * 1024)), repeats);
    std::printf("| %-40s | %-21s | %-21s | %-6s | %s |\n", "figure", "ours (ms)", "baseline (ms)",
                "ratio", "baseline");
    std::printf("|%s|%s|%s|%s|%s|\n", "------------------------------------------",
                "-----------------------", "-----------------------", "--------", "----------");

    TRichEdit *edit = form->RichEdit1;
    const auto openFigure = [&](const QString &file) {
        return measure(
            repeats, [&] { edit->Lines->Clear(); }, [&] { edit->Lines->LoadFromFile(file); });
    };
    const auto bareOpen = [&](const QString &file) {
        return measure(repeats, nullptr, [&] {
            QFile f(file);
            f.open(QIODevice::ReadOnly);
            QTextDocument doc;
            doc.setPlainText(QString::fromUtf8(f.readAll()));
        });
    };
    const Figure openPlain = openFigure(plainFile);
    row(QStringLiteral("Open plain text, %1 MB").arg(megabytes), openPlain, bareOpen(plainFile),
        QStringLiteral("read + QTextDocument::setPlainText"));
    if (bigMegabytes > 0) {
        const QString big = dir.filePath(QStringLiteral("big.txt"));
        writeFile(big, frenchText(qint64(bigMegabytes) * 1024 * 1024).toUtf8());
        row(QStringLiteral("Open plain text, %1 MB").arg(bigMegabytes), openFigure(big),
            bareOpen(big), QStringLiteral("read + QTextDocument::setPlainText"));
        edit->Lines->Clear();
        QFile::remove(big);
    }
    const Figure openRtf = openFigure(rtfFile);
    row(QStringLiteral("Open RTF, %1 MB of text").arg(megabytes), openRtf, openPlain,
        QStringLiteral("Open plain of the same text"));
    {
        // Where Open RTF goes: our reader, and Qt taking the same runs into a
        // document no widget shows (the least any QTextDocument editor pays).
        QFile f(rtfFile);
        f.open(QIODevice::ReadOnly);
        const QByteArray bytes = f.readAll();
        row(QStringLiteral("  part: reading the RTF"),
            measure(repeats, nullptr, [&] { (void)rtf::read(bytes); }), openPlain,
            QStringLiteral("Open plain of the same text"));
        const rtf::Document parsed = rtf::read(bytes);
        row(QStringLiteral("  part: Qt taking its runs, bare document"),
            measure(repeats, nullptr,
                    [&] {
                        QTextDocument doc;
                        QTextCursor cursor(&doc);
                        qtrich::insert(cursor, parsed, true);
                    }),
            openPlain, QStringLiteral("Open plain of the same text"));
    }

    form->SaveDialog1->FileName = dir.filePath(QStringLiteral("saved.txt"));
    row(QStringLiteral("Save (plain, clipboard and Memo1)"),
        measure(repeats, nullptr, [&] { form->Enregistrer1Click(form); }),
        measure(repeats, nullptr,
                [&] {
                    writeFile(dir.filePath(QStringLiteral("base.txt")),
                              editoraccess::Widget(edit)->document()->toPlainText().toUtf8());
                }),
        QStringLiteral("toPlainText + write"));
    const QString savedRtf = dir.filePath(QStringLiteral("saved.rtf"));
    row(QStringLiteral("Save As (RTF)"),
        measure(repeats, nullptr, [&] { edit->Lines->SaveToFile(savedRtf); }), openRtf,
        QStringLiteral("Open RTF of the same document"));

    const QString absent = QStringLiteral("introuvable");
    const Figure find = measure(
        repeats, [&] { edit->SetSelStart(0); },
        [&] {
            if (edit->FindText(absent, 0, edit->GetTextLen(), stMatchCase) != -1)
                std::printf("unexpected match\n");
        });
    const QString copy = edit->Text();
    const Figure indexOf = measure(repeats, nullptr, [&] {
        if (copy.indexOf(absent) != -1) std::printf("unexpected match\n");
    });
    row(QStringLiteral("Find, no match"), find, indexOf,
        QStringLiteral("QString::indexOf over the same text"));
    row(QStringLiteral("Find, no match, after an edit"),
        measure(
            repeats,
            [&] {
                edit->SetSelStart(0);
                edit->SetSelText(QStringLiteral("x"));
            },
            [&] { edit->FindText(absent, 0, edit->GetTextLen(), stMatchCase); }),
        indexOf, QStringLiteral("QString::indexOf over the same text"));

    const QString fiveMb = frenchText(5 * 1024 * 1024);
    row(QStringLiteral("Undo after pasting 5 MB"),
        measure(
            repeats,
            [&] {
                QApplication::clipboard()->setText(fiveMb);
                edit->SetSelStart(0);
                form->Coller1Click(form);
            },
            [&] { form->Dfaire1Click(form); }),
        Figure{}, QStringLiteral("(none)"));

    // Keystrokes into the shown window, against a bare QTextEdit of the same size.
    edit->Lines->LoadFromFile(plainFile);
    form->Show();
    QApplication::processEvents();
    QTextEdit bare;
    bare.resize(800, 600);
    bare.setPlainText(text);
    bare.show();
    QApplication::processEvents();
    const char *places[] = {"start", "middle", "end"};
    for (bool wrap : {true, false}) {
        edit->SetWordWrap(wrap);
        bare.setLineWrapMode(wrap ? QTextEdit::WidgetWidth : QTextEdit::NoWrap);
        QApplication::processEvents();
        for (int where = 0; where < 3; ++where) {
            row(QStringLiteral("Keystroke at the %1, wrap %2")
                    .arg(QLatin1String(places[where]), wrap ? "on" : "off"),
                keystrokes(editoraccess::Widget(edit), where, repeats),
                keystrokes(&bare, where, repeats),
                QStringLiteral("bare QTextEdit holding the same text"));
        }
    }
    delete Application;
    return 0;
}

int memory(const QString &who, const QString &kind, const QString &file) {
    if (who == QLatin1String("ours")) {
        TForm1 *form = makeForm();
        form->RichEdit1->Lines->LoadFromFile(file);
    } else {
        QFile f(file);
        f.open(QIODevice::ReadOnly);
        const QByteArray bytes = f.readAll();
        auto *edit = new QTextEdit;
        edit->setPlainText(kind == QLatin1String("rtf") ? rtf::read(bytes).plainText()
                                                        : QString::fromUtf8(bytes));
    }
    std::printf("%lld\n", peakKiB());
    return 0;
}
// Runs one code path on FILE, so that a profiler sees little else.
int profile(const QString &what, const QString &file) {
    TForm1 *form = makeForm();
    TRichEdit *edit = form->RichEdit1;
    QTemporaryDir dir;
    QElapsedTimer t;
    if (what == QLatin1String("parse")) {
        QFile f(file);
        f.open(QIODevice::ReadOnly);
        const QByteArray data = f.readAll();
        t.start();
        const rtf::Document doc = rtf::read(data);
        std::printf("parse: %.1f ms, %zu paragraphs\n", double(t.nsecsElapsed()) / 1e6,
                    doc.paragraphs.size());
        delete Application;
        return 0;
    }
    t.start();
    edit->Lines->LoadFromFile(file);
    if (what == QLatin1String("open")) {
        std::printf("open: %.1f ms\n", double(t.nsecsElapsed()) / 1e6);
    } else if (what == QLatin1String("save")) {
        form->SaveDialog1->FileName = dir.filePath(QStringLiteral("saved.txt"));
        t.restart();
        form->Enregistrer1Click(form);
        std::printf("save: %.1f ms\n", double(t.nsecsElapsed()) / 1e6);
    } else if (what == QLatin1String("saveas")) {
        t.restart();
        edit->Lines->SaveToFile(dir.filePath(QStringLiteral("saved.rtf")));
        std::printf("save as: %.1f ms\n", double(t.nsecsElapsed()) / 1e6);
        t.restart();
        const rtf::Document doc = editoraccess::Extract(edit);
        std::printf("  of which taking the runs: %.1f ms\n", double(t.nsecsElapsed()) / 1e6);
        t.restart();
        const QByteArray bytes = rtf::write(doc);
        std::printf("  writing %lld bytes of RTF: %.1f ms\n", qlonglong(bytes.size()),
                    double(t.nsecsElapsed()) / 1e6);
    } else if (what == QLatin1String("key")) {
        form->Show();
        QApplication::processEvents();
        for (int where = 0; where < 3; ++where) {
            const Figure f = keystrokes(editoraccess::Widget(edit), where, 5);
            std::printf("keystroke %d: %.1f ms\n", where, f.median);
        }
    }
    delete Application;
    return 0;
}

// ---------------------------------------------------------------------------
// Shapes: every figure the user waits for, on documents of many shapes and
// two sizes, each measured in a process of its own (a baseline that hangs is
// stopped, and peak memory is the process's), beside a bare QPlainTextEdit and
// a bare QTextEdit holding the same text.

void say(const char *key, double value) {
    std::printf("%s=%.2f\n", key, value);
    std::fflush(stdout);
}

// Keys at the start, middle and end with wrapping on, then off (`wrap`
// switches it), then the peak memory so far.
template <class Edit> void sayKeys(Edit *edit, const std::function<void(bool)> &wrap, int repeats) {
    static const char *const names[2][3] = {
        {"key_start_nowrap", "key_middle_nowrap", "key_end_nowrap"},
        {"key_start_wrap", "key_middle_wrap", "key_end_wrap"}};
    for (int on = 1; on >= 0; --on) {
        wrap(on);
        QApplication::processEvents();
        for (int where = 0; where < 3; ++where)
            say(names[on][where], keystrokes(edit, where, repeats).median);
    }
    say("peak_open_mb", double(peakKiB()) / 1024);
}

// One editor on one file: prints key=value lines.
int shapeRun(const QString &kind, const QString &file, int repeats) {
    QElapsedTimer t;
    const bool paste = file.endsWith(QLatin1String(".paste"));
    QFile in(file);
    in.open(QIODevice::ReadOnly);
    const QByteArray bytes = in.readAll();
    in.close();
    if (kind == QLatin1String("ours")) {
        TForm1 *form = makeForm();
        form->Show();
        QApplication::processEvents();
        TRichEdit *edit = form->RichEdit1;
        QTextEdit *e = editoraccess::Widget(edit);
        t.start();
        if (paste) {
            QApplication::clipboard()->setText(QString::fromUtf8(bytes));
            t.restart();
            edit->PasteFromClipboard();
        } else {
            edit->Lines->LoadFromFile(file);
        }
        e->viewport()->repaint();
        say(paste ? "paste" : "open", double(t.nsecsElapsed()) / 1e6);
        sayKeys<QTextEdit>(
            e, [&](bool on) { edit->SetWordWrap(on); }, repeats);
        t.restart();
        edit->FindText(QStringLiteral("zqxjzqxj"), 0, edit->GetTextLen(), stMatchCase);
        say("find", double(t.nsecsElapsed()) / 1e6);
        QTemporaryDir dir;
        form->SaveDialog1->FileName = dir.filePath(QStringLiteral("s.txt"));
        t.restart();
        form->Enregistrer1Click(form);
        say("save", double(t.nsecsElapsed()) / 1e6);
        t.restart();
        edit->Lines->SaveToFile(dir.filePath(QStringLiteral("s.rtf")));
        say("saveas", double(t.nsecsElapsed()) / 1e6);
    } else if (kind == QLatin1String("textedit-rich")) {
        // A bare QTextEdit, the toolkit's own layout, given the document as
        // our reader and converter make it (tables as the toolkit's tables).
        auto *w = new QTextEdit;
        w->resize(800, 600);
        w->show();
        QApplication::processEvents();
        t.start();
        {
            QTextCursor into(w->document());
            qtrich::insert(into, rtf::read(bytes), true);
        }
        w->viewport()->repaint();
        say("open", double(t.nsecsElapsed()) / 1e6);
        sayKeys(
            w,
            [&](bool on) { w->setLineWrapMode(on ? QTextEdit::WidgetWidth : QTextEdit::NoWrap); },
            repeats);
        t.restart();
        w->document()->find(QStringLiteral("zqxjzqxj"));
        say("find", double(t.nsecsElapsed()) / 1e6);
    } else {
        // The same text as UTF-8 bytes; decoding them counts in the baseline's
        // Open, as reading the file counts in ours.
        const QByteArray utf8 =
            file.endsWith(QLatin1String(".rtf")) ? rtf::read(bytes).plainText().toUtf8() : bytes;
        QString text;
        const auto run = [&](auto *w) {
            w->resize(800, 600);
            w->show();
            QApplication::processEvents();
            t.start();
            text = QString::fromUtf8(utf8);
            if (paste) {
                QApplication::clipboard()->setText(text);
                t.restart();
                w->paste();
            } else {
                w->setPlainText(text);
            }
            w->viewport()->repaint();
            say(paste ? "paste" : "open", double(t.nsecsElapsed()) / 1e6);
            sayKeys(
                w,
                [&](bool on) {
                    w->setLineWrapMode(on ? decltype(w->lineWrapMode())(1)
                                          : decltype(w->lineWrapMode())(0));
                },
                repeats);
            t.restart();
            w->document()->find(QStringLiteral("zqxjzqxj"));
            say("find", double(t.nsecsElapsed()) / 1e6);
        };
        if (kind == QLatin1String("plain")) {
            run(new QPlainTextEdit);
        } else {
            run(new QTextEdit);
        }
    }
    say("peak_mb", double(peakKiB()) / 1024);
    return 0;
}

QByteArray shortLines(qint64 n, bool asRtf) {
    QRandomGenerator rng(3);
    QByteArray out =
        asRtf ? QByteArray("{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0 Arial;}}\\f0 ")
              : QByteArray();
    for (qint64 i = 0; i < n; ++i) {
        const QByteArray line =
            QByteArray(words[rng.bounded(3)]) + ' ' + QByteArray::number(i % 1000);
        out += line;
        out += asRtf ? "\\par\n" : "\n";
    }
    if (asRtf) out += "}";
    return out;
}

// Short paragraphs as word processors write a numbered list's items (a list
// table, each item's marker also as text for readers without lists), or the
// same paragraphs, indented alike, in no list.
QByteArray listItems(qint64 n, bool inList) {
    QRandomGenerator rng(5);
    QByteArray out("{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0 Arial;}}");
    if (inList) {
        out += "{\\*\\listtable{\\list\\listtemplateid1{\\listlevel\\levelnfc0\\levelstartat1"
               "{\\leveltext\\'02\\'00.;}{\\levelnumbers\\'01;}\\fi-360\\li720}\\listid1}}"
               "{\\*\\listoverridetable{\\listoverride\\listid1\\listoverridecount0\\ls1}}\n";
    }
    for (qint64 i = 1; i <= n; ++i) {
        const QByteArray number = QByteArray::number(i);
        if (inList) out += "{\\listtext\\pard\\plain\\f0 " + number + ".\\tab}";
        out += inList ? "\\pard\\fi-360\\li720\\ls1 " : "\\pard\\fi-360\\li720 ";
        out += QByteArray(rng.bounded(2) ? "une lettre" : "la maison") + " du chat " + number;
        out += "\\par\n";
    }
    return out + "}";
}

// Rows of four bordered cells as word processors write a table, or the same
// text as paragraphs: a row's cells separated by tabs (the table's plain text),
// or each cell a paragraph (as many paragraphs as the table holds).
enum class TableShape { Table, RowParagraphs, CellParagraphs };
QByteArray tableRows(qint64 n, TableShape shape) {
    const bool asTable = shape == TableShape::Table;
    QRandomGenerator rng(11);
    QByteArray out("{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0 Arial;}}\\f0\n");
    QByteArray definition("\\trowd\\trgaph108\\trleft-108");
    for (int k = 1; k <= 4; ++k) {
        for (const char *side : {"t", "l", "b", "r"})
            definition += QByteArray("\\clbrdr") + side + "\\brdrs\\brdrw10";
        definition += "\\cellx" + QByteArray::number(2160 * k);
    }
    const char *const between = asTable                              ? "\\cell "
                                : shape == TableShape::RowParagraphs ? "\\tab "
                                                                     : "\\par ";
    for (qint64 i = 0; i < n; ++i) {
        out += asTable ? definition + "\\pard\\intbl " : QByteArray("\\pard ");
        for (int k = 0; k < 4; ++k) {
            if (k) out += between;
            out += QByteArray(words[rng.bounded(int(std::size(words)))]) + ' ' +
                   QByteArray::number((i * 4 + k) % 10000);
        }
        out += asTable ? "\\cell\\row\n" : "\\par\n";
    }
    return out + "}";
}

QByteArray oneLine(qint64 bytes) {
    QString text = frenchText(bytes);
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text.toUtf8();
}

QByteArray tinyGroups(qint64 n) {
    QByteArray out("{\\rtf1\\ansi ");
    out.reserve(int(n * 4 + 16));
    for (qint64 i = 0; i < n; ++i)
        out += (i % 8 == 7) ? "{a} " : "{a}";
    out += "}";
    return out;
}

// The RTF reader alone on inputs of one size and of twice that size, in
// shapes that stress it differently, against ordinary formatted RTF of the
// same size read in the same run.
int readerShapes(double megabytes, int repeats) {
    const qint64 size = qint64(megabytes * 1024 * 1024);
    const auto fill = [](qint64 bytes, const QByteArray &head, const QByteArray &unit,
                         const QByteArray &tail) {
        QByteArray out = head;
        out.reserve(int(bytes + unit.size() + tail.size()));
        while (out.size() + tail.size() < bytes)
            out += unit;
        return out + tail;
    };
    const QByteArray listHead =
        "{\\rtf1\\ansi{\\*\\listtable{\\list{\\listlevel\\levelnfc0{\\leveltext\\'02\\'00.;}}"
        "\\listid1}}{\\*\\listoverridetable{\\listoverride\\listid1\\ls1}}";
    struct Shape {
        const char *name;
        std::function<QByteArray(qint64)> make;
    };
    const std::vector<Shape> shapes = {
        {"ordinary RTF, formatting every 2-5 words",
         [](qint64 n) { return formattedRtf(frenchText(n * 2 / 3)); }},
        {"tiny groups {a}", [&](qint64 n) { return fill(n, "{\\rtf1 ", "{a}", "}"); }},
        {"groups 1000 deep, again and again",
         [&](qint64 n) {
             return fill(n, "{\\rtf1 ", QByteArray(1000, '{') + "x" + QByteArray(1000, '}'), "}");
         }},
        {"list items with marker text",
         [&](qint64 n) {
             return fill(n, listHead, "{\\listtext 1.\\tab}\\pard\\ls1 Un article\\par\n", "}");
         }},
        {"\\u escapes (Greek)",
         [&](qint64 n) { return fill(n, "{\\rtf1\\uc1 ", "\\u945?\\u946?\\u947? ", "}"); }},
        {"\\' escapes (accents)",
         [&](qint64 n) { return fill(n, "{\\rtf1 ", "\\'e9t\\'e9 \\'e0 ", "}"); }},
    };
    std::printf("RTF reader alone, %.0f and %.0f MB of input; median of %d, ms; per MB: time for a "
                "megabyte against ordinary RTF's\n\n",
                megabytes, 2 * megabytes, repeats);
    std::printf("| %-40s | %9s | %9s | %6s | %8s | %8s |\n", "input", "1x (ms)", "2x (ms)",
                "growth", "MB/s 2x", "per MB");
    std::printf("|%s|%s|%s|%s|%s|%s|\n", QByteArray(42, '-').constData(),
                QByteArray(11, '-').constData(), QByteArray(11, '-').constData(),
                QByteArray(8, '-').constData(), QByteArray(10, '-').constData(),
                QByteArray(10, '-').constData());
    double ordinary = 0; // ms per MB
    for (const Shape &shape : shapes) {
        double ms[2] = {0, 0};
        double megabytes2 = 0;
        for (int k = 0; k < 2; ++k) {
            const QByteArray input = shape.make(size << k);
            megabytes2 = double(input.size()) / 1048576.0;
            ms[k] = measure(repeats, nullptr, [&] { (void)rtf::read(input); }).median;
        }
        if (ordinary == 0) ordinary = ms[1] / megabytes2;
        std::printf("| %-40s | %9.1f | %9.1f | %6.2f | %8.1f | %8.2f |\n", shape.name, ms[0], ms[1],
                    ms[1] / ms[0], megabytes2 / (ms[1] / 1000.0), ms[1] / megabytes2 / ordinary);
        std::fflush(stdout);
    }
    return 0;
}

int shapes(double scale, int repeats, int limitSeconds, const QString &only) {
    struct Shape {
        const char *name;
        const char *suffix;
        qint64 base; // at scale 1
        const char *unit;
        std::function<QByteArray(qint64)> make;
        // The QTextEdit beside ours gets the document through our reader
        // rather than its plain text.
        bool richBaseline = false;
    };
    const qint64 MB = 1024 * 1024;
    const std::vector<Shape> shapes = {
        {"long paragraphs, plain", ".txt", 20 * MB, "MB",
         [](qint64 n) { return frenchText(n).toUtf8(); }},
        {"short lines, plain", ".txt", 300000, "lines",
         [](qint64 n) { return shortLines(n, false); }},
        {"short lines, RTF", ".rtf", 300000, "paragraphs",
         [](qint64 n) { return shortLines(n, true); }},
        {"one line, plain", ".txt", 25 * MB, "MB", [](qint64 n) { return oneLine(n); }},
        {"tiny RTF groups {a}", ".rtf", 500000, "groups", [](qint64 n) { return tinyGroups(n); }},
        {"formatting every 2-5 words", ".rtf", 10 * MB, "MB of text",
         [](qint64 n) { return formattedRtf(frenchText(n)); }},
        {"pasted plain text", ".paste", 10 * MB, "MB",
         [](qint64 n) { return frenchText(n).toUtf8(); }},
        {"list items' text in no list, RTF", ".rtf", 100000, "paragraphs",
         [](qint64 n) { return listItems(n, false); }},
        {"list items, RTF", ".rtf", 100000, "items", [](qint64 n) { return listItems(n, true); }},
        {"table rows' text as paragraphs, RTF", ".rtf", 100000, "paragraphs",
         [](qint64 n) { return tableRows(n, TableShape::RowParagraphs); }},
        {"table cells' text as paragraphs, RTF", ".rtf", 100000, "rows' worth of paragraphs",
         [](qint64 n) { return tableRows(n, TableShape::CellParagraphs); }},
        {"table rows, RTF", ".rtf", 100000, "rows of 4 cells",
         [](qint64 n) { return tableRows(n, TableShape::Table); }, true},
    };
    const QStringList figures = {"open",
                                 "paste",
                                 "key_start_wrap",
                                 "key_middle_wrap",
                                 "key_end_wrap",
                                 "key_start_nowrap",
                                 "key_middle_nowrap",
                                 "key_end_nowrap",
                                 "peak_open_mb",
                                 "find",
                                 "save",
                                 "saveas",
                                 "peak_mb"};
    QTemporaryDir dir;
    const QString self = QCoreApplication::applicationFilePath();
    const auto runChild = [&](const QString &kind, const QString &file) {
        QMap<QString, double> values;
        QProcess child;
        child.start(self, {QStringLiteral("shape-run"), kind, file, QString::number(repeats)});
        if (!child.waitForFinished(limitSeconds * 1000)) {
            child.kill();
            child.waitForFinished();
            values[QStringLiteral("stopped")] = limitSeconds;
        }
        for (const QByteArray &line : child.readAllStandardOutput().split('\n')) {
            const int eq = line.indexOf('=');
            if (eq > 0) values[QString::fromLatin1(line.left(eq))] = line.mid(eq + 1).toDouble();
        }
        return values;
    };
    std::printf("Shapes at scale %.2f; keystrokes: median of %d, ms; peak memory in MB; each "
                "figure in a process of its own, stopped after %d s\n\n",
                scale, repeats, limitSeconds);
    double unlistedOpen[2] = {0, 0}; // Open of the list items' text in no list
    double untabledOpen[2] = {0, 0}; // Open of the table rows' text as paragraphs
    double cellsOpen[2] = {0, 0};    // Open of each cell's text as a paragraph
    for (const Shape &shape : shapes) {
        if (!QString::fromUtf8(shape.name).contains(only)) continue;
        const qint64 n1 = qint64(double(shape.base) * scale), n2 = 2 * n1;
        QMap<QString, double> ours[2], plain, textedit;
        for (int k = 0; k < 2; ++k) {
            const QString file =
                dir.filePath(QStringLiteral("shape%1").arg(k) + QLatin1String(shape.suffix));
            writeFile(file, shape.make(k ? n2 : n1));
            ours[k] = runChild(QStringLiteral("ours"), file);
            if (k == 1) {
                plain = runChild(QStringLiteral("plain"), file);
                textedit = runChild(shape.richBaseline ? QStringLiteral("textedit-rich")
                                                       : QStringLiteral("textedit"),
                                    file);
            }
            QFile::remove(file);
        }
        const bool isMb = QByteArray(shape.unit).startsWith("MB");
        std::printf("### %s: %lld and %lld %s\n\n", shape.name, isMb ? n1 / MB : n1,
                    isMb ? n2 / MB : n2, shape.unit);
        std::printf("| %-18s | %10s | %10s | %6s | %14s | %6s | %10s |\n", "figure", "ours (1x)",
                    "ours (2x)", "growth", "QPlainTextEdit", "ratio", "QTextEdit");
        std::printf("|%s|%s|%s|%s|%s|%s|%s|\n", "--------------------", "------------",
                    "------------", "--------", "----------------", "--------", "------------");
        const auto cell = [](const QMap<QString, double> &m, const QString &key) {
            if (m.contains(key)) return QString::asprintf("%10.1f", m[key]);
            if (m.contains(QStringLiteral("stopped"))) return QStringLiteral("   stopped");
            return QStringLiteral("         -");
        };
        for (const QString &f : figures) {
            if (!ours[1].contains(f)) continue;
            const double a = ours[0].value(f), b = ours[1].value(f), p = plain.value(f);
            std::printf("| %-18s | %s | %s | %6s | %14s | %6s | %s |\n", qPrintable(f),
                        qPrintable(cell(ours[0], f)), qPrintable(cell(ours[1], f)),
                        a > 0 ? qPrintable(QString::asprintf("%.2f", b / a)) : "-",
                        qPrintable(cell(plain, f)),
                        p > 0 && plain.contains(f) ? qPrintable(QString::asprintf("%.2f", b / p))
                                                   : "-",
                        qPrintable(cell(textedit, f)));
        }
        const QByteArray name(shape.name);
        if (name.startsWith("table rows' text")) {
            untabledOpen[0] = ours[0].value(QStringLiteral("open"));
            untabledOpen[1] = ours[1].value(QStringLiteral("open"));
        } else if (name.startsWith("table cells' text")) {
            cellsOpen[0] = ours[0].value(QStringLiteral("open"));
            cellsOpen[1] = ours[1].value(QStringLiteral("open"));
        } else if (name.startsWith("table rows")) {
            const double open[2] = {ours[0].value(QStringLiteral("open")),
                                    ours[1].value(QStringLiteral("open"))};
            if (untabledOpen[0] > 0 && untabledOpen[1] > 0)
                std::printf("\nOpen against the same text, a paragraph per row: %.2f (1x), "
                            "%.2f (2x); target at most 2.5\n",
                            open[0] / untabledOpen[0], open[1] / untabledOpen[1]);
            if (cellsOpen[0] > 0 && cellsOpen[1] > 0)
                std::printf("Open against the same text, a paragraph per cell: %.2f (1x), "
                            "%.2f (2x)\n",
                            open[0] / cellsOpen[0], open[1] / cellsOpen[1]);
        }
        if (name.startsWith("list items' text")) {
            unlistedOpen[0] = ours[0].value(QStringLiteral("open"));
            unlistedOpen[1] = ours[1].value(QStringLiteral("open"));
        } else if (name.startsWith("list items") && unlistedOpen[0] > 0 && unlistedOpen[1] > 0) {
            std::printf("\nOpen against the same text in no list: %.2f (1x), %.2f (2x)\n",
                        ours[0].value(QStringLiteral("open")) / unlistedOpen[0],
                        ours[1].value(QStringLiteral("open")) / unlistedOpen[1]);
        }
        std::printf("\n");
        std::fflush(stdout);
    }
    return 0;
}
} // namespace

int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    QApplication qtApp(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    const QString mode = args.value(0, QStringLiteral("table"));
    if (mode == QLatin1String("memory") && args.size() == 4)
        return memory(args[1], args[2], args[3]);
    if (mode == QLatin1String("profile") && args.size() == 3) return profile(args[1], args[2]);
    if (mode == QLatin1String("shape-run") && args.size() == 4)
        return shapeRun(args[1], args[2], args[3].toInt());
    if (mode == QLatin1String("reader"))
        return readerShapes(args.value(1, QStringLiteral("8")).toDouble(),
                            args.value(2, QStringLiteral("5")).toInt());
    if (mode == QLatin1String("shapes"))
        return shapes(args.value(1, QStringLiteral("1")).toDouble(),
                      args.value(2, QStringLiteral("20")).toInt(),
                      args.value(3, QStringLiteral("120")).toInt(), args.value(4));
    if (mode == QLatin1String("generate") && args.size() == 4) {
        const QString text = frenchText(qint64(args[2].toInt()) * 1024 * 1024);
        writeFile(args[3], args[1] == QLatin1String("rtf") ? formattedRtf(text) : text.toUtf8());
        return 0;
    }
    return table(args.value(1, QStringLiteral("20")).toInt(),
                 std::max(1, args.value(2, QStringLiteral("5")).toInt()),
                 args.value(3, QStringLiteral("100")).toInt());
}
