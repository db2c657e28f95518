#pragma once

#include "FakePlatform.h"
#include "FindControl.h"
#include "window/Form1.h"
#include "window/Settings.h"

#include <QTest>
#include <QtWidgets>

#include <memory>

namespace tarnwell::testing {

// A main window on a fake desktop, with a settings file and a program folder of its own.
struct WindowFixture
{
    QTemporaryDir dir;
    FakePlatform platform;
    SettingsStore settings{dir.filePath(QStringLiteral("settings.ini"))};
    std::unique_ptr<Form1> form;

    WindowFixture()
    {
        platform.programFolder = Path(QStringLiteral("program"));
        platform.dataFolder = dir.filePath(QStringLiteral("data"));
        QDir().mkpath(platform.programFolder);
    }

    // A path in the fixture's folder, as the window shows paths.
    QString Path(const QString &relative) const { return QDir::toNativeSeparators(dir.filePath(relative)); }

    QString Stored(const QString &key) const { return settings.GetSetting(key, QStringLiteral("<absent>")); }

    Form1 &Load()
    {
        form = std::make_unique<Form1>(platform, settings);
        form->Form_Load();
        return *form;
    }

    // A control of the loaded window, by the object name its layout gives it.
    template <typename Control = QWidget>
    Control *Find(const char *name) const
    {
        return FindControl<Control>(*form, name);
    }

    QString MakeFile(const QString &relative, const QByteArray &content) const
    {
        QDir().mkpath(QFileInfo(dir.filePath(relative)).absolutePath());
        QFile file(dir.filePath(relative));
        return file.open(QIODevice::WriteOnly) && file.write(content) == content.size() ? Path(relative) : QString();
    }

    static QByteArray Read(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
    }
};

} // namespace tarnwell::testing
