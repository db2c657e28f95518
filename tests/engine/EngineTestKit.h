#pragma once

#include "AppendRun.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTest>

#include <functional>

namespace tarnwell::testing {

using namespace Qt::StringLiterals;

// The window's fields a run reads; by default every file qualifies ("does not" hold "zzz"), in place.
struct Job
{
    QStringList entries;
    QString text1 = u"TAIL"_s, text2 = u"zzz"_s, text3;
    int combo1 = 1;
    bool option1 = true;
};

// The window, scripted: answers from `job` (which `onCall` may edit mid-run), records the calls in order
// ("Yield", "Pointer(11)", "EntryText(2)", ...) and error boxes as "description|procedure|line".
class FakeHost final : public AppendHost
{
public:
    explicit FakeHost(Job j = {}) : job(std::move(j)) {}
    Job job;
    QStringList calls, boxes;
    std::function<void(const QString &call)> onCall;

    int EntryCount() override { return static_cast<int>(job.entries.size()); }
    QString EntryText(int position) override
    {
        Record(u"EntryText(%1)"_s.arg(position));
        return job.entries.value(position - 1);
    }
    QString Text1() override { return job.text1; }
    QString Text2() override { return job.text2; }
    QString Text3() override { return job.text3; }
    int Combo1Position() override { return job.combo1; }
    bool Option1Selected() override { return job.option1; }
    void SetProgressValue(double percent) override { Record(u"Progress(%1)"_s.arg(percent)); }
    void SetProgressText(const QString &text) override { Record(u"ProgressText(%1)"_s.arg(text)); }
    void SetPointer(int state) override { Record(u"Pointer(%1)"_s.arg(state)); }
    void Yield() override { Record(u"Yield"_s); }
    void ShowMessage(const QString &text) override { Record(u"Message(%1)"_s.arg(text)); }
    void ShowErrorBox(const QString &description, const QString &procedure, int line) override
    {
        boxes << u"%1|%2|%3"_s.arg(description, procedure).arg(line);
    }

private:
    void Record(const QString &call)
    {
        calls << call;
        if (onCall)
            onCall(call);
    }
};

// Runs the job through a fresh host, with the code page pinned to windows-1252.
inline FakeHost Run(Job job, const CodePage &codePage = CodePage::Windows1252())
{
    FakeHost host(std::move(job));
    RunAppendJob(host, codePage);
    return host;
}

inline void WriteBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size(), qPrintable(path));
}

// Empty for a missing or unreadable file (TreeNames tells those apart).
inline QByteArray ReadBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Every file and folder under `folder`, hidden ones too (a forgotten temporary file shows), sorted.
inline QStringList TreeNames(const QString &folder)
{
    QStringList names;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        names << QDir(folder).relativeFilePath(it.next());
    names.sort();
    return names;
}

} // namespace tarnwell::testing
