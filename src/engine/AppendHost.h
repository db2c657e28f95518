#pragma once

#include "ErrorTrap.h"

#include <QString>

namespace tarnwell {

// Everything the append run needs from the window. The run reads the job's fields through it
// at the moment it needs them, so an edit made during a run applies from the next file on.
// ShowErrorBox (from ErrorReporter) reports a failure of the run through the error box.
class AppendHost : public ErrorReporter
{
public:
    virtual int EntryCount() = 0;
    virtual QString EntryText(int position) = 0; // position from 1
    virtual QString Text1() = 0;                 // the text to append
    virtual QString Text2() = 0;                 // the condition text
    virtual QString Text3() = 0;                 // the output folder
    virtual int Combo1Position() = 0;            // 0 "does", 1 "does not", -1 none
    virtual bool Option1Selected() = 0;          // true: edit the input files in place
    virtual void SetProgressValue(double percent) = 0;
    virtual void SetProgressText(const QString &text) = 0;
    virtual void SetBusy(bool busy) = 0;               // the busy pointer, or the ordinary one
    virtual void ShowMessage(const QString &text) = 0; // OK only, no icon, application title
    virtual void Yield() = 0;                          // let the message loop run
};

} // namespace tarnwell
