// What the tool tells its user on standard error: errors, warnings and notes,
// and on a terminal the progress of work that takes more than a second and
// the summary of a batch.
#pragma once

#include <cstddef>
#include <string>

// Decides once what is shown: notes, progress and the summary not with
// quiet; progress and the summary only when standard error is a terminal
// (VELLMAR_PROGRESS=1 in the environment shows them anyway).
void SetUpConsole(bool quiet);

// text as the user's terminal shows it: control characters escaped
// (EscapeControlCharacters) and, when the locale's character set is UTF-8,
// converted to UTF-8 (TextAsUtf8Escaped: names in code page 932 converted,
// a byte that converts to nothing as "\xNN"); otherwise its bytes as they
// are.
std::string ShownText(const std::string& text);

// "vellmar: message", "vellmar: warning: message", "vellmar: note: message";
// each clears the progress line first. Control characters in the message
// (of a file or object name) are shown escaped, and names are shown as
// ShownText shows them.
void PrintError(const std::string& message);
void PrintWarning(const std::string& message);
void PrintNote(const std::string& message);

// The progress of a run over files: begun with their count, then each file
// and each of its stages (reading, passes, writing). A line on standard error
// names them once the run has gone on for a second, refreshed by a ticker.
void BeginProgress(size_t files);
void ProgressFile(size_t index, const std::string& name);  // index from 0
void ProgressStage(const char* stage);
// Ends the progress line; a batch (more than one file) ends with its
// summary.
void EndProgress(size_t done, size_t failed);

// "3 done, 1 failed in 2.5 s"
std::string SummaryLine(size_t done, size_t failed, double seconds);
