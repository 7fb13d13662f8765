// Scratch files and the copy to standard output.
#include "tools/standard_output.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "tools/file_identity.h"

#if defined(_WIN32)
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
  std::error_code ignored;
  std::filesystem::remove(folder_, ignored);
}

bool ScratchFile::Create(const char* extension) {
  std::error_code ec;
  std::string base = std::filesystem::temp_directory_path(ec).string();
  if (ec) base = ".";
  if (base.back() != '/' && base.back() != '\\') base += '/';
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
  if (folder_.empty()) {
    errno = EACCES;
    return false;
  }
#else
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
