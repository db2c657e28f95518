#include "ErrorTrap.h"
#include "FileIO.h"
#include "TestFiles.h"
#include "TestRegistry.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

using namespace tarnwell;
using namespace tarnwell::testing;

namespace {

// Lets `limit` bytes really reach the device, then fails the way a full disk does: the block
// that crosses the limit is written in part and reported as failed.
struct FailingWriter
{
    explicit FailingWriter(qint64 limit, QString path = QString())
        : remaining(std::make_shared<qint64>(limit)), watched(std::move(path))
    {
    }
    std::shared_ptr<qint64> remaining;
    std::shared_ptr<qint64> sizeOnDiskAtFailure = std::make_shared<qint64>(-1);
    QString watched;

    BlockWriter Writer() const
    {
        return [r = remaining, seen = sizeOnDiskAtFailure, path = watched](QIODevice &device, QByteArrayView block) -> qint64 {
            if (block.size() <= *r) {
                const qint64 written = device.write(block.data(), block.size());
                *r -= written;
                return written;
            }
            if (*r > 0)
                device.write(block.data(), *r);
            *r = 0;
            if (!path.isEmpty())
                *seen = QFileInfo(path).size();
            return -1;
        };
    }
};

QByteArray Pattern(qint64 size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return bytes;
}

} // namespace

// A failed write loses nothing: an append in place is undone to the original length, and a new
// file in the output folder appears whole or not at all, with no temporary file left behind.
class WriteSafetyTest : public QObject
{
    Q_OBJECT

private slots:
    void failedAppendInPlaceLeavesTheFileAsItWas_data()
    {
        QTest::addColumn<qint64>("originalSize"); // -1: the file does not exist yet
        QTest::addColumn<qint64>("appendixSize");
        QTest::addColumn<qint64>("failAfter");
        QTest::newRow("nothing written") << qint64(100) << qint64(10) << qint64(0);
        QTest::newRow("part of the appendix written") << qint64(100) << qint64(10) << qint64(4);
        QTest::newRow("second block fails") << qint64(3) << kFileBlockBytes + 100 << kFileBlockBytes + 10;
        QTest::newRow("new file, part written") << qint64(-1) << qint64(10) << qint64(4);
    }
    void failedAppendInPlaceLeavesTheFileAsItWas()
    {
        QFETCH(qint64, originalSize);
        QFETCH(qint64, appendixSize);
        QFETCH(qint64, failAfter);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("f.txt"));
        const QByteArray original = Pattern(std::max<qint64>(originalSize, 0));
        if (originalSize >= 0)
            WriteBytes(path, original);
        const FailingWriter failing(failAfter, path);
        try {
            WriteWholeFile(path, path, QByteArray(appendixSize, 'A'), failing.Writer());
            QFAIL("the failed write was not reported");
        } catch (const AppError &error) {
            QVERIFY2(error.description().contains(path), qPrintable(error.description()));
        }
        // The injected failure really left bytes on disk that had to be undone.
        QCOMPARE(*failing.sizeOnDiskAtFailure, std::max<qint64>(originalSize, 0) + failAfter);
        if (originalSize >= 0)
            QCOMPARE(ReadBytes(path), original);
        QCOMPARE(FolderNames(dir.path()), originalSize >= 0 ? QStringList{QStringLiteral("f.txt")} : QStringList());
    }

    void failedNewFileLeavesNoPartialFile_data()
    {
        QTest::addColumn<bool>("targetExisted");
        QTest::addColumn<qint64>("failAfter");
        const qint64 sourceSize = 2 * kFileBlockBytes + 17;
        QTest::newRow("new target, copy fails") << false << kFileBlockBytes + 3;
        QTest::newRow("new target, appendix fails") << false << sourceSize + 1;
        QTest::newRow("old target, copy fails") << true << qint64(0);
        QTest::newRow("old target, appendix fails") << true << sourceSize + 1;
    }
    void failedNewFileLeavesNoPartialFile()
    {
        QFETCH(bool, targetExisted);
        QFETCH(qint64, failAfter);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("out")));
        const QString source = dir.filePath(QStringLiteral("in.txt"));
        const QString target = dir.filePath(QStringLiteral("out/in.txt"));
        WriteBytes(source, Pattern(2 * kFileBlockBytes + 17));
        if (targetExisted)
            WriteBytes(target, "old target");
        const QStringList before = FolderNames(dir.filePath(QStringLiteral("out")));
        const FailingWriter failing(failAfter);
        QVERIFY_THROWS_EXCEPTION(AppError, WriteWholeFile(source, target, "\r\nnew", failing.Writer()));
        QCOMPARE(FolderNames(dir.filePath(QStringLiteral("out"))), before);
        if (targetExisted)
            QCOMPARE(ReadBytes(target), QByteArray("old target"));
    }

    void newFileIsTheSourceBytesThenTheAppendix()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QByteArray original = Pattern(2 * kFileBlockBytes + 17);
        const QString source = dir.filePath(QStringLiteral("in.txt"));
        const QString target = dir.filePath(QStringLiteral("out.txt"));
        WriteBytes(source, original);
        WriteBytes(target, Pattern(3 * kFileBlockBytes)); // longer: nothing of its tail may stay
        WriteWholeFile(source, target, "\r\nend");
        QCOMPARE(ReadBytes(target), original + "\r\nend");
        QCOMPARE(ReadBytes(source), original);
        QCOMPARE(FolderNames(dir.path()), (QStringList{QStringLiteral("in.txt"), QStringLiteral("out.txt")}));
    }

#ifndef Q_OS_WIN
    // Two names of one file count as the same file: it is appended to, not replaced by a copy.
    void otherNamesOfTheSameFileAppendInPlace_data()
    {
        QTest::addColumn<bool>("hardLink");
        QTest::newRow("hard link") << true;
        QTest::newRow("symbolic link") << false;
    }
    void otherNamesOfTheSameFileAppendInPlace()
    {
        QFETCH(bool, hardLink);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString source = dir.filePath(QStringLiteral("in.txt"));
        const QString other = dir.filePath(QStringLiteral("other.txt"));
        WriteBytes(source, "data");
        if (hardLink)
            QCOMPARE(::link(QFile::encodeName(source).constData(), QFile::encodeName(other).constData()), 0);
        else
            QVERIFY(QFile::link(source, other));
        QVERIFY(IsSameFile(source, other));
        WriteWholeFile(source, other, "\r\nx");
        QCOMPARE(ReadBytes(source), QByteArray("data\r\nx"));
        QCOMPARE(ReadBytes(other), QByteArray("data\r\nx"));
        QCOMPARE(QFileInfo(other).isSymLink(), !hardLink);
    }
#endif

    void unwritableTargetsAreReported()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString source = dir.filePath(QStringLiteral("in.txt"));
        WriteBytes(source, "data");
        const QString missingFolder = dir.filePath(QStringLiteral("missing/in.txt"));
        QVERIFY_THROWS_EXCEPTION(AppError, WriteWholeFile(source, missingFolder, "\r\nx"));
        QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("missing"))));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder.txt")));
        QVERIFY_THROWS_EXCEPTION(AppError, WriteWholeFile(source, dir.filePath(QStringLiteral("folder.txt")), "\r\nx"));
        QVERIFY(QFileInfo(dir.filePath(QStringLiteral("folder.txt"))).isDir());
        QCOMPARE(FolderNames(dir.path()), (QStringList{QStringLiteral("folder.txt"), QStringLiteral("in.txt")}));
        QCOMPARE(ReadBytes(source), QByteArray("data"));
    }
};

TARNWELL_TEST_CLASS(WriteSafetyTest)
#include "WriteSafetyTest.moc"
