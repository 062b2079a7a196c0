// Measures the editor's own code paths on large generated documents against
// baselines measured in the same run. Prints figures; never passes or fails.
//   pavelin_bench table [megabytes=20] [repeats=5] [big=100]   the in-process figures
//   pavelin_bench memory ours|bare plain|rtf FILE              peak memory after Open
//   pavelin_bench generate plain|rtf MEGABYTES FILE            an input file
//   pavelin_bench profile parse|open|save|saveas|key FILE           one code path, for perf or
//   callgrind
#include "app/entry.h"
#include "platform/qtrichtext.h"
#include "platform/richedit_p.h"
#include "platform/rtf.h"
#include "ui/form1.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QMessageBox>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>
#include <algorithm>
#include <cstdio>
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
    QFile f(name);
    f.open(QIODevice::WriteOnly);
    f.write(data);
}

qint64 peakKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return 0;
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

Figure keystrokes(QTextEdit *edit, int where, int repeats) {
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
                              edit->Editor()->document()->toPlainText().toUtf8());
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
                keystrokes(edit->Editor(), where, repeats), keystrokes(&bare, where, repeats),
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
        const rtf::Document doc = edit->Editor()->extract(0, edit->Editor()->documentLength());
        std::printf("  of which taking the runs: %.1f ms\n", double(t.nsecsElapsed()) / 1e6);
        t.restart();
        const QByteArray bytes = rtf::write(doc);
        std::printf("  writing %lld bytes of RTF: %.1f ms\n", qlonglong(bytes.size()),
                    double(t.nsecsElapsed()) / 1e6);
    } else if (what == QLatin1String("key")) {
        form->Show();
        QApplication::processEvents();
        for (int where = 0; where < 3; ++where) {
            const Figure f = keystrokes(edit->Editor(), where, 5);
            std::printf("keystroke %d: %.1f ms\n", where, f.median);
        }
    }
    delete Application;
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
    if (mode == QLatin1String("generate") && args.size() == 4) {
        const QString text = frenchText(qint64(args[2].toInt()) * 1024 * 1024);
        writeFile(args[3], args[1] == QLatin1String("rtf") ? formattedRtf(text) : text.toUtf8());
        return 0;
    }
    return table(args.value(1, QStringLiteral("20")).toInt(),
                 std::max(1, args.value(2, QStringLiteral("5")).toInt()),
                 args.value(3, QStringLiteral("100")).toInt());
}
