#include "Look.h"
#include "TestRegistry.h"

#include <QImage>
#include <QTest>

using namespace tarnwell;

class IconTest : public QObject
{
    Q_OBJECT

private slots:
    void hasEverySize_data()
    {
        QTest::addColumn<int>("size");
        for (const int size : {16, 24, 32, 48, 64, 128, 256})
            QTest::newRow(qPrintable(QString::number(size))) << size;
    }

    // Each size is a picture drawn for it: exact size, clear corners, a solid page in the middle.
    void hasEverySize()
    {
        QFETCH(int, size);
        const QIcon icon = ApplicationIcon();
        QVERIFY(icon.availableSizes().contains(QSize(size, size)));
        const QImage image = icon.pixmap(QSize(size, size)).toImage();
        QCOMPARE(image.size(), QSize(size, size));
        QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
        QCOMPARE(qAlpha(image.pixel(size - 1, 0)), 0);
        QCOMPARE(qAlpha(image.pixel(size / 3, size / 2)), 255);
    }
};

TARNWELL_TEST_CLASS(IconTest)
#include "IconTest.moc"
