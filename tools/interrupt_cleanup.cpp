// Signal handlers that remove the temporary files of the write under way.
#include "tools/interrupt_cleanup.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "w_lib/writers/file_replace.h"

#if defined(_WIN32)
#include <direct.h>
#include <io.h>
#include <process.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/syscall.h>
#else
#include <dirent.h>
#endif
#endif

namespace {

constexpr int kMaxFolders = 2;
constexpr size_t kMaxPath = 4096;
constexpr size_t kMaxName = 256;

// Filled before each write, so that the handler only has to look and
// unlink: the folders ("FOLDER/", or "./") and the start of the names in
// them ("vellmar-partial-PID-") are complete before the count that makes
// them visible is set.
char g_folders[kMaxFolders][kMaxPath];
char g_name_starts[kMaxFolders][kMaxName];
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

extern "C" void OnInterrupt(int signal) {
  const int count = g_count;
  for (int i = 0; i < count; ++i) RemoveFilesStartingWith(g_folders[i], g_name_starts[i]);
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
    const std::string folder = plan.folder.empty() ? "./" : plan.folder;
    const std::string start = TemporaryFilePrefix("", CurrentProcessId());
    if (folder.size() >= kMaxPath || start.size() >= kMaxName) continue;
    bool known = false;
    for (int i = 0; i < count; ++i) known = known || folder == g_folders[i];
    if (known) continue;
    std::memcpy(g_folders[count], folder.c_str(), folder.size() + 1);
    std::memcpy(g_name_starts[count], start.c_str(), start.size() + 1);
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
