// The check of which files qualify: its answer is the run's decision, entry by entry, and it
// writes nothing.
#include "engine/QualifyCheck.h"
#include "RecordingHost.h"
#include "TestRegistry.h"
#include "engine/AppendRun.h"

#include <QDirIterator>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

using namespace tarnwell;
using namespace tarnwell::testing;
using namespace Qt::StringLiterals;

namespace {
// Every file under `folder` with its bytes, folders by name alone.
QStringList Tree(const QString &folder)
{
    QStringList tree;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        tree << QDir(folder).relativeFilePath(path) + u' ' + QString::fromLatin1(bytes.toHex());
    }
    tree.sort();
    return tree;
}
} // namespace

class QualifyCheckTest : public QObject
{
    Q_OBJECT
private slots:
    // A corpus of every kind of entry: the condition present and absent in windows-1252, UTF-8
    // with its mark, UTF-16 LE and BE (split by a line break, in other letter case); a file of no
    // bytes, one of nothing but what the test strips, a missing one and a folder. For each mode and
    // save mode: the check changes no byte and creates nothing, and a run made right after it
    // writes exactly the entries the check called qualifying, and fails on exactly the ones it
    // could not read. Q qualifies / is written, N does not / is left alone, U unreadable / error box.
    void answerIsTheRunsDecision_data()
    {
        QTest::addColumn<ConditionMode>("mode");
        QTest::addColumn<bool>("inPlace");
        QTest::addColumn<QString>("answers");
        const QString does = u"QNQNQNQNNNNU"_s, doesNot = u"NQNQNQNQQQQU"_s, none = u"NNNNNNNNNNNU"_s;
        QTest::newRow("does, in place") << ConditionMode::Does << true << does;
        QTest::newRow("does, new files") << ConditionMode::Does << false << does;
        QTest::newRow("does not, in place") << ConditionMode::DoesNot << true << doesNot;
        QTest::newRow("does not, new files") << ConditionMode::DoesNot << false << doesNot;
        QTest::newRow("no condition, in place") << ConditionMode::Unset << true << none;
        QTest::newRow("no condition, new files") << ConditionMode::Unset << false << none;
    }
    void answerIsTheRunsDecision()
    {
        QFETCH(ConditionMode, mode);
        QFETCH(bool, inPlace);
        QFETCH(QString, answers);
        QTemporaryDir dir;
        const QString in = dir.filePath(u"in"_s), out = dir.filePath(u"out"_s);
        QVERIFY(QDir().mkpath(in) && QDir().mkpath(out) && QDir().mkpath(in + u"/folder.txt"_s));
        const QString hit = u"Ärger über\r\n Öl"_s, miss = u"Ärger über Oel"_s;
        const auto utf16 = [](QStringConverter::Encoding order, const char *mark, const QString &text) -> QByteArray {
            return QByteArray(mark) + QByteArray(QStringEncoder(order).encode(text));
        };
        const QList<std::pair<const char *, QByteArray>> files{
            {"1252-hit", "\xC4rger \xFC"
                         "ber\r\n \xD6l"},
            {"1252-miss", "\xC4rger \xFC"
                          "ber Oel"},
            {"utf8-hit", "\xEF\xBB\xBF" + hit.toUtf8()},
            {"utf8-miss", "\xEF\xBB\xBF" + miss.toUtf8()},
            {"le-hit", utf16(QStringConverter::Utf16LE, "\xFF\xFE", hit)},
            {"le-miss", utf16(QStringConverter::Utf16LE, "\xFF\xFE", miss)},
            {"be-hit", utf16(QStringConverter::Utf16BE, "\xFE\xFF", hit)},
            {"be-miss", utf16(QStringConverter::Utf16BE, "\xFE\xFF", miss)},
            {"empty", ""},
            {"stripped", "\r\n\tByVal "},
            {"missing", QByteArray()},
            {"folder", QByteArray()}};
        JobFields job;
        job.conditionText = u"ÜBER öl"_s;
        job.conditionMode = mode;
        job.saveMode = SaveModeFor(inPlace);
        job.outputFolder = out;
        for (const auto &[name, bytes] : files) {
            const QString path = in + u'/' + QLatin1String(name) + u".txt"_s;
            if (!bytes.isNull()) {
                QFile file(path);
                QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
            }
            if (qstrcmp(name, "missing") != 0)
                job.files << path;
        }
        job.files.insert(job.files.size() - 1, in + u"/missing.txt"_s); // the folder stays last
        const QStringList before = Tree(dir.path());

        RecordingHost checkHost(job);
        const std::vector<EntryCheck> checks = CheckWhichQualify(checkHost, CodePage::Windows1252());
        QCOMPARE(Tree(dir.path()), before);
        QCOMPARE(checkHost.Boxes(), QStringList());
        QString checked;
        for (const EntryCheck &check : checks)
            checked += check.answer == EntryCheck::Answer::Qualifies    ? u'Q'
                       : check.answer == EntryCheck::Answer::Unreadable ? u'U'
                                                                        : u'N';
        QVERIFY2(checks.back().reason.contains(u"folder.txt"_s), qPrintable(checks.back().reason));
        QCOMPARE(checkHost.calls.mid(0, 7),
                 (QStringList{u"Yield"_s, u"Busy"_s, u"Progress(8.33333)"_s, u"EntryText(1)"_s,
                              u"ProgressText(Checking: 1252-hit.txt)"_s, u"Yield"_s, u"Busy"_s}));
        QCOMPARE(checkHost.calls.mid(checkHost.calls.size() - 3),
                 (QStringList{u"NotBusy"_s, u"Progress(0)"_s, u"ProgressText(Progress Bar)"_s}));

        RecordingHost runHost(job);
        RunAppendJob(runHost, u"PushButton2_Click"_s, CodePage::Windows1252());
        const QStringList after = Tree(dir.path()), boxes = runHost.Boxes();
        QString decided;
        for (const QString &path : std::as_const(job.files)) {
            const QString name = QFileInfo(path).fileName();
            const QString written = inPlace ? u"in/"_s + name : u"out/"_s + name;
            const bool changed = after.filter(QRegularExpression(u"^"_s + QRegularExpression::escape(written) + u" "_s))
                                 != before.filter(
                                     QRegularExpression(u"^"_s + QRegularExpression::escape(written) + u" "_s));
            const bool failed = !boxes.filter(u"112 PushButton2_Click"_s).filter(name).isEmpty();
            decided += failed ? u'U' : changed ? u'Q' : u'N';
        }
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(checked, decided);
        QCOMPARE(checked, answers);
    }
};

TARNWELL_TEST_CLASS(QualifyCheckTest)
#include "QualifyCheckTest.moc"
