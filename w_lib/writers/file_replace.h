// Replacing a file as a whole: new content goes to a temporary file beside
// the target and is renamed over it only once complete, so that a failed or
// interrupted write never leaves a partial file under the final name and
// never destroys the file that was there. Files that belong together (an
// OBJ file and its material file) are renamed as one unit.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

#include "w_lib/writers/write_result.h"

// The temporary file of process pid in folder (empty, or ending in a
// separator) that carries the random number random:
// "vellmar-partial-PID-XXXXXXXXXXXXXXXX" (16 hexadecimal digits). Short
// whatever the target's name, and not to be guessed by anyone who would
// take it first: each file gets a fresh number from the system's random
// source and is made exclusively, with a new number when one is taken.
std::string TemporaryFilePath(const std::string& folder, long pid, unsigned long long random);
// The part shared by every temporary file of process pid in folder,
// "FOLDER/vellmar-partial-PID-", so that a signal handler can find them
// all from the folder alone, without sharing any state with the writer
// (which may sit in another module).
std::string TemporaryFilePrefix(const std::string& folder, long pid);

// The id of this process, as TemporaryFilePath takes it.
long CurrentProcessId();

// How a write to a path goes.
struct WritePlan {
  // Written where it is, never renamed over or removed: a character
  // device, a FIFO or a socket (on Windows also NUL, CON and the like), and
  // a regular file that has no name any more (reached through a descriptor
  // of a removed file), which nobody else can see.
  bool in_place = false;
  bool exists = false;  // the target exists
  // The file that the write replaces: the path, or the file that the
  // symbolic link at path leads to through any chain of links (dangling or
  // not); /dev/fd/N and /proc/self/fd/N lead to the file they were opened on.
  std::string target;
  // Where the temporary file goes: target's folder with its separator, or
  // empty for the current folder.
  std::string folder;
};

// Decides how path is written. Fails for a folder (EISDIR), a block device
// (ENOTSUP), a cycle of links (ELOOP), a link that another user put in a
// shared folder (EPERM, see below) or a path that cannot be examined (the
// reason that examining it met).
//
// A link in a folder that everyone may write to and that keeps each file to
// its owner (the sticky bit, as /tmp) is followed only when it belongs to
// the folder's owner or to the user running the process: anyone could have
// put it there, leading to a file of the running user's.
WriteResult PlanFileWrite(const std::string& path, WritePlan& plan);

// The words for a failed write of path with the reason error: the system's
// text, or for the reasons this module chooses itself the link refused
// (EPERM) or the folder whose lock another process held too long
// (ETIMEDOUT), by name.
std::string WriteFailureReason(const std::string& path, int error);

// 0 when a write to path can begin now: the target, if it exists, may be
// written, and a new file may be made in its folder. Otherwise the system
// error code that the write would meet (ENOENT for a folder that is not there).
int CheckFileWritable(const std::string& path);

// One file being replaced.
struct FileReplacement {
  std::FILE* file = nullptr;
  std::string target;     // the resolved target
  std::string temporary;  // the file written; empty when target is written in place
  int error = 0;          // the reason of the first failure, 0 while none
};

// Starts replacing path; mode is "wb" or "wt" as for fopen. The temporary
// file is made exclusively under a random name in the target's folder,
// with the existing target's owner, group and permission bits (as far as
// the process may give them), or as a new file would be made. A target that
// PlanFileWrite writes in place is opened and written there instead.
// Fails (with r.error set to the same reason) when the plan fails, an
// existing target may not be written, or the file cannot be made.
WriteResult BeginFileReplacement(const char* path, const char* mode, FileReplacement& r);

// Records a failed write for the reason error, unless an earlier failure
// was recorded.
void NoteFileReplacementError(FileReplacement& r, int error);

// Flushes the file to the disk and closes it; the temporary file stays.
// Written when that and every write before it succeeded; otherwise the
// first failure's reason.
WriteResult FinishFileReplacement(FileReplacement& r);

// Renames the finished temporary files over their targets as one unit:
// while it runs, other commits of more than one file into the same folders
// wait (in this process for as long as it takes; another process's for
// FolderLockWait() at most, an advisory lock on each folder that the system
// releases with the process, after which the commit fails with ETIMEDOUT),
// and the termination signals wait for this thread. One file needs no turn:
// its rename is whole by itself. When a rename fails, the
// targets already renamed over get their old files back, so that either
// every target holds its new file or every target is as it was. Fails on an
// earlier failure of any of them (with its reason) or a failed rename;
// every temporary file is removed either way.
WriteResult CommitFileReplacements(FileReplacement* const* files, size_t count);

// The same for one file.
WriteResult CommitFileReplacement(FileReplacement& r);

// How long a commit waits for another process's lock on a folder, in
// milliseconds: 20 seconds unless set otherwise (by tests).
int FolderLockWait();
void SetFolderLockWait(int milliseconds);

// Closes the file if it is still open and removes the temporary file; the
// target stays as it was, and a later commit of r fails (ECANCELED).
void AbandonFileReplacement(FileReplacement& r);
