#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace tarnwell {

// The files picked in the file-open dialog. `tooMany` is set when the dialog could not return
// the whole selection.
struct PickedFiles
{
    QStringList paths;
    bool tooMany = false;
};

// Every operation of the desktop the main window needs, so that its handlers run against a
// scripted fake in tests and against real Qt dialogs in the program.
class Platform
{
public:
    virtual ~Platform() = default;

    // A plain information box: OK only, no icon.
    virtual void MessageBox(QWidget *parent, const QString &text, const QString &title) = 0;
    // The error box: OK only, warning icon.
    virtual void WarningBox(QWidget *parent, const QString &text, const QString &title) = 0;
    // Yes and No, Yes the default, no icon. True for Yes.
    virtual bool AskYesNo(QWidget *parent, const QString &text, const QString &title) = 0;
    // The typed text, or "" on Cancel.
    virtual QString InputBox(QWidget *parent, const QString &prompt, const QString &title,
                             const QString &defaultAnswer) = 0;
    // Multiple selection; an empty list on Cancel.
    virtual PickedFiles OpenFiles(QWidget *parent, const QString &title, const QString &filter) = 0;
    // The file to save to, starting at `suggested`; "" on Cancel.
    virtual QString SaveFile(QWidget *parent, const QString &title, const QString &filter,
                             const QString &suggested) = 0;
    // The chosen folder, or "" on Cancel.
    virtual QString BrowseForFolder(QWidget *parent, const QString &title) = 0;
    // Shows the folder in the desktop's file manager; failures are ignored.
    virtual void OpenFolder(const QString &folder) = 0;
    // Ends the process at once.
    virtual void EndProcess() = 0;

    // The user's desktop folder without a final separator, or "" when there is none.
    virtual QString DesktopFolder() = 0;
    // The folder that holds the program file.
    virtual QString ProgramFolder() = 0;
    // The program's own per-user data folder (the record of in-place appends lives there).
    virtual QString DataFolder() = 0;
};

} // namespace tarnwell
