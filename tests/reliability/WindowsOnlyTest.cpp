// What only Windows has: hidden and system attributes in the folder walk, junctions, the registry
// store, the ANSI code page and the "\\?\" paths of the program's own file calls (a file held
// open and the read-only attribute are rows of FaultTest; long paths at work are RunTest's).
// Built for Windows only.
#include "Reliability.h"
#include "TestRegistry.h"
#include "engine/CodePage.h"
#include "filelist/FileList.h"
#include "filelist/FolderScan.h"
#include "files/FileSystem.h"
#include "files/Win32Path.h"
#include "window/Settings.h"

#include <windows.h>

using namespace tarnwell;
using namespace Qt::StringLiterals;

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
    // An empty file with the attribute word.
    bool File(const char *relative, DWORD attributes = FILE_ATTRIBUTE_NORMAL) const
    {
        if (!QFile(At(relative)).open(QIODevice::WriteOnly)) // closed again at once
            return false;
        return Mark(relative, attributes);
    }
};

} // namespace

class WindowsOnlyTest : public QObject
{
    Q_OBJECT
private slots:
    // The walk leaves out hidden archive files (34) and hidden system folders (22), whatever other
    // bits they carry (not content indexed, temporary); a file that is only hidden, only a system
    // file, or also read-only (35) is listed, and so are the files of a hidden system folder that is
    // also archive (54). Junctions are followed once.
    void walkReadsTheAttributes()
    {
        Tree tree;
        QVERIFY(QDir(tree.root).mkpath(QStringLiteral("sub/closed")) && QDir(tree.root).mkpath(QStringLiteral("arch")));
        const DWORD hiddenArchive = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE;
        QVERIFY(tree.File("plain.txt", FILE_ATTRIBUTE_ARCHIVE));
        QVERIFY(tree.File("lock.txt", hiddenArchive | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED | FILE_ATTRIBUTE_TEMPORARY));
        QVERIFY(tree.File("kept.txt", hiddenArchive | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED));
        QVERIFY(tree.File("hidden.txt", FILE_ATTRIBUTE_HIDDEN));
        QVERIFY(tree.File("system.txt", FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE));
        QVERIFY(tree.File("sub\\in-sub.txt"));
        QVERIFY(tree.File("sub\\closed\\in-closed.txt"));
        QVERIFY(tree.File("arch\\in-arch.txt"));
        const DWORD hiddenSystem = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
        QVERIFY(tree.Mark("sub\\closed", hiddenSystem | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED));
        QVERIFY(tree.Mark("arch", hiddenSystem | FILE_ATTRIBUTE_ARCHIVE));
        const bool junction = QProcess::execute(QStringLiteral("cmd"),
                                                {QStringLiteral("/c"), QStringLiteral("mklink"), QStringLiteral("/J"),
                                                 tree.At("sub\\loop"), tree.root})
                              == 0;
        QCOMPARE(AttributesOf(tree.At("sub\\closed")), 22);
        FileList list;
        ScanFolderIntoList(tree.root, QStringLiteral("*.txt"), list, [] {});
        tree.Mark("sub\\closed", FILE_ATTRIBUTE_DIRECTORY); // so the tree can be removed
        tree.Mark("kept.txt", FILE_ATTRIBUTE_NORMAL);
        QStringList names;
        for (const QString &entry : list.Entries())
            names << QDir::fromNativeSeparators(entry).section(u'/', -1);
        names.sort();
        // Wine reports every file as archive too, which makes the hidden one 34, and keeps only the
        // hidden and system bits of a folder, which makes "arch" 22.
        QStringList expected = QStringLiteral("in-sub.txt kept.txt plain.txt system.txt").split(u' ');
        if (::GetFileAttributesW(Wide(tree.At("hidden.txt"))) == FILE_ATTRIBUTE_HIDDEN || !RunningUnderWine())
            expected << QStringLiteral("hidden.txt");
        if ((::GetFileAttributesW(Wide(tree.At("arch"))) & FILE_ATTRIBUTE_ARCHIVE) != 0 || !RunningUnderWine())
            expected << QStringLiteral("in-arch.txt");
        expected.sort();
        QCOMPARE(names, expected);
        if (!junction)
            QSKIP("mklink /J failed; the walk was checked without a junction.");
    }

    // The program's own Win32 file calls take full "\\?\" paths, which no 260-character limit
    // applies to: made full as an unprefixed call would make them, a network path under "UNC", a
    // trailing blank kept, a device path as it stands (device names are FileBytesTest's).
    void win32PathsAreFullAndPrefixed_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("win32");
        const QString deep = u"C:\\"_s + QString(400, u'x') + u"\\f.txt"_s;
        QTest::newRow("dots and slashes") << u"C:/a/./b/../c.txt"_s << u"\\\\?\\C:\\a\\c.txt"_s;
        QTest::newRow("network") << u"\\\\server\\share\\d.txt"_s << u"\\\\?\\UNC\\server\\share\\d.txt"_s;
        QTest::newRow("trailing blank") << u"C:\\a\\e.txt "_s << u"\\\\?\\C:\\a\\e.txt "_s;
        QTest::newRow("device path") << u"\\\\.\\pipe\\p"_s << u"\\\\.\\pipe\\p"_s;
        QTest::newRow("past 400") << deep << u"\\\\?\\"_s + deep;
    }
    void win32PathsAreFullAndPrefixed()
    {
        QFETCH(QString, path);
        QFETCH(QString, win32);
        QCOMPARE(QString::fromStdWString(Win32Path(path)), win32);
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
};

TARNWELL_TEST_CLASS(WindowsOnlyTest)
#include "WindowsOnlyTest.moc"
