// The tool's exit statuses, and how the statuses of several inputs combine.
#pragma once

constexpr int kOk = 0;
constexpr int kCannotWrite = 1;  // an output could not be written
constexpr int kBadInput = 2;     // bad input or usage

// The worse of two statuses: bad input, then an unwritable output.
inline int WorseStatus(int status, int next) {
  if (status == kBadInput || next == kBadInput) return kBadInput;
  return status == kCannotWrite || next == kCannotWrite ? kCannotWrite : kOk;
}
