// Interrupting the tool mid-write: SIGINT and SIGTERM (and SIGPIPE, when
// the reader of standard output goes away) remove the temporary files of the
// outputs being written and end the program with 130, 143 and 141 (128 plus
// the signal), so that neither a partial file under a final name nor a
// temporary file stays behind. The writers, in this program or in the
// plug-in module, name their temporary files by the target and the process
// id alone (PartialFilePath), so the handler needs none of their state.
#pragma once

#include <string>
#include <vector>

// Installs the handlers, and ignores SIGXFSZ so that a file size limit
// fails the write like a full disk; once, at start-up.
void InstallInterruptCleanup();

// The outputs about to be written (at most two: a file and its companion);
// their temporary files are removed on an interrupt until EndOutputs.
void BeginOutputs(const std::vector<std::string>& outputs);
void EndOutputs();

// A scratch file and its folder, removed on an interrupt until EndScratch:
// an output on its way to standard output.
void BeginScratch(const std::string& file, const std::string& folder);
void EndScratch();
