// Whole-file replacement through a temporary file and a rename.
#include "w_lib/writers/file_replace.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <thread>
#include <tuple>
#include <vector>

#include "w_lib/util/path_parts.h"
#include "w_lib/util/termination_signals.h"

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
// The system's random source (RtlGenRandom), exported by advapi32.
extern "C" BOOLEAN NTAPI SystemFunction036(PVOID buffer, ULONG length);
#else
#include <sys/file.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/random.h>
#endif
#endif

namespace {

std::string FolderOf(const std::string& path) { return SystemFolderOf(path); }

// Records the reason of a failed start and returns it.
WriteResult Fail(FileReplacement& r, int error) {
  if (r.error == 0) r.error = error != 0 ? error : EIO;
  return WriteResult::Failure(r.error);
}

#if defined(_WIN32)

// The device names that Windows keeps in every folder ("NUL", "con.txt").
bool IsDeviceName(const std::string& path) {
  std::string name = path.substr(SplitSystemPath(path).name);
  name = name.substr(0, name.find('.'));
  for (char& c : name) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  if (name == "NUL" || name == "CON" || name == "PRN" || name == "AUX") return true;
  return name.size() == 4 && (name.compare(0, 3, "COM") == 0 || name.compare(0, 3, "LPT") == 0) &&
         name[3] >= '1' && name[3] <= '9';
}

int OpenExclusive(const std::string& path, bool text) {
  return _open(path.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | (text ? _O_TEXT : _O_BINARY),
               _S_IREAD | _S_IWRITE);
}

// The errno value for the Windows error of a failed rename or link.
int ErrnoOf(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    case ERROR_NOT_SAME_DEVICE: return EXDEV;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return EEXIST;
    default: return EIO;
  }
}

// 0, or the reason the rename failed.
int RenameOver(const std::string& from, const std::string& to) {
  if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return 0;
  return ErrnoOf(GetLastError());
}

// 0, or the reason no link was made.
int LinkTo(const std::string& existing, const std::string& link) {
  if (CreateHardLinkA(link.c_str(), existing.c_str(), nullptr)) return 0;
  return ErrnoOf(GetLastError());
}

int AccessForWriting(const std::string& path) { return _access(path.c_str(), 2); }

#else

int OpenExclusive(const std::string& path, bool) {
  return open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
}

int RenameOver(const std::string& from, const std::string& to) {
  return std::rename(from.c_str(), to.c_str()) == 0 ? 0 : LastSystemError();
}

int LinkTo(const std::string& existing, const std::string& link) {
  return ::link(existing.c_str(), link.c_str()) == 0 ? 0 : LastSystemError();
}

int AccessForWriting(const std::string& path) { return access(path.c_str(), W_OK); }

constexpr int kMaxLinks = 40;

// Whether the link at path, of which link_info tells, may be followed: not
// in a sticky folder that everyone may write to, unless the link belongs to
// the folder's owner or to the user running the process. A folder that
// cannot be examined keeps its links unfollowed.
bool MayFollowLink(const std::string& path, const struct stat& link_info) {
  const std::string folder = FolderOf(path);
  struct stat info {};
  if (stat(folder.empty() ? "." : folder.c_str(), &info) != 0) return false;
  const mode_t shared = S_ISVTX | S_IWOTH;
  if ((info.st_mode & shared) != shared) return true;
  return link_info.st_uid == info.st_uid || link_info.st_uid == geteuid();
}

// The file that the symbolic link at path leads to, through any chain of
// links; path itself when it is no link. Fails for a cycle (ELOOP) and for
// a link that may not be followed (EPERM; refused gets its name).
WriteResult FollowLinks(const std::string& path, std::string& target, std::string* refused = nullptr) {
  target = path;
  for (int i = 0; i < kMaxLinks; ++i) {
    struct stat info {};
    if (lstat(target.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return WriteResult::Written();
    if (!MayFollowLink(target, info)) {
      if (refused) *refused = target;
      return WriteResult::Failure(EPERM);
    }
    std::string link(4096, '\0');
    const ssize_t n = readlink(target.c_str(), &link[0], link.size());
    if (n <= 0 || static_cast<size_t>(n) >= link.size()) return WriteResult::Written();
    link.resize(static_cast<size_t>(n));
    // A relative link is relative to the folder that holds it.
    target = link[0] == '/' ? link : FolderOf(target) + link;
  }
  return WriteResult::Failure(ELOOP);
}

#endif

// 64 bits from the system's random source. Should it fail, a mix of the
// clock and a counter: the names are still made exclusively, only easier
// to foresee.
unsigned long long RandomNumber() {
  unsigned long long value = 0;
#if defined(_WIN32)
  if (SystemFunction036(&value, sizeof value)) return value;
#else
#if defined(__linux__)
  if (getrandom(&value, sizeof value, GRND_NONBLOCK) == static_cast<ssize_t>(sizeof value)) return value;
#endif
  const int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    const ssize_t n = read(fd, &value, sizeof value);
    close(fd);
    if (n == static_cast<ssize_t>(sizeof value)) return value;
  }
#endif
  static std::atomic<unsigned long long> counter{0};
  const auto now = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
  return now ^ (++counter * 0x9E3779B97F4A7C15ull);
}

// How many random names a new temporary file tries before it gives up: a
// name taken by chance is rare, one taken on purpose cannot be foreseen.
constexpr int kNameAttempts = 32;

// Makes a new file of a random name in folder: by_name == nullptr an empty
// file opened for writing (returns its descriptor), else a second name of
// the file by_name (returns 0). path gets the name. -1, with error set to
// the reason, when every name tried was taken (EEXIST) or the folder takes
// no file.
int MakeTemporary(const std::string& folder, bool text, const char* by_name, std::string& path, int& error) {
  const long pid = CurrentProcessId();
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    path = TemporaryFilePath(folder, pid, RandomNumber());
    if (by_name) {
      error = LinkTo(by_name, path);
      if (error == 0) return 0;
    } else {
      const int fd = OpenExclusive(path, text);
      if (fd >= 0) return fd;
      error = LastSystemError();
    }
    if (error != EEXIST) break;
  }
  path.clear();
  return -1;
}

// The folders that the commits of this process hold. A commit waits here,
// for as long as it takes, until no other thread of the process commits
// into one of its folders, and only then takes the folders' locks against
// other processes, whose wait is bounded: jobs of one run never run into
// the limit that is meant for other processes, nor into each other's
// file locks.
class HeldFolders {
 public:
  void Take(const std::vector<std::string>& keys) {
    std::unique_lock<std::mutex> lock(mutex_);
    released_.wait(lock, [&] {
      return std::none_of(keys.begin(), keys.end(),
                          [&](const std::string& key) { return std::count(held_.begin(), held_.end(), key) != 0; });
    });
    held_.insert(held_.end(), keys.begin(), keys.end());
  }
  void Give(const std::vector<std::string>& keys) {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      for (const std::string& key : keys) {
        const auto held = std::find(held_.begin(), held_.end(), key);
        if (held != held_.end()) held_.erase(held);
      }
    }
    released_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable released_;
  std::vector<std::string> held_;
};

HeldFolders& HeldByThisProcess() {
  static HeldFolders held;
  return held;
}

std::atomic<int> g_folder_lock_wait{20000};

// Holds every folder of a commit against the commits of other threads and
// of other processes into it, in one order, so that two commits never wait
// for each other. A folder that cannot be locked (a file system without
// locks) is committed into unlocked: the lock only orders commits. Another
// process's lock is waited for FolderLockWait() at most (anyone who may
// read a folder may lock it); then timed_out() tells, and nothing is held.
class FolderLocks {
 public:
  explicit FolderLocks(const std::vector<std::string>& folders) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(FolderLockWait());
#if defined(_WIN32)
    // Named by the folder's identity, so that every spelling of it meets.
    for (const std::string& folder : folders) {
      HANDLE handle = CreateFileA(folder.empty() ? "." : folder.c_str(), 0,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr);
      if (handle == INVALID_HANDLE_VALUE) continue;
      BY_HANDLE_FILE_INFORMATION info{};
      if (GetFileInformationByHandle(handle, &info)) {
        char name[64];
        std::snprintf(name, sizeof name, "Local\\vellmar-folder-%08lx-%08lx%08lx",
                      static_cast<unsigned long>(info.dwVolumeSerialNumber),
                      static_cast<unsigned long>(info.nFileIndexHigh), static_cast<unsigned long>(info.nFileIndexLow));
        keys_.push_back(name);
      }
      CloseHandle(handle);
    }
    std::sort(keys_.begin(), keys_.end());
    keys_.erase(std::unique(keys_.begin(), keys_.end()), keys_.end());
    HeldByThisProcess().Take(keys_);
    for (const std::string& name : keys_) {
      HANDLE mutex = CreateMutexA(nullptr, FALSE, name.c_str());
      if (!mutex) continue;
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      // An owner that ended without releasing it hands it on (WAIT_ABANDONED).
      const DWORD waited = WaitForSingleObject(mutex, static_cast<DWORD>(std::max<long long>(0, left.count())));
      if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) {
        held_.push_back(mutex);
      } else {
        CloseHandle(mutex);
        if (waited == WAIT_TIMEOUT) {
          timed_out_ = true;
          Release();
          return;
        }
      }
    }
#else
    std::vector<std::tuple<dev_t, ino_t, int>> opened;
    for (const std::string& folder : folders) {
      const int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      struct stat info {};
      if (fd < 0) continue;
      if (fstat(fd, &info) != 0) {
        close(fd);
        continue;
      }
      opened.emplace_back(info.st_dev, info.st_ino, fd);
    }
    std::sort(opened.begin(), opened.end());
    for (size_t i = 0; i < opened.size(); ++i) {
      const bool repeated = i > 0 && std::get<0>(opened[i]) == std::get<0>(opened[i - 1]) &&
                            std::get<1>(opened[i]) == std::get<1>(opened[i - 1]);
      if (!repeated)
        keys_.push_back(std::to_string(std::get<0>(opened[i])) + ":" + std::to_string(std::get<1>(opened[i])));
      // Closing the last descriptor of the folder releases its lock.
      held_.push_back(std::get<2>(opened[i]));
    }
    HeldByThisProcess().Take(keys_);
    for (size_t i = 0; i < opened.size(); ++i) {
      const bool repeated = i > 0 && std::get<0>(opened[i]) == std::get<0>(opened[i - 1]) &&
                            std::get<1>(opened[i]) == std::get<1>(opened[i - 1]);
      if (!repeated && !LockBefore(std::get<2>(opened[i]), deadline)) {
        timed_out_ = true;
        Release();
        return;
      }
    }
#endif
  }
  ~FolderLocks() { Release(); }
  FolderLocks(const FolderLocks&) = delete;
  FolderLocks& operator=(const FolderLocks&) = delete;

  // Whether another process held a folder past the limit.
  bool timed_out() const { return timed_out_; }

 private:
#if !defined(_WIN32)
  // Locks the folder open at fd, polling, until deadline; false when another
  // holder kept it that long. A file system without locks counts as locked.
  static bool LockBefore(int fd, std::chrono::steady_clock::time_point deadline) {
    auto pause = std::chrono::milliseconds(1);
    for (;;) {
      if (flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
      const int error = LastSystemError();
      if (error == EINTR) continue;
      if (error != EWOULDBLOCK) return true;
      const auto now = std::chrono::steady_clock::now();
      if (now >= deadline) return false;
      std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(pause, deadline - now));
      pause = std::min(pause * 2, std::chrono::milliseconds(50));
    }
  }
#endif

  void Release() {
#if defined(_WIN32)
    for (HANDLE mutex : held_) {
      ReleaseMutex(mutex);
      CloseHandle(mutex);
    }
#else
    for (int fd : held_) close(fd);
#endif
    held_.clear();
    HeldByThisProcess().Give(keys_);
    keys_.clear();
  }

  std::vector<std::string> keys_;  // the folders' identities, for this process
#if defined(_WIN32)
  std::vector<HANDLE> held_;
#else
  std::vector<int> held_;
#endif
  bool timed_out_ = false;
};

// Whether a file (or a link, dangling or not) is at path.
bool Exists(const std::string& path) {
  struct stat info {};
#if defined(_WIN32)
  return stat(path.c_str(), &info) == 0;
#else
  return lstat(path.c_str(), &info) == 0;
#endif
}

}  // namespace

std::string TemporaryFilePrefix(const std::string& folder, long pid) {
  return folder + "vellmar-partial-" + std::to_string(pid) + "-";
}

std::string TemporaryFilePath(const std::string& folder, long pid, unsigned long long random) {
  char digits[17];
  for (int i = 15; i >= 0; --i, random >>= 4) digits[i] = "0123456789abcdef"[random & 15];
  digits[16] = '\0';
  return TemporaryFilePrefix(folder, pid) + digits;
}

long CurrentProcessId() {
#if defined(_WIN32)
  return static_cast<long>(GetCurrentProcessId());
#else
  return static_cast<long>(getpid());
#endif
}

WriteResult PlanFileWrite(const std::string& path, WritePlan& plan) {
  plan = WritePlan();
  if (path.empty()) return WriteResult::Failure(ENOENT);
#if defined(_WIN32)
  struct stat info {};
  plan.exists = stat(path.c_str(), &info) == 0;
  if (plan.exists && S_ISDIR(info.st_mode)) return WriteResult::Failure(EISDIR);
  plan.target = path;
  plan.in_place = IsDeviceName(path) || (plan.exists && !S_ISREG(info.st_mode));
  plan.folder = FolderOf(path);
  return WriteResult::Written();
#else
  // Another run may rename a new file over the name between the looks below
  // (threads of one batch replace the same file in turn); the name then
  // leads to another file only for that moment, and the plan is made again
  // rather than write that file in place.
  constexpr int kLooks = 8;
  for (int look = 1;; ++look) {
    plan = WritePlan();
    // Links first, before the system follows any of them.
    std::string followed;
    if (const WriteResult walked = FollowLinks(path, followed); !walked) return walked;
    struct stat info {};
    plan.exists = stat(path.c_str(), &info) == 0;
    const int stat_error = plan.exists ? 0 : LastSystemError();
    if (plan.exists && S_ISDIR(info.st_mode)) return WriteResult::Failure(EISDIR);
    // A path that cannot be examined (a cycle of links, a folder that may
    // not be entered) is not written; one that is not there is made.
    if (!plan.exists && stat_error != ENOENT) return WriteResult::Failure(stat_error);
    if (plan.exists && (S_ISCHR(info.st_mode) || S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode))) {
      plan.in_place = true;
      plan.target = path;
      return WriteResult::Written();
    }
    // A block device: neither written over nor replaced.
    if (plan.exists && !S_ISREG(info.st_mode)) return WriteResult::Failure(ENOTSUP);
    plan.target = followed;
    if (plan.exists) {
      // The name that the links lead to must still be the file the path
      // opens: a descriptor's link of a removed file reads "NAME (deleted)".
      struct stat named {};
      const bool named_exists = stat(plan.target.c_str(), &named) == 0;
      if (!named_exists || named.st_dev != info.st_dev || named.st_ino != info.st_ino) {
        if (named_exists && look < kLooks) continue;
        plan.in_place = true;
        plan.target = path;
        return WriteResult::Written();
      }
    }
    plan.folder = FolderOf(plan.target);
    return WriteResult::Written();
  }
#endif
}

int FolderLockWait() { return g_folder_lock_wait.load(); }

void SetFolderLockWait(int milliseconds) { g_folder_lock_wait.store(std::max(0, milliseconds)); }

std::string WriteFailureReason(const std::string& path, int error) {
#if !defined(_WIN32)
  std::string target, refused;
  if (error == EPERM && !FollowLinks(path, target, &refused) && !refused.empty()) {
    const std::string folder = FolderOf(refused);
    return "'" + refused + "' is a link that another user put in the shared folder '" +
           (folder.empty() ? std::string(".") : folder) +
           "'; links there are followed only when they belong to the folder's owner or to you";
  }
#endif
  if (error == ETIMEDOUT) {
    WritePlan plan;
    std::string folder = PlanFileWrite(path, plan) ? plan.folder : FolderOf(path);
    if (folder.empty()) folder = ".";
    const int wait = FolderLockWait();
    return "another process held the folder '" + folder + "' for " +
           (wait >= 1000 ? std::to_string(wait / 1000) + " s" : std::to_string(wait) + " ms") +
           " (runs that write files in pairs there take turns); try again when it is done";
  }
  return std::strerror(error != 0 ? error : EIO);
}

int CheckFileWritable(const std::string& path) {
  WritePlan plan;
  if (const WriteResult planned = PlanFileWrite(path, plan); !planned) return planned.error();
  if (plan.exists && AccessForWriting(plan.target) != 0) return LastSystemError();
  if (plan.in_place) return 0;
  const std::string folder = plan.folder.empty() ? "." : plan.folder;
  struct stat info {};
  if (stat(folder.c_str(), &info) != 0) return LastSystemError();
  if (!S_ISDIR(info.st_mode)) return ENOTDIR;
  if (AccessForWriting(folder) != 0) return LastSystemError();
  return 0;
}

WriteResult BeginFileReplacement(const char* path, const char* mode, FileReplacement& r) {
  r = FileReplacement();
  if (!path || !mode || !*path) return Fail(r, ENOENT);
  const bool text = std::strchr(mode, 't') != nullptr;
  WritePlan plan;
  if (const WriteResult planned = PlanFileWrite(path, plan); !planned) return Fail(r, planned.error());
  r.target = plan.target;
  if (plan.in_place) {
    r.file = std::fopen(path, mode);
    return r.file ? WriteResult::Written() : Fail(r, LastSystemError());
  }
  struct stat info {};
  if (plan.exists && stat(r.target.c_str(), &info) != 0) return Fail(r, LastSystemError());
  // A file that may not be written is not replaced either.
  if (plan.exists && AccessForWriting(r.target) != 0) return Fail(r, LastSystemError());

  int slot_error = 0;
  const int fd = MakeTemporary(plan.folder, text, nullptr, r.temporary, slot_error);
  if (fd < 0) return Fail(r, slot_error);
#if defined(_WIN32)
  r.file = _fdopen(fd, text ? "wt" : "wb");
  const int open_error = r.file ? 0 : LastSystemError();
  if (!r.file) _close(fd);
#else
  if (plan.exists) {
    // The replacement keeps the owner and group of the file it replaces
    // where the process may give them (as root; the group when the user
    // is in it), then its permission bits, which a change of owner clears
    // of set-user-id and set-group-id.
    if (fchown(fd, info.st_uid, info.st_gid) != 0) (void)fchown(fd, static_cast<uid_t>(-1), info.st_gid);
    (void)fchmod(fd, info.st_mode & 07777);
  }
  r.file = fdopen(fd, "w");
  const int open_error = r.file ? 0 : LastSystemError();
  if (!r.file) close(fd);
#endif
  if (!r.file) {
    const WriteResult failed = Fail(r, open_error);
    AbandonFileReplacement(r);
    return failed;
  }
  return WriteResult::Written();
}

void NoteFileReplacementError(FileReplacement& r, int error) {
  if (r.error == 0) r.error = error != 0 ? error : EIO;
}

namespace {

// The outcome that r's recorded failure (or none) stands for.
WriteResult ResultOf(const FileReplacement& r) {
  return r.error == 0 ? WriteResult::Written() : WriteResult::Failure(r.error);
}

}  // namespace

WriteResult FinishFileReplacement(FileReplacement& r) {
  if (!r.file) return ResultOf(r);
  if (std::fflush(r.file) != 0) NoteFileReplacementError(r, LastSystemError());
  // On the disk before the rename: a crash then finds the old file or the
  // whole new one, never an empty one.
#if defined(_WIN32)
  if (r.error == 0 && !r.temporary.empty() && _commit(_fileno(r.file)) != 0)
    NoteFileReplacementError(r, LastSystemError());
#else
  if (r.error == 0 && !r.temporary.empty() && fsync(fileno(r.file)) != 0) {
    // A file system that cannot sync says so with EINVAL: nothing is lost.
    const int sync_error = LastSystemError();
    if (sync_error != EINVAL && sync_error != ENOTSUP) NoteFileReplacementError(r, sync_error);
  }
#endif
  if (std::fclose(r.file) != 0) NoteFileReplacementError(r, LastSystemError());
  r.file = nullptr;
  return ResultOf(r);
}

WriteResult CommitFileReplacements(FileReplacement* const* files, size_t count) {
  // Every file finished and whole, or none is put in place.
  int error = 0;
  for (size_t i = 0; i < count && error == 0; ++i)
    if (files[i]->file || files[i]->error != 0) error = files[i]->error != 0 ? files[i]->error : EINVAL;
  const auto abandon_all = [&] {
    for (size_t i = 0; i < count; ++i) {
      if (files[i]->error == 0) files[i]->error = error;
      AbandonFileReplacement(*files[i]);
    }
    return WriteResult::Failure(error);
  };
  if (error != 0) return abandon_all();

  std::vector<FileReplacement*> renamed;
  std::vector<std::string> folders;
  for (size_t i = 0; i < count; ++i) {
    if (files[i]->temporary.empty()) continue;  // written in place
    renamed.push_back(files[i]);
    folders.push_back(FolderOf(files[i]->temporary));
  }
  if (renamed.empty()) return WriteResult::Written();
  // One rename is whole by itself; several take their turn in the folders.
  if (renamed.size() == 1) folders.clear();
  const FolderLocks locks(folders);
  if (locks.timed_out()) {
    error = ETIMEDOUT;
    return abandon_all();
  }
  // An interrupt waits until the renames are all done (or all undone), so
  // that a pair is never left half replaced.
  const TerminationSignalsHeld held;
  // Each old file but the last one's stays reachable under a second name
  // until every rename is done: a later rename that fails puts it back. A
  // target that was not there is removed again instead.
  struct Undo {
    std::string backup;
    bool existed = false;
  };
  std::vector<Undo> undo(renamed.size());
  size_t done = 0;
  for (; done < renamed.size(); ++done) {
    FileReplacement& r = *renamed[done];
    Undo& u = undo[done];
    u.existed = Exists(r.target);
    int backup_error = 0;
    if (u.existed && done + 1 < renamed.size())
      MakeTemporary(FolderOf(r.temporary), false, r.target.c_str(), u.backup, backup_error);
    error = RenameOver(r.temporary, r.target);
    if (error != 0) break;
    r.temporary.clear();
  }
  if (done < renamed.size()) {
    // The failed one's backup is a second name of the file still in place.
    if (!undo[done].backup.empty()) std::remove(undo[done].backup.c_str());
    while (done-- > 0) {
      Undo& u = undo[done];
      // A backup that cannot be put back stays under its temporary name
      // rather than be lost.
      if (!u.backup.empty()) {
        if (RenameOver(u.backup, renamed[done]->target) == 0) u.backup.clear();
      } else if (!u.existed) {
        std::remove(renamed[done]->target.c_str());
      }
    }
  } else {
    for (const Undo& u : undo)
      if (!u.backup.empty()) std::remove(u.backup.c_str());
  }
  if (error != 0) return abandon_all();
  return WriteResult::Written();
}

WriteResult CommitFileReplacement(FileReplacement& r) {
  FileReplacement* one[] = {&r};
  return CommitFileReplacements(one, 1);
}

void AbandonFileReplacement(FileReplacement& r) {
  // What was given up is never put in place by a later commit.
  if ((r.file || !r.temporary.empty()) && r.error == 0) r.error = ECANCELED;
  if (r.file) std::fclose(r.file);
  r.file = nullptr;
  if (!r.temporary.empty()) std::remove(r.temporary.c_str());
  r.temporary.clear();
}
