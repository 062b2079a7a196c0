// Every input that ever made a fuzz target fail, and the seed corpora, run
// again through the same code in the ordinary suite.
#include "fuzz/targets.h"

#include <QDir>
#include <QFile>
#include <QTest>

class TestFuzzRegressions : public QObject {
    Q_OBJECT

    static int replay(const QString &folder, void (*target)(const std::uint8_t *, std::size_t)) {
        int count = 0;
        const QDir dir(QStringLiteral(PAVELIN_FUZZ_DIR "/") + folder);
        for (const QString &name : dir.entryList(QDir::Files)) {
            QFile f(dir.filePath(name));
            if (!f.open(QIODevice::ReadOnly)) continue;
            const QByteArray data = f.readAll();
            target(reinterpret_cast<const std::uint8_t *>(data.constData()), size_t(data.size()));
            ++count;
        }
        return count;
    }

private slots:
    void rtf() {
        QVERIFY(replay(QStringLiteral("corpus/rtf"), FuzzRtf) > 0);
        replay(QStringLiteral("regressions/rtf"), FuzzRtf);
    }
    void plainText() {
        QVERIFY(replay(QStringLiteral("corpus/text"), FuzzPlainText) > 0);
        replay(QStringLiteral("regressions/text"), FuzzPlainText);
    }
    void paste() {
        QVERIFY(replay(QStringLiteral("corpus/paste"), FuzzPaste) > 0);
        replay(QStringLiteral("regressions/paste"), FuzzPaste);
    }
};

QTEST_MAIN(TestFuzzRegressions)
#include "test_fuzz_regressions.moc"
