// Interrupting the tool mid-write: SIGINT, SIGTERM and SIGHUP (and SIGPIPE,
// when the reader of standard output goes away) remove the temporary files
// of the outputs being written and end the program with 130, 143, 129 and
// 141 (128 plus the signal), so that neither a partial file under a final
// name nor a temporary file stays behind. The writers, in this program or in
// the plug-in module, make their temporary files in the target's folder
// under names that begin with the process id (TemporaryFilePrefix) and end
// in a random part, so the handler needs none of their state: it removes
// every file of the process in the folders of the outputs.
#pragma once

#include <string>
#include <vector>

#include "w_lib/util/termination_signals.h"

// Installs the handlers, and ignores SIGXFSZ so that a file size limit
// fails the write like a full disk; once, at start-up.
void InstallInterruptCleanup();

// The outputs about to be written (a file and its companion); the temporary
// files in their folders are removed on an interrupt until EndOutputs with
// the same outputs. Jobs side by side each begin and end their own.
void BeginOutputs(const std::vector<std::string>& outputs);
void EndOutputs(const std::vector<std::string>& outputs);

// While in scope, the calling thread holds off the termination signals, and
// so does every thread it starts meanwhile for good; an interrupt is then
// taken by a thread of its own, which waits (by the folders' locks) for the
// commits under way in the folders of the outputs begun, so that no pair of
// files is put in place by half, then cleans up and ends the program as the
// handlers do. A reader of standard output that goes away still ends the
// program at once. Nothing on Windows.
class InterruptedJobsWait {
 public:
  InterruptedJobsWait();

 private:
  TerminationSignalsHeld held_;  // from before the taker starts to the end of the scope
};

// A scratch file and its folder, removed on an interrupt until EndScratch:
// an output on its way to standard output where the scratch file cannot be
// nameless.
void BeginScratch(const std::string& file, const std::string& folder);
void EndScratch();
