// SPDX-License-Identifier: GPL-3.0-or-later
// Every input that ever made a fuzz target fail, and the seed corpora, run
// again through the same code in the ordinary suite. Each folder must hold
// inputs: an empty one would replay nothing and pass.
#include "fuzz/targets.h"

#include <QDir>
#include <QFile>
#include <QTest>

class TestFuzzRegressions : public QObject {
    Q_OBJECT

    static void replay(const QString &folder, void (*target)(const std::uint8_t *, std::size_t)) {
        const QDir dir(QStringLiteral(PAVELIN_FUZZ_DIR "/") + folder);
        const QStringList names = dir.entryList(QDir::Files);
        QVERIFY2(!names.isEmpty(), qPrintable(dir.path() + QStringLiteral(" holds no input")));
        for (const QString &name : names) {
            QFile f(dir.filePath(name));
            QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(f.fileName()));
            const QByteArray data = f.readAll();
            // A fault aborts the process: the input's name is said first.
            qInfo("%s", qPrintable(folder + QLatin1Char('/') + name));
            target(reinterpret_cast<const std::uint8_t *>(data.constData()), size_t(data.size()));
        }
    }

private slots:
    void replayEveryInput_data() {
        QTest::addColumn<QString>("folder");
        for (const char *kind : {"rtf", "text", "paste"}) {
            for (const char *where : {"corpus", "regressions"}) {
                const QString folder =
                    QStringLiteral("%1/%2").arg(QLatin1String(where), QLatin1String(kind));
                QTest::newRow(qPrintable(folder)) << folder;
            }
        }
    }
    void replayEveryInput() {
        QFETCH(QString, folder);
        const QString kind = folder.section(QLatin1Char('/'), 1);
        replay(folder, kind == QLatin1String("rtf")    ? FuzzRtf
                       : kind == QLatin1String("text") ? FuzzPlainText
                                                       : FuzzPaste);
    }
};

QTEST_MAIN(TestFuzzRegressions)
#include "test_fuzz_regressions.moc"
