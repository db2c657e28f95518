// Walks end on link loops, and bad settings never stop the start.
#include "FakePlatform.h"
#include "Form1.h"
#include "Reliability.h"
#include "Settings.h"
#include "TestRegistry.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QRadioButton>
#include <QSet>
#include <QTest>

using namespace tarnwell;
using namespace tarnwell::reliability;

namespace {

const QStringList kKeys{QStringLiteral("Combo1"), QStringLiteral("Option1"), QStringLiteral("Option2"),
                        QStringLiteral("Text3"), QStringLiteral("Extension")};

// Values no start should trip over: garbage, empty text, numbers too large for any type,
// numbers in odd forms, control characters, a lone surrogate, a long text.
QStringList BadValues()
{
    QStringList values{QString(),
                       QStringLiteral("   "),
                       QStringLiteral("garbage"),
                       QStringLiteral("99999999999999999999999999999"),
                       QStringLiteral("-1e309"),
                       QStringLiteral("1e308"),
                       QStringLiteral("-32768.5"),
                       QStringLiteral("32767.5"),
                       QStringLiteral("NaN"),
                       QStringLiteral("-inf"),
                       QStringLiteral("0x1F"),
                       QStringLiteral("1,5"),
                       QStringLiteral("True\n"),
                       QStringLiteral("@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\xff)"),
                       QStringLiteral("@ByteArray(\\xff)"),
                       QString(1024 * 64, QLatin1Char('9'))};
    values << QString(QChar(0xD800)) + QStringLiteral("1");
    values << QString::fromLatin1("\x00\x01\x7f\xff\xfe", 5);
    return values;
}

// Raw settings files: binary junk, a value the store deserialises, a broken section.
QList<QByteArray> BadFiles()
{
    QByteArray junk(8192, Qt::Uninitialized);
    for (qsizetype i = 0; i < junk.size(); ++i)
        junk[i] = static_cast<char>((i * 131 + i / 7) & 0xFF);
    return {junk,
            "[General]\nCombo1=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\x3\\xff\\xff\\xff\\xff)\nOption1=@Rect(1 2)\n",
            "[General\nCombo1=\xff\xfe\x00\x01\nOption1==\nOption2=\"unclosed\nText3=\\\\\\\n",
            QByteArray(3 * 1024 * 1024, '[')};
}

struct Started
{
    int boxes = 0;
    bool loaded = false;
    bool shown = false;
    QString detail;
};

// Starts the window with the given store, as the program does, and shows it.
Started Start(const QString &settingsFile)
{
    testing::FakePlatform platform;
    platform.desktop = QDir::tempPath();
    SettingsStore settings(settingsFile);
    Started result;
    {
        Form1 form(platform, settings);
        form.Form_Load();
        result.loaded = form.Combo1->count() == 2; // the step after the restored choices ran too
        form.show();
        result.shown = QTest::qWaitForWindowExposed(&form, 2000) || form.isVisible();
    }
    for (const auto &box : std::as_const(platform.boxes)) {
        ++result.boxes;
        if (box.kind != QLatin1String("warning") || !box.text.contains(QLatin1String("Form_Load")))
            result.detail += QStringLiteral("unexpected box: ") + box.text + QLatin1Char('\n');
    }
    return result;
}

} // namespace

class WalkAndSettingsTest : public QObject
{
    Q_OBJECT
private slots:
    // A scan ends, and lists each file once, whatever loops the links make. The scan runs in the
    // child program, so a walk that never ends fails here instead of hanging the suite.
    void walksEnd_data()
    {
        QTest::addColumn<QStringList>("links"); // "link=target"; "@" is the root of the tree
        QTest::newRow("link to its own folder") << QStringList{QStringLiteral("a/self=.")};
        QTest::newRow("two folders linked to each other") << QStringList{QStringLiteral("b/to-c=../c"), QStringLiteral("c/to-b=../b")};
        QTest::newRow("link to the root of the tree") << QStringList{QStringLiteral("c/d/up=@")};
        QTest::newRow("all of them") << QStringList{QStringLiteral("a/self=."), QStringLiteral("b/to-c=../c"),
                                                    QStringLiteral("c/to-b=../b"), QStringLiteral("c/d/up=@")};
    }
    void walksEnd()
    {
#ifdef Q_OS_WIN
        QSKIP("Symbolic links need a privilege on Windows; the junction loop is in WindowsOnlyTest.");
#endif
        QFETCH(QStringList, links);
        SharedDir tree;
        const QStringList files{QStringLiteral("top.txt"), QStringLiteral("a/a.txt"), QStringLiteral("b/b.txt"),
                                QStringLiteral("c/c.txt"), QStringLiteral("c/d/d.txt")};
        QSet<QString> expected;
        for (const QString &file : files) {
            tree.File(file, "x");
            expected.insert(QFileInfo(tree.filePath(file)).canonicalFilePath());
        }
        for (const QString &link : links) {
            const QString target = link.section(QLatin1Char('='), 1);
            QVERIFY(QFile::link(target == QLatin1String("@") ? tree.path() : target,
                                tree.filePath(link.section(QLatin1Char('='), 0, 0))));
        }
        const ChildResult scan = RunChild({QStringLiteral("scan"), tree.path()}, false,
                                          QProcessEnvironment::systemEnvironment(), 60000);
        QVERIFY2(scan.finished && scan.exitCode == 0, qPrintable(scan.Describe()));
        const QStringList entries = scan.Starting(QStringLiteral("ENTRY"));
        QSet<QString> listed;
        for (const QString &entry : entries)
            listed.insert(QFileInfo(entry).canonicalFilePath());
        QCOMPARE(entries.size(), listed.size()); // no file twice, under any name
        QCOMPARE(listed, expected);
        qInfo("walk test, %s: the walk ended, %lld files listed once each", QTest::currentDataTag(),
              static_cast<long long>(entries.size()));
    }

    // Every stored value replaced by bad ones, one key at a time and all at once, and raw junk
    // in place of the whole file: the window still loads and shows, with at most one error box
    // for each bad value it read and nothing else.
    void badSettingsNeverStopTheStart()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("settings.ini"));
        int tried = 0;
        const auto check = [&](const QString &what, int badValues) {
            ++tried;
            const Started started = Start(file);
            QVERIFY2(started.loaded && started.shown, qPrintable(what));
            QVERIFY2(started.boxes <= badValues && started.detail.isEmpty(),
                     qPrintable(what + QStringLiteral(": %1 boxes\n").arg(started.boxes) + started.detail));
            QFile::remove(file);
        };
        for (const QString &value : BadValues()) {
            for (const QString &key : kKeys) {
                SettingsStore(file).SaveSetting(key, value);
                check(key + QStringLiteral(" = ") + value.left(40), 1);
                if (QTest::currentTestFailed())
                    return;
            }
            SettingsStore all(file);
            for (const QString &key : kKeys)
                all.SaveSetting(key, value);
            check(QStringLiteral("every key = ") + value.left(40), static_cast<int>(kKeys.size()));
            if (QTest::currentTestFailed())
                return;
        }
        for (const QByteArray &junk : BadFiles()) {
            QFile raw(file);
            QVERIFY(raw.open(QIODevice::WriteOnly));
            raw.write(junk);
            raw.close();
            check(QStringLiteral("raw file: ") + QString::fromLatin1(junk.left(30).toPercentEncoding()),
                  static_cast<int>(kKeys.size()));
            if (QTest::currentTestFailed())
                return;
        }
        qInfo("settings test: %d bad stores tried, the window loaded and showed every time, at most one error "
              "box per bad value", tried);
    }

    // A store that cannot be read or written: the start goes on with the defaults.
    void unusableSettingsFile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("the path is a folder") << QStringLiteral("folder");
        QTest::newRow("a file nobody may write") << QStringLiteral("proc");
        QTest::newRow("a file the user may not read") << QStringLiteral("unreadable");
        QTest::newRow("a file the user may not write, in a closed folder") << QStringLiteral("unwritable");
    }
    void unusableSettingsFile()
    {
        QFETCH(QString, kind);
        SharedDir dir;
        QString file = dir.filePath(QStringLiteral("store/settings.ini"));
        dir.File(QStringLiteral("store/settings.ini"), "[General]\nCombo1=1\nOption1=False\nOption2=True\n");
        if (kind == QLatin1String("folder")) {
            QVERIFY(QFile::remove(file));
            dir.Folder(QStringLiteral("store/settings.ini"));
        } else if (kind == QLatin1String("proc")) {
#ifndef Q_OS_LINUX
            QSKIP("There is no /proc here.");
#endif
            file = QStringLiteral("/proc/version");
        } else if (kind == QLatin1String("unreadable")) {
            dir.Mode(QStringLiteral("store/settings.ini"), 0);
        } else {
            dir.Mode(QStringLiteral("store/settings.ini"), 0444);
            dir.Mode(QStringLiteral("store"), 0555);
        }
        if (kind == QLatin1String("folder") || kind == QLatin1String("proc")) {
            const Started started = Start(file);
            QVERIFY(started.loaded && started.shown);
            QVERIFY2(started.boxes <= 1 && started.detail.isEmpty(), qPrintable(started.detail));
        } else {
            // As an unprivileged user, since permissions do not stop the superuser.
            const ChildResult load = RunChild({QStringLiteral("load"), file}, true);
            QVERIFY2(load.finished && load.exitCode == 0, qPrintable(load.Describe()));
            QVERIFY2(load.Starting(QStringLiteral("BOX")).size() <= 1, qPrintable(load.Describe()));
            QCOMPARE(load.Starting(QStringLiteral("SHOWN")), QStringList{QStringLiteral("1")});
            const QStringList loaded = load.Starting(QStringLiteral("LOADED"));
            QCOMPARE(loaded.size(), 1);
            // Unreadable: the defaults ("does", in place). Readable: the stored choices.
            QCOMPARE(loaded.first().section(QLatin1Char(' '), 0, 2),
                     kind == QLatin1String("unreadable") ? QStringLiteral("0 1 0") : QStringLiteral("1 0 1"));
            if (kind == QLatin1String("unwritable")) // the stored choices stay as they were
                QCOMPARE(ReadBytes(file), QByteArray("[General]\nCombo1=1\nOption1=False\nOption2=True\n"));
            dir.Mode(QStringLiteral("store"), 0777);
        }
        qInfo("settings file that %s: the window loaded and showed", qPrintable(kind));
    }
};

TARNWELL_TEST_CLASS(WalkAndSettingsTest)
#include "WalkAndSettingsTest.moc"
