// What only Windows can do to a file: another process holding it locked, the read-only
// attribute, and a junction that loops. Elsewhere these are skipped, saying why.
#include "AppendRun.h"
#include "FileList.h"
#include "FolderScan.h"
#include "Reliability.h"
#include "TestRegistry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

using namespace tarnwell;
using namespace tarnwell::reliability;

class WindowsOnlyTest : public QObject
{
    Q_OBJECT
private slots:
    void lockedOrReadOnlyFileIsLeftAlone_data()
    {
        QTest::addColumn<bool>("locked"); // false: the read-only attribute
        QTest::addColumn<int>("line");
        QTest::newRow("locked by another process") << true << 112;
        QTest::newRow("read-only attribute") << false << 118;
    }
    void lockedOrReadOnlyFileIsLeftAlone()
    {
#ifndef Q_OS_WIN
        QSKIP("Mandatory file locks and the read-only attribute exist on Windows only; the POSIX "
              "permission cases run in FaultTest.");
#else
        QFETCH(bool, locked);
        QFETCH(int, line);
        QTemporaryDir dir;
        const QString path = QDir::toNativeSeparators(dir.filePath(QStringLiteral("f.txt")));
        const QString other = QDir::toNativeSeparators(dir.filePath(QStringLiteral("g.txt")));
        for (const QString &name : {path, other}) {
            QFile file(name);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("mark");
        }
        QProcess holder; // another process that opens the file without sharing it
        if (locked) {
            holder.start(QStringLiteral("powershell"),
                         {QStringLiteral("-NoProfile"), QStringLiteral("-Command"),
                          QStringLiteral("$f=[IO.File]::Open('%1','Open','ReadWrite','None'); "
                                         "[Console]::Out.WriteLine('held'); Start-Sleep 60").arg(path)});
            QVERIFY(holder.waitForReadyRead(30000));
        } else {
            QVERIFY(SetFileAttributesW(reinterpret_cast<const wchar_t *>(path.utf16()), FILE_ATTRIBUTE_READONLY));
        }
        RecordingHost host;
        host.entries = {path, other};
        host.text1 = QLatin1String(kAppendText);
        host.text2 = QLatin1String(kConditionText);
        host.text3 = dir.path();
        RunAppendJob(host);
        if (locked) {
            holder.kill();
            holder.waitForFinished();
        }
        SetFileAttributesW(reinterpret_cast<const wchar_t *>(path.utf16()), FILE_ATTRIBUTE_NORMAL);
        QCOMPARE(host.errorBoxes.size(), 1);
        QCOMPARE(host.errorBoxes.first().line, line);
        QCOMPARE(ReadBytes(path), QByteArray("mark"));
        QVERIFY(ReadBytes(other).startsWith("mark\r\n"));
        QCOMPARE(host.messages, QStringList{QStringLiteral("Done.")});
#endif
    }

    void junctionLoopEnds()
    {
#ifndef Q_OS_WIN
        QSKIP("Junctions are a Windows kind of link; symbolic-link loops are covered in WalkAndSettingsTest.");
#else
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("a/b")));
        QFile file(dir.filePath(QStringLiteral("a/b/f.txt")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        const QString junction = QDir::toNativeSeparators(dir.filePath(QStringLiteral("a/b/loop")));
        QCOMPARE(QProcess::execute(QStringLiteral("cmd"), {QStringLiteral("/c"), QStringLiteral("mklink"), QStringLiteral("/J"),
                                                           junction, QDir::toNativeSeparators(dir.path())}),
                 0);
        FileList list;
        ScanFolderIntoList(QDir::toNativeSeparators(dir.path()), QStringLiteral("*.*"), list, [] {});
        QCOMPARE(list.Count(), 1);
#endif
    }
};

TARNWELL_TEST_CLASS(WindowsOnlyTest)
#include "WindowsOnlyTest.moc"
