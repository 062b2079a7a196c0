// SPDX-License-Identifier: GPL-3.0-or-later
// Editor positions count a line break as CR LF; the document counts one
// character. The mapping must agree everywhere: text, selection, find.
#include "core/positions.h"
#include "core/searchtext.h"
#include "helpers.h"
#include "platform/editoraccess.h"

#include <QRandomGenerator>

#include <QTextBlock>
#include <QTextEdit>

using namespace testing;

class TestPositions : public QObject {
    Q_OBJECT

    TApplication *app = nullptr;
    TForm *form = nullptr;
    TRichEdit *edit = nullptr;

private slots:
    void initTestCase() {
        Application = app = new TApplication;
        app->Initialize();
        app->CreateForm(form);
        edit = new TRichEdit(form);
        edit->SetParent(form);
    }
    void cleanupTestCase() { delete app; }

    void separatorIndexFollowsEdits() {
        SeparatorIndex index;
        index.update(0, 0, 10, {2, 7});
        QCOMPARE(index.countBefore(2), 0);
        QCOMPARE(index.countBefore(3), 1);
        QCOMPARE(index.countBefore(100), 2);
        index.update(1, 0, 5, {3}); // insert before both: they shift by 5
        QCOMPARE(index.size(), 3);
        QCOMPARE(index.countBefore(7), 1);
        QCOMPARE(index.countBefore(8), 2);
        QCOMPARE(index.countBefore(12), 2);
        QCOMPARE(index.countBefore(13), 3);
        index.update(3, 5, 0, {}); // removes the separator at 3 and the one at 7
        QCOMPARE(index.size(), 1);
        QCOMPARE(index.countBefore(7), 0);
        QCOMPARE(index.countBefore(8), 1);
    }

    void mapIsMonotoneAndInverts() {
        // Paragraph breaks after positions 3 and 5 ("abc|d|ef"), a line
        // separator at 6.
        PositionMap map;
        map.documentLength = 9;
        map.paragraphOf = [](int q) { return (q > 3) + (q > 5); };
        map.separatorsBefore = [](int q) { return q > 6 ? 1 : 0; };
        const int expected[] = {0, 1, 2, 3, 5, 6, 8, 10, 11, 12};
        for (int q = 0; q <= 9; ++q) {
            QCOMPARE(map.toEditor(q), expected[q]);
            QCOMPARE(map.toDocument(expected[q]), q);
        }
        // Inside a CR LF pair the position falls on the break.
        QCOMPARE(map.toDocument(4), 3);
        QCOMPARE(map.toDocument(7), 5);
        QCOMPARE(map.toDocument(9), 6);
        QCOMPARE(map.toDocument(100), 9);
        QCOMPARE(map.toDocument(-3), 0);
    }

    void editorTextSelectionAndFind() {
        edit->SetText(QStringLiteral("Salut\nle monde\n\nfin"));
        QCOMPARE(edit->Text(), QStringLiteral("Salut\r\nle monde\r\n\r\nfin"));
        QCOMPARE(edit->GetTextLen(), edit->Text().size());
        QCOMPARE(edit->Lines->Text(), edit->Text() + QStringLiteral("\r\n"));
        QCOMPARE(edit->Lines->Count(), 4);
        QCOMPARE(edit->Lines->Strings(1), QStringLiteral("le monde"));

        const int at = int(edit->Text().indexOf(QStringLiteral("monde")));
        QCOMPARE(edit->FindText(QStringLiteral("monde"), 0, edit->GetTextLen(), stMatchCase), at);
        edit->SetSelStart(at);
        edit->SetSelLength(5);
        QCOMPARE(edit->SelStart(), at);
        QCOMPARE(edit->SelLength(), 5);
        QCOMPARE(edit->SelText(), QStringLiteral("monde"));
        QCOMPARE(editoraccess::Widget(edit)->textCursor().selectedText(), QStringLiteral("monde"));

        // A selection across a break counts both characters.
        edit->SetSelStart(3);
        edit->SetSelLength(6);
        QCOMPARE(edit->SelText(), QStringLiteral("ut\r\nle"));
        QCOMPARE(edit->SelLength(), 6);
        QCOMPARE(editoraccess::Widget(edit)->textCursor().selectedText(),
                 QStringLiteral("ut") + QChar(0x2029) + QStringLiteral("le"));

        // Find ranges, case and whole words.
        QCOMPARE(edit->FindText(QStringLiteral("fin"), 0, edit->GetTextLen() - 1, stMatchCase), -1);
        QCOMPARE(edit->FindText(QStringLiteral("salut"), 0, edit->GetTextLen(), stMatchCase), -1);
        QCOMPARE(edit->FindText(QStringLiteral("salut"), 0, edit->GetTextLen(), 0), 0);
        QCOMPARE(
            edit->FindText(QStringLiteral("mon"), 0, edit->GetTextLen(), stMatchCase | stWholeWord),
            -1);
        QCOMPARE(edit->FindText(QStringLiteral("le\r\nmonde"), 0, edit->GetTextLen(), stMatchCase),
                 -1);
        QCOMPARE(edit->FindText(QStringLiteral("t\r\nle"), 0, edit->GetTextLen(), stMatchCase), 4);
        QCOMPARE(edit->FindText(QString(), 0, edit->GetTextLen(), stMatchCase), -1);

        // Replacing keeps the caret after the new text; CR LF in it is one break.
        edit->SetSelStart(0);
        edit->SetSelLength(5);
        edit->SetSelText(QStringLiteral("Bonjour\r\nà tous"));
        QCOMPARE(edit->Text(), QStringLiteral("Bonjour\r\nà tous\r\nle monde\r\n\r\nfin"));
        QCOMPARE(edit->SelStart(), 15);
        QCOMPARE(edit->SelLength(), 0);
    }

    void lineBreaksInsideAParagraphCountTwo() {
        edit->SetText(QString());
        QTextCursor cur(editoraccess::Widget(edit)->document());
        cur.insertText(QStringLiteral("un") + QChar(0x2028) + QStringLiteral("deux\ntrois") +
                       QChar(0x2028) + QStringLiteral("quatre"));
        QCOMPARE(edit->Text(), QStringLiteral("un\r\ndeux\r\ntrois\r\nquatre"));
        QCOMPARE(edit->GetTextLen(), 23);
        const int at = edit->FindText(QStringLiteral("quatre"), 0, edit->GetTextLen(), stMatchCase);
        QCOMPARE(at, 17);
        edit->SetSelStart(at);
        edit->SetSelLength(6);
        QCOMPARE(editoraccess::Widget(edit)->textCursor().selectedText(), QStringLiteral("quatre"));
        // Removing a separator keeps the rest in step.
        QTextCursor del(editoraccess::Widget(edit)->document());
        del.setPosition(2);
        del.deleteChar();
        QCOMPARE(edit->Text(), QStringLiteral("undeux\r\ntrois\r\nquatre"));
        QCOMPARE(edit->FindText(QStringLiteral("quatre"), 0, edit->GetTextLen(), stMatchCase), 15);
        edit->SetSelStart(15);
        QCOMPARE(editoraccess::Widget(edit)->textCursor().position(), 13);
    }

    // The search cache against a plain string under random edits: every find
    // agrees with QString::indexOf, across chunk boundaries too.
    void searchCacheFollowsEdits() {
        QRandomGenerator rng(7);
        QString doc;
        for (int i = 0; i < 300000; ++i)
            doc += QChar(u'a' + char16_t(rng.bounded(4)));
        TextCache cache;
        int reads = 0;
        const TextCache::Reader read = [&](int from, int length) {
            ++reads;
            return doc.mid(from, length);
        };
        const auto check = [&](const QString &needle, int from, int to) {
            const int got = cache.find(needle, from, to, Qt::CaseSensitive, int(doc.size()), read);
            qsizetype want = doc.indexOf(needle, from);
            if (want >= 0 && want + needle.size() > to) want = -1;
            QCOMPARE(got, int(want));
        };
        check(QStringLiteral("abcdabcd"), 0, int(doc.size()));
        QCOMPARE(reads, 1);
        // A needle placed across the first chunk boundary (65536).
        doc.replace(65530, 12, QStringLiteral("XYZXYZXYZXYZ"));
        cache.update(65530, 12, 12);
        check(QStringLiteral("XYZXYZXYZXYZ"), 0, int(doc.size()));
        check(QStringLiteral("ZXYZ"), 65533, int(doc.size()));
        check(QStringLiteral("XYZXYZXYZXYZ"), 0, 65541); // runs past the range
        for (int round = 0; round < 300; ++round) {
            const int pos = int(rng.bounded(int(doc.size())));
            const int removed = std::min(int(rng.bounded(200)), int(doc.size()) - pos);
            QString inserted;
            const int n = int(rng.bounded(200));
            for (int i = 0; i < n; ++i)
                inserted += QChar(u'a' + char16_t(rng.bounded(5)));
            doc.replace(pos, removed, inserted);
            cache.update(pos, removed, n);
            QString needle;
            for (int i = 0, len = 2 + int(rng.bounded(6)); i < len; ++i)
                needle += QChar(u'a' + char16_t(rng.bounded(5)));
            const int from = int(rng.bounded(int(doc.size())));
            check(needle, from, int(doc.size()));
            check(needle, 0, from);
        }
        QCOMPARE(reads < 400, true); // chunks read again, never the whole text
        cache.reset();
        check(QStringLiteral("eeee"), 0, int(doc.size()));
        QCOMPARE(
            cache.find(QString(), 0, int(doc.size()), Qt::CaseSensitive, int(doc.size()), read),
            -1);
    }

    // A document of a million lines: positions at its far end still agree.
    void millionLines() {
        QString text;
        text.reserve(12 * 1000000);
        for (int i = 0; i < 1000000; ++i) {
            text += QString::number(i);
            text += QLatin1Char('\n');
        }
        text += QStringLiteral("dernière");
        edit->SetText(text);
        QCOMPARE(editoraccess::Widget(edit)->document()->blockCount(), 1000001);
        const int len = edit->GetTextLen();
        QCOMPARE(len, int(text.size()) + 1000000);
        const int at = edit->FindText(QStringLiteral("dernière"), len - 20, 20, stMatchCase);
        QCOMPARE(at, len - 8);
        edit->SetSelStart(at);
        edit->SetSelLength(8);
        QCOMPARE(edit->SelStart(), at);
        QCOMPARE(editoraccess::Widget(edit)->textCursor().selectedText(),
                 QStringLiteral("dernière"));
        const int mid = edit->FindText(QStringLiteral("\r\n500000\r\n"), 0, len, stMatchCase);
        QVERIFY(mid > 0);
        edit->SetSelStart(mid + 2);
        QCOMPARE(editoraccess::Widget(edit)->textCursor().block().text(), QStringLiteral("500000"));
    }
};

QTEST_MAIN(TestPositions)
#include "test_positions.moc"
