#pragma once

#include "Platform.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace tarnwell::testing {

// A scripted desktop: answers come from queues (an empty queue answers Cancel / No / nothing),
// and every box shown is recorded in order.
class FakePlatform final : public Platform
{
public:
    struct Box
    {
        QString kind; // "message", "warning", "question"
        QString text;
        QString title;
    };

    QList<Box> boxes;
    QStringList inputPrompts;
    QStringList inputAnswers;
    QList<bool> yesNoAnswers;
    QList<PickedFiles> pickedFiles;
    QStringList folderAnswers;
    QStringList openedFolders;
    QString fileDialogTitle, fileDialogFilter, browseTitle;
    int endProcessCalls = 0;
    QString desktop = QStringLiteral("/home/user/Desktop");
    QString programFolder;
    QString dataFolder;                     // none: no record of appends is kept
    std::function<void(const Box &)> onBox; // runs while a box is "open"

    QStringList BoxTexts(const QString &kind) const
    {
        QStringList texts;
        for (const Box &box : boxes)
            if (box.kind == kind)
                texts << box.text;
        return texts;
    }

    void MessageBox(QWidget *, const QString &text, const QString &title) override
    {
        Record({QStringLiteral("message"), text, title});
    }
    void WarningBox(QWidget *, const QString &text, const QString &title) override
    {
        Record({QStringLiteral("warning"), text, title});
    }
    bool AskYesNo(QWidget *, const QString &text, const QString &title) override
    {
        Record({QStringLiteral("question"), text, title});
        return !yesNoAnswers.isEmpty() && yesNoAnswers.takeFirst();
    }
    QString InputBox(QWidget *, const QString &prompt, const QString &, const QString &defaultAnswer) override
    {
        inputPrompts << prompt;
        if (inputAnswers.isEmpty())
            return QString();
        const QString answer = inputAnswers.takeFirst();
        return answer == QLatin1String("<default>") ? defaultAnswer : answer;
    }
    PickedFiles OpenFiles(QWidget *, const QString &title, const QString &filter) override
    {
        fileDialogTitle = title;
        fileDialogFilter = filter;
        return pickedFiles.isEmpty() ? PickedFiles{} : pickedFiles.takeFirst();
    }
    QString BrowseForFolder(QWidget *, const QString &title) override
    {
        browseTitle = title;
        return folderAnswers.isEmpty() ? QString() : folderAnswers.takeFirst();
    }
    void OpenFolder(const QString &folder) override { openedFolders << folder; }
    void EndProcess() override { ++endProcessCalls; }
    QString DesktopFolder() override { return desktop; }
    QString ProgramFolder() override { return programFolder; }
    QString DataFolder() override { return dataFolder; }

private:
    void Record(const Box &box)
    {
        boxes << box;
        if (onBox)
            onBox(box);
    }
};

} // namespace tarnwell::testing
