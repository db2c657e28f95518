#include "Reliability.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <memory>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tarnwell::reliability {

QStringList ChildResult::Starting(const QString &tag) const
{
    QStringList found;
    const QString prefix = tag + QLatin1Char(' ');
    for (const QString &line : lines) {
        if (line.startsWith(prefix))
            found << line.mid(prefix.size());
    }
    return found;
}

QString ChildResult::Describe() const
{
    return QStringLiteral("finished %1, exit %2, output:\n%3\nerrors:\n%4")
        .arg(finished)
        .arg(exitCode)
        .arg(lines.join(QLatin1Char('\n')), errors);
}

bool RunningAsRoot()
{
#ifdef Q_OS_WIN
    return false;
#else
    return ::geteuid() == 0;
#endif
}

QString ChildProgram()
{
    // The build tree may lie where "nobody" cannot go; a copy in a shared folder can be run by all.
    static const std::unique_ptr<QTemporaryDir> copyDir = [] {
        auto dir = std::make_unique<QTemporaryDir>();
        const QString copy = dir->filePath(QStringLiteral("child"));
        QFile::copy(QStringLiteral(TARNWELL_RELIABILITY_CHILD), copy);
        QFile::setPermissions(dir->path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                               | QFileDevice::ReadOther | QFileDevice::ExeOther
                                               | QFileDevice::ReadGroup | QFileDevice::ExeGroup);
        QFile::setPermissions(copy, QFileDevice::ReadOwner | QFileDevice::ExeOwner | QFileDevice::ReadOther
                                        | QFileDevice::ExeOther | QFileDevice::ReadGroup | QFileDevice::ExeGroup);
        return dir;
    }();
    return copyDir->filePath(QStringLiteral("child"));
}

ChildResult RunChild(const QStringList &args, bool unprivileged, const QProcessEnvironment &environment,
                     int timeoutMs)
{
    ChildResult result;
    QString program = ChildProgram();
    QStringList arguments = args;
    if (unprivileged && RunningAsRoot()) {
        arguments = QStringList{QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"),
                                QStringLiteral("--clear-groups"), program}
            + args;
        program = QStringLiteral("setpriv");
    }
    QProcess child;
    QProcessEnvironment env = environment;
    if (unprivileged)
        env.insert(QStringLiteral("HOME"), QDir::tempPath()); // the superuser's home is closed to others
    child.setProcessEnvironment(env);
    child.start(program, arguments);
    if (!child.waitForStarted(30000)) {
        QTest::qFail(qPrintable(QStringLiteral("cannot start %1: %2").arg(program, child.errorString())), __FILE__,
                     __LINE__);
        return result;
    }
    result.finished = child.waitForFinished(timeoutMs);
    if (!result.finished) {
        child.kill();
        child.waitForFinished();
    }
    result.exitCode = child.exitStatus() == QProcess::NormalExit ? child.exitCode() : -1;
    result.lines = QString::fromUtf8(child.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    result.errors = QString::fromUtf8(child.readAllStandardError());
    return result;
}

SharedDir::SharedDir() : m_dir(QDir::tempPath() + QStringLiteral("/tarnwell-reliability-XXXXXX"))
{
    Mode(QString(), 0777);
}

void SharedDir::Folder(const QString &relative) const
{
    QString path = m_dir.path();
    for (const QString &part : relative.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        path += QLatin1Char('/') + part;
        QDir().mkdir(path);
#ifndef Q_OS_WIN
        ::chmod(QFile::encodeName(path).constData(), 0777);
#endif
    }
}

void SharedDir::File(const QString &relative, const QByteArray &bytes) const
{
    const qsizetype cut = relative.lastIndexOf(QLatin1Char('/'));
    if (cut > 0)
        Folder(relative.left(cut));
    QFile file(m_dir.filePath(relative));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        QTest::qFail(qPrintable(QStringLiteral("cannot write %1").arg(file.fileName())), __FILE__, __LINE__);
    file.close();
    Mode(relative, 0666);
}

void SharedDir::Mode(const QString &relative, unsigned mode) const
{
#ifdef Q_OS_WIN
    Q_UNUSED(relative);
    Q_UNUSED(mode);
#else
    const QString path = relative.isEmpty() ? m_dir.path() : m_dir.filePath(relative);
    if (::chmod(QFile::encodeName(path).constData(), static_cast<mode_t>(mode)) != 0)
        QTest::qFail(qPrintable(QStringLiteral("cannot change the mode of %1").arg(path)), __FILE__, __LINE__);
#endif
}

QByteArray ReadBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    QByteArray bytes = file.readAll();
    if (bytes.isNull())
        bytes = QByteArray("");
    return bytes;
}

QStringList FolderNames(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace tarnwell::reliability
