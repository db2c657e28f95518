// The error box's text, as the main window shows it for a failure that a handler's trap reports.
#include "window/ErrorBox.h"
#include "TestRegistry.h"

#include <QTest>

using namespace tarnwell;
using namespace Qt::StringLiterals;

class ErrorBoxTest : public QObject
{
    Q_OBJECT
private slots:
    // The description, CR LF, the handler's location tag and line, CR CR, and the support line.
    void text()
    {
        QCOMPARE(ErrorBoxText(u"Permission denied: /x/y.txt"_s, u"PushButton2_Click"_s, 118),
                 u"Permission denied: /x/y.txt\r\nin TarnwellProj2017/04/05.Form1.PushButton2_Click at line 118\r\r"
                 "Please email screenshot of this message to support@kestrelby.com"_s);
    }
};

TARNWELL_TEST_CLASS(ErrorBoxTest)
#include "ErrorBoxTest.moc"
