// Whole-file replacement through a temporary file and a rename.
#include "w_lib/writers/file_replace.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <condition_variable>
#include <mutex>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "w_lib/util/termination_signals.h"

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <sys/file.h>
#include <unistd.h>
#endif

namespace {

#if defined(_WIN32)
const char kSeparators[] = "/\\:";
#else
const char kSeparators[] = "/";
#endif
size_t FileNameStart(const std::string& path) {
  const size_t separator = path.find_last_of(kSeparators);
  return separator == std::string::npos ? 0 : separator + 1;
}

std::string FolderOf(const std::string& path) { return path.substr(0, FileNameStart(path)); }

// Records the reason of a failed start and returns it.
WriteResult Fail(FileReplacement& r, int error) {
  if (r.error == 0) r.error = error != 0 ? error : EIO;
  return WriteResult::Failure(r.error);
}

#if defined(_WIN32)

// The device names that Windows keeps in every folder ("NUL", "con.txt").
bool IsDeviceName(const std::string& path) {
  std::string name = path.substr(FileNameStart(path));
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

// The file that the symbolic link at path leads to, through any chain of
// links; path itself when it is no link. Fails for a cycle (ELOOP).
WriteResult FollowLinks(const std::string& path, std::string& target) {
  target = path;
  for (int i = 0; i < kMaxLinks; ++i) {
    struct stat info {};
    if (lstat(target.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return WriteResult::Written();
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

// Makes a new file in the first free slot of folder: by name == nullptr an
// empty file opened for writing (returns its descriptor), else a second
// name of the file by_name (returns 0). path gets the slot's name. -1, with
// error set to the reason, when no slot is free (EEXIST) or the folder
// takes no file.
int TakeSlot(const std::string& folder, bool text, const char* by_name, std::string& path, int& error) {
  const long pid = CurrentProcessId();
  for (int slot = 0; slot < kTemporaryFileSlots; ++slot) {
    path = TemporaryFilePath(folder, pid, slot);
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

// The folders that threads of this process commit into, each held by one
// thread at a time: threads of one process meet here, and only the system's
// lock, which orders processes, waits on other programs. A thread waits
// here only for a commit of its own process, which ends.
class ProcessFolderLocks {
 public:
  static ProcessFolderLocks& Instance() {
    static ProcessFolderLocks locks;
    return locks;
  }
  void Lock(const std::string& key) {
    std::unique_lock<std::mutex> lock(mutex_);
    released_.wait(lock, [&] { return held_.count(key) == 0; });
    held_.insert(key);
  }
  void Unlock(const std::string& key) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      held_.erase(key);
    }
    released_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable released_;
  std::set<std::string> held_;
};

// Holds every folder of a commit against the commits of other processes
// and of other threads into it, in one order, so that two commits never
// wait for each other. A folder that cannot be locked (a file system
// without locks) is committed into unlocked: the lock only orders commits.
class FolderLocks {
 public:
  explicit FolderLocks(const std::vector<std::string>& folders) {
#if defined(_WIN32)
    // Named by the folder's identity, so that every spelling of it meets.
    std::vector<std::string> names;
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
        names.push_back(name);
      }
      CloseHandle(handle);
    }
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    for (const std::string& name : names) {
      ProcessFolderLocks::Instance().Lock(name);
      keys_.push_back(name);
      HANDLE mutex = CreateMutexA(nullptr, FALSE, name.c_str());
      if (!mutex) continue;
      // An owner that ended without releasing it hands it on (WAIT_ABANDONED).
      const DWORD waited = WaitForSingleObject(mutex, INFINITE);
      if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) {
        held_.push_back(mutex);
      } else {
        CloseHandle(mutex);
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
      const int fd = std::get<2>(opened[i]);
      const bool repeated = i > 0 && std::get<0>(opened[i]) == std::get<0>(opened[i - 1]) &&
                            std::get<1>(opened[i]) == std::get<1>(opened[i - 1]);
      if (!repeated) {
        const std::string key = std::to_string(std::get<0>(opened[i])) + ":" + std::to_string(std::get<1>(opened[i]));
        ProcessFolderLocks::Instance().Lock(key);
        keys_.push_back(key);
        int locked;
        do locked = flock(fd, LOCK_EX) == 0 ? 0 : LastSystemError();
        while (locked == EINTR);
      }
      // Closing the last descriptor of the folder releases its lock.
      held_.push_back(fd);
    }
#endif
  }
  ~FolderLocks() {
#if defined(_WIN32)
    for (HANDLE mutex : held_) {
      ReleaseMutex(mutex);
      CloseHandle(mutex);
    }
#else
    for (int fd : held_) close(fd);
#endif
    for (const std::string& key : keys_) ProcessFolderLocks::Instance().Unlock(key);
  }
  FolderLocks(const FolderLocks&) = delete;
  FolderLocks& operator=(const FolderLocks&) = delete;

 private:
  std::vector<std::string> keys_;  // this process's locks, in the order taken
#if defined(_WIN32)
  std::vector<HANDLE> held_;
#else
  std::vector<int> held_;
#endif
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

std::string TemporaryFilePath(const std::string& folder, long pid, int slot) {
  return TemporaryFilePrefix(folder, pid) + std::to_string(slot);
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
  struct stat info {};
  plan.exists = stat(path.c_str(), &info) == 0;
  const int stat_error = plan.exists ? 0 : LastSystemError();
  if (plan.exists && S_ISDIR(info.st_mode)) return WriteResult::Failure(EISDIR);
#if defined(_WIN32)
  plan.target = path;
  plan.in_place = IsDeviceName(path) || (plan.exists && !S_ISREG(info.st_mode));
  plan.folder = FolderOf(path);
  static_cast<void>(stat_error);
  return WriteResult::Written();
#else
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
  if (const WriteResult followed = FollowLinks(path, plan.target); !followed) return followed;
  if (plan.exists) {
    // The name that the links lead to must still be the file the path
    // opens: a descriptor's link of a removed file reads "NAME (deleted)".
    struct stat named {};
    if (stat(plan.target.c_str(), &named) != 0 || named.st_dev != info.st_dev || named.st_ino != info.st_ino) {
      plan.in_place = true;
      plan.target = path;
      return WriteResult::Written();
    }
  }
  plan.folder = FolderOf(plan.target);
  return WriteResult::Written();
#endif
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
  const int fd = TakeSlot(plan.folder, text, nullptr, r.temporary, slot_error);
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
  const FolderLocks locks(folders);
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
      TakeSlot(FolderOf(r.temporary), false, r.target.c_str(), u.backup, backup_error);
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
