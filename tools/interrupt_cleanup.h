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

// Installs the handlers, and ignores SIGXFSZ so that a file size limit
// fails the write like a full disk; once, at start-up.
void InstallInterruptCleanup();

// The outputs about to be written (at most two: a file and its companion);
// the temporary files in their folders are removed on an interrupt until
// EndOutputs.
void BeginOutputs(const std::vector<std::string>& outputs);
void EndOutputs();

// A scratch file and its folder, removed on an interrupt until EndScratch:
// an output on its way to standard output where the scratch file cannot be
// nameless.
void BeginScratch(const std::string& file, const std::string& folder);
void EndScratch();
