// Whole-file replacement through a temporary file and a rename.
#include "w_lib/writers/file_replace.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

#if defined(_WIN32)
const char kSeparators[] = "/\\:";
#else
const char kSeparators[] = "/";
#endif
// The file name limit of the common file systems, in bytes.
constexpr size_t kMaxFileName = 255;
constexpr int kMaxLinks = 40;

size_t FileNameStart(const std::string& path) {
  const size_t separator = path.find_last_of(kSeparators);
  return separator == std::string::npos ? 0 : separator + 1;
}

bool Fail(FileReplacement& r) {
  if (r.error == 0) r.error = errno != 0 ? errno : EIO;
  errno = r.error;
  return false;
}

#if defined(_WIN32)

// The device names that Windows keeps in every folder ("NUL", "con.txt").
bool IsStream(const std::string& path) {
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

// errno for the Windows error of a failed rename.
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
    default: return EIO;
  }
}

#else

// A path to a file descriptor (/dev/stdout, /dev/fd/3, /proc/self/fd/1)
// names a stream, which is written in place even when it leads to a
// regular file.
bool IsStream(const char* path) {
  for (const char* prefix : {"/dev/stdout", "/dev/stderr", "/dev/fd/", "/proc/"})
    if (std::strncmp(path, prefix, std::strlen(prefix)) == 0) return true;
  return false;
}

int OpenExclusive(const std::string& path, bool) {
  return open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
}

#endif

}  // namespace

long CurrentProcessId() {
#if defined(_WIN32)
  return static_cast<long>(GetCurrentProcessId());
#else
  return static_cast<long>(getpid());
#endif
}

bool ResolveWriteTarget(const std::string& path, std::string& target) {
  target = path;
#if !defined(_WIN32)
  for (int i = 0; i < kMaxLinks; ++i) {
    struct stat info {};
    if (lstat(target.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return true;
    std::string link(4096, '\0');
    const ssize_t n = readlink(target.c_str(), &link[0], link.size());
    if (n <= 0 || static_cast<size_t>(n) >= link.size()) return true;
    link.resize(static_cast<size_t>(n));
    // A relative link is relative to the folder that holds it.
    target = link[0] == '/' ? link : target.substr(0, FileNameStart(target)) + link;
  }
  errno = ELOOP;
  return false;
#else
  return true;
#endif
}

std::string PartialFilePath(const std::string& target, long pid) {
  const std::string suffix = ".vellmar-partial-" + std::to_string(pid);
  const size_t start = FileNameStart(target);
  std::string name = target.substr(start);
  if (name.size() + suffix.size() > kMaxFileName) name.resize(kMaxFileName - suffix.size());
  return target.substr(0, start) + name + suffix;
}

bool BeginFileReplacement(const char* path, const char* mode, FileReplacement& r) {
  r = FileReplacement();
  if (!path || !mode || !*path) {
    errno = ENOENT;
    return Fail(r);
  }
  const bool text = std::strchr(mode, 't') != nullptr;
  // What the path leads to as the system opens it: /dev/stdout and the
  // like lead through links that only the system can follow.
  struct stat info {};
  const bool exists = stat(path, &info) == 0;
  if (exists && S_ISDIR(info.st_mode)) {
    errno = EISDIR;
    return Fail(r);
  }
  if ((exists && !S_ISREG(info.st_mode)) || IsStream(path)) {
    r.target = path;
    r.file = std::fopen(path, mode);
    return r.file != nullptr || Fail(r);
  }
  if (!ResolveWriteTarget(path, r.target)) return Fail(r);
#if defined(_WIN32)
  const bool writable = !exists || _access(r.target.c_str(), 2) == 0;
#else
  const bool writable = !exists || access(r.target.c_str(), W_OK) == 0;
#endif
  // A file that may not be written is not replaced either.
  if (!writable) return Fail(r);

  r.temporary = PartialFilePath(r.target, CurrentProcessId());
  int fd = OpenExclusive(r.temporary, text);
  if (fd < 0 && errno == EEXIST) {
    // Left by an earlier process of the same id that was killed mid-write.
    std::remove(r.temporary.c_str());
    fd = OpenExclusive(r.temporary, text);
  }
  if (fd < 0) {
    r.temporary.clear();
    return Fail(r);
  }
#if defined(_WIN32)
  r.file = _fdopen(fd, text ? "wt" : "wb");
  if (!r.file) _close(fd);
#else
  // The replacement keeps the permissions of the file it replaces.
  if (exists) (void)fchmod(fd, info.st_mode & 07777);
  r.file = fdopen(fd, "w");
  if (!r.file) close(fd);
#endif
  if (!r.file) {
    Fail(r);
    AbandonFileReplacement(r);
    return false;
  }
  return true;
}

void NoteFileReplacementError(FileReplacement& r) {
  if (r.error == 0) r.error = errno != 0 ? errno : EIO;
}

bool FinishFileReplacement(FileReplacement& r) {
  if (!r.file) return r.error == 0;
  if (std::fflush(r.file) != 0) NoteFileReplacementError(r);
  // On the disk before the rename: a crash then finds the old file or the
  // whole new one, never an empty one.
#if defined(_WIN32)
  if (r.error == 0 && !r.temporary.empty() && _commit(_fileno(r.file)) != 0) NoteFileReplacementError(r);
#else
  // A file system that cannot sync says so with EINVAL: nothing is lost.
  if (r.error == 0 && !r.temporary.empty() && fsync(fileno(r.file)) != 0 && errno != EINVAL && errno != ENOTSUP)
    NoteFileReplacementError(r);
#endif
  if (std::fclose(r.file) != 0) NoteFileReplacementError(r);
  r.file = nullptr;
  if (r.error != 0) errno = r.error;
  return r.error == 0;
}

bool CommitFileReplacement(FileReplacement& r) {
  if (r.file || r.error != 0) {
    AbandonFileReplacement(r);
    return Fail(r);
  }
  if (r.temporary.empty()) return true;
#if defined(_WIN32)
  if (!MoveFileExA(r.temporary.c_str(), r.target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    r.error = ErrnoOf(GetLastError());
#else
  if (std::rename(r.temporary.c_str(), r.target.c_str()) != 0) {
    NoteFileReplacementError(r);
#endif
    AbandonFileReplacement(r);
    return Fail(r);
  }
  r.temporary.clear();
  return true;
}

void AbandonFileReplacement(FileReplacement& r) {
  const int saved = errno;
  if (r.file) std::fclose(r.file);
  r.file = nullptr;
  if (!r.temporary.empty()) std::remove(r.temporary.c_str());
  r.temporary.clear();
  errno = saved;
}
