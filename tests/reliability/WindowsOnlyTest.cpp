// What only Windows can do to a file: a handle that shares nothing, the read-only attribute,
// hidden and system attributes in the folder walk, junctions, the registry store and the ANSI
// code page. Elsewhere this is skipped, saying why.
#include "AppendRun.h"
#include "CodePage.h"
#include "FileAttributes.h"
#include "FileList.h"
#include "FolderScan.h"
#include "Reliability.h"
#include "Settings.h"
#include "TestRegistry.h"

#ifdef Q_OS_WIN
#include <windows.h>
#endif

using namespace tarnwell;
using namespace tarnwell::reliability;

namespace {

#ifdef Q_OS_WIN
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

void MakeFile(const QString &path, DWORD attributes = FILE_ATTRIBUTE_NORMAL)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("mark") == 4);
    file.close();
    QVERIFY(::SetFileAttributesW(Wide(QDir::toNativeSeparators(path)), attributes));
}
#endif

constexpr char kNotWindows[] = "The read-only, hidden and system attributes, handles that share nothing, junctions "
                               "and the registry exist on Windows only; the POSIX cases are in FaultTest and "
                               "WalkAndSettingsTest.";

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
#ifndef Q_OS_WIN
        QSKIP(kNotWindows);
#else
        QFETCH(QString, kind);
        QFETCH(int, line);
        QTemporaryDir dir;
        const QString root = QDir::toNativeSeparators(dir.path()), path = root + QStringLiteral("\\f.txt");
        ScriptedHost host;
        host.entries = {path, root + QStringLiteral("\\g.txt")};
        host.outputFolder = root;
        for (const QString &name : host.entries)
            MakeFile(name);
        HANDLE held = INVALID_HANDLE_VALUE; // as another program holds a file it is writing
        if (kind == QLatin1String("locked")) {
            held = ::CreateFileW(Wide(path), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
            QVERIFY(held != INVALID_HANDLE_VALUE);
        } else {
            QVERIFY(::SetFileAttributesW(Wide(path), FILE_ATTRIBUTE_READONLY));
            // Wine keeps the attribute as Unix permissions, which do not stop the superuser.
            const HANDLE probe = ::CreateFileW(Wide(path), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                               FILE_ATTRIBUTE_NORMAL, nullptr);
            if (probe != INVALID_HANDLE_VALUE) {
                ::CloseHandle(probe);
                ::SetFileAttributesW(Wide(path), FILE_ATTRIBUTE_NORMAL);
                QSKIP("The read-only attribute does not stop writing here (Wine run by the superuser keeps it as "
                      "Unix permissions, which root passes).");
            }
        }
        QStringList lines;
        host.report = [&](const QString &text) { lines << text; };
        RunAppendJob(host);
        if (held != INVALID_HANDLE_VALUE)
            ::CloseHandle(held);
        ::SetFileAttributesW(Wide(path), FILE_ATTRIBUTE_NORMAL);
        QCOMPARE(lines.size(), 2);
        QVERIFY2(lines.first().startsWith(QStringLiteral("BOX %1 ").arg(line))
                     && lines.last() == QLatin1String("MESSAGE Done."),
                 qPrintable(lines.join(u'\n')));
        QCOMPARE(ReadBytes(path), QByteArray("mark"));
        QVERIFY(ReadBytes(host.entries.last()).startsWith("mark\r\n"));
#endif
    }

    // The walk leaves out hidden archive files (34) and hidden system folders (22); a file that
    // is only hidden, or only a system file, is listed. Junctions are followed once.
    void walkReadsTheAttributes()
    {
#ifndef Q_OS_WIN
        QSKIP(kNotWindows);
#else
        QTemporaryDir dir;
        const QString root = QDir::toNativeSeparators(dir.path());
        const auto at = [&](const char *relative) { return QString(root + u'\\' + QLatin1String(relative)); };
        QVERIFY(QDir(root).mkpath(QStringLiteral("sub/closed")));
        MakeFile(at("plain.txt"), FILE_ATTRIBUTE_ARCHIVE);
        MakeFile(at("hidden-archive.txt"), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE);
        MakeFile(at("hidden.txt"), FILE_ATTRIBUTE_HIDDEN);
        MakeFile(at("system.txt"), FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
        MakeFile(at("sub\\in-sub.txt"));
        MakeFile(at("sub\\closed\\in-closed.txt"));
        QVERIFY(::SetFileAttributesW(Wide(at("sub\\closed")), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
        const bool junction = QProcess::execute(QStringLiteral("cmd"), {QStringLiteral("/c"), QStringLiteral("mklink"),
                                                                        QStringLiteral("/J"), at("sub\\loop"), root})
                              == 0;
        FileList list;
        ScanFolderIntoList(root, QStringLiteral("*.txt"), list, [] {});
        QStringList names;
        for (const QString &entry : list.Entries())
            names << QDir::fromNativeSeparators(entry).section(u'/', -1);
        names.sort();
        QStringList expected{QStringLiteral("hidden.txt"), QStringLiteral("in-sub.txt"), QStringLiteral("plain.txt"),
                             QStringLiteral("system.txt")};
        // Wine reports every file as archive too, which makes the hidden one 34.
        if (::GetFileAttributesW(Wide(at("hidden.txt"))) == (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE)) {
            QVERIFY(RunningUnderWine());
            expected.removeOne(QStringLiteral("hidden.txt"));
        }
        QCOMPARE(names, expected);
        ::SetFileAttributesW(Wide(at("sub\\closed")), FILE_ATTRIBUTE_DIRECTORY);
        if (!junction)
            QSKIP(RunningUnderWine() ? "mklink /J failed under Wine; the walk was checked without a junction."
                                     : "mklink /J failed; the walk was checked without a junction.");
#endif
    }

    // The window's choices live in the registry, under the company and the program, where the
    // registry tool reads them back.
    void settingsLiveInTheRegistry()
    {
#ifndef Q_OS_WIN
        QSKIP(kNotWindows);
#else
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
#endif
    }

    // Files without a byte-order mark are in the ANSI code page; the Windows test run pins it.
    void systemCodePageIsTheAnsiCodePage()
    {
#ifndef Q_OS_WIN
        QSKIP(kNotWindows);
#else
        const int expected = qEnvironmentVariableIntValue("TARNWELL_EXPECT_ACP");
        if (expected == 0)
            QSKIP("No ANSI code page pinned (TARNWELL_EXPECT_ACP); nothing to compare with.");
        QCOMPARE(int(::GetACP()), expected);
        QByteArray bytes;
        QVERIFY(CodePage::System().Encode(u"caf\u00e9 \u20ac", bytes));
        QCOMPARE(bytes, QByteArray("caf\xe9 \x80"));
        QVERIFY(!CodePage::System().Encode(u"\u0416", bytes)); // Cyrillic is not in Windows-1252
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
        const auto path = [&](const char *relative) {
            return QString(root + QLatin1Char('\\') + QLatin1String(relative));
        };
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
        if ((raw & FILE_ATTRIBUTE_NOT_CONTENT_INDEXED) == 0)
            QSKIP("The file system keeps no not-content-indexed bit here (Wine keeps only the DOS attributes); "
                  "ModelAndPathsTest checks the masking of such words everywhere.");
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
