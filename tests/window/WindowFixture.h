#pragma once

#include "FakePlatform.h"
#include "Form1.h"
#include "Settings.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <memory>

namespace tarnwell::testing {

// A main window on a fake desktop, with a settings file and a program folder of its own.
struct WindowFixture
{
    QTemporaryDir dir;
    FakePlatform platform;
    std::unique_ptr<SettingsStore> settings;
    std::unique_ptr<Form1> form;

    WindowFixture()
    {
        QDir(dir.path()).mkpath(QStringLiteral("program"));
        platform.programFolder = dir.filePath(QStringLiteral("program"));
        platform.dataFolder = dir.filePath(QStringLiteral("data"));
        settings = std::make_unique<SettingsStore>(SettingsFile());
    }

    QString SettingsFile() const { return dir.filePath(QStringLiteral("settings.ini")); }

    // A stored value, as the next start will read it.
    void Store(const QString &key, const QString &value) { settings->SaveSetting(key, value); }
    QString Stored(const QString &key) const
    {
        return SettingsStore(SettingsFile()).GetSetting(key, QStringLiteral("<absent>"));
    }

    Form1 &Load()
    {
        form = std::make_unique<Form1>(platform, *settings);
        form->Form_Load();
        return *form;
    }

    QString MakeFile(const QString &relativePath, const QByteArray &content)
    {
        const QString path = dir.filePath(relativePath);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return QString();
        file.write(content);
        return QDir::toNativeSeparators(path);
    }

    static QByteArray Read(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
    }
};

} // namespace tarnwell::testing
