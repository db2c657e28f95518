#pragma once

#include "window/Platform.h" // with QString and QStringList

#include <functional>

namespace tarnwell::testing {

// A scripted desktop: answers come from queues (an empty queue answers Cancel / No / nothing),
// every box shown is recorded in order, and so is every other call.
class FakePlatform final : public Platform
{
public:
    struct Box
    {
        QString kind, text, title; // kind: "message", "warning" or "question"
    };

    QList<Box> boxes;
    // "input: prompt", "files: title | filter", "save: title | filter | suggested", "folder: title",
    // "open: folder", "end"
    QStringList calls;
    QStringList answers; // of input boxes, the save dialog and the folder browser; "<default>" takes the default
    QList<bool> yesNoAnswers;
    QList<PickedFiles> pickedFiles;
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

    void MessageBox(QWidget *, const QString &text, const QString &title) override { Record("message", text, title); }
    void WarningBox(QWidget *, const QString &text, const QString &title) override { Record("warning", text, title); }
    bool AskYesNo(QWidget *, const QString &text, const QString &title) override
    {
        Record("question", text, title);
        return !yesNoAnswers.isEmpty() && yesNoAnswers.takeFirst();
    }
    QString InputBox(QWidget *, const QString &prompt, const QString &, const QString &defaultAnswer) override
    {
        calls << QStringLiteral("input: ") + prompt;
        const QString answer = answers.isEmpty() ? QString() : answers.takeFirst();
        return answer == QLatin1String("<default>") ? defaultAnswer : answer;
    }
    PickedFiles OpenFiles(QWidget *, const QString &title, const QString &filter) override
    {
        calls << QStringLiteral("files: %1 | %2").arg(title, filter);
        return pickedFiles.isEmpty() ? PickedFiles{} : pickedFiles.takeFirst();
    }
    QString SaveFile(QWidget *, const QString &title, const QString &filter, const QString &suggested) override
    {
        calls << QStringLiteral("save: %1 | %2 | %3").arg(title, filter, suggested);
        const QString answer = answers.isEmpty() ? QString() : answers.takeFirst();
        return answer == QLatin1String("<default>") ? suggested : answer;
    }
    QString BrowseForFolder(QWidget *, const QString &title) override
    {
        calls << QStringLiteral("folder: ") + title;
        return answers.isEmpty() ? QString() : answers.takeFirst();
    }
    void OpenFolder(const QString &folder) override { calls << QStringLiteral("open: ") + folder; }
    void EndProcess() override { calls << QStringLiteral("end"); }
    QString DesktopFolder() override { return desktop; }
    QString ProgramFolder() override { return programFolder; }
    QString DataFolder() override { return dataFolder; }

private:
    void Record(const char *kind, const QString &text, const QString &title)
    {
        const Box box{QString::fromLatin1(kind), text, title}; // a copy: its handler may show another box
        boxes << box;
        if (onBox)
            onBox(box);
    }
};

} // namespace tarnwell::testing
