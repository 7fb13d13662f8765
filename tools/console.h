// What the tool tells its user on standard error: errors, warnings and notes,
// and on a terminal the progress of work that takes more than a second and
// the summary of a batch.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

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

// A line for standard output (a batch's "IN -> OUT"), shown after the
// progress line is cleared.
void PrintResult(const std::string& line);

// The lines that one input's work printed while it was kept apart: their
// stream (stdout or stderr) and their text, newline included.
using MessageLog = std::vector<std::pair<std::FILE*, std::string>>;

// While in scope, what this thread prints (errors, warnings, notes and
// results) goes into log instead, so that inputs worked on side by side
// show their lines whole and in their own order.
class KeptMessages {
 public:
  explicit KeptMessages(MessageLog& log);
  ~KeptMessages();
  KeptMessages(const KeptMessages&) = delete;
  KeptMessages& operator=(const KeptMessages&) = delete;

 private:
  MessageLog* before_;
};

// Prints the lines of a log, each where it was meant to go.
void ShowMessages(const MessageLog& log);

// The progress of a run over files: begun with their count, then each file
// and each of its stages (reading, passes, writing). A line on standard error
// names them once the run has gone on for a second, refreshed by a ticker.
void BeginProgress(size_t files);
// Where several files are worked on at once, the line follows the one begun
// last, and the stages of its thread.
void ProgressFile(size_t index, const std::string& name);  // index from 0
void ProgressStage(const char* stage);

// How a batch ended: the inputs written (done names them, "converted"),
// those whose outputs were newer already, and those that failed.
struct BatchCounts {
  const char* done = "done";
  size_t written = 0;
  size_t up_to_date = 0;
  size_t failed = 0;
};

// Ends the progress line; a batch (more than one file) ends with its
// summary.
void EndProgress(const BatchCounts& counts);

// "12 converted, 830 up to date, 1 failed in 2.5 s"; the inputs up to date
// only where there are some.
std::string SummaryLine(const BatchCounts& counts, double seconds);
