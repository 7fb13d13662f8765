// File identities through the system's file information.
#include "tools/file_identity.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#if defined(_WIN32)
namespace {

bool IdentifyHandle(HANDLE file, FileIdentity& identity) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (GetFileType(file) != FILE_TYPE_DISK || GetFileInformationByHandle(file, &info) == 0) return false;
  identity.device = info.dwVolumeSerialNumber;
  identity.index = static_cast<uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow;
  identity.regular = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  return true;
}

}  // namespace
#endif

bool IdentifyFile(const std::string& path, FileIdentity& identity) {
#if defined(_WIN32)
  // Opened for no access at all: only its information is read. Folders need
  // the backup flag to be opened.
  HANDLE file = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool known = IdentifyHandle(file, identity);
  CloseHandle(file);
  return known;
#else
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return false;
  identity.device = static_cast<uint64_t>(info.st_dev);
  identity.index = static_cast<uint64_t>(info.st_ino);
  identity.regular = S_ISREG(info.st_mode);
  return true;
#endif
}

bool IdentifyStandardOutput(FileIdentity& identity) {
#if defined(_WIN32)
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  return out != nullptr && out != INVALID_HANDLE_VALUE && IdentifyHandle(out, identity);
#else
  struct stat info {};
  if (fstat(STDOUT_FILENO, &info) != 0) return false;
  identity.device = static_cast<uint64_t>(info.st_dev);
  identity.index = static_cast<uint64_t>(info.st_ino);
  identity.regular = S_ISREG(info.st_mode);
  return true;
#endif
}
