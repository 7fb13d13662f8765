// How a file write ended, as a value that travels back to the caller: the
// writers, the whole-file replacement under them and the export return it,
// so that the reason of a failure is never left in a global for someone
// else to read (or to overwrite on the way).
#pragma once

#include <cerrno>

// Written, or not written for a reason: a system error code (an errno value
// such as ENOENT or ENOSPC). The code comes from errno once, right where a
// system call failed (LastSystemError), or is chosen by the writer for a
// reason no system call gives: EFBIG for a file too large for its format,
// ERANGE for a number that is not finite, ENOTSUP, EINVAL, ENOMEM.
class [[nodiscard]] WriteResult {
 public:
  // Written.
  WriteResult() = default;
  static WriteResult Written() { return WriteResult(); }

  // Not written, for the reason error; 0 becomes EIO, so that a failure
  // never reads as success.
  static WriteResult Failure(int error) {
    WriteResult r;
    r.error_ = error != 0 ? error : EIO;
    return r;
  }

  bool written() const { return error_ == 0; }
  explicit operator bool() const { return written(); }
  // The reason, or 0 when written.
  int error() const { return error_; }

 private:
  int error_ = 0;
};

// The code that the system call which has just failed left in errno (EIO if
// it left none). The one place the writers read errno: call it right after
// the failed call, before anything else can change it.
inline int LastSystemError() { return errno != 0 ? errno : EIO; }
