// Scratch files and the copy to standard output.
#include "tools/standard_output.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "tools/file_identity.h"

#if defined(_WIN32)
#include <direct.h>
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

bool IsStandardOutput(const std::string& path) {
  if (path == "-") return true;
  FileIdentity out, file;
  return IdentifyStandardOutput(out) && IdentifyFile(path, file) && SameFile(out, file);
}

ScratchFile::~ScratchFile() {
#if !defined(_WIN32)
  if (descriptor_ >= 0) close(descriptor_);
#endif
  if (folder_.empty()) return;
  std::remove(path_.c_str());
#if defined(_WIN32)
  _rmdir(folder_.c_str());
#else
  rmdir(folder_.c_str());
#endif
}

namespace {

// The system's temporary folder, ending in a separator.
std::string TemporaryFolder() {
#if defined(_WIN32)
  char temporary[MAX_PATH + 1] = {};
  const DWORD length = GetTempPathA(sizeof temporary, temporary);
  return length > 0 && length <= MAX_PATH ? std::string(temporary, length) : ".\\";
#else
  const char* tmpdir = std::getenv("TMPDIR");
  std::string base = tmpdir && *tmpdir ? tmpdir : "/tmp";
  if (base.back() != '/') base += '/';
  return base;
#endif
}

#if !defined(_WIN32)
// A path that opens the file of the descriptor anew, or empty when the
// system has none.
std::string PathOfDescriptor(int descriptor) {
  struct stat opened {};
  if (fstat(descriptor, &opened) != 0) return "";
  for (const char* folder : {"/proc/self/fd/", "/dev/fd/"}) {
    const std::string path = folder + std::to_string(descriptor);
    struct stat reached {};
    if (stat(path.c_str(), &reached) == 0 && reached.st_dev == opened.st_dev && reached.st_ino == opened.st_ino)
      return path;
  }
  return "";
}
#endif

}  // namespace

WriteResult ScratchFile::CreateNamed(const std::string& base, const char* extension) {
#if defined(_WIN32)
  // A folder of a new name: CreateDirectory fails on one that exists. It
  // inherits the permissions of the user's own temporary folder.
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    const std::string folder = base + "vellmar-" + std::to_string(GetCurrentProcessId()) + "-" +
                               std::to_string(GetTickCount() + attempt);
    if (CreateDirectoryA(folder.c_str(), nullptr)) {
      folder_ = folder;
      break;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  if (folder_.empty()) return WriteResult::Failure(EACCES);
#else
  std::string pattern = base + "vellmar-XXXXXX";
  if (!mkdtemp(&pattern[0])) return WriteResult::Failure(LastSystemError());  // mode 0700
  folder_ = pattern;
#endif
  path_ = folder_ + "/out" + extension;
  return WriteResult::Written();
}

WriteResult ScratchFile::Create(const char* extension) {
  const std::string base = TemporaryFolder();
#if !defined(_WIN32)
  int descriptor = -1;
#if defined(O_TMPFILE)
  descriptor = open(base.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
#endif
  if (descriptor < 0) {
    // A file system without nameless files: a named one, whose name goes
    // at once.
    std::string folder = base + "vellmar-XXXXXX";
    if (!mkdtemp(&folder[0])) return WriteResult::Failure(LastSystemError());
    const std::string file = folder + "/out" + extension;
    descriptor = open(file.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    const int open_error = descriptor < 0 ? LastSystemError() : 0;
    unlink(file.c_str());
    rmdir(folder.c_str());
    if (descriptor < 0) return WriteResult::Failure(open_error);
  }
  path_ = PathOfDescriptor(descriptor);
  if (!path_.empty()) {
    descriptor_ = descriptor;
    return WriteResult::Written();
  }
  close(descriptor);  // no path reaches it: a named file after all
#endif
  return CreateNamed(base, extension);
}

int CopyToStandardOutput(const std::string& path) {
  std::FILE* in = std::fopen(path.c_str(), "rb");
  if (!in) return LastSystemError();
#if defined(_WIN32)
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  char buffer[1 << 16];
  int error = 0;
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) {
    if (std::fwrite(buffer, 1, n, stdout) != n) {
      error = LastSystemError();
      break;
    }
  }
  if (!error && std::ferror(in)) error = LastSystemError();
  std::fclose(in);
  if (std::fflush(stdout) != 0 && !error) error = LastSystemError();
  return error;
}
