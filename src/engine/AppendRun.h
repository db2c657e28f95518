#pragma once

#include "engine/AppendHost.h"
#include "engine/CodePage.h"
#include "engine/Condition.h"

#include <QString>

namespace tarnwell {

// Whether a file with the given test result is written, in the given mode.
bool Qualifies(ConditionMode mode, bool found);

class AppendJournal;
class RunRecorder;

// The append run over the host's list: the two preconditions, then every file read, tested and,
// where the condition holds, written; progress and "Done." through the host.
// Failures are reported as failures of the handler `procedure` (the one that started the run),
// and the run goes on with the next file.
// With a `journal`, what a killed run left unfinished is resolved first, and every in-place
// append is recorded, so that none is ever left half made. With a `recorder`, the run keeps its
// record: the job, and what became of each entry.
void RunAppendJob(AppendHost &host, const QString &procedure, const CodePage &codePage = CodePage::System(),
                  AppendJournal *journal = nullptr, RunRecorder *recorder = nullptr);

} // namespace tarnwell
