// Bad settings never stop the start.
#include "FakePlatform.h"
#include "FindControl.h"
#include "Reliability.h"
#include "TestRegistry.h"
#include "window/Form1.h"
#include "window/Settings.h"

#include <QComboBox>
#include <QTest>

using namespace tarnwell;
using namespace tarnwell::reliability;

class BadSettingsTest : public QObject
{
    Q_OBJECT
private slots:
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
                QVERIFY2(testing::FindControl<QComboBox>(form, "Combo1")->count() == 2
                             && (QTest::qWaitForWindowExposed(&form, 2000) || form.isVisible()),
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
        QTest::addColumn<int>("fileMode");   // -1: a folder in its place
        QTest::addColumn<int>("folderMode"); // of the folder that holds it
        QTest::addColumn<QString>("loaded"); // combo, option 1, option 2
        QTest::newRow("the path is a folder") << -1 << 0777 << QStringLiteral("0 1 0");
        QTest::newRow("a file the user may not read") << 0 << 0777 << QStringLiteral("0 1 0");
        QTest::newRow("a file the user may not write, in a closed folder") << 0444 << 0555 << QStringLiteral("1 0 1");
    }
    void unusableSettingsFile()
    {
        QFETCH(int, fileMode);
        QFETCH(int, folderMode);
        QFETCH(QString, loaded);
#ifdef Q_OS_WIN
        if (fileMode >= 0)
            QSKIP("File modes and the user nobody are POSIX; Windows access lists are not set by these tests.");
#endif
        SharedDir dir;
        const QString file = dir.filePath(QStringLiteral("store/settings.ini"));
        const QByteArray stored = "[General]\nCombo1=1\nOption1=False\nOption2=True\n";
        if (fileMode < 0)
            dir.Folder(QStringLiteral("store/settings.ini"));
        else
            dir.File(QStringLiteral("store/settings.ini"), stored);
        dir.Mode(QStringLiteral("store/settings.ini"), static_cast<unsigned>(fileMode < 0 ? 0777 : fileMode));
        dir.Mode(QStringLiteral("store"), static_cast<unsigned>(folderMode));
        const ChildResult load = RunChild({QStringLiteral("window"), file}, true);
        dir.Mode(QStringLiteral("store"), 0777);
        QVERIFY2(load.Ok() && load.Starting(QStringLiteral("BOX")).size() <= 1, qPrintable(load.Describe()));
        QCOMPARE(load.Starting(QStringLiteral("SHOWN")), QStringList{QStringLiteral("1")});
        QCOMPARE(load.Starting(QStringLiteral("LOADED")), QStringList{loaded});
        if (folderMode != 0777) // the stored choices stay as they were
            QCOMPARE(ReadBytes(file), stored);
        qInfo("settings file, %s: the window loaded and showed", QTest::currentDataTag());
    }
};

TARNWELL_TEST_CLASS(BadSettingsTest)
#include "BadSettingsTest.moc"
