#include "ErrorTrap.h"
#include "Look.h"
#include "LookFixtures.h"
#include "TestRegistry.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

using namespace tarnwell;
using tarnwell::testing::WriteFile;

namespace {

// One rule per part, so a composed sheet shows which parts it holds.
const QByteArray kSectionedSkin = "/* Tarnwell skin */\r\n"
                                  "QLabel { color: #101010; }\r\n"
                                  "/* [metrics] */\r\n"
                                  "QPushButton { padding: 1px; }\r\n"
                                  "/* [frame] */\r\n"
                                  "QGroupBox { border: 1px solid #202020; }\r\n"
                                  "/* [dusk] */\r\n"
                                  "QLabel { color: #303030; }\r\n";

} // namespace

class SkinFrameworkTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(m_dir.isValid()); }

    void loadSkin_rejectsWhatIsNoSkin_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("empty file") << QByteArray();
        QTest::newRow("style sheet without the header") << QByteArray("QLabel { color: red; }\n");
        QTest::newRow("header not on the first line") << QByteArray("\n/* Tarnwell skin */\nQLabel { color: red; }\n");
        QTest::newRow("another program's header") << QByteArray("/* Some skin */\nQLabel { color: red; }\n");
        QTest::newRow("unclosed rule") << QByteArray("/* Tarnwell skin */\nQLabel { color: red;\n");
        QTest::newRow("stray closing brace") << QByteArray("/* Tarnwell skin */\nQLabel { color: red; } }\n");
        QTest::newRow("unclosed comment") << QByteArray("/* Tarnwell skin */\nQLabel { color: red; } /*\n");
        QTest::newRow("not UTF-8") << QByteArray("/* Tarnwell skin */\nQLabel { color: \xff\xfe; }\n");
    }

    // A rejected file leaves the skin loaded before it in place.
    void loadSkin_rejectsWhatIsNoSkin()
    {
        QFETCH(QByteArray, content);
        const QString good = m_dir.filePath(QStringLiteral("good.cjs"));
        const QString bad = m_dir.filePath(QStringLiteral("bad.cjs"));
        QVERIFY(WriteFile(good, kSectionedSkin));
        QVERIFY(WriteFile(bad, content));
        SkinFramework skin;
        LOOK_NO_APP_ERROR(skin.LoadSkin(good, QString()));
        skin.SetApplyOptions(kSkinApplyColours);
        const QString before = skin.ComposedStyleSheet();

        QVERIFY_THROWS_EXCEPTION(AppError, skin.LoadSkin(bad, QString()));
        QCOMPARE(skin.ComposedStyleSheet(), before);
    }

    void loadSkin_missingFileNamesThePath()
    {
        SkinFramework skin;
        const QString missing = m_dir.filePath(QStringLiteral("nowhere/o.cjs"));
        try {
            skin.LoadSkin(missing, QString());
            QFAIL("a missing skin file loaded");
        } catch (const AppError &error) {
            QVERIFY2(error.description().contains(QDir::toNativeSeparators(missing)), qPrintable(error.description()));
        }
    }

    void loadSkin_acceptsByteOrderMarkAndCrLf()
    {
        const QString path = m_dir.filePath(QStringLiteral("bom.cjs"));
        QVERIFY(WriteFile(path, "\xEF\xBB\xBF" + kSectionedSkin));
        SkinFramework skin;
        LOOK_NO_APP_ERROR(skin.LoadSkin(path, QString()));
        skin.SetApplyOptions(kSkinApplyColours);
        QVERIFY(skin.ComposedStyleSheet().contains(QLatin1String("#101010")));
    }

    void switches_chooseTheSkinsParts_data()
    {
        QTest::addColumn<int>("options");
        QTest::addColumn<bool>("metrics");
        QTest::addColumn<bool>("frame");
        QTest::addColumn<QStringList>("present");
        QTest::addColumn<QStringList>("absent");
        const QString colours = QStringLiteral("#101010");
        const QString padding = QStringLiteral("padding: 1px");
        const QString border = QStringLiteral("#202020");
        const QString dusk = QStringLiteral("#303030");
        QTest::newRow("nothing") << 0 << false << false << QStringList{} << QStringList{colours, padding, border};
        QTest::newRow("colours only") << kSkinApplyColours << false << false << QStringList{colours}
                                      << QStringList{padding, border, dusk};
        QTest::newRow("other bits are not colours") << 6 << false << false << QStringList{} << QStringList{colours};
        QTest::newRow("metrics only") << 0 << true << false << QStringList{padding} << QStringList{colours, border};
        QTest::newRow("frame only") << 0 << false << true << QStringList{border} << QStringList{colours, padding};
        QTest::newRow("all, as the window asks") << (6 | kSkinApplyColours) << true << true
                                                 << QStringList{colours, padding, border} << QStringList{dusk};
    }

    void switches_chooseTheSkinsParts()
    {
        QFETCH(int, options);
        QFETCH(bool, metrics);
        QFETCH(bool, frame);
        QFETCH(QStringList, present);
        QFETCH(QStringList, absent);
        const QString path = m_dir.filePath(QStringLiteral("o.cjs"));
        QVERIFY(WriteFile(path, kSectionedSkin));
        SkinFramework skin;
        LOOK_NO_APP_ERROR(skin.LoadSkin(path, QString()));
        skin.SetApplyOptions(options);
        skin.SetApplyMetrics(metrics);
        skin.SetFrameSkinning(frame);
        QCOMPARE(skin.ApplyOptions(), options);

        const QString sheet = skin.ComposedStyleSheet();
        for (const QString &part : present)
            QVERIFY2(sheet.contains(part), qPrintable(part + QLatin1String(" missing from: ") + sheet));
        for (const QString &part : absent)
            QVERIFY2(!sheet.contains(part), qPrintable(part + QLatin1String(" should not be in: ") + sheet));
    }

    void variant_comesAfterTheColours()
    {
        const QString path = m_dir.filePath(QStringLiteral("o.cjs"));
        QVERIFY(WriteFile(path, kSectionedSkin));
        SkinFramework skin;
        LOOK_NO_APP_ERROR(skin.LoadSkin(path, QStringLiteral("dusk")));
        skin.SetApplyOptions(kSkinApplyColours);
        const QString sheet = skin.ComposedStyleSheet();
        QVERIFY(sheet.indexOf(QLatin1String("#101010")) >= 0);
        QVERIFY(sheet.indexOf(QLatin1String("#303030")) > sheet.indexOf(QLatin1String("#101010")));

        QVERIFY_THROWS_EXCEPTION(AppError, skin.LoadSkin(path, QStringLiteral("dawn")));
        QVERIFY_THROWS_EXCEPTION(AppError, skin.LoadSkin(path, QStringLiteral("metrics")));
    }

    void applyWindow_withoutSkinFails()
    {
        SkinFramework skin;
        QWidget window;
        QVERIFY_THROWS_EXCEPTION(AppError, skin.ApplyWindow(&window));
        QVERIFY(window.styleSheet().isEmpty());
    }

    // The skin belongs to the one window: neither the application nor another window takes it.
    void applyWindow_drawsThatWindowOnly()
    {
        const QString path = m_dir.filePath(QStringLiteral("o.cjs"));
        QVERIFY(WriteFile(path, kSectionedSkin));
        SkinFramework skin;
        LOOK_NO_APP_ERROR(skin.LoadSkin(path, QString()));
        skin.SetApplyOptions(kSkinApplyColours);
        skin.SetFrameSkinning(true);
        QWidget window;
        QWidget other;
        LOOK_NO_APP_ERROR(skin.ApplyWindow(&window));
        QCOMPARE(window.styleSheet(), skin.ComposedStyleSheet());
        QVERIFY(window.styleSheet().contains(QLatin1String("#202020")));
        QVERIFY(other.styleSheet().isEmpty());
        QVERIFY(qApp->styleSheet().isEmpty());
    }

private:
    QTemporaryDir m_dir;
};

TARNWELL_TEST_CLASS(SkinFrameworkTest)
#include "SkinFrameworkTest.moc"
