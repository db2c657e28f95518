// Walks end on link loops, and bad settings never stop the start.
#include "FakePlatform.h"
#include "Form1.h"
#include "Reliability.h"
#include "Settings.h"
#include "TestRegistry.h"

#include <QComboBox>
#include <QFileInfo>
#include <QTest>

using namespace tarnwell;
using namespace tarnwell::reliability;

class WalkAndSettingsTest : public QObject
{
    Q_OBJECT
private slots:
    // A scan ends, and lists each file once, whatever loops the links make; a folder the user may
    // not read is dropped from it, a file he may not read is still listed. It runs in the child as
    // an unprivileged user, so a walk that never ends fails here instead of hanging the suite.
    void walksEnd_data()
    {
        QTest::addColumn<QStringList>("links");   // "link=target"; "@" is the root of the tree
        QTest::addColumn<QStringList>("closed");  // "path=octal mode"
        QTest::addColumn<QStringList>("dropped"); // the files the walk cannot see
        const QString self = QStringLiteral("a/self=."), up = QStringLiteral("c/d/up=@");
        const QStringList pair{QStringLiteral("b/to-c=../c"), QStringLiteral("c/to-b=../b")}, none;
        QTest::newRow("link to its own folder") << QStringList{self} << none << none;
        QTest::newRow("two folders linked to each other") << pair << none << none;
        QTest::newRow("link to the root of the tree") << QStringList{up} << none << none;
        QTest::newRow("all of them") << QStringList{self, up} + pair << none << none;
        QTest::newRow("two closed folders, an unreadable file")
            << none << QStringList{QStringLiteral("a=0"), QStringLiteral("c/d=300"), QStringLiteral("top.txt=200")}
            << QStringList{QStringLiteral("a/a.txt"), QStringLiteral("c/d/d.txt")};
    }
    void walksEnd()
    {
#ifdef Q_OS_WIN
        QSKIP("Symbolic links need a privilege on Windows, and modes are POSIX; the junction loop is in "
              "WindowsOnlyTest.");
#endif
        QFETCH(QStringList, links);
        QFETCH(QStringList, closed);
        QFETCH(QStringList, dropped);
        SharedDir tree;
        QStringList expected;
        for (const char *file : {"a/a.txt", "b/b.txt", "c/c.txt", "c/d/d.txt", "top.txt"}) { // sorted
            tree.File(QLatin1String(file), "x");
            if (!dropped.contains(QLatin1String(file)))
                expected << QFileInfo(tree.filePath(QLatin1String(file))).canonicalFilePath();
        }
        for (const QString &link : links) {
            const QString target = link.section(u'=', 1);
            QVERIFY(QFile::link(target == QLatin1String("@") ? tree.path() : target,
                                tree.filePath(link.section(u'=', 0, 0))));
        }
        for (const QString &entry : closed)
            tree.Mode(entry.section(u'=', 0, 0), entry.section(u'=', 1).toUInt(nullptr, 8));
        const ChildResult scan = RunChild({QStringLiteral("scan"), tree.path()}, true);
        for (const QString &entry : closed) // so the tree can be removed
            tree.Mode(entry.section(u'=', 0, 0), 0777);
        QStringList listed;
        for (const QString &entry : scan.Starting(QStringLiteral("ENTRY")))
            listed << QFileInfo(entry).canonicalFilePath();
        listed.sort();
        QVERIFY2(scan.Ok() && listed == expected, qPrintable(scan.Describe())); // no file twice, under any name
        qInfo("walk test, %s: the walk ended, %lld files listed once each, %lld closed away", QTest::currentDataTag(),
              static_cast<long long>(listed.size()), static_cast<long long>(dropped.size()));
    }

    // Every stored value replaced by bad ones (garbage, empty, numbers too large for any type or
    // in odd forms, control characters, a lone surrogate, a long text), one key at a time and all
    // at once, and raw junk for the whole file: the window still loads and shows, with at most one
    // box for each bad value it read and nothing else.
    void badSettingsNeverStopTheStart()
    {
        const QStringList keys = QStringLiteral("Combo1 Option1 Option2 Text3 Extension").split(u' ');
        QStringList values = QStringLiteral(
                                 " |   |garbage|99999999999999999999999999999|-1e309|1e308|-32768.5|32767.5|NaN|-inf|"
                                 "0x1F|1,5|True\n|@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\xff)|@ByteArray(\\xff)")
                                 .split(u'|');
        values.first() = QString();
        values << QString(1024 * 64, u'9') << QString(QChar(0xD800)) + u'1'
               << QString::fromLatin1("\x00\x01\x7f\xff\xfe", 5);
        QByteArray junk(8192, Qt::Uninitialized);
        for (qsizetype i = 0; i < junk.size(); ++i)
            junk[i] = static_cast<char>((i * 131 + i / 7) & 0xFF);
        const QList<QByteArray> files{
            junk, QByteArray(3 * 1024 * 1024, '['),
            "[General]\nCombo1=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\x3\\xff\\xff\\xff\\xff)\nOption1=@Rect(1 2)\n",
            "[General\nCombo1=\xff\xfe\x00\x01\nOption1==\nOption2=\"unclosed\nText3=\\\\\\\n"};
        SharedDir dir;
        const QString file = dir.filePath(QStringLiteral("settings.ini"));
        int tried = 0;
        // Starts the window with the store, as the program does, and shows it.
        const auto check = [&](const QString &what, qsizetype badValues) {
            if (QTest::currentTestFailed() || ++tried == 0)
                return;
            testing::FakePlatform platform;
            platform.desktop = QDir::tempPath();
            SettingsStore settings(file);
            {
                Form1 form(platform, settings);
                form.Form_Load();
                form.show();
                // Combo1 is filled after the restored choices: the whole load ran.
                QVERIFY2(form.Combo1->count() == 2 && (QTest::qWaitForWindowExposed(&form, 2000) || form.isVisible()),
                         qPrintable(what));
            }
            const QStringList warnings = platform.BoxTexts(QStringLiteral("warning"));
            QVERIFY2(platform.boxes.size() <= badValues
                         && warnings.filter(QStringLiteral("Form_Load")).size() == platform.boxes.size(),
                     qPrintable(what + warnings.join(u'\n')));
            QFile::remove(file);
        };
        for (const QString &value : values) {
            for (const QString &key : keys) {
                SettingsStore(file).SaveSetting(key, value);
                check(key + QStringLiteral(" = ") + value.left(40), 1);
            }
            for (const QString &key : keys)
                SettingsStore(file).SaveSetting(key, value);
            check(QStringLiteral("every key = ") + value.left(40), keys.size());
        }
        for (const QByteArray &bytes : files) {
            dir.File(QStringLiteral("settings.ini"), bytes);
            check(QStringLiteral("raw file: ") + QString::fromLatin1(bytes.left(30).toPercentEncoding()), keys.size());
        }
        if (QTest::currentTestFailed())
            return;
        qInfo("settings test: %d bad stores tried, the window loaded and showed every time, at most one error "
              "box per bad value",
              tried);
    }

    // A store that cannot be read or written: the start goes on, with the defaults ("does", in
    // place) when nothing can be read. The child runs as an unprivileged user, whom permissions stop.
    void unusableSettingsFile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("loaded"); // combo, option 1, option 2
        QTest::newRow("the path is a folder") << QStringLiteral("folder") << QStringLiteral("0 1 0");
        QTest::newRow("a file nobody may write") << QStringLiteral("proc") << QStringLiteral("0 1 0");
        QTest::newRow("a file the user may not read") << QStringLiteral("unreadable") << QStringLiteral("0 1 0");
        QTest::newRow("a file the user may not write, in a closed folder")
            << QStringLiteral("unwritable") << QStringLiteral("1 0 1");
    }
    void unusableSettingsFile()
    {
        QFETCH(QString, kind);
        QFETCH(QString, loaded);
#ifdef Q_OS_WIN
        if (kind == QLatin1String("unreadable") || kind == QLatin1String("unwritable"))
            QSKIP("File modes and the user nobody are POSIX; Windows access lists are not set by these tests.");
#endif
        SharedDir dir;
        QString file = dir.filePath(QStringLiteral("store/settings.ini"));
        const QByteArray stored = "[General]\nCombo1=1\nOption1=False\nOption2=True\n";
        dir.File(QStringLiteral("store/settings.ini"), stored);
        if (kind == QLatin1String("folder")) {
            QVERIFY(QFile::remove(file));
            dir.Folder(QStringLiteral("store/settings.ini"));
        } else if (kind == QLatin1String("proc")) {
            if (!QFileInfo::exists(QStringLiteral("/proc/version")))
                QSKIP("There is no /proc here.");
            file = QStringLiteral("/proc/version");
        } else if (kind == QLatin1String("unreadable")) {
            dir.Mode(QStringLiteral("store/settings.ini"), 0);
        } else if (kind == QLatin1String("unwritable")) {
            dir.Mode(QStringLiteral("store/settings.ini"), 0444);
            dir.Mode(QStringLiteral("store"), 0555);
        }
        const ChildResult load = RunChild({QStringLiteral("window"), file}, true);
        dir.Mode(QStringLiteral("store"), 0777);
        QVERIFY2(load.Ok() && load.Starting(QStringLiteral("BOX")).size() <= 1, qPrintable(load.Describe()));
        QCOMPARE(load.Starting(QStringLiteral("SHOWN")), QStringList{QStringLiteral("1")});
        QCOMPARE(load.Starting(QStringLiteral("LOADED")).value(0).section(u' ', 0, 2), loaded);
        if (kind == QLatin1String("unwritable")) // the stored choices stay as they were
            QCOMPARE(ReadBytes(file), stored);
        qInfo("settings file that %s: the window loaded and showed", qPrintable(kind));
    }
};

TARNWELL_TEST_CLASS(WalkAndSettingsTest)
#include "WalkAndSettingsTest.moc"
