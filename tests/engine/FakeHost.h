#pragma once

#include "AppendHost.h"

#include <QStringList>

#include <functional>

namespace tarnwell::testing {

// A scripted stand-in for the window: answers from its fields and records every call, in order,
// as one line of text ("Yield", "SetPointer(11)", "EntryText(2)", ...). `onCall` may change the
// fields in the middle of a run, the way a user editing the window would.
class FakeHost final : public AppendHost
{
public:
    struct ErrorBox
    {
        QString description;
        QString procedure;
        int line = 0;
    };

    QStringList entries;
    QString text1;
    QString text2;
    QString text3;
    int combo1 = 0;
    bool option1 = true;

    QStringList calls;
    QList<ErrorBox> errorBoxes;
    QStringList messages;
    QList<double> progressValues;
    std::function<void(const QString &call)> onCall;

    int EntryCount() override { return Record(QStringLiteral("EntryCount"), static_cast<int>(entries.size())); }
    QString EntryText(int position) override
    {
        return Record(QStringLiteral("EntryText(%1)").arg(position), entries.value(position - 1));
    }
    QString Text1() override { return Record(QStringLiteral("Text1"), text1); }
    QString Text2() override { return Record(QStringLiteral("Text2"), text2); }
    QString Text3() override { return Record(QStringLiteral("Text3"), text3); }
    int Combo1Position() override { return Record(QStringLiteral("Combo1Position"), combo1); }
    bool Option1Selected() override { return Record(QStringLiteral("Option1Selected"), option1); }
    void SetProgressValue(double percent) override
    {
        progressValues.append(percent);
        Record(QStringLiteral("SetProgressValue(%1)").arg(percent), 0);
    }
    void SetProgressText(const QString &text) override { Record(QStringLiteral("SetProgressText(%1)").arg(text), 0); }
    void SetPointer(int state) override { Record(QStringLiteral("SetPointer(%1)").arg(state), 0); }
    void ShowMessage(const QString &text) override
    {
        messages.append(text);
        Record(QStringLiteral("ShowMessage(%1)").arg(text), 0);
    }
    void Yield() override { Record(QStringLiteral("Yield"), 0); }
    void ShowErrorBox(const QString &description, const QString &procedure, int line) override
    {
        errorBoxes.append({description, procedure, line});
        Record(QStringLiteral("ShowErrorBox(%1,%2)").arg(procedure).arg(line), 0);
    }

    // The calls of a run without its reads of the fields: the visible effects only.
    QStringList Effects() const
    {
        QStringList effects;
        for (const QString &call : calls) {
            if (call.startsWith(QLatin1String("Set")) || call.startsWith(QLatin1String("Show")) || call == QLatin1String("Yield"))
                effects.append(call);
        }
        return effects;
    }

private:
    template<typename T>
    T Record(const QString &call, T answer)
    {
        calls.append(call);
        if (onCall)
            onCall(call);
        return answer;
    }
};

} // namespace tarnwell::testing
