#include "QtPlatform.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
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

void QtPlatform::MessageBox(QWidget *parent, const QString &text, const QString &title)
{
    QMessageBox box(QMessageBox::NoIcon, title, ForDisplay(text), QMessageBox::Ok, parent);
    box.exec();
}

void QtPlatform::WarningBox(QWidget *parent, const QString &text, const QString &title)
{
    QMessageBox box(QMessageBox::Warning, title, ForDisplay(text), QMessageBox::Ok, parent);
    box.exec();
}

bool QtPlatform::AskYesNo(QWidget *parent, const QString &text, const QString &title)
{
    QMessageBox box(QMessageBox::NoIcon, title, ForDisplay(text), QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

QString QtPlatform::InputBox(QWidget *parent, const QString &prompt, const QString &title, const QString &defaultAnswer)
{
    bool ok = false;
    const QString answer = QInputDialog::getText(parent, title, ForDisplay(prompt), QLineEdit::Normal, defaultAnswer,
                                                 &ok);
    return ok ? answer : QString();
}

QString QtFileDialogFilter(const QString &filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'), Qt::SkipEmptyParts);
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString pattern = parts.at(i + 1);
#ifndef Q_OS_WIN
        if (pattern == QLatin1String("*.*"))
            pattern = QStringLiteral("*");
#endif
        filters << parts.at(i) + QStringLiteral(" (") + pattern.replace(QLatin1Char(';'), QLatin1Char(' '))
                       + QLatin1Char(')');
    }
    return filters.join(QLatin1String(";;"));
}

PickedFiles QtPlatform::OpenFiles(QWidget *parent, const QString &title, const QString &filter)
{
    PickedFiles picked;
    const QStringList paths = QFileDialog::getOpenFileNames(parent, title, QString(), QtFileDialogFilter(filter));
    for (const QString &path : paths)
        picked.paths << QDir::toNativeSeparators(path);
    return picked;
}

QString QtPlatform::BrowseForFolder(QWidget *parent, const QString &title)
{
    const QString folder = QFileDialog::getExistingDirectory(parent, title);
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
