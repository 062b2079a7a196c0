// Measures the editor's own code paths on large generated documents against
// baselines measured in the same run. Prints figures; never passes or fails.
// Usage: pavelin_bench [megabytes=20] [repeats=3]
#include "app/entry.h"
#include "platform/printing.h"
#include "platform/richedit_p.h"
#include "platform/rtf.h"
#include "ui/form1.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {
const char *const words[] = {"le", "chat", "été", "fenêtre", "où", "garçon", "crème", "brûlée", "déjà",
                             "naïf", "Noël", "cœur", "à", "très", "bientôt", "élève", "forêt", "ça",
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

struct Figure {
    double median = 0, spread = 0;
};

Figure measure(int repeats, const std::function<void()> &setup, const std::function<void()> &run) {
    std::vector<double> ms;
    for (int i = 0; i < repeats; ++i) {
        if (setup) setup();
        QElapsedTimer t;
        t.start();
        run();
        ms.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms.back() - ms.front()};
}

void row(const char *what, Figure ours, Figure base, const char *baseline) {
    std::printf("| %-34s | %9.1f ± %-7.1f | %9.1f ± %-7.1f | %5.2f | %s\n", what, ours.median, ours.spread,
                base.median, base.spread, base.median > 0 ? ours.median / base.median : 0.0, baseline);
    std::fflush(stdout);
}
} // namespace

int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    QApplication qtApp(argc, argv);
    const int megabytes = argc > 1 ? std::max(1, atoi(argv[1])) : 20;
    const int repeats = argc > 2 ? std::max(1, atoi(argv[2])) : 3;

    Application = new TApplication;
    Application->Initialize();
    QTimer::singleShot(0, [] {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *box = qobject_cast<QMessageBox *>(w)) box->button(QMessageBox::Ok)->click();
    });
    Application->CreateForm(Form1);
    TForm1 *form = Form1;

    QTemporaryDir dir;
    const QString text = frenchText(qint64(megabytes) * 1024 * 1024);
    const QString plainFile = dir.filePath(QStringLiteral("doc.txt"));
    {
        QFile f(plainFile);
        f.open(QIODevice::WriteOnly);
        f.write(text.toUtf8());
    }
    std::printf("Document: %d MB of French text, %lld characters; median of %d runs, ms\n\n", megabytes,
                qlonglong(text.size()), repeats);
    std::printf("| %-34s | %-19s | %-19s | ratio | baseline\n", "figure", "ours", "baseline");
    std::printf("|%s|%s|%s|%s|%s\n", "------------------------------------", "---------------------",
                "---------------------", "-------", "---------");

    TRichEdit *edit = form->RichEdit1;
    const Figure openOurs = measure(repeats, [&] { edit->Lines->Clear(); },
                                    [&] { edit->Lines->LoadFromFile(plainFile); });
    const Figure openBase = measure(repeats, nullptr, [&] {
        QFile f(plainFile);
        f.open(QIODevice::ReadOnly);
        QTextDocument doc;
        doc.setPlainText(QString::fromUtf8(f.readAll()));
    });
    row("Open plain text", openOurs, openBase, "read + QTextDocument::setPlainText");

    form->SaveDialog1->FileName = dir.filePath(QStringLiteral("saved.txt"));
    const Figure saveOurs = measure(repeats, nullptr, [&] { form->Enregistrer1Click(form); });
    const Figure saveBase = measure(repeats, nullptr, [&] {
        QFile f(dir.filePath(QStringLiteral("base.txt")));
        f.open(QIODevice::WriteOnly);
        f.write(edit->Editor()->document()->toPlainText().toUtf8());
    });
    row("Save (plain, clipboard and Memo1)", saveOurs, saveBase, "toPlainText + write");

    const QString rtfFile = dir.filePath(QStringLiteral("saved.rtf"));
    const Figure saveAsOurs = measure(repeats, nullptr, [&] { edit->Lines->SaveToFile(rtfFile); });
    const Figure openRtf = measure(repeats, [&] { edit->Lines->Clear(); },
                                   [&] { edit->Lines->LoadFromFile(rtfFile); });
    row("Save As (RTF)", saveAsOurs, openRtf, "Open of the same RTF");
    row("Open RTF (one format)", openRtf, openOurs, "Open plain of the same text");

    const QString absent = QStringLiteral("introuvable");
    const Figure findOurs = measure(repeats, [&] { edit->SetSelStart(0); }, [&] {
        const int at = edit->FindText(absent, 0, edit->GetTextLen(), stMatchCase);
        if (at != -1) std::printf("unexpected match\n");
    });
    const QString copy = edit->Text();
    const Figure findBase = measure(repeats, nullptr, [&] {
        if (copy.indexOf(absent) != -1) std::printf("unexpected match\n");
    });
    row("Find, no match", findOurs, findBase, "QString::indexOf over the same text");
    // After an edit the text is gathered again before searching.
    const Figure findAfterEdit = measure(repeats, [&] {
        edit->SetSelStart(0);
        edit->SetSelText(QStringLiteral("x"));
    }, [&] { edit->FindText(absent, 0, edit->GetTextLen(), stMatchCase); });
    row("Find, no match, after an edit", findAfterEdit, findBase, "QString::indexOf over the same text");

    delete Application;
    return 0;
}
