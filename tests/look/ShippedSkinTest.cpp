#include "Look.h"
#include "LookFixtures.h"
#include "TestRegistry.h"

#include <QFile>
#include <QImage>
#include <QSet>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <algorithm>

using namespace tarnwell;
using namespace tarnwell::testing;

// The skin that ships beside the program, on the main window's controls.
class ShippedSkinTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QFile shipped(SourceFile(QStringLiteral("bundle/x/o.cjs")));
        QVERIFY2(shipped.open(QIODevice::ReadOnly), qPrintable(shipped.fileName()));
        QVERIFY(WriteFile(SkinFilePath(m_dir.path()), shipped.readAll()));
        m_window = MakeMainWindow();
        m_window->show(); // polished and laid out as the user sees it
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        SkinFramework skin;
        LOOK_NO_APP_ERROR(ApplySkin(m_window.get(), m_dir.path(), skin));
    }
    void cleanupTestCase() { m_window.reset(); }

    void appliesAllItsParts()
    {
        const QString sheet = m_window->styleSheet();
        QVERIFY(sheet.contains(QLatin1String("QPushButton")));  // colours
        QVERIFY(sheet.contains(QLatin1String("border-radius"))); // metrics
        QVERIFY(sheet.contains(QLatin1String("#Form1")));        // frame
        for (const QString &section : {QStringLiteral("[metrics]"), QStringLiteral("[frame]")})
            QVERIFY2(!sheet.contains(section), "section markers are not rules");
    }

    // The window's fonts are its own: the skin neither sizes nor replaces them.
    void keepsTheWindowsFonts()
    {
        QCOMPARE(m_window->font().pointSizeF(), 9.0);
        for (QPushButton *button : m_window->findChildren<QPushButton *>()) {
            QCOMPARE(button->font().pointSizeF(), 11.25);
            QVERIFY(button->font().bold());
        }
        for (const char *name : {"Label2", "Label3", "Option1", "Frame1", "Text1", "Combo1"}) {
            auto *control = m_window->findChild<QWidget *>(QLatin1String(name));
            QVERIFY(control);
            QCOMPARE(control->font().pointSizeF(), 9.0);
        }
    }

    // Every caption fits its 256 x 27 button (or wider) with the skin's borders and padding.
    void captionsAreNotClipped()
    {
        for (QPushButton *button : m_window->findChildren<QPushButton *>()) {
            QStyleOptionButton option;
            option.initFrom(button);
            option.text = button->text();
            const QRect contents = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
            const int textWidth = button->fontMetrics().horizontalAdvance(button->text());
            QVERIFY2(textWidth <= contents.width(),
                     qPrintable(QStringLiteral("%1: %2 px of text in %3 px").arg(button->text()).arg(textWidth).arg(contents.width())));
            QVERIFY2(button->fontMetrics().height() <= contents.height(), qPrintable(button->text()));
        }
    }

    // Option buttons keep a visible indicator: a ring clearly darker than the button's face.
    void optionButtonsShowTheirIndicator()
    {
        for (const char *name : {"Option1", "Option2"}) {
            auto *option = m_window->findChild<QWidget *>(QLatin1String(name));
            QVERIFY(option);
            const QImage picture = m_window->grab(QRect(option->mapTo(m_window.get(), QPoint()), option->size())).toImage();
            int darkest = 255;
            for (int y = 0; y < picture.height(); ++y) {
                for (int x = 0; x < 16; ++x)
                    darkest = std::min(darkest, qGray(picture.pixel(x, y)));
            }
            const int face = qGray(picture.pixel(picture.width() - 1, 0));
            QVERIFY2(darkest < face - 40, qPrintable(QStringLiteral("%1: darkest indicator pixel %2 on a face of %3")
                                                         .arg(QLatin1String(name)).arg(darkest).arg(face)));
        }
    }

    void progressBarShowsItsText()
    {
        auto *bar = m_window->findChild<QProgressBar *>(QStringLiteral("ProgressBar1"));
        QVERIFY(bar);
        QVERIFY(bar->isTextVisible());
        QCOMPARE(bar->text(), QStringLiteral("Progress Bar"));
        const QImage picture = bar->grab().toImage();
        // The text is drawn: the bar's middle holds more than its background colour.
        QSet<QRgb> colours;
        for (int x = bar->width() / 3; x < bar->width() * 2 / 3; ++x)
            colours.insert(picture.pixel(x, bar->height() / 2));
        QVERIFY(colours.size() > 2);
    }

private:
    QTemporaryDir m_dir;
    std::unique_ptr<QWidget> m_window;
};

TARNWELL_TEST_CLASS(ShippedSkinTest)
#include "ShippedSkinTest.moc"
