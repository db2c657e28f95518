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
// Every file and folder under `folder` with its bytes (none for a folder).
QMap<QString, QByteArray> Tree(const QString &folder)
{
    QMap<QString, QByteArray> tree;
    for (QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
         it.hasNext();) {
        QFile file(it.next());
        tree[QDir(folder).relativeFilePath(file.fileName())] = file.open(QIODevice::ReadOnly) ? file.readAll() : "";
    }
    return tree;
}
} // namespace

class QualifyCheckTest : public QObject
{
    Q_OBJECT
private slots:
    // A corpus of every kind of entry: the condition present (split by a line break, in other
    // letter case) and absent in windows-1252, UTF-8 with its mark, UTF-16 LE and BE; a file of no
    // bytes, one of nothing but what the test strips, a missing one and a folder. In each mode and
    // save mode the check changes and creates nothing, and a run made right after it writes exactly
    // the entries it called qualifying and fails on exactly those it could not read.
    // Q: qualifies / written, N: does not / left alone, U: could not be read / the error box.
    void answerIsTheRunsDecision_data()
    {
        QTest::addColumn<ConditionMode>("mode");
        QTest::addColumn<QString>("answers");
        QTest::newRow("does") << ConditionMode::Does << u"QQQQNNNNNNNU"_s;
        QTest::newRow("does not") << ConditionMode::DoesNot << u"NNNNQQQQQQQU"_s;
        QTest::newRow("no condition") << ConditionMode::Unset << u"NNNNNNNNNNNU"_s;
    }
    void answerIsTheRunsDecision()
    {
        QFETCH(ConditionMode, mode);
        QFETCH(QString, answers);
        QList<std::pair<QString, QByteArray>> corpus;
        for (const QString &text : {u"Ärger über\r\n Öl"_s, u"Ärger über Oel"_s}) { // the first holds it
            const auto utf16 = [&](auto order) { return QByteArray(QStringEncoder(order).encode(text)); };
            const QString n = QString::number(corpus.size());
            corpus << std::pair{u"1252-"_s + n, text.toLatin1()}
                   << std::pair{u"utf8-"_s + n, QByteArray("\xEF\xBB\xBF" + text.toUtf8())}
                   << std::pair{u"le-"_s + n, QByteArray("\xFF\xFE" + utf16(QStringConverter::Utf16LE))}
                   << std::pair{u"be-"_s + n, QByteArray("\xFE\xFF" + utf16(QStringConverter::Utf16BE))};
        }
        corpus << std::pair{u"empty"_s, ""_ba} << std::pair{u"stripped"_s, "\r\n\tByVal "_ba}
               << std::pair{u"missing"_s, QByteArray()} << std::pair{u"folder"_s, QByteArray()};
        for (const bool inPlace : {true, false}) {
            QTemporaryDir dir;
            JobFields job{{}, u"x"_s, u"ÜBER öl"_s, dir.filePath(u"out"_s), mode, SaveModeFor(inPlace)};
            QVERIFY(QDir().mkpath(job.outputFolder) && QDir().mkpath(dir.filePath(u"in/folder.txt"_s)));
            for (const auto &[name, bytes] : corpus) {
                job.files << dir.filePath(u"in/"_s + name + u".txt"_s);
                QFile file(job.files.last());
                QVERIFY(bytes.isNull() || (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size()));
            }
            const QMap<QString, QByteArray> before = Tree(dir.path());
            RecordingHost checkHost(job);
            const std::vector<EntryCheck> checks = CheckWhichQualify(checkHost, CodePage::Windows1252());
            QCOMPARE(Tree(dir.path()), before);
            QCOMPARE(checkHost.calls.last(), u"ProgressText(Progress Bar)"_s);

            RecordingHost runHost(job);
            RunAppendJob(runHost, u"PushButton2_Click"_s, CodePage::Windows1252());
            const QMap<QString, QByteArray> after = Tree(dir.path());
            QString checked, decided;
            for (qsizetype i = 0; i < corpus.size(); ++i) {
                const EntryCheck::Answer answer = checks.at(static_cast<size_t>(i)).answer;
                checked += answer == EntryCheck::Answer::Qualifies    ? u'Q'
                           : answer == EntryCheck::Answer::Unreadable ? u'U'
                                                                      : u'N';
                const QString name = corpus.at(i).first + u".txt"_s, written = (inPlace ? u"in/"_s : u"out/"_s) + name;
                const bool failed = !runHost.Boxes().filter(u"112 PushButton2_Click"_s).filter(name).isEmpty();
                decided += failed ? u'U' : after.value(written, "-") != before.value(written, "-") ? u'Q' : u'N';
            }
            QCOMPARE(checked, decided);
            QCOMPARE(checked, answers);
        }
    }
};

TARNWELL_TEST_CLASS(QualifyCheckTest)
#include "QualifyCheckTest.moc"
