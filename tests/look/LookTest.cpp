// The look: the skin on a window built like the main window, the cursor, the pointer, the icon.
#include "look/Look.h"
#include "TestRegistry.h"
#include "files/Paths.h"
#include "look/PointerStates.h"
#include "trap/AppError.h"

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

// The main window's kinds of container and control, with their names and nesting.
std::unique_ptr<QWidget> MakeMainWindow()
{
    auto *w = Place<QWidget>(nullptr, "Form1");
    Place<QTreeView>(w, "ListView1");
    Place<QPushButton>(w, "PushButton5");
    auto *frame3 = Place<QGroupBox>(w, "Frame3");
    Place<QRadioButton>(frame3, "Option1");
    auto *frame2 = Place<QGroupBox>(frame3, "Frame2");
    Place<QLabel>(frame2, "Label2");
    return std::unique_ptr<QWidget>(w);
}

[[nodiscard]] bool WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly)
           && file.write(bytes) == bytes.size();
}

} // namespace

class LookTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QApplication::setPalette(QPalette(kFace, QColor(0xf5, 0xe0, 0xcd))); }

    void applySkin_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("hiddenList"); // x/.hidden
        QTest::addColumn<bool>("applied");
        QTest::addColumn<bool>("refused"); // by the component: the file has no skin header
        QTest::newRow("o.cjs is a folder") << u"x/o.cjs/skin.cjs"_s << QByteArray() << false << false;
        QTest::newRow("skin") << u"x/o.cjs"_s << QByteArray("o.cjs.bak\nO.CJS\n") << true << false;
        QTest::newRow("refused by the component") << u"x/o.cjs"_s << QByteArray() << true << true;
#ifndef Q_OS_WIN
        QTest::newRow("listed in x/.hidden") << u"x/o.cjs"_s << QByteArray("notes.txt\r\no.cjs\r\n") << false << false;
#endif
    }
    // The window, option buttons, frames and labels take the button face before the load, and keep it
    // when the component refuses the skin; a drawn skin sets option bit 1 and keeps the other bits.
    void applySkin()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, hiddenList);
        QFETCH(bool, applied);
        QFETCH(bool, refused);
        QTemporaryDir dir;
        const char *rules = "\n#Colours {}\n/* [metrics] */\n#Metrics {}\n/* [frame] */\n#Frame {}";
        QVERIFY(WriteFile(dir.filePath(file), QByteArray(refused ? "" : kSkinHeader) + rules));
        QVERIFY(hiddenList.isEmpty() || WriteFile(dir.filePath(u"x/.hidden"_s), hiddenList));
        const std::unique_ptr<QWidget> window = MakeMainWindow();
        SkinFramework skin;
        skin.SetApplyOptions(6); // bit 1 clear, other bits set
        if (refused)
            QVERIFY_THROWS_EXCEPTION(AppError, ApplySkin(window.get(), dir.path(), skin));
        else
            QVERIFY_THROWS_NO_EXCEPTION(ApplySkin(window.get(), dir.path(), skin));
        const bool drawn = applied && !refused;
        QCOMPARE(skin.ApplyOptions(), drawn ? 7 : 6);
        QCOMPARE(window->styleSheet(), drawn ? u"#Colours {}\n#Metrics {}\n#Frame {}\n"_s : QString());
        for (QWidget *control :
             window->findChildren<QWidget *>(QRegularExpression(u"^[A-Z]"_s)) + QList{window.get()}) {
            const bool face = applied && kTakesFace.contains(control->objectName());
            QVERIFY2(control->palette().color(control->backgroundRole()) == (face ? kFace : QColor(Qt::white))
                         && control->autoFillBackground() == face,
                     qPrintable(control->objectName()));
        }
#ifndef Q_OS_WIN // hidden is a file attribute on Windows
        QVERIFY(WriteFile(dir.filePath(u".o.cjs"_s), kSkinHeader));
        QVERIFY(!IsPlainVisibleFile(dir.filePath(u".o.cjs"_s)));
#endif
    }

    // The hotspot sits where an icon keeps planes and bit count; moved off row 0, x and y swapped would show.
    void loadCursorFile_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QPoint>("hotspot");
        QFile shipped(qEnvironmentVariable("TARNWELL_SOURCE_DIR") + u"/bundle/HAND-M.CUR"_s);
        QVERIFY(shipped.open(QIODevice::ReadOnly));
        const QByteArray hand = shipped.readAll();
        QTest::newRow("shipped hand, at the fingertip") << hand << QPoint(7, 0);
        QTest::newRow("moved") << QByteArray(hand).replace(10, 1, "\x09").replace(12, 1, "\x03") << QPoint(9, 3);
        QTest::newRow("text file renamed") << QByteArray("Order 123: three boxes of nails\r\n") << kNoCursor;
        QTest::newRow("truncated") << hand.left(hand.size() - 100) << kNoCursor;
        QTest::newRow("icon") << QByteArray(hand).replace(2, 1, "\x01") << kNoCursor;
    }
    void loadCursorFile()
    {
        QFETCH(QByteArray, content);
        QFETCH(QPoint, hotspot);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"HAND-M.CUR"_s);
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
};

TARNWELL_TEST_CLASS(LookTest)
#include "LookTest.moc"
