// Messages and progress on standard error. The progress line is redrawn by
// one ticker thread twice a second while a run goes on; every other message
// takes the same lock and clears the line before it is printed.
#include "tools/console.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "w_lib/util/code_page.h"
#include "w_lib/util/termination_signals.h"
#include "w_lib/util/text.h"
#include "tools/locale_charset.h"

#if defined(_WIN32)
#include <io.h>
#define VELLMAR_ISATTY(fd) _isatty(fd)
#else
#include <unistd.h>
#define VELLMAR_ISATTY(fd) isatty(fd)
#endif

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kQuietPeriod = std::chrono::seconds(1);  // no line for work shorter than this
constexpr auto kTick = std::chrono::milliseconds(500);

struct Console {
  std::mutex mutex;
  std::condition_variable wake;
  bool quiet = false;
  bool show_progress = false;
  // The terminal reads UTF-8: names are shown converted (ShownText).
  const bool utf8 = LocaleCharsetIsUtf8();
  // The run under way.
  std::thread ticker;
  bool running = false;
  Clock::time_point start;
  size_t files = 0;
  size_t index = 0;
  std::string name;
  const char* stage = "";
  std::thread::id worker;  // the thread of the file shown
  size_t shown = 0;  // characters of the progress line on the terminal
};

Console& TheConsole() {
  static Console console;
  return console;
}

// Overwrites the progress line with blanks; with the lock held.
void ClearLine(Console& c) {
  if (c.shown == 0) return;
  std::fprintf(stderr, "\r%*s\r", static_cast<int>(c.shown), "");
  c.shown = 0;
}

void DrawLine(Console& c) {
  if (Clock::now() - c.start < kQuietPeriod) return;
  std::string line = "vellmar: ";
  if (c.files > 1) line += "file " + std::to_string(c.index + 1) + " of " + std::to_string(c.files) + ", ";
  line += c.name;
  if (*c.stage) line += std::string(": ") + c.stage;
  const long seconds =
      static_cast<long>(std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - c.start).count());
  line += " (" + std::to_string(seconds) + " s)";
  const size_t shown = c.shown;
  std::fprintf(stderr, "\r%s", line.c_str());
  if (line.size() < shown) std::fprintf(stderr, "%*s", static_cast<int>(shown - line.size()), "");
  std::fflush(stderr);
  c.shown = line.size() > shown ? line.size() : shown;
}

void Tick() {
  Console& c = TheConsole();
  std::unique_lock<std::mutex> lock(c.mutex);
  while (c.running) {
    c.wake.wait_for(lock, kTick);
    if (c.running) DrawLine(c);
  }
}

// Where this thread's lines go while its input is kept apart, or null.
thread_local MessageLog* t_kept = nullptr;

void Emit(std::FILE* stream, const std::string& text) {
  if (t_kept) {
    t_kept->emplace_back(stream, text);
    return;
  }
  Console& c = TheConsole();
  std::lock_guard<std::mutex> lock(c.mutex);
  ClearLine(c);
  std::fputs(text.c_str(), stream);
  if (stream == stdout) std::fflush(stdout);
}

void Print(const char* kind, const std::string& message) {
  Emit(stderr, std::string("vellmar: ") + kind + ShownText(message) + "\n");
}

}  // namespace

std::string ShownText(const std::string& text) {
  const std::string escaped = EscapeControlCharacters(text);
  return TheConsole().utf8 ? TextAsUtf8Escaped(escaped) : escaped;
}

void SetUpConsole(bool quiet) {
  Console& c = TheConsole();
  c.quiet = quiet;
  const char* forced = std::getenv("VELLMAR_PROGRESS");
  c.show_progress = !quiet && ((forced && std::strcmp(forced, "1") == 0) || VELLMAR_ISATTY(2));
}

void PrintError(const std::string& message) { Print("", message); }
void PrintWarning(const std::string& message) { Print("warning: ", message); }
void PrintNote(const std::string& message) {
  if (!TheConsole().quiet) Print("note: ", message);
}

void PrintResult(const std::string& line) { Emit(stdout, line + "\n"); }

KeptMessages::KeptMessages(MessageLog& log) : before_(t_kept) { t_kept = &log; }
KeptMessages::~KeptMessages() { t_kept = before_; }

void ShowMessages(const MessageLog& log) {
  Console& c = TheConsole();
  std::lock_guard<std::mutex> lock(c.mutex);
  ClearLine(c);
  for (const auto& [stream, text] : log) std::fputs(text.c_str(), stream);
  std::fflush(stdout);
}

void BeginProgress(size_t files) {
  Console& c = TheConsole();
  if (!c.show_progress) return;
  std::lock_guard<std::mutex> lock(c.mutex);
  c.start = Clock::now();
  c.files = files;
  c.running = true;
  try {
    // The ticker leaves the termination signals to the thread that does
    // the work, which holds them off while it puts a pair of files in place.
    const TerminationSignalsHeld held;
    c.ticker = std::thread(Tick);
  } catch (const std::system_error&) {
    c.running = false;  // no thread: no progress line, the work goes on
  }
}

void ProgressFile(size_t index, const std::string& name) {
  Console& c = TheConsole();
  if (!c.show_progress) return;
  std::lock_guard<std::mutex> lock(c.mutex);
  c.index = index;
  c.name = ShownText(name);
  c.stage = "";
  c.worker = std::this_thread::get_id();
}

void ProgressStage(const char* stage) {
  Console& c = TheConsole();
  if (!c.show_progress) return;
  std::lock_guard<std::mutex> lock(c.mutex);
  if (c.worker == std::this_thread::get_id()) c.stage = stage;
}

void EndProgress(const BatchCounts& counts) {
  Console& c = TheConsole();
  if (!c.show_progress) return;
  {
    std::lock_guard<std::mutex> lock(c.mutex);
    c.running = false;
  }
  c.wake.notify_all();
  if (c.ticker.joinable()) c.ticker.join();
  std::lock_guard<std::mutex> lock(c.mutex);
  ClearLine(c);
  const double seconds = std::chrono::duration<double>(Clock::now() - c.start).count();
  if (c.files > 1) std::fprintf(stderr, "vellmar: %s\n", SummaryLine(counts, seconds).c_str());
}

std::string SummaryLine(const BatchCounts& counts, double seconds) {
  char time[32];
  std::snprintf(time, sizeof time, "%.1f", seconds);
  std::string line = std::to_string(counts.written) + " " + counts.done + ", ";
  if (counts.up_to_date > 0) line += std::to_string(counts.up_to_date) + " up to date, ";
  return line + std::to_string(counts.failed) + " failed in " + time + " s";
}
