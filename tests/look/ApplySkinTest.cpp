#include "ErrorTrap.h"
#include "Look.h"
#include "LookFixtures.h"
#include "TestRegistry.h"

#include <QApplication>
#include <QDir>
#include <QPalette>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <map>

using namespace tarnwell;
using namespace tarnwell::testing;

namespace {

const QByteArray kSkin = "/* Tarnwell skin */\nQLabel { color: #101010; }\n";

// Every control's background as the window shows it: colour of its background role, and
// whether it paints it.
using Backgrounds = std::map<QString, std::pair<QColor, bool>>;

Backgrounds BackgroundsOf(QWidget *window)
{
    Backgrounds result;
    result[window->objectName()] = {window->palette().color(window->backgroundRole()), window->autoFillBackground()};
    for (QWidget *child : window->findChildren<QWidget *>()) {
        if (!child->objectName().isEmpty() && !child->objectName().startsWith(QLatin1String("qt_")))
            result[child->objectName()] = {child->palette().color(child->backgroundRole()), child->autoFillBackground()};
    }
    return result;
}

// Writes down the calls the window makes, and what the window looked like at the first of them.
class RecordingSkin final : public SkinFramework
{
public:
    void LoadSkin(const QString &path, const QString &iniName) override
    {
        calls << QStringLiteral("LoadSkin(%1,%2)").arg(path, iniName);
        if (window)
            backgroundsAtLoad = BackgroundsOf(window);
        if (failLoad)
            throw AppError(QStringLiteral("rejected"));
    }
    int ApplyOptions() const override
    {
        calls << QStringLiteral("ApplyOptions");
        return presetOptions;
    }
    void SetApplyOptions(int options) override { calls << QStringLiteral("SetApplyOptions(%1)").arg(options); }
    void SetApplyMetrics(bool on) override { calls << QStringLiteral("SetApplyMetrics(%1)").arg(on); }
    void SetFrameSkinning(bool on) override { calls << QStringLiteral("SetFrameSkinning(%1)").arg(on); }
    void ApplyWindow(QWidget *target) override { calls << QStringLiteral("ApplyWindow(%1)").arg(target->objectName()); }

    mutable QStringList calls;
    QWidget *window = nullptr;
    Backgrounds backgroundsAtLoad;
    int presetOptions = 6;
    bool failLoad = false;
};

const QStringList kRecoloured = {QStringLiteral("Form1"),  QStringLiteral("Option1"), QStringLiteral("Option2"),
                                 QStringLiteral("Frame1"), QStringLiteral("Frame2"),  QStringLiteral("Frame3"),
                                 QStringLiteral("Label2"), QStringLiteral("Label3")};

} // namespace

class ApplySkinTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // A face colour that no control has by design, so a recoloured control is unmistakable.
        m_savedPalette = QGuiApplication::palette();
        QPalette palette = m_savedPalette;
        palette.setColor(QPalette::Button, QColor(0x12, 0x34, 0x56));
        palette.setColor(QPalette::Window, QColor(0x65, 0x43, 0x21));
        QApplication::setPalette(palette);
    }
    void cleanupTestCase() { QApplication::setPalette(m_savedPalette); }

    void init()
    {
        m_dir.emplace();
        QVERIFY(m_dir->isValid());
        m_program = m_dir->path();
    }

    void absentSkin_changesNothing_data()
    {
        QTest::addColumn<QString>("skinFile");
        QTest::newRow("no folder x") << QString();
        QTest::newRow("other file in x") << QStringLiteral("x/p.cjs");
        QTest::newRow("file in the program folder") << QStringLiteral("o.cjs");
        QTest::newRow("o.cjs is a folder") << QStringLiteral("x/o.cjs/skin.cjs");
    }

    void absentSkin_changesNothing()
    {
        QFETCH(QString, skinFile);
        if (!skinFile.isEmpty())
            QVERIFY(WriteFile(m_dir->filePath(skinFile), kSkin));
        auto window = MakeMainWindow();
        const Backgrounds before = BackgroundsOf(window.get());
        RecordingSkin skin;

        LOOK_NO_APP_ERROR(ApplySkin(window.get(), m_program, skin));

        QVERIFY(skin.calls.isEmpty());
        QVERIFY(BackgroundsOf(window.get()) == before);
        QVERIFY(window->styleSheet().isEmpty());
    }

    // Hidden the way the desktop's file managers hide a file: listed in the folder's ".hidden".
    void hiddenSkin_changesNothing()
    {
#ifdef Q_OS_WIN
        QSKIP("Hidden is a file attribute on Windows");
#endif
        QVERIFY(WriteFile(SkinFilePath(m_program), kSkin));
        QVERIFY(WriteFile(m_dir->filePath(QStringLiteral("x/.hidden")), "notes.txt\no.cjs\n"));
        auto window = MakeMainWindow();
        const Backgrounds before = BackgroundsOf(window.get());
        RecordingSkin skin;

        LOOK_NO_APP_ERROR(ApplySkin(window.get(), m_program, skin));

        QVERIFY(skin.calls.isEmpty());
        QVERIFY(BackgroundsOf(window.get()) == before);
    }

    void plainVisibleFile_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("hiddenList");
        QTest::addColumn<bool>("visible");
        QTest::newRow("plain") << QStringLiteral("o.cjs") << QByteArray() << true;
        QTest::newRow("dot name") << QStringLiteral(".o.cjs") << QByteArray() << false;
        QTest::newRow("listed, CR LF list") << QStringLiteral("o.cjs") << QByteArray("a\r\no.cjs\r\n") << false;
        QTest::newRow("list names another file") << QStringLiteral("o.cjs") << QByteArray("o.cjs.bak\nfoo.cjs\n") << true;
        QTest::newRow("list names it in other case") << QStringLiteral("o.cjs") << QByteArray("O.CJS\n") << true;
    }

    void plainVisibleFile()
    {
#ifdef Q_OS_WIN
        QSKIP("Hidden is a file attribute on Windows");
#endif
        QFETCH(QString, file);
        QFETCH(QByteArray, hiddenList);
        QFETCH(bool, visible);
        const QString path = m_dir->filePath(file);
        QVERIFY(WriteFile(path, kSkin));
        if (!hiddenList.isEmpty())
            QVERIFY(WriteFile(m_dir->filePath(QStringLiteral(".hidden")), hiddenList));
        QCOMPARE(IsPlainVisibleFile(path), visible);
    }

    void presentSkin_recoloursThenMakesTheSixCalls()
    {
        QVERIFY(WriteFile(SkinFilePath(m_program), kSkin));
        auto window = MakeMainWindow();
        const Backgrounds before = BackgroundsOf(window.get());
        RecordingSkin skin;
        skin.window = window.get();

        LOOK_NO_APP_ERROR(ApplySkin(window.get(), m_program, skin));

        const QString path = m_program + QDir::separator() + QStringLiteral("x") + QDir::separator()
                           + QStringLiteral("o.cjs");
        const QStringList expected = {QStringLiteral("LoadSkin(%1,)").arg(path), QStringLiteral("ApplyOptions"),
                                      QStringLiteral("SetApplyOptions(7)"),      QStringLiteral("SetApplyMetrics(1)"),
                                      QStringLiteral("SetFrameSkinning(1)"),     QStringLiteral("ApplyWindow(Form1)")};
        QCOMPARE(skin.calls, expected);

        const QColor face(0x12, 0x34, 0x56);
        const Backgrounds after = BackgroundsOf(window.get());
        QCOMPARE(after.size(), before.size());
        for (const auto &[name, background] : after) {
            if (kRecoloured.contains(name))
                QVERIFY2(background == std::make_pair(face, true), qPrintable(name));
            else
                QVERIFY2(background == before.at(name), qPrintable(name));
        }
        // The recolouring is done before the skin is loaded.
        QVERIFY(skin.backgroundsAtLoad == after);
    }

    void presentSkin_optionBitAlreadySetStays()
    {
        QVERIFY(WriteFile(SkinFilePath(m_program), kSkin));
        auto window = MakeMainWindow();
        RecordingSkin skin;
        skin.presetOptions = 1 | 8;
        LOOK_NO_APP_ERROR(ApplySkin(window.get(), m_program, skin));
        QVERIFY(skin.calls.contains(QStringLiteral("SetApplyOptions(9)")));
    }

    // The component's error reaches the caller; the recolouring stays and nothing after it runs.
    void failingLoad_propagatesAndRecolouringStays()
    {
        QVERIFY(WriteFile(SkinFilePath(m_program), kSkin));
        auto window = MakeMainWindow();
        RecordingSkin skin;
        skin.failLoad = true;

        QVERIFY_THROWS_EXCEPTION(AppError, ApplySkin(window.get(), m_program, skin));

        QCOMPARE(skin.calls.size(), 1);
        const Backgrounds after = BackgroundsOf(window.get());
        QVERIFY(after.at(QStringLiteral("Form1")) == std::make_pair(QColor(0x12, 0x34, 0x56), true));
        QVERIFY(after.at(QStringLiteral("Label3")) == std::make_pair(QColor(0x12, 0x34, 0x56), true));
    }

    void fileThatIsNoSkin_propagatesWithRealComponent()
    {
        QVERIFY(WriteFile(SkinFilePath(m_program), "body { color: red; }\n"));
        auto window = MakeMainWindow();
        SkinFramework skin;

        QVERIFY_THROWS_EXCEPTION(AppError, ApplySkin(window.get(), m_program, skin));

        QVERIFY(window->styleSheet().isEmpty());
        QVERIFY(BackgroundsOf(window.get()).at(QStringLiteral("Option2")).first == QColor(0x12, 0x34, 0x56));
    }

private:
    std::optional<QTemporaryDir> m_dir;
    QString m_program;
    QPalette m_savedPalette;
};

TARNWELL_TEST_CLASS(ApplySkinTest)
#include "ApplySkinTest.moc"
