// SPDX-License-Identifier: GPL-3.0-or-later
// Reading plain-text files of every common origin, and writing UTF-8 CR LF.
#include "core/textcodec.h"

#include <QTest>

using namespace textcodec;

class TestTextCodec : public QObject {
    Q_OBJECT

private slots:
    void decodesByOrigin_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("utf-8") << QByteArray("caf\xc3\xa9 \xe2\x82\xac")
                               << QStringLiteral("café €");
        QTest::newRow("utf-8 bom dropped") << QByteArray("\xef\xbb\xbf"
                                                         "\xc3\xa9t\xc3\xa9")
                                           << QStringLiteral("été");
        QTest::newRow("utf-16le bom") << QByteArray("\xff\xfe"
                                                    "\xe9\x00"
                                                    "t\x00"
                                                    "\x0d\x00\x0a\x00"
                                                    "\xac\x20",
                                                    12)
                                      << QStringLiteral("ét\n€");
        QTest::newRow("utf-16be bom") << QByteArray("\xfe\xff"
                                                    "\x00\xe9"
                                                    "\xd8\x3d\xde\x00",
                                                    8)
                                      << (QStringLiteral("é") + QString::fromUcs4(U"\U0001F600"));
        QTest::newRow("cp1252 legacy") << QByteArray("Cr\xe8me br\xfbl\xe9"
                                                     "e \x80 \x9c"
                                                     "uvre \x93ok\x94")
                                       << QStringLiteral("Crème brûlée € œuvre “ok”");
        // Bytes Windows-1252 leaves undefined keep their code points: nothing
        // becomes a replacement character.
        QTest::newRow("cp1252 undefined") << QByteArray("a\x81\x8d\x8f\x90\x9d"
                                                        "b")
                                          << QStringLiteral("a\u0081\u008d\u008f\u0090\u009db");
        QTest::newRow("invalid utf-8 is cp1252")
            << QByteArray("\xc3\xa9 et \xe9") << QStringLiteral("Ã© et é");
        QTest::newRow("line ends")
            << QByteArray("a\r\nb\nc\rd\r\n\r\ne") << QStringLiteral("a\nb\nc\nd\n\ne");
        QTest::newRow("bom with legacy bytes") << QByteArray("\xef\xbb\xbf"
                                                             "\xe9")
                                               << QStringLiteral("é");
        QTest::newRow("empty") << QByteArray() << QString();
        // Long ASCII runs are checked eight bytes at a time: a stray byte or a
        // broken sequence is seen wherever it falls, and a sequence cut off at
        // the very end too.
        for (int at : {7, 8, 9, 15, 16, 17, 23}) {
            const QByteArray ascii(at, 'a');
            QTest::newRow(qPrintable(QStringLiteral("legacy byte after %1 ascii").arg(at)))
                << ascii + "\xe9" + QByteArray(12, 'b')
                << QString::fromLatin1(ascii) + QStringLiteral("é") + QString(12, QLatin1Char('b'));
            QTest::newRow(qPrintable(QStringLiteral("utf-8 after %1 ascii").arg(at)))
                << ascii + "\xc3\xa9" + QByteArray(12, 'b')
                << QString::fromLatin1(ascii) + QStringLiteral("é") + QString(12, QLatin1Char('b'));
            QTest::newRow(qPrintable(QStringLiteral("cut sequence after %1 ascii").arg(at)))
                << ascii + "\xe2\x82" << QString::fromLatin1(ascii) + QStringLiteral("â‚");
        }
    }
    void decodesByOrigin() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        const QString decoded = decodePlainText(bytes);
        QCOMPARE(decoded, text);
        QVERIFY(!decoded.contains(QChar::ReplacementCharacter));
    }

    // No document holds U+FFFC, a non-character or half a surrogate pair,
    // whatever the file says; everything else stays as it is.
    void dropsWhatNoDocumentHolds_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        // No document holds U+FFFC or a non-character, whatever the file says.
        QTest::newRow("object and non-characters")
            << QByteArray("a\xef\xbf\xbc"
                          "b\xef\xb7\x90"
                          "c\xef\xbf\xbf"
                          "d\xf0\x9f\xbf\xbe"
                          "e\xf0\x9f\x98\x80")
            << QStringLiteral("ab\uFFFDc\uFFFDd\uFFFDe\U0001F600");
        QTest::newRow("utf-16 lone half and non-character") << QByteArray("\xff\xfe"
                                                                          "a\0\x00\xd8"
                                                                          "b\0\xfe\xff",
                                                                          10)
                                                            << QStringLiteral("a\uFFFDb\uFFFD");
        QTest::newRow("private use stays")
            << QByteArray("\xee\x80\x80\xef\xbf\xbd") << QStringLiteral("\uE000\uFFFD");
    }
    void dropsWhatNoDocumentHolds() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QCOMPARE(textcodec::decodePlainText(bytes), text);
        QCOMPARE(textcodec::cleanText(textcodec::cleanText(text)), text);
    }

    void writesUtf8WithCrLf() {
        QCOMPARE(encodeCrLf(QStringLiteral("été\nhiver")),
                 QByteArray("\xc3\xa9t\xc3\xa9\r\nhiver"));
        QCOMPARE(encodeCrLf(QStringLiteral("a\r\nb\rc")), QByteArray("a\r\nb\r\nc"));
        QCOMPARE(encodeCrLf(QStringLiteral("a") + QChar(0x2029) + QStringLiteral("b") +
                            QChar(0x2028) + QStringLiteral("c")),
                 QByteArray("a\r\nb\r\nc"));
        QCOMPARE(encodeCrLf(QString()), QByteArray());
        QCOMPARE(encodeCrLf(QStringLiteral("\n")), QByteArray("\r\n"));
        // Characters whose UTF-8 starts like U+2028's stay as they are.
        QCOMPARE(
            encodeCrLf(QStringLiteral("l’œuvre € … ‰\r") + QChar(0x2028)),
            QByteArray("l\xe2\x80\x99\xc5\x93uvre \xe2\x82\xac \xe2\x80\xa6 \xe2\x80\xb0\r\n\r\n"));
        QCOMPARE(encodeCrLf(QStringLiteral("\r\r\n\n")), QByteArray("\r\n\r\n\r\n"));
        QCOMPARE(encodeCrLf(QChar(0x2029)), QByteArray("\r\n"));
    }

    void legacyCodePages() {
        QCOMPARE(decode(1250, "\x8a\xe8\xf8"), QStringLiteral("Ščř"));
        QCOMPARE(decode(1251, "\xcf\xf0\xe8\xe2\xe5\xf2"), QStringLiteral("Привет"));
        QCOMPARE(decode(1253, "\xe1\xe2\xe3"), QStringLiteral("αβγ"));
        QCOMPARE(decode(932, "\x82\xa0\x93\xfa\x96\x7b"), QStringLiteral("あ日本"));
        QCOMPARE(decode(936, "\xc4\xe3\xba\xc3"), QStringLiteral("你好"));
        QCOMPARE(decode(CpSymbol, "\xb7\x61\x57"), QStringLiteral("•αΩ"));
        QCOMPARE(decode(4242, "\xe9"), QStringLiteral("é")); // unknown page: Windows-1252
        QCOMPARE(codePageOfCharset(238), 1250);
        QCOMPARE(codePageOfCharset(204), 1251);
        QCOMPARE(codePageOfCharset(128), 932);
        QCOMPARE(codePageOfCharset(0), 1252);
        QCOMPARE(codePageOfCharset(2), CpSymbol);
        QCOMPARE(codePageOfCharset(1), 0);
    }

    void cp1252Fallbacks() {
        QCOMPARE(toCp1252(u'é'), 0xE9);
        QCOMPARE(toCp1252(u'€'), 0x80);
        QCOMPARE(toCp1252(u'œ'), 0x9C);
        QCOMPARE(toCp1252(u'ő'), -1);
        QCOMPARE(int(bestFitCp1252(u'ő')), int('o'));
        QCOMPARE(int(bestFitCp1252(u'Ș')), int('S'));
        QCOMPARE(int(bestFitCp1252(u'Ж')), int('?'));
        QCOMPARE(int(bestFitCp1252(u'€')), 0x80);
    }
};

QTEST_MAIN(TestTextCodec)
#include "test_textcodec.moc"
