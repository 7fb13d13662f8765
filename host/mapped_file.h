// A regular file mapped read-only, so that a document is read where it lies
// in the system's file cache: no buffer of fresh memory is filled with a
// copy of it. A file cut short by another program while it is mapped would
// make reading past its new end fault; such pages read as zeros instead, and
// the mapping reports the damage, so that the reader can refuse what it read.
#pragma once

#include <cstddef>

class MappedFile {
 public:
  MappedFile() = default;
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;
  ~MappedFile() { Unmap(); }

  // Maps size bytes (at least 1) of the open file fd. False, with nothing
  // mapped, where the system cannot map it (or has no mappings: Windows) or
  // another mapping of this kind is in use: the caller then reads the file
  // instead.
  bool Map(int fd, size_t size);
  void Unmap();

  const char* data() const { return data_; }
  size_t size() const { return size_; }
  // True when pages of the file vanished while it was mapped.
  bool Damaged() const;

 private:
  char* data_ = nullptr;
  size_t size_ = 0;
};

// Gives back the pages of the mapping in use that lie wholly within
// from .. to - 1, for a reader that has passed them: a read of them later
// finds the file's bytes again (or the zeros of a lost page), but until
// then they take no memory. Does nothing for bytes outside that mapping, so
// a reader may call it on any text it reads.
void ReleaseMappedPages(const char* from, const char* to);

// Gives back the whole pages within the bytes from begin on, of memory that
// the process allocated and writes no more: they read as zeros from then on.
// Does nothing where the system cannot do it (Windows).
void DiscardPages(void* begin, size_t bytes);

// Calls ReleaseMappedPages on what a reader that moves forward has passed,
// every few megabytes of it.
class PassedPages {
 public:
  explicit PassedPages(const char* begin) : from_(begin) {}
  void Passed(const char* at) {
    // A reader that moved back starts counting where it is.
    if (at - from_ < kStep) return;
    ReleaseMappedPages(from_, at);
    from_ = at;
  }

 private:
  static constexpr ptrdiff_t kStep = ptrdiff_t{4} << 20;
  const char* from_;
};
