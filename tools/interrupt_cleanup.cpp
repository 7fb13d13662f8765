// Signal handlers that remove the temporary files of the write under way.
#include "tools/interrupt_cleanup.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "w_lib/writers/file_replace.h"

#if defined(_WIN32)
#include <direct.h>
#include <io.h>
#include <process.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/syscall.h>
#else
#include <dirent.h>
#endif
#endif

namespace {

// Folders with outputs under way: two per input, for as many inputs as
// run side by side.
constexpr int kMaxFolders = 128;
constexpr size_t kMaxPath = 4096;
constexpr size_t kMaxName = 256;

// Filled before each write, so that the handler only has to look and
// unlink: the folders ("FOLDER/", or "./") and the start of the names in
// them ("vellmar-partial-PID-"), and how many outputs under way use each. An
// entry is written only while none uses it, complete before its count (and
// g_count, which only grows) makes it visible.
char g_folders[kMaxFolders][kMaxPath];
char g_name_starts[kMaxFolders][kMaxName];
volatile std::sig_atomic_t g_users[kMaxFolders];
volatile std::sig_atomic_t g_count = 0;
std::mutex g_table;  // orders the threads that change the table
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

// Whether name is start followed by the 16 hexadecimal digits of a
// temporary file's random part.
bool IsTemporaryName(const char* name, const char* start) {
  for (; *start; ++name, ++start)
    if (*name != *start) return false;
  int digits = 0;
  for (; (*name >= '0' && *name <= '9') || (*name >= 'a' && *name <= 'f'); ++name) ++digits;
  return *name == '\0' && digits == 16;
}

#if defined(_WIN32)

// Removes the files of folder whose names begin with start (the handler
// runs on a thread of its own here, free to call the system).
void RemoveFilesStartingWith(const char* folder, const char* start) {
  char pattern[kMaxPath + kMaxName + 2];
  std::snprintf(pattern, sizeof pattern, "%s%s*", folder, start);
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(pattern, &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    if (!IsTemporaryName(found.cFileName, start)) continue;
    char path[kMaxPath + MAX_PATH + 1];
    std::snprintf(path, sizeof path, "%s%s", folder, found.cFileName);
    Unlink(path);
  } while (FindNextFileA(search, &found));
  FindClose(search);
}

#elif defined(__linux__)

// The records that getdents64 fills.
struct FolderEntry {
  unsigned long long inode;
  long long offset;
  unsigned short length;
  unsigned char type;
  char name[1];
};

// Removes the temporary files of folder whose names begin with start, with
// system calls alone (reading a folder through the C library is not safe in a
// signal handler).
void RemoveFilesStartingWith(const char* folder, const char* start) {
  const int fd = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  alignas(8) static char entries[1 << 14];
  for (;;) {
    const long n = syscall(SYS_getdents64, fd, entries, sizeof entries);
    if (n <= 0) break;
    for (long at = 0; at < n;) {
      const FolderEntry* entry = reinterpret_cast<const FolderEntry*>(entries + at);
      if (IsTemporaryName(entry->name, start)) unlinkat(fd, entry->name, 0);
      at += entry->length;
    }
  }
  close(fd);
}

#else

void RemoveFilesStartingWith(const char* folder, const char* start) {
  DIR* dir = opendir(folder);
  if (!dir) return;
  while (const dirent* entry = readdir(dir))
    if (IsTemporaryName(entry->d_name, start)) unlinkat(dirfd(dir), entry->d_name, 0);
  closedir(dir);
}

#endif

// Removes the temporary files of the outputs under way and the scratch
// file; safe in a signal handler.
void RemoveTemporaryFiles() {
  const int count = g_count;
  for (int i = 0; i < count; ++i)
    if (g_users[i] > 0) RemoveFilesStartingWith(g_folders[i], g_name_starts[i]);
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

// The folders of the outputs, once each ("./" for the current one).
std::vector<std::string> FoldersOf(const std::vector<std::string>& outputs) {
  std::vector<std::string> folders;
  for (const std::string& output : outputs) {
    WritePlan plan;
    if (!PlanFileWrite(output, plan) || plan.in_place) continue;
    const std::string folder = plan.folder.empty() ? "./" : plan.folder;
    if (folder.size() >= kMaxPath) continue;
    bool known = false;
    for (const std::string& f : folders) known = known || f == folder;
    if (!known) folders.push_back(folder);
  }
  return folders;
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
    const std::lock_guard<std::mutex> lock(g_table);
    for (int i = 0; i < g_count; ++i)
      if (g_users[i] > 0) folders.emplace_back(g_folders[i]);
  }
  for (const std::string& folder : folders) {
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
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
  const std::vector<std::string> folders = FoldersOf(outputs);
  const std::string start = TemporaryFilePrefix("", CurrentProcessId());
  if (start.size() >= kMaxName) return;
  const std::lock_guard<std::mutex> lock(g_table);
  for (const std::string& folder : folders) {
    int free = -1, found = -1;
    for (int i = 0; i < g_count && found < 0; ++i) {
      if (g_users[i] > 0 && folder == g_folders[i]) found = i;
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
    std::memcpy(g_folders[free], folder.c_str(), folder.size() + 1);
    std::memcpy(g_name_starts[free], start.c_str(), start.size() + 1);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    g_users[free] = 1;
    if (free == g_count) {
      std::atomic_signal_fence(std::memory_order_seq_cst);
      g_count = g_count + 1;
    }
  }
}

void EndOutputs(const std::vector<std::string>& outputs) {
  const std::vector<std::string> folders = FoldersOf(outputs);
  const std::lock_guard<std::mutex> lock(g_table);
  for (const std::string& folder : folders) {
    for (int i = 0; i < g_count; ++i) {
      if (g_users[i] > 0 && folder == g_folders[i]) {
        g_users[i] = g_users[i] - 1;
        break;
      }
    }
  }
  std::atomic_signal_fence(std::memory_order_seq_cst);
}

#if defined(_WIN32)
InterruptedJobsWait::InterruptedJobsWait() {}
#else
InterruptedJobsWait::InterruptedJobsWait() {
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
