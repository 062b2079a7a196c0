// SPDX-License-Identifier: GPL-3.0-or-later
// Fidelity against real programs: what we write, LibreOffice, AbiWord and
// pandoc read with the same text (and LibreOffice with the same formatting,
// run by run); what they write, we read as they do; legacy rich-edit files;
// and LibreOffice's files through our Save As and back.
#include "core/rtf.h"
#include "helpers.h"
#include "platform/editoraccess.h"
#include "platform/richconvert.h"

#include <QBuffer>
#include <QHash>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextEdit>
#include <QXmlStreamReader>
#include <cmath>

using namespace testing;

namespace {

// One character's formatting as a reader reports it.
struct Props {
    QString font;
    double size = 0;
    bool bold = false, italic = false, underline = false, strike = false;
    QString color;      // "#rrggbb", or empty for automatic
    QString background; // likewise
    int valign = 0;     // 1 super, -1 sub
    bool operator==(const Props &) const = default;
};
struct ParaProps {
    QString align = QStringLiteral("left");
    int left = 0, right = 0, first = 0; // twips, rounded to 10
    bool operator==(const ParaProps &) const = default;
};
struct Reading {
    QString text; // paragraphs joined by '\n', line breaks as U+2028
    QList<Props> props;
    QList<ParaProps> paras;
};

QString describe(const Props &p) {
    return QStringLiteral("%1 %2pt%3%4%5%6 %7/%8 v%9")
        .arg(p.font)
        .arg(p.size)
        .arg(p.bold ? " b" : "")
        .arg(p.italic ? " i" : "")
        .arg(p.underline ? " u" : "")
        .arg(p.strike ? " s" : "")
        .arg(p.color, p.background)
        .arg(p.valign);
}

QString hexColor(std::int32_t c) {
    return c == rtf::NoColor ? QString()
                             : QStringLiteral("#%1").arg(uint(c), 6, 16, QLatin1Char('0'));
}

Reading fromDocument(const rtf::Document &doc) {
    Reading r;
    for (size_t i = 0; i < doc.paragraphs.size(); ++i) {
        const rtf::Paragraph &p = doc.paragraphs[i];
        if (i) {
            r.text += QLatin1Char('\n');
            r.props << Props{};
        }
        ParaProps pp;
        pp.align = p.format.align == rtf::Align::Center    ? QStringLiteral("center")
                   : p.format.align == rtf::Align::Right   ? QStringLiteral("right")
                   : p.format.align == rtf::Align::Justify ? QStringLiteral("justify")
                                                           : QStringLiteral("left");
        pp.left = int(std::lround(p.format.leftIndent / 10.0)) * 10;
        pp.right = int(std::lround(p.format.rightIndent / 10.0)) * 10;
        pp.first = int(std::lround(p.format.firstIndent / 10.0)) * 10;
        r.paras << pp;
        for (const rtf::Run &run : p.runs) {
            Props c;
            c.font = run.format.font;
            c.size = run.format.halfPoints / 2.0;
            c.bold = run.format.bold;
            c.italic = run.format.italic;
            c.underline = run.format.underline;
            c.strike = run.format.strike;
            c.color = hexColor(run.format.color);
            c.background = hexColor(run.format.highlight);
            c.valign = int(run.format.valign);
            for (qsizetype k = 0; k < run.text.size(); ++k)
                r.props << c;
            r.text += run.text;
        }
    }
    return r;
}

int twipsOf(const QString &length) {
    static const QRegularExpression re(QStringLiteral("^(-?[0-9.]+)(in|cm|mm|pt)$"));
    const auto m = re.match(length);
    if (!m.hasMatch()) return 0;
    const double v = m.captured(1).toDouble();
    const QString unit = m.captured(2);
    const double twips = unit == QLatin1String("in")   ? v * 1440
                         : unit == QLatin1String("cm") ? v * 1440 / 2.54
                         : unit == QLatin1String("mm") ? v * 144 / 2.54
                                                       : v * 20;
    return int(std::lround(twips / 10.0)) * 10;
}

// LibreOffice's reading, from a flat ODT it wrote.
Reading fromFlatOdt(const QByteArray &xml) {
    struct Style {
        QString parent;
        QHash<QString, QString> text, para;
    };
    QHash<QString, Style> styles; // "family:name"
    QHash<QString, QString> faces;
    Style defaults;
    Reading r;
    QXmlStreamReader x(xml);
    QString current;
    QStringList spanStack;
    QString paraStyle;
    bool inBody = false, firstPara = true;

    const auto lookup = [&](const QString &key, const QString &family, QString name,
                            bool textProps) -> QString {
        for (int depth = 0; !name.isEmpty() && depth < 20; ++depth) {
            const Style &s = styles[family + QLatin1Char(':') + name];
            const auto &map = textProps ? s.text : s.para;
            if (map.contains(key)) return map.value(key);
            name = s.parent;
        }
        return QString();
    };
    const auto prop = [&](const QString &key) {
        for (int i = int(spanStack.size()) - 1; i >= 0; --i) {
            const QString v = lookup(key, QStringLiteral("text"), spanStack[i], true);
            if (!v.isEmpty()) return v;
        }
        const QString v = lookup(key, QStringLiteral("paragraph"), paraStyle, true);
        return v.isEmpty() ? defaults.text.value(key) : v;
    };
    const auto addChars = [&](const QString &s) {
        Props p;
        const QString face = prop(QStringLiteral("font-name"));
        p.font = faces.value(face, face);
        p.size = prop(QStringLiteral("font-size")).chopped(2).toDouble();
        p.bold = prop(QStringLiteral("font-weight")) == QLatin1String("bold");
        p.italic = prop(QStringLiteral("font-style")) == QLatin1String("italic");
        const QString ul = prop(QStringLiteral("text-underline-style"));
        p.underline = !ul.isEmpty() && ul != QLatin1String("none");
        const QString st = prop(QStringLiteral("text-line-through-style"));
        p.strike = !st.isEmpty() && st != QLatin1String("none");
        p.color = prop(QStringLiteral("color")).toLower();
        p.background = prop(QStringLiteral("background-color")).toLower();
        if (p.background == QLatin1String("transparent")) p.background.clear();
        const QString pos = prop(QStringLiteral("text-position"));
        p.valign = pos.startsWith(QLatin1String("super")) ? 1
                   : pos.startsWith(QLatin1String("sub")) ? -1
                                                          : 0;
        if (!pos.isEmpty() && (pos.at(0).isDigit() || pos.startsWith(QLatin1Char('-')))) {
            const double v = pos.split(QLatin1Char('%')).value(0).toDouble();
            p.valign = v > 0 ? 1 : v < 0 ? -1 : 0;
        }
        for (qsizetype i = 0; i < s.size(); ++i)
            r.props << p;
        r.text += s;
    };

    while (!x.atEnd()) {
        x.readNext();
        const QString n = x.name().toString();
        if (x.isStartElement()) {
            const auto a = x.attributes();
            if (n == QLatin1String("font-face")) {
                QString fam = a.value(QStringLiteral("svg:font-family")).toString();
                fam.remove(QLatin1Char('\'')).remove(QLatin1Char('"'));
                faces.insert(a.value(QStringLiteral("style:name")).toString(), fam);
            } else if (n == QLatin1String("style") && !inBody) {
                current = a.value(QStringLiteral("style:family")).toString() + QLatin1Char(':') +
                          a.value(QStringLiteral("style:name")).toString();
                styles[current].parent =
                    a.value(QStringLiteral("style:parent-style-name")).toString();
            } else if (n == QLatin1String("default-style") && !inBody) {
                current = a.value(QStringLiteral("style:family")) == QLatin1String("paragraph")
                              ? QStringLiteral("#default")
                              : QString();
            } else if ((n == QLatin1String("text-properties") ||
                        n == QLatin1String("paragraph-properties")) &&
                       !inBody && !current.isEmpty()) {
                Style &s = current == QLatin1String("#default") ? defaults : styles[current];
                for (const auto &attr : a)
                    (n == QLatin1String("text-properties") ? s.text : s.para)
                        .insert(attr.name().toString(), attr.value().toString());
            } else if (n == QLatin1String("text") && x.prefix() == QLatin1String("office")) {
                inBody = true;
            } else if (inBody && (n == QLatin1String("p") || n == QLatin1String("h"))) {
                if (!firstPara) {
                    r.text += QLatin1Char('\n');
                    r.props << Props{};
                }
                firstPara = false;
                paraStyle = a.value(QStringLiteral("text:style-name")).toString();
                ParaProps pp;
                const QString align = lookup(QStringLiteral("text-align"),
                                             QStringLiteral("paragraph"), paraStyle, false);
                pp.align = align == QLatin1String("center") ? QStringLiteral("center")
                           : (align == QLatin1String("end") || align == QLatin1String("right"))
                               ? QStringLiteral("right")
                           : align == QLatin1String("justify") ? QStringLiteral("justify")
                                                               : QStringLiteral("left");
                pp.left = twipsOf(lookup(QStringLiteral("margin-left"), QStringLiteral("paragraph"),
                                         paraStyle, false));
                pp.right = twipsOf(lookup(QStringLiteral("margin-right"),
                                          QStringLiteral("paragraph"), paraStyle, false));
                pp.first = twipsOf(lookup(QStringLiteral("text-indent"),
                                          QStringLiteral("paragraph"), paraStyle, false));
                r.paras << pp;
            } else if (inBody && n == QLatin1String("span")) {
                spanStack << a.value(QStringLiteral("text:style-name")).toString();
            } else if (inBody && n == QLatin1String("s")) {
                addChars(
                    QString(qMax(1, a.value(QStringLiteral("text:c")).toInt()), QLatin1Char(' ')));
            } else if (inBody && n == QLatin1String("tab")) {
                addChars(QStringLiteral("\t"));
            } else if (inBody && n == QLatin1String("line-break")) {
                addChars(QString(QChar(0x2028)));
            }
        } else if (x.isEndElement()) {
            if (n == QLatin1String("span") && inBody && !spanStack.isEmpty())
                spanStack.removeLast();
            if (n == QLatin1String("text") && x.prefix() == QLatin1String("office")) inBody = false;
            if (n == QLatin1String("style") || n == QLatin1String("default-style")) current.clear();
        } else if (x.isCharacters() && inBody && !x.isWhitespace()) {
            addChars(x.text().toString());
        } else if (x.isCharacters() && inBody && x.isWhitespace() && !spanStack.isEmpty()) {
            addChars(x.text().toString());
        }
    }
    return r;
}

bool have(const char *program) {
    return !QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty();
}

QByteArray run(const QString &program, const QStringList &args, int timeoutMs = 120000) {
    QProcess p;
    p.setProcessChannelMode(QProcess::SeparateChannels);
    p.start(program, args);
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        return {};
    }
    return p.readAllStandardOutput();
}

// Text compared as a reader of plain text shows it: line ends folded, trailing
// ones dropped.
QString plainOf(QString s) {
    if (s.startsWith(QChar(0xFEFF))) s.remove(0, 1);
    s.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    s.replace(QChar(0x2028), QLatin1Char('\n'));
    while (s.endsWith(QLatin1Char('\n')))
        s.chop(1);
    return s;
}
QString squeeze(QString s) {
    static const QRegularExpression space(QStringLiteral("\\s"),
                                          QRegularExpression::UseUnicodePropertiesOption);
    return s.remove(space);
}

} // namespace

class TestFidelity : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString profile;

    QString soffice(const QString &file, const QString &format) {
        const QString out = dir.filePath(QStringLiteral("lo-out"));
        QDir().mkpath(out);
        run(QStringLiteral("soffice"),
            {QStringLiteral("-env:UserInstallation=file://") + profile,
             QStringLiteral("--headless"), QStringLiteral("--convert-to"), format,
             QStringLiteral("--outdir"), out, file},
            180000);
        const QString ext = format.section(QLatin1Char(':'), 0, 0);
        return out + QLatin1Char('/') + QFileInfo(file).completeBaseName() + QLatin1Char('.') + ext;
    }
    static QByteArray readAll(const QString &f) {
        QFile file(f);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // Compares two readings character by character; returns the mismatches.
    static QStringList differences(const Reading &ours, const Reading &theirs,
                                   bool compareFont = true) {
        QStringList out;
        if (ours.text != theirs.text) {
            out << QStringLiteral("text: «%1» / «%2»")
                       .arg(ours.text.left(200), theirs.text.left(200));
            return out;
        }
        for (qsizetype i = 0; i < ours.text.size() && out.size() < 5; ++i) {
            if (ours.text.at(i) == QLatin1Char('\n')) continue;
            Props a = ours.props.value(i), b = theirs.props.value(i);
            if (!compareFont) a.font = b.font;
            // Automatic text colour is black to LibreOffice.
            if (a.color.isEmpty() && b.color == QLatin1String("#000000")) b.color.clear();
            if (!(a == b))
                out << QStringLiteral("char %1 '%2': %3 / %4")
                           .arg(i)
                           .arg(ours.text.at(i))
                           .arg(describe(a), describe(b));
        }
        for (qsizetype i = 0; i < ours.paras.size() && i < theirs.paras.size(); ++i) {
            const ParaProps &a = ours.paras[i], &b = theirs.paras[i];
            if (!(a == b))
                out << QStringLiteral("paragraph %1: %2 %3/%4/%5 / %6 %7/%8/%9")
                           .arg(i)
                           .arg(a.align)
                           .arg(a.left)
                           .arg(a.right)
                           .arg(a.first)
                           .arg(b.align)
                           .arg(b.left)
                           .arg(b.right)
                           .arg(b.first);
        }
        return out;
    }

    // A document built through the editor's own code, as a user would make it.
    QString buildSample(TForm1 *form) {
        TRichEdit *edit = form->RichEdit1;
        QTextCursor cur(editoraccess::Widget(edit)->document());
        const auto put = [&](const QString &text,
                             const std::function<void(QTextCharFormat &)> &fmt = {}) {
            QTextCharFormat f;
            if (fmt) fmt(f);
            cur.insertText(text, f);
        };
        put(QStringLiteral("Chère Hélène, voilà 10 € pour l'œuvre ; "));
        put(QStringLiteral("gras"), [](QTextCharFormat &f) { f.setFontWeight(QFont::Bold); });
        put(QStringLiteral(" "));
        put(QStringLiteral("italique"), [](QTextCharFormat &f) { f.setFontItalic(true); });
        put(QStringLiteral(" "));
        put(QStringLiteral("souligné"), [](QTextCharFormat &f) { f.setFontUnderline(true); });
        put(QStringLiteral(" "));
        put(QStringLiteral("barré"), [](QTextCharFormat &f) { f.setFontStrikeOut(true); });
        put(QStringLiteral(" "));
        put(QStringLiteral("rouge"),
            [](QTextCharFormat &f) { f.setForeground(QColor(0xC0, 0x10, 0x20)); });
        put(QStringLiteral(" "));
        put(QStringLiteral("surligné"),
            [](QTextCharFormat &f) { f.setBackground(QColor(0xFF, 0xFF, 0x00)); });
        put(QStringLiteral(" x"));
        put(QStringLiteral("2"),
            [](QTextCharFormat &f) { f.setVerticalAlignment(QTextCharFormat::AlignSuperScript); });
        put(QStringLiteral(" H"));
        put(QStringLiteral("2"),
            [](QTextCharFormat &f) { f.setVerticalAlignment(QTextCharFormat::AlignSubScript); });
        put(QStringLiteral("O \\ { } "));
        put(QStringLiteral("Grand Times"), [](QTextCharFormat &f) {
            f.setFontFamilies({QStringLiteral("Times New Roman")});
            f.setFontPointSize(16);
        });
        put(QStringLiteral(" "));
        put(QStringLiteral("Courier"), [](QTextCharFormat &f) {
            f.setFontFamilies({QStringLiteral("Courier New")});
            f.setFontPointSize(10);
        });
        QTextBlockFormat centred;
        centred.setAlignment(Qt::AlignHCenter);
        cur.insertBlock(centred);
        put(QStringLiteral("Ελληνικά Кириллица 日本語 ") + QString::fromUcs4(U"\U0001F600"));
        put(QString(QChar(0x2028)) + QStringLiteral("après un saut\tet une tabulation"));
        cur.insertBlock(QTextBlockFormat());
        QTextBlockFormat right;
        right.setAlignment(Qt::AlignRight);
        right.setLeftMargin(48); // 720 twips
        right.setRightMargin(24);
        cur.insertBlock(right);
        put(QStringLiteral("À droite, en retrait."));
        QTextBlockFormat indented;
        indented.setAlignment(Qt::AlignLeft);
        indented.setTextIndent(-24);
        indented.setLeftMargin(24);
        cur.insertBlock(indented);
        put(QStringLiteral("Fin ő ł ș ŭ."));
        const QString file = dir.filePath(QStringLiteral("nous.rtf"));
        edit->Lines->SaveToFile(file);
        return file;
    }

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        profile = dir.filePath(QStringLiteral("lo-profile"));
    }
    void cleanupTestCase() { QCOMPARE(missed, 0); }

    void ourWriterTheirReaders() {
        FormFixture f;
        const QString file = buildSample(f.form);
        // The document as the editor holds it, every format resolved.
        const Reading mine = fromDocument(editoraccess::Extract(f.form->RichEdit1));
        QVERIFY(mine.text.contains(QStringLiteral("Grand Times")));
        int compared = 0;
        if (have("soffice")) {
            const QString txt = plainOf(QString::fromUtf8(
                readAll(soffice(file, QStringLiteral("txt:Text (encoded):UTF8")))));
            QCOMPARE(txt, plainOf(mine.text));
            const Reading lo = fromFlatOdt(readAll(soffice(file, QStringLiteral("fodt"))));
            const QStringList diff = differences(mine, lo);
            QVERIFY2(diff.isEmpty(), qPrintable(diff.join(QLatin1Char('\n'))));
            ++compared;
        }
        if (have("abiword")) {
            const QString out = dir.filePath(QStringLiteral("abi.txt"));
            run(QStringLiteral("abiword"),
                {QStringLiteral("--to=txt"), QStringLiteral("-o"), out, file});
            // AbiWord ends a line break inside a paragraph like a paragraph.
            QCOMPARE(plainOf(QString::fromUtf8(readAll(out))), plainOf(mine.text));
            ++compared;
        }
        if (have("pandoc")) {
            // pandoc's own document tree: its text, and the formatting it saw.
            const QByteArray json =
                run(QStringLiteral("pandoc"), {QStringLiteral("-f"), QStringLiteral("rtf"),
                                               QStringLiteral("-t"), QStringLiteral("json"), file});
            QString words;
            std::function<void(const QJsonValue &)> walk = [&](const QJsonValue &v) {
                if (v.isArray()) {
                    for (const QJsonValue &e : v.toArray())
                        walk(e);
                } else if (v.isObject()) {
                    const QJsonObject o = v.toObject();
                    const QString t = o.value(QStringLiteral("t")).toString();
                    if (t == QLatin1String("Str")) {
                        words += o.value(QStringLiteral("c")).toString();
                    } else if (t == QLatin1String("Code")) { // a monospaced font
                        words += o.value(QStringLiteral("c")).toArray().at(1).toString();
                    } else {
                        walk(o.value(QStringLiteral("c")));
                    }
                }
            };
            walk(QJsonDocument::fromJson(json).object().value(QStringLiteral("blocks")));
            // pandoc reads the two \\u of a surrogate pair (as the RTF format
            // writes characters past U+FFFF) as two unknown characters.
            QString expected;
            for (char32_t c : mine.text.toUcs4()) {
                expected += c > 0xFFFF ? QStringLiteral("\uFFFD\uFFFD") : QString::fromUcs4(&c, 1);
            }
            const QString a = squeeze(words), b = squeeze(expected);
            qsizetype at = 0;
            while (at < a.size() && at < b.size() && a[at] == b[at])
                ++at;
            QVERIFY2(a == b, qPrintable(QStringLiteral("pandoc «%1» / ours «%2»")
                                            .arg(a.mid(at - 5, 30), b.mid(at - 5, 30))));
            for (const char *kind : {"\"Strong\"", "\"Emph\"", "\"Strikeout\"", "\"Superscript\"",
                                     "\"Subscript\"", "\"Underline\""})
                QVERIFY2(json.contains(kind), kind);
            ++compared;
        }
        if (!compared) QSKIP("none of LibreOffice, AbiWord and pandoc is installed");
        qInfo("our file read the same by %d programs", compared);
    }

    void theirWritersOurReader() {
        if (!have("soffice")) QSKIP("LibreOffice is not installed");
        // Sources written here, turned into RTF by each program; LibreOffice's
        // reading of each RTF is the reference for ours.
        const QString md = dir.filePath(QStringLiteral("source.md"));
        QFile(md).open(QIODevice::WriteOnly);
        {
            QFile f(md);
            f.open(QIODevice::WriteOnly);
            f.write("Un **texte gras**, *italique* et ~~barré~~ : café, crème, œuvre, €.\n\nSecond "
                    "paragraphe, H~2~O et x^2^.\n");
        }
        const QString html = dir.filePath(QStringLiteral("source.html"));
        {
            QFile f(html);
            f.open(QIODevice::WriteOnly);
            f.write("<html><head><meta charset=\"utf-8\"></head><body><p>Lettre <b>gras</b> "
                    "<i>ital</i> <u>sous</u> <s>barr\xc3\xa9</s> "
                    "<span style=\"color:#ff0000\">rouge</span> <span "
                    "style=\"font-size:18pt\">grand</span></p>"
                    "<p style=\"text-align:center\">Centr\xc3\xa9 \xe2\x82\xac "
                    "\xce\xb1\xce\xb2\xce\xb3</p></body></html>");
        }
        QStringList rtfs;
        if (have("pandoc")) {
            const QString out = dir.filePath(QStringLiteral("pandoc.rtf"));
            run(QStringLiteral("pandoc"), {QStringLiteral("-s"), md, QStringLiteral("-o"), out});
            rtfs << out;
        }
        const QString odt = soffice(html, QStringLiteral("odt"));
        QFile::rename(odt, dir.filePath(QStringLiteral("odtsource.odt")));
        rtfs << soffice(dir.filePath(QStringLiteral("odtsource.odt")), QStringLiteral("rtf"));
        if (have("abiword")) {
            const QString out = dir.filePath(QStringLiteral("abiword.rtf"));
            run(QStringLiteral("abiword"),
                {QStringLiteral("--to=rtf"), QStringLiteral("-o"), out, html});
            rtfs << out;
        }
        int equal = 0;
        QStringList failures;
        for (const QString &rtfFile : rtfs) {
            const QByteArray bytes = readAll(rtfFile);
            if (bytes.isEmpty()) {
                failures << rtfFile + QStringLiteral(": not written");
                continue;
            }
            const Reading mine = fromDocument(rtf::read(bytes));
            // Copy to a name of its own so LibreOffice's output does not clash.
            const QString copy =
                dir.filePath(QStringLiteral("ref-") + QFileInfo(rtfFile).fileName());
            QFile::remove(copy);
            QFile::copy(rtfFile, copy);
            Reading lo = fromFlatOdt(readAll(soffice(copy, QStringLiteral("fodt"))));
            // Font names: LibreOffice reports the font of the file, as we do;
            // a run without one gets its document default, as ours does.
            QStringList diff = differences(mine, lo);
            if (diff.isEmpty()) {
                ++equal;
            } else {
                failures << QFileInfo(rtfFile).fileName() + QStringLiteral(": ") +
                                diff.join(QStringLiteral("; "));
            }
        }
        qInfo("their files: %d of %d read as LibreOffice reads them", equal, int(rtfs.size()));
        QVERIFY2(failures.isEmpty(), qPrintable(failures.join(QLatin1Char('\n'))));
    }

    // Pictures opened and saved again: LibreOffice finds as many in our file
    // as in the original, each at the same size.
    void picturesThroughLibreOffice() {
        if (!have("soffice")) QSKIP("LibreOffice is not installed");
        const auto pngOf = [](QSize size, QColor color) {
            QImage image(size, QImage::Format_RGB32);
            image.fill(color);
            QByteArray png;
            QBuffer buffer(&png);
            buffer.open(QIODevice::WriteOnly);
            image.save(&buffer, "PNG");
            return png.toHex();
        };
        const QString original = dir.filePath(QStringLiteral("images.rtf"));
        {
            QFile f(original);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(
                "{\\rtf1\\ansi Logo {\\pict\\pngblip\\picw40\\pich30\\picwgoal1200\\pichgoal900 " +
                pngOf({40, 30}, Qt::red) +
                "} et signature {\\*\\shppict{\\pict\\pngblip\\picw20\\pich10\\picwgoal600"
                "\\pichgoal300\\picscalex200 " +
                pngOf({20, 10}, Qt::blue) + "}}\\par}");
        }
        FormFixture f;
        QVERIFY(f.form->RichEdit1->Lines->LoadFromFile(original));
        const QString ours = dir.filePath(QStringLiteral("images-copie.rtf"));
        f.form->RichEdit1->Lines->SaveToFile(ours);
        // Each frame's width and height, as LibreOffice writes them.
        const auto frames = [](const QByteArray &fodt) {
            static const QRegularExpression frame(QStringLiteral("<draw:frame[^>]*>"));
            static const QRegularExpression width(QStringLiteral("svg:width=\"([^\"]+)\""));
            static const QRegularExpression height(QStringLiteral("svg:height=\"([^\"]+)\""));
            QStringList sizes;
            for (const auto &m : frame.globalMatch(QString::fromUtf8(fodt))) {
                const QString tag = m.captured(0);
                sizes << width.match(tag).captured(1) + QLatin1Char('x') +
                             height.match(tag).captured(1);
            }
            return sizes;
        };
        const QStringList before = frames(readAll(soffice(original, QStringLiteral("fodt"))));
        const QStringList after = frames(readAll(soffice(ours, QStringLiteral("fodt"))));
        QCOMPARE(before.size(), 2); // LibreOffice read both pictures of the original
        QCOMPARE(after, before);
    }

    void roundTripThroughLibreOffice() {
        if (!have("soffice")) QSKIP("LibreOffice is not installed");
        const QString html = dir.filePath(QStringLiteral("rt.html"));
        {
            QFile f(html);
            f.open(QIODevice::WriteOnly);
            f.write("<html><head><meta charset=\"utf-8\"></head><body><p>Aller <b>et</b> "
                    "<i>retour</i> <span style=\"color:#0000ff\">bleu</span> "
                    "<u>soulign\xc3\xa9</u></p><p style=\"text-align:right\">\xc3\xa0 droite "
                    "\xe2\x82\xac</p></body></html>");
        }
        const QString odt = soffice(html, QStringLiteral("odt"));
        QFile::rename(odt, dir.filePath(QStringLiteral("rt-source.odt")));
        const QString theirRtf =
            soffice(dir.filePath(QStringLiteral("rt-source.odt")), QStringLiteral("rtf"));
        // Open in the editor, Save As, and LibreOffice reads our file.
        FormFixture f;
        f.form->RichEdit1->Lines->LoadFromFile(theirRtf);
        const QString ours = dir.filePath(QStringLiteral("retour.rtf"));
        f.form->RichEdit1->Lines->SaveToFile(ours);
        const Reading before = fromFlatOdt(readAll(soffice(theirRtf, QStringLiteral("fodt"))));
        const Reading after = fromFlatOdt(readAll(soffice(ours, QStringLiteral("fodt"))));
        // Two empty readings would be equal: LibreOffice must have read the text.
        QVERIFY2(before.text.contains(QStringLiteral("Aller et retour bleu souligné")),
                 qPrintable(before.text));
        const QStringList diff = differences(before, after);
        QVERIFY2(diff.isEmpty(), qPrintable(diff.join(QLatin1Char('\n'))));
    }
};

QTEST_MAIN(TestFidelity)
#include "test_fidelity.moc"
