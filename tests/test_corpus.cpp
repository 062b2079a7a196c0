// SPDX-License-Identifier: GPL-3.0-or-later
// The LibreOffice project's RTF import and export test files, opened through
// Open and saved as plain text, against the text LibreOffice reads from each
// (whitespace aside). The files that match are listed in corpus-matches.txt:
// one of them no longer matching is a regression; the others are in
// corpus-differences.txt, each with the reason, and a file in neither fails.
// A crash or an Open over 5 s fails too.
// PAVELIN_CORPUS_LIST=1 prints the files that match, PAVELIN_CORPUS_DIFF=1
// where each other one first differs.
// The same files opened and saved with Save As, then read by LibreOffice: what
// it finds in the original and in ours (table cells and their text, pictures,
// links, notes, bookmarks, fields, headers and footers, the page, the text of
// each paragraph) against what its own round trip through RTF keeps.
// PAVELIN_CORPUS_KEEP=1 keeps the files saved and converted, and says where.
#include "helpers.h"

#include <QCryptographicHash>
#include <QDate>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <functional>
#include <memory>
#include <unistd.h>

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

// "import/name.rtf" and "export/name.rtf", by folder and name.
QStringList corpusFiles(const QDir &root) {
    QStringList files;
    for (const QString &folder : {QStringLiteral("import"), QStringLiteral("export")}) {
        for (const QString &name :
             QDir(root.filePath(folder))
                 .entryList({QStringLiteral("*.rtf")}, QDir::Files, QDir::Name))
            files << folder + QLatin1Char('/') + name;
    }
    return files;
}

// Converts `files` with LibreOffice into `outDir`, all in one run with the
// profile `profile` (a run takes seconds to start). A file LibreOffice did not
// write is tried again in a next run; one that stops a run where it starts is
// given up, and so is the rest after three runs that write nothing or once
// `deadline` has passed (the run is stopped, with the processes it started).
// Returns the files given up.
QStringList convertAll(QStringList files, const QString &format, const QString &outDir,
                       const QString &profile, const QDeadlineTimer &deadline) {
    QDir().mkpath(outDir);
    const QString ext = format.section(QLatin1Char(':'), 0, 0);
    QStringList givenUp;
    int stalled = 0;
    while (!files.isEmpty() && stalled < 3 && !deadline.hasExpired()) {
        QProcess p;
        p.setStandardOutputFile(QProcess::nullDevice());
        p.setStandardErrorFile(QProcess::nullDevice());
        // A group of its own, so that its office process stops with it.
        p.setChildProcessModifier([] { ::setpgid(0, 0); });
        p.start(QStringLiteral("soffice"),
                QStringList{QStringLiteral("-env:UserInstallation=file://") + profile,
                            QStringLiteral("--headless"), QStringLiteral("--convert-to"), format,
                            QStringLiteral("--outdir"), outDir} +
                    files);
        if (!p.waitForFinished(int(std::max<qint64>(1, deadline.remainingTime())))) {
            if (p.processId() > 0) ::kill(-pid_t(p.processId()), SIGKILL);
            p.waitForFinished();
        }
        QStringList left;
        for (const QString &file : files) {
            if (!QFileInfo::exists(outDir + QLatin1Char('/') + QFileInfo(file).completeBaseName() +
                                   QLatin1Char('.') + ext))
                left << file;
        }
        if (left.size() == files.size()) {
            ++stalled;
            givenUp << left.takeFirst();
        } else {
            stalled = 0;
        }
        files = left;
    }
    return givenUp + files;
}

// What LibreOffice read from each ODT of `folder`, by name (tests/odtcontent.py).
QJsonObject readOdts(const QString &folder) {
    QProcess p;
    p.start(QStringLiteral("python3"),
            {QStringLiteral(PAVELIN_TESTS_DIR "/odtcontent.py"), folder});
    if (!p.waitForFinished(300000)) p.kill();
    return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
}

// Two lengths in twips the same to a pixel (LibreOffice keeps them in
// hundredths of a millimetre).
bool nearly(const QJsonValue &a, const QJsonValue &b) {
    return a.isNull() == b.isNull() && std::abs(a.toInt() - b.toInt()) <= 15;
}

// One kind of content: how many a reading holds, and whether two hold the same.
struct Kind {
    const char *name;
    std::function<qint64(const QJsonObject &)> count;
    std::function<bool(const QJsonObject &, const QJsonObject &)> same;
};

QList<Kind> kinds() {
    const auto listed = [](const char *key) {
        return Kind{nullptr,
                    [=](const QJsonObject &r) { return qint64(r.value(key).toArray().size()); },
                    [=](const QJsonObject &a, const QJsonObject &b) {
                        return a.value(key).toArray() == b.value(key).toArray();
                    }};
    };
    const auto counted = [](const char *key) {
        return Kind{nullptr, [=](const QJsonObject &r) { return qint64(r.value(key).toInt()); },
                    [=](const QJsonObject &a, const QJsonObject &b) {
                        return a.value(key).toInt() == b.value(key).toInt();
                    }};
    };
    const auto named = [](const char *name, Kind k) {
        k.name = name;
        return k;
    };
    const Kind pictures{
        "pictures (size too)",
        [](const QJsonObject &r) { return qint64(r.value("images").toArray().size()); },
        [](const QJsonObject &a, const QJsonObject &b) {
            const QJsonArray x = a.value("images").toArray(), y = b.value("images").toArray();
            if (x.size() != y.size()) return false;
            for (qsizetype i = 0; i < x.size(); ++i) {
                const QJsonArray p = x.at(i).toArray(), q = y.at(i).toArray();
                if (!nearly(p.at(0), q.at(0)) || !nearly(p.at(1), q.at(1))) return false;
            }
            return true;
        }};
    const Kind fields{"fields",
                      [](const QJsonObject &r) {
                          qint64 n = 0;
                          for (const QJsonValue &v : r.value("fields").toObject())
                              n += v.toInt();
                          return n;
                      },
                      [](const QJsonObject &a, const QJsonObject &b) {
                          return a.value("fields").toObject() == b.value("fields").toObject();
                      }};
    const Kind page{
        "page size and margins",
        [](const QJsonObject &r) { return qint64(r.value("page").toObject().isEmpty() ? 0 : 1); },
        [](const QJsonObject &a, const QJsonObject &b) {
            const QJsonObject x = a.value("page").toObject(), y = b.value("page").toObject();
            if (x.keys() != y.keys()) return false;
            for (const QString &key : x.keys()) {
                if (!nearly(x.value(key), y.value(key))) return false;
            }
            return true;
        }};
    // Characters per format ("bold=bold", "size=240"...). Text the file
    // gives no font ("font=?") is saved in the editor's font: those
    // characters may carry any font, the others keep theirs.
    const Kind formats{"character formats",
                       [](const QJsonObject &r) {
                           qint64 n = 0;
                           const QJsonObject f = r.value("formats").toObject();
                           for (auto it = f.begin(); it != f.end(); ++it)
                               if (it.key().startsWith(QLatin1String("size=")))
                                   n += it.value().toInt();
                           return n;
                       },
                       [](const QJsonObject &a, const QJsonObject &b) {
                           const QJsonObject x = a.value("formats").toObject(),
                                             y = b.value("formats").toObject();
                           qint64 fontsX = 0, fontsY = 0;
                           for (auto it = y.begin(); it != y.end(); ++it) {
                               if (it.key().startsWith(QLatin1String("font=")))
                                   fontsY += it.value().toInt();
                               else if (!x.contains(it.key()))
                                   return false;
                           }
                           for (auto it = x.begin(); it != x.end(); ++it) {
                               const int n = it.value().toInt(), m = y.value(it.key()).toInt();
                               if (!it.key().startsWith(QLatin1String("font="))) {
                                   if (n != m) return false;
                               } else {
                                   fontsX += n;
                                   if (it.key() != QLatin1String("font=?") && m < n) return false;
                               }
                           }
                           return fontsX == fontsY;
                       }};
    return {named("table cells (text too)", listed("cells")),
            pictures,
            named("links", counted("links")),
            named("notes", counted("notes")),
            named("bookmarks", counted("bookmarks")),
            fields,
            named("headers", counted("headers")),
            named("footers", counted("footers")),
            page,
            named("paragraphs (text too)", listed("paragraphs")),
            named("paragraph styles", listed("styles")),
            formats};
}

// Where two lists of cells first differ, for a failure message.
QString firstCellDifference(const QJsonArray &theirs, const QJsonArray &ours) {
    for (qsizetype i = 0; i < std::max(theirs.size(), ours.size()); ++i) {
        const auto shown = [](const QJsonValue &cell) {
            return cell.isString() ? QStringLiteral("«%1»").arg(cell.toString().left(60))
                                   : QStringLiteral("none");
        };
        if (theirs.at(i) != ours.at(i))
            return QStringLiteral("cell %1 %2 / ours %3")
                .arg(i + 1)
                .arg(shown(theirs.at(i)), shown(ours.at(i)));
    }
    return QString();
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
        const QStringList files = corpusFiles(root);
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

    void tablesThroughSaveAs() {
        const QDir root(corpusDir());
        if (!root.exists())
            QSKIP("the LibreOffice RTF corpus (shared/corpus) is not beside this checkout");
        if (qEnvironmentVariableIsSet("PAVELIN_CORPUS_NO_LIBREOFFICE"))
            QSKIP("LibreOffice reads the corpus in the current configuration's run only");
        if (QStandardPaths::findExecutable(QStringLiteral("soffice")).isEmpty())
            QSKIP("LibreOffice (soffice) is not installed: nothing to read the files saved");
        if (QStandardPaths::findExecutable(QStringLiteral("python3")).isEmpty())
            QSKIP("python3 is not installed: nothing to read LibreOffice's ODT files");
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        if (qEnvironmentVariableIsSet("PAVELIN_CORPUS_KEEP")) {
            tmp.setAutoRemove(false);
            qInfo("the files saved and converted stay in %s", qPrintable(tmp.path()));
        }
        const QString originals = tmp.filePath(QStringLiteral("original")),
                      saved = tmp.filePath(QStringLiteral("ours")),
                      theirRtf = tmp.filePath(QStringLiteral("lo-rtf"));
        QDir().mkpath(originals);
        QDir().mkpath(saved);
        QElapsedTimer clock;
        clock.start();

        // Opened and saved as the commands do; one folder of originals, the
        // names made unique ("import-name.rtf").
        QStringList names, originalFiles, savedFiles, errors;
        {
            FormFixture f;
            BoxWatch boxes(QMessageBox::Ok);
            TRichEdit *edit = f.form->RichEdit1;
            for (const QString &file : corpusFiles(root)) {
                const QString name = QString(file).replace(QLatin1Char('/'), QLatin1Char('-'));
                names << name.chopped(4);
                originalFiles << originals + QLatin1Char('/') + name;
                QVERIFY(QFile::copy(root.filePath(file), originalFiles.last()));
                edit->Lines->Clear();
                try {
                    edit->Lines->LoadFromFile(root.filePath(file));
                    edit->Lines->SaveToFile(saved + QLatin1Char('/') + name);
                    savedFiles << saved + QLatin1Char('/') + name;
                } catch (const Exception &e) {
                    errors << file + QStringLiteral(": ") + e.Message;
                }
            }
            for (const QString &text : boxes.texts)
                errors << QStringLiteral("a message box: ") + text;
        }
        QVERIFY(names.size() > 200);
        const qint64 openSave = clock.restart();

        // LibreOffice's readings of an original and of its own round trip
        // depend on the file, LibreOffice's version and the day (a DATE field
        // shows it): the build folder keeps them between runs of one day
        // (PAVELIN_CORPUS_FRESH=1 has them read again).
        const QString profileA = tmp.filePath(QStringLiteral("profile-a")),
                      profileB = tmp.filePath(QStringLiteral("profile-b"));
        const QString cacheFile = QDir(QCoreApplication::applicationDirPath())
                                      .filePath(QStringLiteral("corpus-libreoffice-readings.json"));
        QProcess versionRun;
        versionRun.start(QStringLiteral("soffice"),
                         {QStringLiteral("-env:UserInstallation=file://") + profileA,
                          QStringLiteral("--version")});
        versionRun.waitForFinished(60000);
        // The readings depend on LibreOffice's version, on what the script
        // reads of its files and on the day.
        const QString loVersion = QString::fromUtf8(versionRun.readAllStandardOutput()).trimmed();
        const QString version =
            loVersion.isEmpty()
                ? QString()
                : loVersion + QStringLiteral(" / ") + QDate::currentDate().toString(Qt::ISODate) +
                      QStringLiteral(" / odtcontent.py ") +
                      QString::fromLatin1(
                          QCryptographicHash::hash(
                              readAll(QStringLiteral(PAVELIN_TESTS_DIR "/odtcontent.py")),
                              QCryptographicHash::Sha1)
                              .toHex()
                              .left(12));
        QJsonObject cached;
        const QJsonObject cache = QJsonDocument::fromJson(readAll(cacheFile)).object();
        if (!version.isEmpty() && cache.value(QLatin1String("version")).toString() == version &&
            !qEnvironmentVariableIsSet("PAVELIN_CORPUS_FRESH"))
            cached = cache.value(QLatin1String("readings")).toObject();
        QStringList keys, uncached;
        for (qsizetype i = 0; i < names.size(); ++i) {
            keys << QString::fromLatin1(
                QCryptographicHash::hash(readAll(originalFiles[i]), QCryptographicHash::Sha1)
                    .toHex());
            if (!cached.contains(keys.last())) uncached << originalFiles[i];
        }

        // Two LibreOffice runs side by side, each with a profile of its own:
        // the originals to ODT, and to RTF and back to ODT; ours to ODT, split
        // between the two when the originals' readings are known.
        QStringList oursA = savedFiles, oursB;
        if (uncached.isEmpty()) {
            oursA = savedFiles.first(savedFiles.size() / 2);
            oursB = savedFiles.mid(savedFiles.size() / 2);
        }
        const QDeadlineTimer deadline(std::chrono::minutes(8));
        const QString odtOurs = tmp.filePath(QStringLiteral("odt-ours"));
        QStringList givenUpA, givenUpB;
        std::unique_ptr<QThread> chainA(QThread::create([&] {
            givenUpA << convertAll(uncached, QStringLiteral("odt"),
                                   tmp.filePath(QStringLiteral("odt-original")), profileA,
                                   deadline);
            givenUpA << convertAll(oursA, QStringLiteral("odt"), odtOurs, profileA, deadline);
        }));
        std::unique_ptr<QThread> chainB(QThread::create([&] {
            givenUpB << convertAll(uncached, QStringLiteral("rtf"), theirRtf, profileB, deadline);
            QStringList rtfs;
            for (const QString &file : uncached) {
                const QString rtf = theirRtf + QLatin1Char('/') + QFileInfo(file).fileName();
                if (QFileInfo::exists(rtf)) rtfs << rtf;
            }
            givenUpB << convertAll(rtfs, QStringLiteral("odt"),
                                   tmp.filePath(QStringLiteral("odt-lo")), profileB, deadline);
            givenUpB << convertAll(oursB, QStringLiteral("odt"), odtOurs, profileB, deadline);
        }));
        chainA->start();
        chainB->start();
        chainA->wait();
        chainB->wait();
        const QStringList givenUp = givenUpA + givenUpB;
        const bool outOfTime = deadline.hasExpired();
        const qint64 converting = clock.restart();
        QJsonObject original = readOdts(tmp.filePath(QStringLiteral("odt-original"))),
                    theirs = readOdts(tmp.filePath(QStringLiteral("odt-lo")));
        const QJsonObject ours = readOdts(odtOurs);
        for (qsizetype i = 0; i < names.size(); ++i) {
            const QJsonObject known = cached.value(keys[i]).toObject();
            if (!known.isEmpty()) {
                original.insert(names[i], known.value(QLatin1String("original")));
                theirs.insert(names[i], known.value(QLatin1String("theirs")));
            } else if (original.contains(names[i]) && theirs.contains(names[i]) &&
                       !original.value(names[i]).toObject().contains(QLatin1String("error"))) {
                cached.insert(keys[i],
                              QJsonObject{{QStringLiteral("original"), original.value(names[i])},
                                          {QStringLiteral("theirs"), theirs.value(names[i])}});
            }
        }
        if (!version.isEmpty()) {
            QFile out(cacheFile);
            if (out.open(QIODevice::WriteOnly | QIODevice::Truncate))
                out.write(QJsonDocument(QJsonObject{{QStringLiteral("version"), version},
                                                    {QStringLiteral("readings"), cached}})
                              .toJson(QJsonDocument::Compact));
        }
        // LibreOffice read nearly all: an empty reading would compare equal,
        // and a missing round trip would excuse every file.
        QVERIFY2(original.size() > 200 && theirs.size() > 200,
                 qPrintable(QStringLiteral("LibreOffice read %1 originals and %2 of its own files")
                                .arg(original.size())
                                .arg(theirs.size())));

        // Per kind: the totals in the three readings, the files that hold it,
        // those where ours differs from the original, where LibreOffice's own
        // round trip does, and where ours does though LibreOffice's kept it.
        struct Tally {
            qint64 original = 0, ours = 0, theirs = 0;
            int files = 0, oursDiffer = 0, theirsDiffer = 0;
            QStringList againstUs, theirLosses;
        };
        const QList<Kind> all = kinds();
        QList<Tally> tally(all.size());
        QStringList unjudged, lostCells;
        qint64 cellsKept = 0, filesKept = 0;
        for (const QString &name : names) {
            const QJsonObject o = original.value(name).toObject();
            if (o.isEmpty() || o.contains(QLatin1String("error"))) {
                unjudged << name;
                continue;
            }
            const QJsonObject u = ours.value(name).toObject(), t = theirs.value(name).toObject();
            for (qsizetype k = 0; k < all.size(); ++k) {
                const Kind &kind = all[k];
                Tally &n = tally[k];
                n.original += kind.count(o);
                n.ours += kind.count(u);
                n.theirs += kind.count(t);
                if (kind.count(o) > 0) ++n.files;
                const bool oursKept = kind.same(o, u), theirsKept = kind.same(o, t);
                if (!oursKept) ++n.oursDiffer;
                if (k == 0 && oursKept && kind.count(o) > 0) {
                    cellsKept += kind.count(o);
                    ++filesKept;
                }
                if (!theirsKept) {
                    ++n.theirsDiffer;
                    n.theirLosses << name;
                }
                if (!oursKept && theirsKept) {
                    n.againstUs << name;
                    if (k == 0) {
                        const QJsonArray a = o.value(QLatin1String("cells")).toArray(),
                                         b = u.value(QLatin1String("cells")).toArray();
                        lostCells << QStringLiteral("%1: %2 cells, ours %3; %4")
                                         .arg(name)
                                         .arg(a.size())
                                         .arg(b.size())
                                         .arg(firstCellDifference(a, b));
                    }
                }
            }
        }
        const qint64 comparing = clock.elapsed();

        QStringList report;
        report << QStringLiteral("LibreOffice's reading of %1 files: the original, our Save As, "
                                 "and its own round trip through RTF")
                      .arg(names.size());
        report << QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8")
                      .arg(QStringLiteral("kind"), -24)
                      .arg(QStringLiteral("original"), 9)
                      .arg(QStringLiteral("ours"), 9)
                      .arg(QStringLiteral("LO's own"), 9)
                      .arg(QStringLiteral("files"), 6)
                      .arg(QStringLiteral("ours differ"), 12)
                      .arg(QStringLiteral("LO's differ"), 12)
                      .arg(QStringLiteral("against us"), 11);
        for (qsizetype k = 0; k < all.size(); ++k) {
            const Tally &n = tally[k];
            report << QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8")
                          .arg(QLatin1String(all[k].name), -24)
                          .arg(n.original, 9)
                          .arg(n.ours, 9)
                          .arg(n.theirs, 9)
                          .arg(n.files, 6)
                          .arg(n.oursDiffer, 12)
                          .arg(n.theirsDiffer, 12)
                          .arg(n.againstUs.size(), 11);
        }
        report << QStringLiteral("table cells kept with their text: %1 of %2, in %3 of %4 files")
                      .arg(cellsKept)
                      .arg(tally[0].original)
                      .arg(filesKept)
                      .arg(tally[0].files);
        report << QString();
        for (qsizetype k = 0; k < all.size(); ++k) {
            if (!tally[k].againstUs.isEmpty())
                report << QStringLiteral("%1, against us: %2")
                              .arg(QLatin1String(all[k].name),
                                   tally[k].againstUs.join(QLatin1Char(' ')));
            if (!tally[k].theirLosses.isEmpty())
                report << QStringLiteral("%1, lost by LibreOffice's own round trip: %2")
                              .arg(QLatin1String(all[k].name),
                                   tally[k].theirLosses.join(QLatin1Char(' ')));
        }
        if (!unjudged.isEmpty())
            report << QStringLiteral("not read by LibreOffice, not judged: ") +
                          unjudged.join(QLatin1Char(' '));
        if (!givenUp.isEmpty())
            report << QStringLiteral("LibreOffice did not convert: ") +
                          givenUp.join(QLatin1Char(' '));
        if (!lostCells.isEmpty())
            report << QStringLiteral("table cells or their text not kept:") << lostCells;
        if (!errors.isEmpty())
            report << QStringLiteral("Open or Save As refused: ") +
                          errors.join(QStringLiteral("; "));
        report << QStringLiteral("open and save %1 s, LibreOffice %2 s (%3 originals not known "
                                 "before), reading and comparing %4 s")
                      .arg(openSave / 1000.0, 0, 'f', 1)
                      .arg(converting / 1000.0, 0, 'f', 1)
                      .arg(uncached.size())
                      .arg(comparing / 1000.0, 0, 'f', 1);
        const QString out = QDir(QCoreApplication::applicationDirPath())
                                .filePath(QStringLiteral("corpus-roundtrip.txt"));
        QFile file(out);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write((report.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
        for (const QString &line : report)
            std::printf("%s\n", qPrintable(line));
        std::fflush(stdout);
        qInfo("%lld of %lld table cells kept with their text (the table above is in %s)",
              qlonglong(cellsKept), qlonglong(tally[0].original), qPrintable(out));

        // Out of time, the files left are not LibreOffice's verdict on them.
        QVERIFY2(!outOfTime,
                 qPrintable(QStringLiteral("LibreOffice was stopped after 8 minutes with %1 "
                                           "files not converted; its readings of the originals "
                                           "are kept for the next run")
                                .arg(givenUp.size())));
        QVERIFY2(errors.isEmpty(), qPrintable(errors.join(QLatin1Char('\n'))));
        // What LibreOffice's own round trip keeps of a file, ours keeps: a
        // file against us fails, unless it stands here with the reason.
        const QHash<QString, QString> excused{
            // "kind: file" -> why
            {QStringLiteral("paragraphs (text too): import-165333"),
             QStringLiteral("a Wingdings SYMBOL field reads as the character it shows (U+2612), "
                            "LibreOffice keeps the font's code (U+00FD)")},
            {QStringLiteral("character formats: import-165333"),
             QStringLiteral("the same SYMBOL field: LibreOffice keeps its result hidden, in the "
                            "field's font and size")},
            {QStringLiteral("character formats: import-fdo82078"),
             QStringLiteral("no font table: LibreOffice names the style's undefined font 40 "
                            "Times New Roman; the text names no font, and is saved in the "
                            "editor's")},
        };
        QStringList against, unused = excused.keys();
        for (qsizetype k = 0; k < all.size(); ++k) {
            const QString kind = QLatin1String(all[k].name);
            for (const QString &name : tally[k].againstUs) {
                unused.removeOne(kind + QStringLiteral(": ") + name);
                if (!excused.contains(kind + QStringLiteral(": ") + name))
                    against << kind + QStringLiteral(": ") + name;
            }
        }
        for (const QString &kept : unused)
            qInfo("%s is kept now: take it out of the files excused", qPrintable(kept));
        QVERIFY2(against.isEmpty(),
                 qPrintable(QStringLiteral("lost by our Save As, kept by LibreOffice's own round "
                                           "trip: ") +
                            against.join(QStringLiteral("; "))));
        QVERIFY2(lostCells.isEmpty(),
                 qPrintable(QStringLiteral("table cells or their text not kept in %1 files, "
                                           "LibreOffice's own round trip keeping them; the "
                                           "first: %2")
                                .arg(lostCells.size())
                                .arg(lostCells.first(std::min<qsizetype>(lostCells.size(), 5))
                                         .join(QStringLiteral("; ")))));
    }
};

QTEST_MAIN(TestCorpus)
#include "test_corpus.moc"
