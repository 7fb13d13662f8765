// Replacing a file as a whole: new content goes to a temporary file beside
// the target and is renamed over it only once complete, so that a failed or
// interrupted write never leaves a partial file under the final name and
// never destroys the file that was there.
#pragma once

#include <cstdio>
#include <string>

// The file that a write to path really changes: path itself, or the file
// that the symbolic link at path leads to through any chain of links
// (dangling or not). False, with errno set, for a cycle of links.
bool ResolveWriteTarget(const std::string& path, std::string& target);

// The temporary file that process pid writes in place of target (a path
// after ResolveWriteTarget): "NAME.vellmar-partial-PID" in target's folder,
// NAME cut short when the whole would pass the system's file name limit. A
// pure function, so that another part of the process (a signal handler of
// the program) can name the file without sharing any state with the writer.
std::string PartialFilePath(const std::string& target, long pid);

// The id of this process, as PartialFilePath takes it.
long CurrentProcessId();

// One file being replaced.
struct FileReplacement {
  std::FILE* file = nullptr;
  std::string target;     // the resolved target
  std::string temporary;  // the file written; empty when target is written in place
  int error = 0;          // errno of the first failure, 0 while none
};

// Starts replacing path; mode is "wb" or "wt" as for fopen. The temporary
// file is created exclusively (one of the same name left by an earlier
// process of this id is removed first) with the existing target's permission
// bits. A target that exists and is not a regular file (a device, a FIFO),
// and a path to a stream (/dev/stdout, /dev/fd/N; on Windows NUL, CON), is
// opened and written in place instead; it is never renamed over or removed.
// False with errno (and r.error) set when the target is a folder, an
// existing target may not be written, or the file cannot be created.
bool BeginFileReplacement(const char* path, const char* mode, FileReplacement& r);

// Records a failed write: errno, unless an earlier failure was recorded.
void NoteFileReplacementError(FileReplacement& r);

// Flushes the file to the disk and closes it; the temporary file stays.
// True when that and every write before it succeeded.
bool FinishFileReplacement(FileReplacement& r);

// Renames the finished temporary file over the target. False (the temporary
// file removed, the target untouched) on an earlier failure or when the
// rename fails.
[[nodiscard]] bool CommitFileReplacement(FileReplacement& r);

// Closes the file if it is still open and removes the temporary file; the
// target stays as it was. Keeps errno as it was.
void AbandonFileReplacement(FileReplacement& r);
