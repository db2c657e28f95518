#pragma once

// What the reliability tests share: the child program, run as it is or as an unprivileged user,
// and folders that such a user may work in.
#include "AppendHost.h"
#include "ChildProtocol.h"

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>

namespace tarnwell::reliability {

struct ChildResult
{
    bool finished = false; // false: it hung and was killed
    int exitCode = -1;
    QStringList lines;     // its standard output
    QString errors;        // its standard error

    QStringList Starting(const QString &tag) const; // the lines with this tag, the tag cut off
    QString Describe() const;                       // for failure messages
};

// The window's side of a run, for runs inside the test: answers from its fields, records the
// boxes, and calls `onEntry` when the run takes an entry's path, so a test can change the files
// in the middle of a run.
class RecordingHost final : public AppendHost
{
public:
    struct ErrorBox
    {
        QString description;
        QString procedure;
        int line = 0;
    };
    QStringList entries;
    QString text1, text2, text3;
    int combo1 = 0;
    bool option1 = true;
    QList<ErrorBox> errorBoxes;
    QStringList messages;
    std::function<void(int position)> onEntry;

    int EntryCount() override { return static_cast<int>(entries.size()); }
    QString EntryText(int position) override
    {
        if (onEntry)
            onEntry(position);
        return entries.value(position - 1);
    }
    QString Text1() override { return text1; }
    QString Text2() override { return text2; }
    QString Text3() override { return text3; }
    int Combo1Position() override { return combo1; }
    bool Option1Selected() override { return option1; }
    void SetProgressValue(double) override {}
    void SetProgressText(const QString &) override {}
    void SetPointer(int) override {}
    void ShowMessage(const QString &text) override { messages << text; }
    void Yield() override {}
    void ShowErrorBox(const QString &description, const QString &procedure, int line) override
    {
        errorBoxes.append({description, procedure, line});
    }
};

// Whether this process is the superuser, whom file permissions do not stop.
bool RunningAsRoot();

// Runs the child program with `args` and waits for it. With `unprivileged`, a superuser runs it
// as the user "nobody" (an ordinary user runs it as itself); QTest fails when that is impossible.
ChildResult RunChild(const QStringList &args, bool unprivileged = false,
                     const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment(),
                     int timeoutMs = 120000);

// The child program, as a copy that every user may run.
QString ChildProgram();

// A temporary folder under the system's temporary folder that every user may enter and write.
class SharedDir
{
public:
    SharedDir();
    bool isValid() const { return m_dir.isValid(); }
    QString path() const { return m_dir.path(); }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }
    // Creates the file (and its folders), readable and writable by everyone.
    void File(const QString &relative, const QByteArray &bytes) const;
    void Folder(const QString &relative) const;
    void Mode(const QString &relative, unsigned mode) const;

private:
    QTemporaryDir m_dir;
};

// The bytes of the file; a null array for a missing or unreadable one ("" for an empty one).
QByteArray ReadBytes(const QString &path);

// Every name in the folder, hidden ones included, sorted.
QStringList FolderNames(const QString &folder);

} // namespace tarnwell::reliability
