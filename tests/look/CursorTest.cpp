#include "ErrorTrap.h"
#include "Look.h"
#include "LookFixtures.h"
#include "TestRegistry.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>

using namespace tarnwell;
using namespace tarnwell::testing;

namespace {

QImage Arrow16()
{
    QImage picture(16, 16, QImage::Format_ARGB32);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.fillRect(QRect(4, 1, 10, 12), Qt::black);
    return picture;
}

} // namespace

class CursorTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(m_dir.isValid()); }

    void cursorFilePath_isBesideTheProgram()
    {
        QCOMPARE(CursorFilePath(QStringLiteral("prog")), QStringLiteral("prog") + QDir::separator() + QStringLiteral("HAND-M.CUR"));
    }

    // A hotspot that reads differently with the bytes swapped or x and y exchanged.
    void hotspotComesFromTheFile()
    {
        const QString path = m_dir.filePath(QStringLiteral("arrow.cur"));
        QVERIFY(WriteFile(path, CursorFileBytes(Arrow16(), QPoint(13, 2))));
        QCursor cursor;
        LOOK_NO_APP_ERROR(cursor = LoadCursorFile(path));
        QCOMPARE(cursor.hotSpot(), QPoint(13, 2));
        QCOMPARE(cursor.pixmap().size(), QSize(16, 16));
        const QImage image = cursor.pixmap().toImage();
        QCOMPARE(qAlpha(image.pixel(5, 5)), 255);
        QCOMPARE(qAlpha(image.pixel(0, 15)), 0);
    }

    void shippedHand_loadsWithHotspotAtFingertip()
    {
        const QString path = SourceFile(QStringLiteral("bundle/HAND-M.CUR"));
        QImageReader reader(path, "cur");
        QVERIFY2(reader.canRead(), qPrintable(reader.errorString()));
        QCOMPARE(reader.size(), QSize(32, 32));

        QCursor cursor;
        LOOK_NO_APP_ERROR(cursor = LoadCursorFile(path));
        const QImage image = cursor.pixmap().toImage().convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(image.size(), QSize(32, 32));
        QVERIFY(image.hasAlphaChannel());
        const QPoint hot = cursor.hotSpot();
        QVERIFY2(qAlpha(image.pixel(hot)) == 255, "the hotspot is on the drawing");
        // The fingertip is the drawing's topmost point: nothing is drawn above the hotspot.
        for (int y = 0; y < hot.y(); ++y) {
            for (int x = 0; x < image.width(); ++x)
                QVERIFY2(qAlpha(image.pixel(x, y)) == 0, qPrintable(QStringLiteral("pixel %1,%2").arg(x).arg(y)));
        }
        // ... and the hand lies below it, filling a good part of the square.
        int drawn = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x)
                drawn += qAlpha(image.pixel(x, y)) == 255 ? 1 : 0;
        }
        QVERIFY(drawn > 200);
    }

    void whatIsNoCursor_fails_data()
    {
        QTest::addColumn<QByteArray>("content");
        const QByteArray good = CursorFileBytes(Arrow16(), QPoint(1, 1));
        QByteArray icon = good;
        icon[2] = 1; // an icon directory, not a cursor
        QByteArray outside = good;
        outside[10] = 16; // hotspot x beyond the 16 px picture
        QByteArray broken = good;
        broken.replace(22, 40, QByteArray(40, 'z')); // no picture header where the entry points
        QTest::newRow("text file renamed") << QByteArray("Order 123: three boxes of nails\r\n");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("directory only") << good.left(22);
        QTest::newRow("picture cut short") << good.left(good.size() - 100);
        QTest::newRow("icon") << icon;
        QTest::newRow("hotspot outside") << outside;
        QTest::newRow("damaged picture") << broken;
    }

    void whatIsNoCursor_fails()
    {
        QFETCH(QByteArray, content);
        const QString path = m_dir.filePath(QStringLiteral("HAND-M.CUR"));
        QVERIFY(WriteFile(path, content));
        try {
            LoadCursorFile(path);
            QFAIL("loaded as a cursor");
        } catch (const AppError &error) {
            QVERIFY2(error.description().contains(QDir::toNativeSeparators(path)), qPrintable(error.description()));
        }
    }

    void missingFile_fails()
    {
        QVERIFY_THROWS_EXCEPTION(AppError, LoadCursorFile(m_dir.filePath(QStringLiteral("none.cur"))));
    }

private:
    QTemporaryDir m_dir;
};

TARNWELL_TEST_CLASS(CursorTest)
#include "CursorTest.moc"
