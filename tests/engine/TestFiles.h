#pragma once

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTest>

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

namespace tarnwell::testing {

inline void WriteBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    QCOMPARE(file.write(bytes), bytes.size());
}

// The file's bytes, or a null array when it cannot be opened.
inline QByteArray ReadBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    QByteArray bytes = file.readAll();
    if (bytes.isNull())
        bytes = QByteArray(""); // an empty file, told apart from a missing one
    return bytes;
}

// Every name in the folder, hidden ones included, so a forgotten temporary file shows.
inline QStringList FolderNames(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

inline bool RunningAsRoot()
{
#ifdef Q_OS_WIN
    return false;
#else
    return ::geteuid() == 0;
#endif
}

} // namespace tarnwell::testing
