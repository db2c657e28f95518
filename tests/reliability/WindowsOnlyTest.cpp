// What only Windows can do to a file: a handle that shares nothing, the read-only attribute,
// hidden and system attributes in the folder walk, junctions, the registry store and the ANSI
// code page. Built for Windows only.
#include "AppendRun.h"
#include "CodePage.h"
#include "FileAttributes.h"
#include "FileList.h"
#include "FolderScan.h"
#include "Reliability.h"
#include "Settings.h"
#include "TestRegistry.h"

#include <windows.h>

using namespace tarnwell;
using namespace tarnwell::reliability;

namespace {

const wchar_t *Wide(const QString &text)
{
    return reinterpret_cast<const wchar_t *>(text.utf16());
}

// Wine answers to a function of its own in ntdll; Windows has no such export.
bool RunningUnderWine()
{
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// A temporary folder, its paths in native form.
struct Tree
{
    QTemporaryDir dir;
    QString root = QDir::toNativeSeparators(dir.path());

    QString At(const char *relative) const { return root + u'\\' + QLatin1String(relative); }
    bool Mark(const char *relative, DWORD attributes) const
    {
        return ::SetFileAttributesW(Wide(At(relative)), attributes) != 0;
    }
    // A file holding "mark", with the attribute word.
    void File(const char *relative, DWORD attributes = FILE_ATTRIBUTE_NORMAL) const
    {
        QFile file(At(relative));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("mark") == 4);
        file.close();
        QVERIFY(Mark(relative, attributes));
    }
    QStringList Scan(const QString &pattern) const
    {
        FileList list;
        ScanFolderIntoList(root, pattern, list, [] {});
        return list.Entries();
    }
};

} // namespace

class WindowsOnlyTest : public QObject
{
    Q_OBJECT
private slots:
    void windowsOnlyFaults_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("line"); // of the one box, for f.txt
        QTest::newRow("held open without sharing") << QStringLiteral("locked") << 112;
        QTest::newRow("read-only attribute") << QStringLiteral("readOnly") << 118;
    }
    void windowsOnlyFaults()
    {
        QFETCH(QString, kind);
        QFETCH(int, line);
        Tree tree;
        const QString path = tree.At("f.txt");
        ScriptedHost host;
        host.entries = {path, tree.At("g.txt")};
        host.outputFolder = tree.root;
        tree.File("f.txt");
        tree.File("g.txt");
        HANDLE held = INVALID_HANDLE_VALUE; // as another program holds a file it is writing
        if (kind == QLatin1String("locked")) {
            held = ::CreateFileW(Wide(path), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
            QVERIFY(held != INVALID_HANDLE_VALUE);
        } else {
            QVERIFY(tree.Mark("f.txt", FILE_ATTRIBUTE_READONLY));
            // Wine keeps the attribute as Unix permissions, which do not stop the superuser.
            const HANDLE probe = ::CreateFileW(Wide(path), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                               FILE_ATTRIBUTE_NORMAL, nullptr);
            if (probe != INVALID_HANDLE_VALUE) {
                ::CloseHandle(probe);
                tree.Mark("f.txt", FILE_ATTRIBUTE_NORMAL);
                QSKIP("The read-only attribute does not stop writing here (Wine run by the superuser keeps it as "
                      "Unix permissions, which root passes).");
            }
        }
        QStringList lines;
        host.report = [&](const QString &text) { lines << text; };
        RunAppendJob(host);
        if (held != INVALID_HANDLE_VALUE)
            ::CloseHandle(held);
        tree.Mark("f.txt", FILE_ATTRIBUTE_NORMAL);
        QCOMPARE(lines.size(), 2);
        QVERIFY2(lines.first().startsWith(QStringLiteral("BOX %1 ").arg(line))
                     && lines.last() == QLatin1String("MESSAGE Done."),
                 qPrintable(lines.join(u'\n')));
        QCOMPARE(ReadBytes(path), QByteArray("mark"));
        QVERIFY(ReadBytes(host.entries.last()).startsWith("mark\r\n"));
    }

    // The walk leaves out hidden archive files (34) and hidden system folders (22); a file that
    // is only hidden, or only a system file, is listed. Junctions are followed once.
    void walkReadsTheAttributes()
    {
        Tree tree;
        QVERIFY(QDir(tree.root).mkpath(QStringLiteral("sub/closed")));
        tree.File("plain.txt", FILE_ATTRIBUTE_ARCHIVE);
        tree.File("hidden-archive.txt", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE);
        tree.File("hidden.txt", FILE_ATTRIBUTE_HIDDEN);
        tree.File("system.txt", FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
        tree.File("sub\\in-sub.txt");
        tree.File("sub\\closed\\in-closed.txt");
        QVERIFY(tree.Mark("sub\\closed", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
        const bool junction = QProcess::execute(QStringLiteral("cmd"),
                                                {QStringLiteral("/c"), QStringLiteral("mklink"), QStringLiteral("/J"),
                                                 tree.At("sub\\loop"), tree.root})
                              == 0;
        QStringList names;
        for (const QString &entry : tree.Scan(QStringLiteral("*.txt")))
            names << QDir::fromNativeSeparators(entry).section(u'/', -1);
        names.sort();
        QStringList expected{QStringLiteral("hidden.txt"), QStringLiteral("in-sub.txt"), QStringLiteral("plain.txt"),
                             QStringLiteral("system.txt")};
        // Wine reports every file as archive too, which makes the hidden one 34.
        if (::GetFileAttributesW(Wide(tree.At("hidden.txt"))) == (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE)) {
            QVERIFY(RunningUnderWine());
            expected.removeOne(QStringLiteral("hidden.txt"));
        }
        QCOMPARE(names, expected);
        tree.Mark("sub\\closed", FILE_ATTRIBUTE_DIRECTORY);
        if (!junction)
            QSKIP(RunningUnderWine() ? "mklink /J failed under Wine; the walk was checked without a junction."
                                     : "mklink /J failed; the walk was checked without a junction.");
    }

    // The window's choices live in the registry, under the company and the program, where the
    // registry tool reads them back.
    void settingsLiveInTheRegistry()
    {
        if (qEnvironmentVariableIsEmpty("TARNWELL_WINE"))
            QSKIP(
                "Writes the user's own Tarnwell settings; runs only in the scratch Wine prefix of the Windows build.");
        QCoreApplication::setOrganizationName(QStringLiteral("Kestrelby"));
        QCoreApplication::setApplicationName(QStringLiteral("Tarnwell"));
        SettingsStore store;
        store.SaveSetting(QStringLiteral("Extension"), QStringLiteral("txt;log \u00e9"));
        QProcess reg;
        reg.start(QStringLiteral("reg"),
                  {QStringLiteral("query"), QStringLiteral("HKCU\\Software\\Kestrelby\\Tarnwell"), QStringLiteral("/v"),
                   QStringLiteral("Extension")});
        QVERIFY(reg.waitForFinished(60000));
        const QString output = QString::fromLocal8Bit(reg.readAllStandardOutput());
        QVERIFY2(reg.exitCode() == 0 && output.contains(QStringLiteral("Extension"))
                     && output.contains(QStringLiteral("txt;log")),
                 qPrintable(output));
        QCOMPARE(store.GetSetting(QStringLiteral("Extension"), QString()), QStringLiteral("txt;log \u00e9"));
    }

    // Files without a byte-order mark are in the ANSI code page; the Windows test run pins it.
    void systemCodePageIsTheAnsiCodePage()
    {
        const int expected = qEnvironmentVariableIntValue("TARNWELL_EXPECT_ACP");
        if (expected == 0)
            QSKIP("No ANSI code page pinned (TARNWELL_EXPECT_ACP); nothing to compare with.");
        QCOMPARE(int(::GetACP()), expected);
        QByteArray bytes;
        QVERIFY(CodePage::System().Encode(u"caf\u00e9 \u20ac", bytes));
        QCOMPARE(bytes, QByteArray("caf\xe9 \x80"));
        QVERIFY(!CodePage::System().Encode(u"\u0416", bytes)); // Cyrillic is not in Windows-1252
    }

    // Attribute bits beyond those the rules compare change nothing: a hidden system folder that
    // is also not content indexed is still left out, a hidden archive file that is also not
    // content indexed and temporary is still skipped (34); archive on the folder (54) and
    // read-only on the file (35) still count.
    void attributeBitsBeyondTheRules_areMasked()
    {
        Tree tree;
        QVERIFY(QDir(tree.root).mkpath(QStringLiteral("sys")) && QDir(tree.root).mkpath(QStringLiteral("arch")));
        tree.File("plain.txt", FILE_ATTRIBUTE_ARCHIVE);
        tree.File("sys\\in.txt", FILE_ATTRIBUTE_ARCHIVE);
        tree.File("arch\\in.txt", FILE_ATTRIBUTE_ARCHIVE);
        tree.File("lock.txt", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED
                                  | FILE_ATTRIBUTE_TEMPORARY);
        tree.File("kept.txt", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY
                                  | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
        QVERIFY(tree.Mark("sys", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED));
        QVERIFY(tree.Mark("arch", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE));
        if ((::GetFileAttributesW(Wide(tree.At("sys"))) & FILE_ATTRIBUTE_NOT_CONTENT_INDEXED) == 0)
            QSKIP("The file system keeps no not-content-indexed bit here (Wine keeps only the DOS attributes); "
                  "ModelAndPathsTest checks the masking of such words everywhere.");
        QCOMPARE(AttributesOf(tree.At("sys")), 22);
        QStringList entries = tree.Scan(QStringLiteral("*.*"));
        entries.sort(Qt::CaseInsensitive);
        tree.Mark("kept.txt", FILE_ATTRIBUTE_NORMAL); // so the folder can be removed
        QCOMPARE(entries, (QStringList{tree.At("arch\\in.txt"), tree.At("kept.txt"), tree.At("plain.txt")}));
    }
};

TARNWELL_TEST_CLASS(WindowsOnlyTest)
#include "WindowsOnlyTest.moc"
