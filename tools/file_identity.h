// Telling whether two paths name the same file, by the file's identity (its
// device and inode, or on Windows its volume and file index), not by how
// the paths are spelled: links, "./" and ".." all lead to one identity.
#pragma once

#include <cstdint>
#include <string>

struct FileIdentity {
  uint64_t device = 0;
  uint64_t index = 0;
  bool regular = false;  // a regular file, not a device, pipe or folder
};

// The identity of the file that path leads to (through symbolic links);
// false when there is no such file or it cannot be examined.
bool IdentifyFile(const std::string& path, FileIdentity& identity);

inline bool SameFile(const FileIdentity& a, const FileIdentity& b) {
  return a.device == b.device && a.index == b.index;
}

// The identity of the file that the process's standard output writes to;
// false when it has none or it cannot be examined.
bool IdentifyStandardOutput(FileIdentity& identity);
