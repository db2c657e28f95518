// The look: the skin on a window built like the main window, the cursor file, the pointer rule,
// the icon.
#include "Look.h"
#include "ErrorTrap.h"
#include "PointerStates.h"
#include "TestRegistry.h"

#include <QTest>
#include <QtWidgets>

using namespace tarnwell;
using namespace Qt::StringLiterals;

namespace {

// The application's button face: unlike its window colour and unlike every control's own colour.
const QColor kFace(0xcd, 0xe6, 0xf5);
const QStringList kTakesFace = u"Form1 Frame3 Option1 Frame2 Label2"_s.split(u' ');
const QPoint kNoCursor(-1, -1); // in place of a hotspot: the file is no cursor

// A named control with a white background of its own, as the window is designed.
template <typename Control>
Control *Place(QWidget *parent, const char *name)
{
    auto *control = new Control(parent);
    control->setObjectName(QLatin1String(name));
    QPalette palette = control->palette();
    palette.setColor(control->backgroundRole(), Qt::white);
    control->setPalette(palette);
    return control;
}

// The main window's kinds of control, names and nesting.
std::unique_ptr<QWidget> MakeMainWindow()
{
    auto *w = Place<QWidget>(nullptr, "Form1");
    Place<QTreeView>(w, "ListView1");
    Place<QPushButton>(w, "PushButton5");
    Place<QPlainTextEdit>(w, "Text1");
    auto *frame3 = Place<QGroupBox>(w, "Frame3");
    Place<QRadioButton>(frame3, "Option1");
    auto *frame2 = Place<QGroupBox>(frame3, "Frame2");
    Place<QLabel>(frame2, "Label2");
    Place<QComboBox>(frame2, "Combo1");
    Place<QLineEdit>(frame2, "Text3");
    Place<QPushButton>(frame2, "PushButton6");
    Place<QProgressBar>(w, "ProgressBar1");
    return std::unique_ptr<QWidget>(w);
}

// Each control's background colour, and whether it paints it.
using Backgrounds = QMap<QString, std::pair<QColor, bool>>;
Backgrounds BackgroundsOf(QWidget *window)
{
    Backgrounds result;
    QList<QWidget *> controls = window->findChildren<QWidget *>(QRegularExpression(u"^[A-Z]"_s));
    for (QWidget *control : controls << window)
        result[control->objectName()] = {control->palette().color(control->backgroundRole()),
                                         control->autoFillBackground()};
    return result;
}

class RecordingSkin final : public SkinFramework
{
public:
    void LoadSkin(const QString &path, const QString &iniName) override
    {
        calls << u"LoadSkin(%1,%2)"_s.arg(path, iniName);
        if (fail)
            throw AppError(u"rejected"_s);
    }
    int ApplyOptions() const override
    {
        calls << u"ApplyOptions"_s;
        return 6; // bit 1 clear, other bits set
    }
    void SetApplyOptions(int options) override { calls << u"SetApplyOptions(%1)"_s.arg(options); }
    void SetApplyMetrics(bool on) override { calls << u"SetApplyMetrics(%1)"_s.arg(on); }
    void SetFrameSkinning(bool on) override { calls << u"SetFrameSkinning(%1)"_s.arg(on); }
    void ApplyWindow(QWidget *target) override { calls << u"ApplyWindow(%1)"_s.arg(target->objectName()); }

    mutable QStringList calls;
    bool fail = false;
};

[[nodiscard]] bool WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly)
           && file.write(bytes) == bytes.size();
}

QByteArray Shipped(const QString &relative)
{
    QFile file(qEnvironmentVariable("TARNWELL_SOURCE_DIR") + u"/bundle/"_s + relative);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class LookTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QPalette palette = QApplication::palette();
        palette.setColor(QPalette::Button, kFace);
        palette.setColor(QPalette::Window, QColor(0xf5, 0xe0, 0xcd));
        QApplication::setPalette(palette);
    }
    void cleanupTestCase() { QApplication::setPalette(QApplication::style()->standardPalette()); }
    void init()
    {
        m_dir.emplace();
        m_window = MakeMainWindow();
    }

    void applySkin_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("hiddenList"); // x/.hidden
        QTest::addColumn<bool>("applied");
        QTest::newRow("no skin") << QString() << QByteArray() << false;
        QTest::newRow("beside the program, not in x") << u"o.cjs"_s << QByteArray() << false;
        QTest::newRow("o.cjs is a folder") << u"x/o.cjs/skin.cjs"_s << QByteArray() << false;
        QTest::newRow("skin") << u"x/o.cjs"_s << QByteArray("o.cjs.bak\nO.CJS\n") << true;
#ifndef Q_OS_WIN
        QTest::newRow("listed in x/.hidden") << u"x/o.cjs"_s << QByteArray("notes.txt\r\no.cjs\r\n") << false;
#endif
    }
    // A skin there gives the window, option buttons, frames and labels the button face, then the
    // component its six calls; without one nothing changes.
    void applySkin()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, hiddenList);
        QFETCH(bool, applied);
        QVERIFY(file.isEmpty() || WriteFile(m_dir->filePath(file), kSkinHeader));
        QVERIFY(hiddenList.isEmpty() || WriteFile(m_dir->filePath(u"x/.hidden"_s), hiddenList));
        const Backgrounds before = BackgroundsOf(m_window.get());
        RecordingSkin skin;
        QVERIFY_THROWS_NO_EXCEPTION(ApplySkin(m_window.get(), m_dir->path(), skin));

        const QString path = u"%1%2x%2o.cjs"_s.arg(m_dir->path(), QDir::separator());
        const QStringList six = {u"LoadSkin(%1,)"_s.arg(path), u"ApplyOptions"_s,        u"SetApplyOptions(7)"_s,
                                 u"SetApplyMetrics(1)"_s,      u"SetFrameSkinning(1)"_s, u"ApplyWindow(Form1)"_s};
        QCOMPARE(skin.calls, applied ? six : QStringList());
        const Backgrounds after = BackgroundsOf(m_window.get());
        for (const QString &name : after.keys()) {
            const bool face = applied && kTakesFace.contains(name);
            QVERIFY2(after[name] == (face ? std::pair(kFace, true) : before[name]), qPrintable(name));
        }
#ifndef Q_OS_WIN // hidden is a file attribute on Windows
        QVERIFY(WriteFile(m_dir->filePath(u".o.cjs"_s), kSkinHeader));
        QVERIFY(!IsPlainVisibleFile(m_dir->filePath(u".o.cjs"_s)));
#endif
    }

    // The component's error reaches the caller; the recolouring, done before LoadSkin, stays.
    void failingLoad_propagatesAndRecolouringStays()
    {
        QVERIFY(WriteFile(m_dir->filePath(u"x/o.cjs"_s), "QLabel { color: red; }\n"));
        RecordingSkin skin;
        skin.fail = true;
        QVERIFY_THROWS_EXCEPTION(AppError, ApplySkin(m_window.get(), m_dir->path(), skin));
        for (const QString &name : kTakesFace)
            QVERIFY2(BackgroundsOf(m_window.get())[name] == std::pair(kFace, true), qPrintable(name));
        SkinFramework real; // without its header line the file is no skin
        QVERIFY_THROWS_EXCEPTION(AppError, ApplySkin(m_window.get(), m_dir->path(), real));
    }

    void loadCursorFile_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QPoint>("hotspot");
        // A 16 x 16 picture saved as an icon, then made a cursor: directory type 2, and the hotspot
        // where an icon keeps its planes and bit count. The hotspot reads wrong with x and y swapped.
        QImage picture(16, 16, QImage::Format_ARGB32);
        picture.fill(Qt::black);
        QBuffer icon;
        QVERIFY(picture.save(&icon, "ico"));
        QByteArray cursor = icon.data();
        cursor[2] = 2;
        cursor[10] = 13;
        cursor[12] = 2;
        QTest::newRow("built here") << cursor << QPoint(13, 2);
        QTest::newRow("shipped hand, at the fingertip") << Shipped(u"HAND-M.CUR"_s) << QPoint(7, 0);
        QTest::newRow("text file renamed") << QByteArray("Order 123: three boxes of nails\r\n") << kNoCursor;
        QTest::newRow("empty") << QByteArray() << kNoCursor;
        QTest::newRow("truncated") << cursor.left(cursor.size() - 100) << kNoCursor;
        QByteArray asIcon = cursor;
        asIcon[2] = 1;
        QTest::newRow("icon") << asIcon << kNoCursor;
    }
    void loadCursorFile()
    {
        QFETCH(QByteArray, content);
        QFETCH(QPoint, hotspot);
        const QString path = m_dir->filePath(u"HAND-M.CUR"_s);
        QVERIFY(WriteFile(path, content));
        if (hotspot == kNoCursor) {
            QVERIFY_THROWS_EXCEPTION(AppError, LoadCursorFile(path));
            return;
        }
        QCursor cursor;
        QVERIFY_THROWS_NO_EXCEPTION(cursor = LoadCursorFile(path));
        QCOMPARE(cursor.hotSpot(), hotspot);
        QVERIFY2(qAlpha(cursor.pixmap().toImage().pixel(hotspot)) == 255, "the hotspot is on the drawing");
    }

    // A control without a handler asks for nothing, and the pointer stays as it was (the window's
    // handled controls are tested with the window, RunTest).
    void mouseMovePointer_nothingWithoutAHandler()
    {
        QVERIFY(!MouseMovePointer(u"PushButton6"_s));
        QCOMPARE(PointerAfterMouseMove(kPointerHand, std::nullopt), kPointerHand);
    }

    // Each size is a picture drawn for it, with a solid page in the middle.
    void applicationIcon_hasSeveralSizes()
    {
        const QIcon icon = ApplicationIcon();
        for (const int side : {16, 32, 48, 256}) {
            QVERIFY(icon.availableSizes().contains(QSize(side, side)));
            QCOMPARE(qAlpha(icon.pixmap(side).toImage().pixel(side / 3, side / 2)), 255);
        }
    }

private:
    std::optional<QTemporaryDir> m_dir;
    std::unique_ptr<QWidget> m_window;
};

TARNWELL_TEST_CLASS(LookTest)
#include "LookTest.moc"
