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
#include <unistd.h>
#endif

bool IsStandardOutput(const std::string& path) {
  if (path == "-") return true;
  FileIdentity out, file;
  return IdentifyStandardOutput(out) && IdentifyFile(path, file) && SameFile(out, file);
}

ScratchFile::~ScratchFile() {
  if (folder_.empty()) return;
  std::remove(path_.c_str());
#if defined(_WIN32)
  _rmdir(folder_.c_str());
#else
  rmdir(folder_.c_str());
#endif
}

bool ScratchFile::Create(const char* extension) {
#if defined(_WIN32)
  char temporary[MAX_PATH + 1] = {};
  const DWORD length = GetTempPathA(sizeof temporary, temporary);
  const std::string base = length > 0 && length <= MAX_PATH ? std::string(temporary, length) : ".\\";
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
  if (folder_.empty()) {
    errno = EACCES;
    return false;
  }
#else
  const char* tmpdir = std::getenv("TMPDIR");
  std::string base = tmpdir && *tmpdir ? tmpdir : "/tmp";
  if (base.back() != '/') base += '/';
  std::string pattern = base + "vellmar-XXXXXX";
  if (!mkdtemp(&pattern[0])) return false;  // mode 0700
  folder_ = pattern;
#endif
  path_ = folder_ + "/out" + extension;
  return true;
}

int CopyToStandardOutput(const std::string& path) {
  std::FILE* in = std::fopen(path.c_str(), "rb");
  if (!in) return errno != 0 ? errno : EIO;
#if defined(_WIN32)
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  char buffer[1 << 16];
  int error = 0;
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) {
    if (std::fwrite(buffer, 1, n, stdout) != n) {
      error = errno != 0 ? errno : EIO;
      break;
    }
  }
  if (!error && std::ferror(in)) error = errno != 0 ? errno : EIO;
  std::fclose(in);
  if (std::fflush(stdout) != 0 && !error) error = errno != 0 ? errno : EIO;
  return error;
}
