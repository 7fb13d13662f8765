// Writing an output to standard output: the writers and the plug-in write to
// a path, so the file is written into a scratch file first and then copied
// to standard output.
#pragma once

#include <string>

#include "w_lib/writers/write_result.h"

// Whether path is "-", or leads to the file that standard output writes to
// (/dev/stdout, /dev/fd/1, or the file that standard output was sent to).
bool IsStandardOutput(const std::string& path);

// A file for one output on its way to standard output. Where the system
// allows it (Linux), the file has no name from the start, or loses it as
// soon as it is opened, so that nothing of it stays behind even when the
// process is killed; path() then reaches it through the process's own
// descriptor (/proc/self/fd/N), which the writers open as a file that is
// written in place. Elsewhere it is FOLDER/out.EXT in a folder that only
// this user may enter, made in the system's temporary folder, and removed
// with the file when it goes out of scope.
class ScratchFile {
 public:
  ScratchFile() = default;
  ~ScratchFile();
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;

  // Makes the file; extension ends the name of a named one. Fails, with
  // the reason, when no file could be made.
  WriteResult Create(const char* extension);
  const std::string& path() const { return path_; }
  // The folder of a named file, or empty when the file has no name.
  const std::string& folder() const { return folder_; }

 private:
  WriteResult CreateNamed(const std::string& base, const char* extension);
  int descriptor_ = -1;
  std::string folder_;
  std::string path_;
};

// Copies the file to standard output (in binary mode). Returns 0, or the
// system error code of the failure.
int CopyToStandardOutput(const std::string& path);
