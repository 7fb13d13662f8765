// Read-only file mappings whose lost pages read as zeros.
#include "host/mapped_file.h"

#if defined(_WIN32)

bool MappedFile::Map(int, size_t) { return false; }
void MappedFile::Unmap() {}
bool MappedFile::Damaged() const { return false; }
void ReleaseMappedPages(const char*, const char*) {}
void DiscardPages(void*, size_t) {}

#else

#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <mutex>

namespace {

// One mapping at a time is watched: a bus error in it is taken as a file
// cut short. Another mapping is refused while one is in use.
std::atomic<bool> g_in_use{false};
std::atomic<char*> g_begin{nullptr};
std::atomic<size_t> g_length{0};
std::atomic<size_t> g_page{4096};
volatile sig_atomic_t g_damaged = 0;
struct sigaction g_previous {};
// Held while the mapping in use is set or cleared, and while pages of it are
// given back: a range that a reader names lies either in the live mapping or
// wholly outside it, never in one that is going away.
std::mutex g_watch;

// Reading a page past the end of a file that shrank raises SIGBUS. Such a
// page of the mapping is replaced by a page of zeros, and the read, made
// again on return, finds them. A fault anywhere else goes where it went
// before this handler: its disposition is put back and the fault recurs.
void OnBusError(int, siginfo_t* info, void*) {
  char* const begin = g_begin.load();
  char* const address = static_cast<char*>(info->si_addr);
  const size_t page = g_page.load();
  if (begin && address >= begin && static_cast<size_t>(address - begin) < g_length.load()) {
    char* const start = begin + static_cast<size_t>(address - begin) / page * page;
    if (mmap(start, page, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) != MAP_FAILED) {
      g_damaged = 1;
      return;
    }
  }
  sigaction(SIGBUS, &g_previous, nullptr);
}

}  // namespace

bool MappedFile::Map(int fd, size_t size) {
  Unmap();
  if (size == 0) return false;
  bool expected = false;
  if (!g_in_use.compare_exchange_strong(expected, true)) return false;
  const long page = sysconf(_SC_PAGESIZE);
  g_page = page > 0 ? static_cast<size_t>(page) : 4096;
  // The pages come in as the reader reaches them (the system maps a few
  // dozen at each fault): a file refused after its first bytes, a name
  // that runs on for a gigabyte, costs no more than those bytes.
  void* const mapped = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
  if (mapped == MAP_FAILED) {
    g_in_use = false;
    return false;
  }
  g_damaged = 0;
  {
    const std::lock_guard<std::mutex> lock(g_watch);
    g_length = size;
    g_begin = static_cast<char*>(mapped);
  }
  struct sigaction action {};
  action.sa_sigaction = OnBusError;
  action.sa_flags = SA_SIGINFO;
  sigemptyset(&action.sa_mask);
  if (sigaction(SIGBUS, &action, &g_previous) != 0) {
    {
      const std::lock_guard<std::mutex> lock(g_watch);
      g_begin = nullptr;
    }
    munmap(mapped, size);
    g_in_use = false;
    return false;
  }
  data_ = static_cast<char*>(mapped);
  size_ = size;
  return true;
}

void MappedFile::Unmap() {
  if (!data_) return;
  sigaction(SIGBUS, &g_previous, nullptr);
  {
    const std::lock_guard<std::mutex> lock(g_watch);
    g_begin = nullptr;
    g_length = 0;
  }
  munmap(data_, size_);
  data_ = nullptr;
  size_ = 0;
  g_in_use = false;
}

bool MappedFile::Damaged() const { return data_ && g_damaged != 0; }

void ReleaseMappedPages(const char* from, const char* to) {
#if defined(__EMSCRIPTEN__)
  // Its mappings are copies in the module's memory, which keeps every page.
  return;
#endif
  const std::lock_guard<std::mutex> lock(g_watch);
  char* const begin = g_begin.load();
  if (!begin || from >= to) return;
  const size_t length = g_length.load(), page = g_page.load();
  if (from < begin || to > begin + length) return;
  // Whole pages only: a page that the reader has not wholly passed stays.
  const size_t first = (static_cast<size_t>(from - begin) + page - 1) / page * page;
  const size_t last = static_cast<size_t>(to - begin) / page * page;
  // A private mapping of a file that nothing wrote to: its pages are read
  // from the file again when touched.
  if (first < last) madvise(begin + first, last - first, MADV_DONTNEED);
}

void DiscardPages(void* begin, size_t bytes) {
#if defined(__EMSCRIPTEN__)
  return;
#endif
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  const uintptr_t from = (reinterpret_cast<uintptr_t>(begin) + page - 1) / page * page;
  const uintptr_t to = (reinterpret_cast<uintptr_t>(begin) + bytes) / page * page;
  // Private anonymous memory reads as zeros once its pages are given back.
  if (from < to) madvise(reinterpret_cast<void*>(from), to - from, MADV_DONTNEED);
}

#endif
