#pragma once

// What the reliability tests share: the child program, run as it is or as an unprivileged user,
// and jobs over files in folders such a user may work in.
#include "ChildProtocol.h"
#include "engine/Encoding.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tarnwell::reliability {

struct ChildResult
{
    int exitCode = -1; // -1: it crashed, or hung and was killed
    qint64 ms = 0;     // from its first line to its end
    QStringList lines; // its standard output
    QString errors;    // its standard error

    // The lines with this tag, the tag cut off.
    QStringList Starting(const QString &tag) const
    {
        const QRegularExpression start(u'^' + tag + u' ');
        return lines.filter(start).replaceInStrings(start, QString());
    }
    bool Ok() const { return exitCode == 0; }
    // It ended normally after a run that reached "Done." and showed no other message.
    bool Done() const
    {
        return Ok() && lines.endsWith(QStringLiteral("MESSAGE Done."))
               && Starting(QStringLiteral("MESSAGE")).size() == 1;
    }
    QString Describe() const
    {
        return QStringLiteral("exit %1, output:\n%2\n%3").arg(exitCode).arg(lines.join(u'\n'), errors);
    }
};

// The superuser, whom file permissions do not stop.
#ifdef Q_OS_WIN
inline const bool kRunningAsRoot = false;
inline void SetMode(const QString &, unsigned) {}
#else
inline const bool kRunningAsRoot = ::geteuid() == 0;
// The test process runs with no umask, so what it makes is open to every user.
inline void SetMode(const QString &path, unsigned mode)
{
    ::umask(0);
    QVERIFY2(::chmod(QFile::encodeName(path).constData(), static_cast<mode_t>(mode)) == 0, qPrintable(path));
}
#endif

// A temporary folder that every user may enter and write, and so may the files made in it.
class SharedDir
{
public:
    SharedDir() { SetMode(m_dir.path(), 0777); }
    QString path() const { return m_dir.path(); }
    QString filePath(const QString &relative) const { return m_dir.filePath(relative); }
    void Folder(const QString &relative) const { QDir(m_dir.path()).mkpath(relative); }
    void Mode(const QString &relative, unsigned mode) const { SetMode(m_dir.filePath(relative), mode); }
    void File(const QString &relative, const QByteArray &bytes) const
    {
        if (relative.contains(u'/'))
            Folder(relative.section(u'/', 0, -2));
        QFile file(m_dir.filePath(relative));
        QVERIFY2(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size(), qPrintable(file.fileName()));
    }

private:
    QTemporaryDir m_dir{QDir::tempPath() + QStringLiteral("/tarnwell-reliability-XXXXXX")};
};

// The child program, as a copy in a shared folder: the build tree may lie where "nobody" cannot
// go. On Windows nobody else runs it, and it needs the libraries beside it in the build tree.
inline QString ChildProgram()
{
#ifdef Q_OS_WIN
    return QStringLiteral(TARNWELL_RELIABILITY_CHILD);
#else
    static const SharedDir copyDir;
    const QString copy = copyDir.filePath(QStringLiteral("child"));
    if (!QFile::exists(copy) && QFile::copy(QStringLiteral(TARNWELL_RELIABILITY_CHILD), copy))
        SetMode(copy, 0755);
    return copy;
#endif
}

// Runs the child with `args` and waits for it. With `unprivileged`, a superuser runs it as the
// user "nobody" (an ordinary user runs it as itself).
inline ChildResult RunChild(const QStringList &args, bool unprivileged = false,
                            QProcessEnvironment env = QProcessEnvironment::systemEnvironment())
{
    QString program = ChildProgram();
    QStringList arguments = args;
    if (unprivileged && kRunningAsRoot) {
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
    if (!child.waitForStarted(30000))
        return {-1, 0, {}, QStringLiteral("cannot start %1: %2").arg(program, child.errorString())};
    while (!child.canReadLine() && child.waitForReadyRead(60000)) { // a run's first line is "START"
    }
    QElapsedTimer timer;
    timer.start();
    ChildResult result;
    const bool finished = child.waitForFinished(300000); // else it is killed with the QProcess
    result.ms = std::max<qint64>(timer.elapsed(), 1);
    result.exitCode = finished && child.exitStatus() == QProcess::NormalExit ? child.exitCode() : -1;
    result.lines = QString::fromUtf8(child.readAllStandardOutput()).remove(u'\r').split(u'\n', Qt::SkipEmptyParts);
    result.errors = QString::fromUtf8(child.readAllStandardError());
    return result;
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

// A job over files in a shared folder: the inputs in "in", the output folder "out", the list of
// inputs "list" and the program's data folder "data", where in-place appends are recorded.
struct Job
{
    struct Item
    {
        QString name;
        QByteArray original, complete; // complete: with the appendix when the file qualifies
        QByteArray oldOutput;          // what the output folder holds of it before a run; null: nothing
    };
    SharedDir dir;
    QString in = dir.filePath(QStringLiteral("in")), out = dir.filePath(QStringLiteral("out"));
    QList<Item> items;
    QStringList paths;                               // of the inputs, in order
    QString appendText = QLatin1String(kAppendText); // as written, lines ended by CR LF

    Job() { dir.Folder(QStringLiteral("out")); }
    void Add(const QString &name, const QByteArray &original, FileEncoding encoding = FileEncoding::CodePage,
             bool qualifies = true, const QByteArray &oldOutput = QByteArray())
    {
        const QByteArray appendix = qualifies ? EncodeAppendix(appendText, encoding, CodePage::System()) : QByteArray();
        items << Item{name, original, original + appendix, oldOutput};
        paths << In(name);
        dir.File(QStringLiteral("in/") + name, original);
        if (!oldOutput.isNull())
            dir.File(QStringLiteral("out/") + name, oldOutput);
    }
    QString In(const QString &name) const { return in + u'/' + name; }
    QString Out(const QString &name) const { return out + u'/' + name; }
    QString Data() const { return dir.filePath(QStringLiteral("data")); }
    // Writes the list and gives its path.
    QString List() const
    {
        dir.File(QStringLiteral("list"), paths.join(u'\n').toUtf8());
        return dir.filePath(QStringLiteral("list"));
    }
    // The engine's run in the child.
    QStringList Args(bool inPlace) const
    {
        return {QStringLiteral("run"), QLatin1String(inPlace ? "inplace" : "newfiles"), out, List(), Data()};
    }
    // What a run left of the item: 0 as before, 1 complete (appended, or written out), -1 anything else.
    int Outcome(const Item &item, bool inPlace) const
    {
        const QByteArray input = ReadBytes(In(item.name)), output = ReadBytes(Out(item.name));
        const bool inputKept = input == item.original;
        const bool outputKept = output == item.oldOutput && output.isNull() == item.oldOutput.isNull();
        if (inputKept && outputKept)
            return 0;
        const bool qualifies = item.complete != item.original;
        return qualifies && (inPlace ? input == item.complete && outputKept : inputKept && output == item.complete)
                   ? 1
                   : -1;
    }
    // The names in the input and output folders that are no file of the job.
    QStringList Strays() const
    {
        QSet<QString> known;
        for (const Item &item : items)
            known.insert(item.name);
        QStringList names = FolderNames(in) + FolderNames(out);
        names.removeIf([&](const QString &name) { return known.contains(name); });
        return names;
    }
    // Puts the files back as before a run: inputs cut back to their old length, the output folder
    // made again.
    void Restore(bool inPlace) const
    {
        if (!inPlace)
            QDir(out).removeRecursively();
        dir.Folder(QStringLiteral("out"));
        for (const Item &item : items) {
            if (inPlace)
                QVERIFY(QFile::resize(In(item.name), item.original.size()));
            else if (!item.oldOutput.isNull())
                dir.File(QStringLiteral("out/") + item.name, item.oldOutput);
        }
    }
};

} // namespace tarnwell::reliability
