// "Remove Filenames Containing X", "Remove Filenames Not Cont. X" and "Clear List".
#include "window/Form1.h"

#include "engine/ListFilters.h"
#include "window/Platform.h"

namespace tarnwell {

void Form1::RemoveEntries(bool containing, const QString &prompt, const QString &procedure)
{
    if (ListLocked())
        return;
    ErrorTrap trap(*this, procedure);
    QString answer;
    trap.Line(100, [&] { answer = m_platform.InputBox(this, prompt, m_appTitle, QString()); });
    if (answer.isEmpty()) // also a cancelled box; an answer of blanks is a valid text
        return;
    if (!BeginBusy(Busy::Filter))
        return;
    trap.Line(102, [&] { SetPointerState(kPointerBusy); });
    trap.Line(104, [&] {
        const auto yield = [this] { Yield(); };
        m_files.RemovePositions(containing ? PositionsContaining(m_files.Entries(), answer, yield)
                                           : PositionsNotContaining(m_files.Entries(), answer, yield));
    });
    trap.Line(106, [&] { SetPointerState(kPointerDefault); });
    EndBusy();
}

void Form1::PushButton5_Click()
{
    RemoveEntries(true, QStringLiteral("Remove entries containing: "), QStringLiteral("PushButton5_Click"));
}

void Form1::PushButton11_Click()
{
    RemoveEntries(false, QStringLiteral("Remove entries not containing: "), QStringLiteral("PushButton11_Click"));
}

void Form1::PushButton7_Click()
{
    if (ListLocked())
        return;
    ErrorTrap trap(*this, QStringLiteral("PushButton7_Click"));
    trap.Line(100, [&] { m_files.Clear(); });
}

} // namespace tarnwell
