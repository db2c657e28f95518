#pragma once

// What the reliability tests share: the child program, run as it is or as an unprivileged user,
// and folders such a user may work in.
#include "ChildProtocol.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tarnwell::reliability {

// The lines with this tag, the tag cut off.
inline QStringList Tagged(const QStringList &lines, const QString &tag)
{
    QStringList found;
    for (const QString &line : lines) {
        if (line.startsWith(tag + QLatin1Char(' ')))
            found << line.mid(tag.size() + 1);
    }
    return found;
}

// A child's standard output as lines (Windows ends them with CR LF).
inline QStringList OutputLines(const QByteArray &output)
{
    return QString::fromUtf8(output).remove(u'\r').split(u'\n', Qt::SkipEmptyParts);
}

struct ChildResult
{
    bool finished = false; // false: it hung and was killed
    int exitCode = -1;     // -1: it crashed or was killed
    QStringList lines;     // its standard output
    QString errors;        // its standard error

    QStringList Starting(const QString &tag) const { return Tagged(lines, tag); }
    // It ended normally after a run that reached "Done.".
    bool Done() const { return finished && exitCode == 0 && lines.endsWith(QStringLiteral("MESSAGE Done.")); }
    QString Describe() const
    {
        return QStringLiteral("finished %1, exit %2, output:\n%3\nerrors:\n%4")
            .arg(finished)
            .arg(exitCode)
            .arg(lines.join(u'\n'), errors);
    }
};

// Whether this process is the superuser, whom file permissions do not stop.
inline bool RunningAsRoot()
{
#ifdef Q_OS_WIN
    return false;
#else
    return ::geteuid() == 0;
#endif
}

// A temporary folder that every user may enter and write. Files and folders are made open to all
// too: the test process runs with no umask.
class SharedDir
{
public:
    SharedDir()
    {
#ifndef Q_OS_WIN
        ::umask(0);
#endif
        Mode(QString(), 0777);
    }
    QString path() const
    {
        return m_dir.path();
    }
    QString filePath(const QString &name) const
    {
        return m_dir.filePath(name);
    }
    void Folder(const QString &relative) const
    {
        QDir(m_dir.path()).mkpath(relative);
    }
    void File(const QString &relative, const QByteArray &bytes) const
    {
        if (relative.contains(u'/'))
            Folder(relative.section(u'/', 0, -2));
        QFile file(m_dir.filePath(relative));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
            QTest::qFail(qPrintable(QStringLiteral("cannot write %1").arg(file.fileName())), __FILE__, __LINE__);
    }
    void Mode(const QString &relative, unsigned mode) const
    {
#ifndef Q_OS_WIN
        if (::chmod(QFile::encodeName(m_dir.filePath(relative)).constData(), static_cast<mode_t>(mode)) != 0)
            QTest::qFail(qPrintable(QStringLiteral("cannot change the mode of %1").arg(relative)), __FILE__, __LINE__);
#else
        Q_UNUSED(relative)
        Q_UNUSED(mode)
#endif
    }

private:
    QTemporaryDir m_dir{QDir::tempPath() + QStringLiteral("/tarnwell-reliability-XXXXXX")};
};

// The child program, as a copy in a shared folder: the build tree may lie where "nobody" cannot go.
inline QString ChildProgram()
{
#ifdef Q_OS_WIN
    // Nobody else runs it there, and it needs the libraries beside it in the build tree.
    return QStringLiteral(TARNWELL_RELIABILITY_CHILD);
#endif
    static const SharedDir copyDir;
    const QString copy = copyDir.filePath(QStringLiteral("child"));
    if (!QFile::exists(copy) && QFile::copy(QStringLiteral(TARNWELL_RELIABILITY_CHILD), copy))
        copyDir.Mode(QStringLiteral("child"), 0755);
    return copy;
}

// Runs the child with `args` and waits for it. With `unprivileged`, a superuser runs it as the
// user "nobody" (an ordinary user runs it as itself).
inline ChildResult RunChild(const QStringList &args, bool unprivileged = false,
                            QProcessEnvironment env = QProcessEnvironment::systemEnvironment())
{
    QString program = ChildProgram();
    QStringList arguments = args;
    if (unprivileged && RunningAsRoot()) {
        arguments = QStringList{QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"),
                                QStringLiteral("--clear-groups"), program}
                    + args;
        program = QStringLiteral("setpriv");
    }
    if (unprivileged)
        env.insert(QStringLiteral("HOME"), QDir::tempPath()); // the superuser's home is closed to others
    QProcess child;
    child.setProcessEnvironment(env);
    child.start(program, arguments);
    ChildResult result;
    if (!child.waitForStarted(30000)) {
        QTest::qFail(qPrintable(QStringLiteral("cannot start %1: %2").arg(program, child.errorString())), __FILE__,
                     __LINE__);
        return result;
    }
    if (!(result.finished = child.waitForFinished(120000))) {
        child.kill();
        child.waitForFinished();
    }
    result.exitCode = child.exitStatus() == QProcess::NormalExit ? child.exitCode() : -1;
    result.lines = OutputLines(child.readAllStandardOutput());
    result.errors = QString::fromUtf8(child.readAllStandardError());
    return result;
}

inline QStringList RunArgs(bool inPlace, const QString &outputFolder, const QString &listFile)
{
    return {QStringLiteral("run"), QLatin1String(inPlace ? "inplace" : "newfiles"), outputFolder, listFile};
}

// The bytes of the file; a null array for a missing or unreadable one ("" for an empty one).
inline QByteArray ReadBytes(const QString &path)
{
    QFile file(path);
    const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    return bytes.isNull() && file.isOpen() ? QByteArray("") : bytes;
}

// Every name in the folder, hidden ones included, sorted.
inline QStringList FolderNames(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

inline QStringList Sorted(QStringList names)
{
    names.sort();
    return names;
}

} // namespace tarnwell::reliability
