#pragma once

#include <QString>

namespace tarnwell {

// The error box that the main window shows when a handler's trap reports a failure.

// The box's own title, whatever the application's title is.
QString ErrorBoxTitle();

// The one support address the box names.
QString SupportAddress();

// The location tag of a handler, for example "in TarnwellProj2017/04/05.Form1.Form_Load ".
QString LocationTag(const QString &procedure);

// The whole text of the box: description, CR LF, location, "at line", number, CR CR,
// and the support line.
QString ErrorBoxText(const QString &description, const QString &procedure, int line);

} // namespace tarnwell
