#include "ErrorTrap.h"
#include "Look.h"
#include "TestRegistry.h"

#include <QTest>
#include <QtGui>

using namespace tarnwell;
using namespace Qt::StringLiterals;

namespace {
constexpr int kArrow = 0, kBusy = 11, kHand = 99, kNoHandler = -1;
const QPoint kNoCursor(-1, -1); // in place of a hotspot: the file is no cursor
} // namespace

class CursorAndPointerTest : public QObject
{
    Q_OBJECT

private slots:
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
        QFile hand(qEnvironmentVariable("TARNWELL_SOURCE_DIR") + u"/bundle/HAND-M.CUR"_s);
        QVERIFY2(hand.open(QIODevice::ReadOnly), qPrintable(hand.fileName()));
        QTest::newRow("built here") << cursor << QPoint(13, 2);
        QTest::newRow("shipped hand, at the fingertip") << hand.readAll() << QPoint(7, 0);
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
        QFile file(m_dir.filePath(u"HAND-M.CUR"_s));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size() && file.flush());
        if (hotspot == kNoCursor) {
            QVERIFY_THROWS_EXCEPTION(AppError, LoadCursorFile(file.fileName()));
            return;
        }
        QCursor cursor;
        QVERIFY_THROWS_NO_EXCEPTION(cursor = LoadCursorFile(file.fileName()));
        QCOMPARE(cursor.hotSpot(), hotspot);
        QVERIFY2(qAlpha(cursor.pixmap().toImage().pixel(hotspot)) == 255, "the hotspot is on the drawing");
    }

    void mouseMovePointer_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<int>("pointer");
        const auto rows = [](const QString &names, int pointer) {
            for (const QString &name : names.split(u' '))
                QTest::newRow(qPrintable(name)) << name << pointer;
        };
        rows(u"PushButton1 PushButton2 PushButton3 PushButton4 PushButton5 PushButton7 PushButton11"_s, kHand);
        rows(u"Form1 Frame1 Frame2 Frame3 Text1 Text2 ListView1"_s, kArrow);
        // No handler, and names that only look like the controls'.
        rows(u"PushButton6 Text3 Combo1 Option1 Option2 Label2 Label3 ProgressBar1"_s, kNoHandler);
        rows(u"PushButton PushButton10 pushbutton2"_s, kNoHandler);
    }
    // The pointer a move over each control asks for; the busy pointer outlasts every move.
    void mouseMovePointer()
    {
        QFETCH(QString, control);
        QFETCH(int, pointer);
        QCOMPARE(MouseMovePointer(control).value_or(kNoHandler), pointer);
        QCOMPARE(PointerAfterMouseMove(kBusy, MouseMovePointer(control)), kBusy);
        QCOMPARE(PointerAfterMouseMove(1, MouseMovePointer(control)), pointer == kNoHandler ? 1 : pointer);
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
    QTemporaryDir m_dir;
};

TARNWELL_TEST_CLASS(CursorAndPointerTest)
#include "CursorAndPointerTest.moc"
