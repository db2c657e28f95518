#pragma once

// The desktop as the benchmark plays it: the input box and the folder browser answer from
// queues, Yes/No answers No, and every box is recorded so a run can be checked afterwards.

#include "window/Platform.h"

#include <QCoreApplication>
#include <QDir>
#include <QStringList>

namespace tarnwell::bench {

class BenchPlatform final : public Platform
{
public:
    QStringList messages;
    QStringList warnings;
    QStringList inputAnswers;
    QStringList folderAnswers;
    QString desktop;
    QString dataFolder;

    void MessageBox(QWidget *, const QString &text, const QString &) override { messages << text; }
    void WarningBox(QWidget *, const QString &text, const QString &) override { warnings << text; }
    bool AskYesNo(QWidget *, const QString &, const QString &) override { return false; }
    QString InputBox(QWidget *, const QString &, const QString &, const QString &) override
    {
        return inputAnswers.isEmpty() ? QString() : inputAnswers.takeFirst();
    }
    PickedFiles OpenFiles(QWidget *, const QString &, const QString &) override { return {}; }
    QString SaveFile(QWidget *, const QString &, const QString &, const QString &) override { return {}; }
    QString BrowseForFolder(QWidget *, const QString &) override
    {
        return folderAnswers.isEmpty() ? QString() : folderAnswers.takeFirst();
    }
    void OpenFolder(const QString &) override {}
    void EndProcess() override {}
    QString DesktopFolder() override { return desktop; }
    QString DataFolder() override { return dataFolder; }
    QString ProgramFolder() override { return QDir::toNativeSeparators(QCoreApplication::applicationDirPath()); }
};

} // namespace tarnwell::bench
