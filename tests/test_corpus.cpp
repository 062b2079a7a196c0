// SPDX-License-Identifier: GPL-3.0-or-later
// The LibreOffice project's RTF import and export test files, opened through
// Open and saved as plain text, against the text LibreOffice reads from each
// (whitespace aside). The files that match are listed in corpus-matches.txt:
// one of them no longer matching is a regression; the others are in
// corpus-differences.txt, each with the reason, and a file in neither fails.
// A crash or an Open over 5 s fails too.
// PAVELIN_CORPUS_LIST=1 prints the files that match, PAVELIN_CORPUS_DIFF=1
// where each other one first differs.
#include "helpers.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>

using namespace testing;

namespace {
QString corpusDir() {
    return QStringLiteral(PAVELIN_SHARED_DIR "/corpus/libreoffice-rtf");
}

// Every run of whitespace one space, none at the ends.
QString normalised(QString text) {
    text.remove(QChar(0xFEFF));
    // Unicode's spaces too: LibreOffice writes some runs of spaces as U+2006.
    static const QRegularExpression space(QStringLiteral("\\s+"),
                                          QRegularExpression::UseUnicodePropertiesOption);
    return text.replace(space, QStringLiteral(" ")).trimmed();
}

QByteArray readAll(const QString &name) {
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
} // namespace

class TestCorpus : public QObject {
    Q_OBJECT

private slots:
    void cleanupTestCase() { QCOMPARE(missed, 0); }

    void libreOfficeCorpus() {
        const QDir root(corpusDir());
        if (!root.exists())
            QSKIP("the LibreOffice RTF corpus (shared/corpus) is not beside this checkout");
        QStringList files;
        for (const QString &folder : {QStringLiteral("import"), QStringLiteral("export")}) {
            for (const QString &name :
                 QDir(root.filePath(folder))
                     .entryList({QStringLiteral("*.rtf")}, QDir::Files, QDir::Name))
                files << folder + QLatin1Char('/') + name;
        }
        QVERIFY(files.size() > 200);
        // Each listed file, the part of its line before any ':'.
        const auto listed = [](const char *name) {
            QStringList files;
            for (const QByteArray &line :
                 readAll(QStringLiteral(PAVELIN_TESTS_DIR "/") + QLatin1String(name)).split('\n'))
                if (!line.trimmed().isEmpty() && !line.startsWith('#'))
                    files << QString::fromUtf8(line.split(':').first().trimmed());
            return files;
        };
        const QStringList known = listed("corpus-matches.txt");
        const QStringList explained = listed("corpus-differences.txt");

        FormFixture f;
        TRichEdit *edit = f.form->RichEdit1;
        QStringList matching, lost, slow, unexplained;
        for (const QString &file : files) {
            const QString stem = file.chopped(4);
            QElapsedTimer t;
            t.start();
            edit->Lines->Clear();
            QString error;
            try {
                edit->Lines->LoadFromFile(root.filePath(file));
            } catch (const Exception &e) {
                error = e.Message;
            }
            if (t.elapsed() > 5000) slow << stem;
            // What Save writes: the whole text through the clipboard into the
            // hidden buffer (list items with their markers).
            edit->SelectAll();
            edit->CopyToClipboard();
            f.form->Memo1->Clear();
            if (edit->SelLength() > 0) f.form->Memo1->PasteFromClipboard();
            const QString ours = normalised(f.form->Memo1->Text());
            const QString theirs = normalised(
                QString::fromUtf8(readAll(root.filePath(stem + QStringLiteral(".lo.txt")))));
            if (error.isEmpty() && ours == theirs) {
                matching << stem;
            } else {
                if (known.contains(stem)) lost << stem;
                if (!known.contains(stem) && !explained.contains(stem)) unexplained << stem;
                if (qEnvironmentVariableIsSet("PAVELIN_CORPUS_DIFF")) {
                    qsizetype at = 0;
                    while (at < ours.size() && at < theirs.size() && ours[at] == theirs[at])
                        ++at;
                    std::printf("%s: %s\n  ours:   %s\n  theirs: %s\n", qPrintable(stem),
                                qPrintable(error),
                                qPrintable(ours.mid(std::max<qsizetype>(0, at - 20), 90)),
                                qPrintable(theirs.mid(std::max<qsizetype>(0, at - 20), 90)));
                }
            }
        }
        qInfo("%lld of %lld files read with LibreOffice's text (%.1f %%)",
              qlonglong(matching.size()), qlonglong(files.size()),
              100.0 * double(matching.size()) / double(files.size()));
        if (qEnvironmentVariableIsSet("PAVELIN_CORPUS_LIST")) {
            for (const QString &m : matching)
                std::printf("%s\n", qPrintable(m));
        }
        QVERIFY2(slow.isEmpty(),
                 qPrintable(QStringLiteral("over 5 s: ") + slow.join(QLatin1Char(' '))));
        for (const QString &m : matching) {
            if (explained.contains(m))
                qInfo("%s now reads as LibreOffice does: move it to corpus-matches.txt",
                      qPrintable(m));
        }
        QVERIFY2(unexplained.isEmpty(),
                 qPrintable(QStringLiteral("read differently, with no reason in "
                                           "corpus-differences.txt: ") +
                            unexplained.join(QLatin1Char(' '))));
        QVERIFY2(lost.isEmpty(), qPrintable(QStringLiteral("no longer read as LibreOffice does: ") +
                                            lost.join(QLatin1Char(' '))));
    }
};

QTEST_MAIN(TestCorpus)
#include "test_corpus.moc"
