// Signal handlers that remove the temporary files of the write under way.
#include "tools/interrupt_cleanup.h"

#include <atomic>
#include <csignal>
#include <cstring>

#include "w_lib/writers/file_replace.h"

#if defined(_WIN32)
#include <direct.h>
#include <io.h>
#include <process.h>
#else
#include <unistd.h>
#endif

namespace {

constexpr int kMaxFolders = 2;
constexpr size_t kMaxPath = 4096;
// Room for the slot number after a prefix.
constexpr size_t kSlotDigits = 8;

// Filled before each write, so that the handler only has to unlink: the
// prefixes ("FOLDER/vellmar-partial-PID-") are complete before the count
// that makes them visible is set.
char g_prefixes[kMaxFolders][kMaxPath + kSlotDigits];
size_t g_prefix_lengths[kMaxFolders];
volatile std::sig_atomic_t g_count = 0;
// A scratch file and its folder, of an output that goes to standard output.
char g_scratch_file[kMaxPath];
char g_scratch_folder[kMaxPath];
volatile std::sig_atomic_t g_has_scratch = 0;

int ExitStatusOf(int signal) {
#if defined(SIGPIPE)
  if (signal == SIGPIPE) return 141;
#endif
#if defined(SIGHUP)
  if (signal == SIGHUP) return 129;
#endif
  return signal == SIGINT ? 130 : 143;
}

void Unlink(const char* path) {
#if defined(_WIN32)
  _unlink(path);
#else
  unlink(path);
#endif
}

extern "C" void OnInterrupt(int signal) {
  const int count = g_count;
  for (int i = 0; i < count; ++i) {
    char* const path = g_prefixes[i];
    const size_t length = g_prefix_lengths[i];
    for (int slot = 0; slot < kTemporaryFileSlots; ++slot) {
      // The slot's number in decimal after the prefix, as TemporaryFilePath
      // writes it.
      char digits[kSlotDigits];
      int n = 0;
      for (int rest = slot; n == 0 || rest > 0; rest /= 10) digits[n++] = static_cast<char>('0' + rest % 10);
      for (int k = 0; k < n; ++k) path[length + static_cast<size_t>(k)] = digits[n - 1 - k];
      path[length + static_cast<size_t>(n)] = '\0';
      Unlink(path);
    }
  }
  if (g_has_scratch) {
    Unlink(g_scratch_file);
#if defined(_WIN32)
    _rmdir(g_scratch_folder);
#else
    rmdir(g_scratch_folder);
#endif
  }
  _exit(ExitStatusOf(signal));
}

}  // namespace

void InstallInterruptCleanup() {
#if defined(_WIN32)
  std::signal(SIGINT, OnInterrupt);
  std::signal(SIGTERM, OnInterrupt);
#else
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaddset(&action.sa_mask, signal);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  // A closed terminal.
  sigaction(SIGHUP, &action, nullptr);
  // A reader of standard output that goes away ends the program as the
  // signal would, but without leaving a scratch file behind.
  sigaction(SIGPIPE, &action, nullptr);
  // A file size limit then fails the write (EFBIG) instead of killing the
  // program, so that the temporary file is removed and the reason reported.
  std::signal(SIGXFSZ, SIG_IGN);
#endif
}

void BeginOutputs(const std::vector<std::string>& outputs) {
  EndOutputs();
  int count = 0;
  for (const std::string& output : outputs) {
    WritePlan plan;
    if (count == kMaxFolders || !PlanFileWrite(output, plan) || plan.in_place) continue;
    const std::string prefix = TemporaryFilePrefix(plan.folder, CurrentProcessId());
    if (prefix.size() >= kMaxPath) continue;
    bool known = false;
    for (int i = 0; i < count; ++i) known = known || prefix == g_prefixes[i];
    if (known) continue;
    std::memcpy(g_prefixes[count], prefix.c_str(), prefix.size() + 1);
    g_prefix_lengths[count] = prefix.size();
    ++count;
  }
  std::atomic_signal_fence(std::memory_order_seq_cst);
  g_count = count;
}

void EndOutputs() {
  g_count = 0;
  std::atomic_signal_fence(std::memory_order_seq_cst);
}

void BeginScratch(const std::string& file, const std::string& folder) {
  EndScratch();
  if (file.size() >= kMaxPath || folder.size() >= kMaxPath) return;
  std::memcpy(g_scratch_file, file.c_str(), file.size() + 1);
  std::memcpy(g_scratch_folder, folder.c_str(), folder.size() + 1);
  std::atomic_signal_fence(std::memory_order_seq_cst);
  g_has_scratch = 1;
}

void EndScratch() {
  g_has_scratch = 0;
  std::atomic_signal_fence(std::memory_order_seq_cst);
}
