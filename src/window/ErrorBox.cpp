#include "window/ErrorBox.h"

namespace tarnwell {

QString ErrorBoxTitle()
{
    return QStringLiteral("Application Error");
}

QString SupportAddress()
{
    return QStringLiteral("support@kestrelby.com");
}

QString LocationTag(const QString &procedure)
{
    return QStringLiteral("in TarnwellProj2017/04/05.Form1.") + procedure + QLatin1Char(' ');
}

QString ErrorBoxText(const QString &description, const QString &procedure, int line)
{
    return description + QStringLiteral("\r\n") + LocationTag(procedure) + QStringLiteral("at line ")
           + QString::number(line) + QStringLiteral("\r\r")
           + QStringLiteral("Please email screenshot of this message to ") + SupportAddress();
}

} // namespace tarnwell
