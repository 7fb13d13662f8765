// Writing an output to standard output: the writers and the plug-in write to
// a path, so the file is written into a private scratch folder first and
// then copied to standard output.
#pragma once

#include <string>

// Whether path is "-", or leads to the file that standard output writes to
// (/dev/stdout, /dev/fd/1, or the file that standard output was sent to).
bool IsStandardOutput(const std::string& path);

// A folder that only this user may enter, made in the system's temporary
// folder, for one file; removed with that file when it goes out of scope.
class ScratchFile {
 public:
  ScratchFile() = default;
  ~ScratchFile();
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;

  // Makes the folder; path() is then FOLDER/out with extension appended.
  // False with errno set when no folder could be made.
  bool Create(const char* extension);
  const std::string& path() const { return path_; }
  const std::string& folder() const { return folder_; }

 private:
  std::string folder_;
  std::string path_;
};

// Copies the file to standard output (in binary mode). Returns 0, or the
// errno of the failure.
int CopyToStandardOutput(const std::string& path);
