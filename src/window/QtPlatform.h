#pragma once

#include "window/Platform.h"

namespace tarnwell {

// The real desktop: Qt's message, input, file and folder dialogs, the desktop's file manager.
class QtPlatform final : public Platform
{
public:
    void MessageBox(QWidget *parent, const QString &text, const QString &title) override;
    void WarningBox(QWidget *parent, const QString &text, const QString &title) override;
    bool AskYesNo(QWidget *parent, const QString &text, const QString &title) override;
    QString InputBox(QWidget *parent, const QString &prompt, const QString &title,
                     const QString &defaultAnswer) override;
    PickedFiles OpenFiles(QWidget *parent, const QString &title, const QString &filter) override;
    QString SaveFile(QWidget *parent, const QString &title, const QString &filter, const QString &suggested) override;
    QString BrowseForFolder(QWidget *parent, const QString &title) override;
    void OpenFolder(const QString &folder) override;
    void EndProcess() override;
    QString DesktopFolder() override;
    QString ProgramFolder() override;
    QString DataFolder() override;
};

// "Description|pattern|..." as the file dialog of the program states it, in Qt's filter form.
// On Windows a description that names its own pattern ("All Files (*.*)") stands alone. Elsewhere
// "*.*" becomes "*", so that names without a dot are offered too, behind the description that the
// dialog shows alone.
QString QtFileDialogFilter(const QString &filter);

} // namespace tarnwell
