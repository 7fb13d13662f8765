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

constexpr int kMaxOutputs = 2;
constexpr size_t kMaxPath = 4096;

// Filled before each write, so that the handler only has to unlink: the
// paths are complete before the count that makes them visible is set.
char g_temporaries[kMaxOutputs][kMaxPath];
volatile std::sig_atomic_t g_count = 0;
// A scratch file and its folder, of an output that goes to standard output.
char g_scratch_file[kMaxPath];
char g_scratch_folder[kMaxPath];
volatile std::sig_atomic_t g_has_scratch = 0;

int ExitStatusOf(int signal) {
#if defined(SIGPIPE)
  if (signal == SIGPIPE) return 141;
#endif
  return signal == SIGINT ? 130 : 143;
}

extern "C" void OnInterrupt(int signal) {
  const int count = g_count;
  for (int i = 0; i < count; ++i) {
#if defined(_WIN32)
    _unlink(g_temporaries[i]);
#else
    unlink(g_temporaries[i]);
#endif
  }
  if (g_has_scratch) {
#if defined(_WIN32)
    _unlink(g_scratch_file);
    _rmdir(g_scratch_folder);
#else
    unlink(g_scratch_file);
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
  sigaddset(&action.sa_mask, SIGINT);
  sigaddset(&action.sa_mask, SIGTERM);
  sigaddset(&action.sa_mask, SIGPIPE);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
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
    std::string target;
    if (count == kMaxOutputs || !ResolveWriteTarget(output, target)) continue;
    const std::string temporary = PartialFilePath(target, CurrentProcessId());
    if (temporary.size() >= kMaxPath) continue;
    std::memcpy(g_temporaries[count], temporary.c_str(), temporary.size() + 1);
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
