// A file that a reader opens once, with what the system tells of it.
#pragma once

#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

struct InputFile {
  struct Closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  // Opened once: a pipe must not lose what it holds to a second opening.
  std::unique_ptr<std::FILE, Closer> file;
  bool regular = false;  // a regular file, not a pipe or a device
  uint64_t size = 0;     // a regular file's size in bytes

  // Opens path for reading; false, with "PATH: cannot open: REASON" in
  // error, when it cannot.
  bool Open(const char* path, std::string& error) {
    file.reset(std::fopen(path, "rb"));
    if (!file) {
      error = std::string(path) + ": cannot open: " + std::strerror(errno);
      return false;
    }
    struct stat info {};
    regular = fstat(fileno(file.get()), &info) == 0 && S_ISREG(info.st_mode);
    size = regular && info.st_size > 0 ? static_cast<uint64_t>(info.st_size) : 0;
    return true;
  }
};
