#pragma once

#include "trap/ErrorTrap.h"

#include <QString>

namespace tarnwell {

// Which files qualify: those in which the condition text occurs, those in which it does not, or
// none at all (no condition chosen).
enum class ConditionMode { Does, DoesNot, Unset };

// Where a qualifying file's result goes: over the file itself, or as a new file of the same name
// in the output folder.
enum class SaveMode { EditInPlace, NewFilesInFolder };

// Everything the append run needs from the window. The run reads the job's fields through it
// at the moment it needs them, so an edit made during a run applies from the next file on.
// ShowErrorBox (from ErrorReporter) reports a failure of the run through the error box.
class AppendHost : public ErrorReporter
{
public:
    virtual int EntryCount() = 0;
    virtual QString EntryText(int position) = 0; // position from 1
    // The same, for a file that the run opens before its turn; the run still takes each path with
    // EntryText when it comes to it, and uses nothing opened ahead under another path.
    virtual QString EntryTextAhead(int position) = 0;
    virtual QString AppendText() = 0;
    virtual QString ConditionText() = 0;
    virtual tarnwell::ConditionMode ConditionMode() = 0;
    virtual tarnwell::SaveMode SaveMode() = 0;
    virtual QString OutputFolder() = 0;
    virtual void SetProgressValue(double percent) = 0;
    virtual void SetProgressText(const QString &text) = 0;
    virtual void SetBusy(bool busy) = 0;               // the busy pointer, or the ordinary one
    virtual void ShowMessage(const QString &text) = 0; // OK only, no icon, application title
    virtual void Yield() = 0;                          // let the message loop run
};

} // namespace tarnwell
