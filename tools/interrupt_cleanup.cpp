// Signal handlers that remove the temporary files of the write under way.
#include "tools/interrupt_cleanup.h"

#include <atomic>
#include <csignal>
#include <cstring>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "w_lib/writers/file_replace.h"

#if defined(_WIN32)
#include <direct.h>
#include <io.h>
#include <process.h>
#else
#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace {

// Folders with outputs under way: two per input, for as many inputs as
// run side by side.
constexpr int kMaxFolders = 128;
constexpr size_t kMaxPath = 4096;
// Room for the slot number after a prefix.
constexpr size_t kSlotDigits = 8;

// Filled before each write, so that the handler only has to unlink: the
// temporary file prefix of each folder with an output under way, and how
// many outputs there use it. An entry is written only while its count is 0,
// and g_count only grows, each entry complete before it counts.
char g_prefixes[kMaxFolders][kMaxPath + kSlotDigits];
size_t g_prefix_lengths[kMaxFolders];
std::string g_folders[kMaxFolders];  // read only outside the handler
volatile std::sig_atomic_t g_users[kMaxFolders];
volatile std::sig_atomic_t g_count = 0;
std::mutex g_table;  // orders the threads that change the table
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

// Removes every temporary file of the outputs under way and the scratch
// file; safe in a signal handler.
void RemoveTemporaryFiles() {
  const int count = g_count;
  for (int i = 0; i < count; ++i) {
    if (g_users[i] == 0) continue;
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
}

extern "C" void OnInterrupt(int signal) {
  RemoveTemporaryFiles();
  _exit(ExitStatusOf(signal));
}

// The prefixes of the outputs' folders, once each.
std::vector<std::pair<std::string, std::string>> PrefixesOf(const std::vector<std::string>& outputs) {
  std::vector<std::pair<std::string, std::string>> prefixes;
  for (const std::string& output : outputs) {
    WritePlan plan;
    if (!PlanFileWrite(output, plan) || plan.in_place) continue;
    std::string prefix = TemporaryFilePrefix(plan.folder, CurrentProcessId());
    if (prefix.size() >= kMaxPath) continue;
    bool known = false;
    for (const auto& p : prefixes) known = known || p.first == prefix;
    if (!known) prefixes.emplace_back(std::move(prefix), plan.folder);
  }
  return prefixes;
}

#if !defined(_WIN32)
void TerminationSet(sigset_t& set) {
  sigemptyset(&set);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&set, signal);
}

// Takes the termination signals while jobs run: waits for the commits under
// way in the folders of the outputs (taking each folder's lock, which a
// commit holds while it renames), then cleans up and ends the program.
void TakeInterrupts() {
  sigset_t set;
  TerminationSet(set);
  int signal = 0;
  while (sigwait(&set, &signal) != 0) {
  }
  std::vector<std::string> folders;
  {
    std::lock_guard<std::mutex> lock(g_table);
    for (int i = 0; i < g_count; ++i)
      if (g_users[i] > 0) folders.push_back(g_folders[i]);
  }
  for (const std::string& folder : folders) {
    const int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) flock(fd, LOCK_EX);  // held until the end
  }
  RemoveTemporaryFiles();
  _exit(ExitStatusOf(signal));
}
#endif

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
  const auto prefixes = PrefixesOf(outputs);
  std::lock_guard<std::mutex> lock(g_table);
  for (const auto& [prefix, folder] : prefixes) {
    int free = -1, found = -1;
    for (int i = 0; i < g_count && found < 0; ++i) {
      if (g_users[i] > 0 && prefix == g_prefixes[i]) found = i;
      if (g_users[i] == 0 && free < 0) free = i;
    }
    if (found >= 0) {
      g_users[found] = g_users[found] + 1;
      continue;
    }
    if (free < 0) {
      if (g_count == kMaxFolders) continue;
      free = g_count;
    }
    std::memcpy(g_prefixes[free], prefix.c_str(), prefix.size() + 1);
    g_prefix_lengths[free] = prefix.size();
    g_folders[free] = folder;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    g_users[free] = 1;
    if (free == g_count) {
      std::atomic_signal_fence(std::memory_order_seq_cst);
      g_count = g_count + 1;
    }
  }
}

void EndOutputs(const std::vector<std::string>& outputs) {
  const auto prefixes = PrefixesOf(outputs);
  std::lock_guard<std::mutex> lock(g_table);
  for (const auto& prefix : prefixes) {
    for (int i = 0; i < g_count; ++i) {
      if (g_users[i] > 0 && prefix.first == g_prefixes[i]) {
        g_users[i] = g_users[i] - 1;
        break;
      }
    }
  }
  std::atomic_signal_fence(std::memory_order_seq_cst);
}

#if defined(_WIN32)
InterruptedJobsWait::InterruptedJobsWait() {}
InterruptedJobsWait::~InterruptedJobsWait() {}
#else
InterruptedJobsWait::InterruptedJobsWait() {
  sigset_t set;
  TerminationSet(set);
  pthread_sigmask(SIG_BLOCK, &set, &before_);
  // One taker for the whole run of the program: it waits for a signal
  // that only arrives while the signals are held off everywhere.
  static const bool started = [] {
    try {
      std::thread(TakeInterrupts).detach();
      return true;
    } catch (const std::system_error&) {
      return false;
    }
  }();
  (void)started;
}
InterruptedJobsWait::~InterruptedJobsWait() { pthread_sigmask(SIG_SETMASK, &before_, nullptr); }
#endif

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
