// What only Windows can do to a file: another process holding it locked, the read-only attribute,
// and a junction that loops. Elsewhere this is skipped, saying why.
#include "AppendRun.h"
#include "FileAttributes.h"
#include "FileList.h"
#include "FolderScan.h"
#include "Reliability.h"
#include "TestRegistry.h"

#ifdef Q_OS_WIN
#include <windows.h>
#endif

using namespace tarnwell;
using namespace tarnwell::reliability;

class WindowsOnlyTest : public QObject
{
    Q_OBJECT
private slots:
    void windowsOnlyFaults_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("line"); // of the one box, for f.txt
        QTest::newRow("locked by another process") << QStringLiteral("locked") << 112;
        QTest::newRow("read-only attribute") << QStringLiteral("readOnly") << 118;
        QTest::newRow("junction to its own folder") << QStringLiteral("junction") << 0;
    }
    void windowsOnlyFaults()
    {
#ifndef Q_OS_WIN
        QSKIP("Mandatory locks, the read-only attribute and junctions exist on Windows only; the POSIX "
              "permission cases are in FaultTest, symbolic-link loops in WalkAndSettingsTest.");
#else
        QFETCH(QString, kind);
        QFETCH(int, line);
        QTemporaryDir dir;
        const QString root = QDir::toNativeSeparators(dir.path()), path = root + QStringLiteral("\\f.txt");
        ScriptedHost host;
        host.entries = {path, root + QStringLiteral("\\g.txt")};
        host.outputFolder = root;
        for (const QString &name : host.entries) {
            QFile file(name);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("mark") == 4);
        }
        QProcess holder; // another process that opens the file without sharing it
        if (kind == QLatin1String("junction")) {
            QCOMPARE(
                QProcess::execute(QStringLiteral("cmd"), {QStringLiteral("/c"), QStringLiteral("mklink"),
                                                          QStringLiteral("/J"), root + QStringLiteral("\\loop"), root}),
                0);
            FileList list;
            ScanFolderIntoList(root, QStringLiteral("*.*"), list, [] {});
            QCOMPARE(list.Count(), 2);
            return;
        } else if (kind == QLatin1String("locked")) {
            holder.start(QStringLiteral("powershell"),
                         {QStringLiteral("-NoProfile"), QStringLiteral("-Command"),
                          QStringLiteral("$f=[IO.File]::Open('%1','Open','ReadWrite','None'); "
                                         "[Console]::Out.WriteLine('held'); Start-Sleep 60")
                              .arg(path)});
            QVERIFY(holder.waitForReadyRead(30000));
        } else {
            QVERIFY(SetFileAttributesW(reinterpret_cast<const wchar_t *>(path.utf16()), FILE_ATTRIBUTE_READONLY));
        }
        QStringList lines;
        host.report = [&](const QString &text) { lines << text; };
        RunAppendJob(host);
        holder.kill();
        holder.waitForFinished();
        SetFileAttributesW(reinterpret_cast<const wchar_t *>(path.utf16()), FILE_ATTRIBUTE_NORMAL);
        QCOMPARE(lines.size(), 2);
        QVERIFY2(lines.first().startsWith(QStringLiteral("BOX %1 ").arg(line))
                     && lines.last() == QLatin1String("MESSAGE Done."),
                 qPrintable(lines.join(u'\n')));
        QCOMPARE(ReadBytes(path), QByteArray("mark"));
        QVERIFY(ReadBytes(host.entries.last()).startsWith("mark\r\n"));
#endif
    }

    // Attribute bits beyond those the rules compare change nothing: a hidden system folder that
    // is also not content indexed is still left out, a hidden archive file that is also not
    // content indexed and temporary is still skipped (34); archive on the folder (54) and
    // read-only on the file (35) still count.
    void attributeBitsBeyondTheRules_areMasked()
    {
#ifndef Q_OS_WIN
        QSKIP("Real attribute words exist on Windows only; ModelAndPathsTest checks the masking everywhere.");
#else
        QTemporaryDir dir;
        const QString root = QDir::toNativeSeparators(dir.path());
        const auto path = [&](const char *relative) { return root + QLatin1Char('\\') + QLatin1String(relative); };
        const auto mark = [&](const char *relative, DWORD attributes) {
            return SetFileAttributesW(reinterpret_cast<const wchar_t *>(path(relative).utf16()), attributes) != 0;
        };
        for (const char *relative : {"plain.txt", "lock.txt", "kept.txt", "sys\\in.txt", "arch\\in.txt"}) {
            QDir().mkpath(QFileInfo(path(relative)).absolutePath());
            QFile file(path(relative));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("x") == 1);
        }
        QVERIFY(mark("lock.txt", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED
                                     | FILE_ATTRIBUTE_TEMPORARY));
        QVERIFY(mark("kept.txt", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY
                                     | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED));
        QVERIFY(mark("sys", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED));
        QVERIFY(mark("arch", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE));
        const QString sys = path("sys");
        const DWORD raw = GetFileAttributesW(reinterpret_cast<const wchar_t *>(sys.utf16()));
        QVERIFY2((raw & FILE_ATTRIBUTE_NOT_CONTENT_INDEXED) != 0, "the extra bit did not stick");
        QCOMPARE(AttributesOf(sys), 22);

        FileList list;
        ScanFolderIntoList(root, QStringLiteral("*.*"), list, [] {});
        QStringList entries = list.Entries();
        entries.sort(Qt::CaseInsensitive);
        mark("kept.txt", FILE_ATTRIBUTE_NORMAL); // so the folder can be removed
        QCOMPARE(entries, (QStringList{path("arch\\in.txt"), path("kept.txt"), path("plain.txt")}));
#endif
    }
};

TARNWELL_TEST_CLASS(WindowsOnlyTest)
#include "WindowsOnlyTest.moc"
