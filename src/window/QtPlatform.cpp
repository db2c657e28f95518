#include "window/QtPlatform.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QStandardPaths>
#include <QUrl>

#include <cstdlib>

namespace tarnwell {

namespace {
// Message boxes carry CR-only line breaks; Qt shows "\r" as nothing, so make them real breaks.
QString ForDisplay(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}
} // namespace

namespace {
// Every box shows its text as plain text: an error's description may hold a file name such as
// "<b>notes</b>.txt", which rich text would draw as markup, losing the name and the line breaks.
int ShowBox(QWidget *parent, QMessageBox::Icon icon, const QString &title, const QString &text,
            QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton = QMessageBox::NoButton)
{
    QMessageBox box(icon, title, ForDisplay(text), buttons, parent);
    box.setTextFormat(Qt::PlainText);
    if (defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(defaultButton);
    return box.exec();
}
} // namespace

void QtPlatform::MessageBox(QWidget *parent, const QString &text, const QString &title)
{
    ShowBox(parent, QMessageBox::NoIcon, title, text, QMessageBox::Ok);
}

void QtPlatform::WarningBox(QWidget *parent, const QString &text, const QString &title)
{
    ShowBox(parent, QMessageBox::Warning, title, text, QMessageBox::Ok);
}

bool QtPlatform::AskYesNo(QWidget *parent, const QString &text, const QString &title)
{
    return ShowBox(parent, QMessageBox::NoIcon, title, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes)
           == QMessageBox::Yes;
}

QString QtPlatform::InputBox(QWidget *parent, const QString &prompt, const QString &title, const QString &defaultAnswer)
{
    QInputDialog box(parent);
    box.setWindowTitle(title);
    box.setLabelText(ForDisplay(prompt));
    box.setTextValue(defaultAnswer);
    // The prompt's label has no text-format setting of its own on the dialog.
    for (QLabel *label : box.findChildren<QLabel *>())
        label->setTextFormat(Qt::PlainText);
    return box.exec() == QDialog::Accepted ? box.textValue() : QString();
}

QString QtFileDialogFilter(const QString &filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'), Qt::SkipEmptyParts);
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString &description = parts.at(i);
        QString pattern = parts.at(i + 1);
        pattern.replace(QLatin1Char(';'), QLatin1Char(' '));
#ifdef Q_OS_WIN
        // The Windows dialog shows the text as it stands and matches "*.*" against every name; a
        // description that already names its pattern is not given it a second time.
        if (description.endsWith(QStringLiteral(" (") + pattern + QLatin1Char(')')))
            filters << description;
        else
            filters << description + QStringLiteral(" (") + pattern + QLatin1Char(')');
#else
        // Here "*.*" would need a dot; "*" takes every name. The dialog hides this pattern list
        // (see OpenFiles), so the user reads the description alone.
        if (pattern == QLatin1String("*.*"))
            pattern = QStringLiteral("*");
        filters << description + QStringLiteral(" (") + pattern + QLatin1Char(')');
#endif
    }
    return filters.join(QLatin1String(";;"));
}

PickedFiles QtPlatform::OpenFiles(QWidget *parent, const QString &title, const QString &filter)
{
    QFileDialog dialog(parent, title);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFiles);
#ifndef Q_OS_WIN
    // Only Qt's own dialog can show a filter's description without the patterns behind it; the
    // desktop's choosers show what they make of the pattern list instead.
    dialog.setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::HideNameFilterDetails);
#endif
    dialog.setNameFilter(QtFileDialogFilter(filter));
    PickedFiles picked;
    if (dialog.exec() != QDialog::Accepted)
        return picked;
    for (const QString &path : dialog.selectedFiles())
        picked.paths << QDir::toNativeSeparators(path);
    return picked;
}

QString QtPlatform::SaveFile(QWidget *parent, const QString &title, const QString &filter, const QString &suggested)
{
    QFileDialog dialog(parent, title, suggested);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(QtFileDialogFilter(filter));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return QDir::toNativeSeparators(dialog.selectedFiles().constFirst());
}

QString QtPlatform::BrowseForFolder(QWidget *parent, const QString &title)
{
    // The browser starts at the desktop, not in the process's working folder.
    const QString desktop = DesktopFolder();
    const QString start = QDir(desktop).exists() ? desktop : QDir::homePath();
    const QString folder = QFileDialog::getExistingDirectory(parent, title, start);
    return QDir::toNativeSeparators(folder);
}

void QtPlatform::OpenFolder(const QString &folder)
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

void QtPlatform::EndProcess()
{
    // Closing the window ends everything at once, also in the middle of a run; every choice was
    // stored when it was made, so nothing is left to write.
    std::_Exit(0);
}

QString QtPlatform::DesktopFolder()
{
    return QDir::toNativeSeparators(QStandardPaths::writableLocation(QStandardPaths::DesktopLocation));
}

QString QtPlatform::ProgramFolder()
{
    return QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
}

QString QtPlatform::DataFolder()
{
    // ~/.local/share/Kestrelby/Tarnwell, %LOCALAPPDATA%\Kestrelby\Tarnwell: the user's, not a
    // folder the user works in, and the same whatever names the process was given.
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return base.isEmpty() ? QString() : base + QStringLiteral("/Kestrelby/Tarnwell");
}

} // namespace tarnwell
