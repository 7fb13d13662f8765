// A document of a million faces makes the export touch gigabytes of fresh
// memory. On virtual machines the kernel's first touch of each 4 KiB page is
// costly; in 2 MiB pages the same work runs two to three times faster.
// glibc's allocator asks for such pages only when told so at start-up
// through GLIBC_TUNABLES, so the tool restarts itself once with that
// setting. Blocks of 1 MiB and more (the record arrays of large objects)
// are then mapped on their own, so that freeing one (the host's document,
// a pass's working lists, an array that a compaction replaced) gives its
// memory back at once instead of leaving a hole that a larger block cannot
// use.
#include "tools/large_pages.h"

#include <cstdlib>

#if defined(__GLIBC__)
#include <unistd.h>

void RestartWithLargePages(char** argv) {
  if (std::getenv("GLIBC_TUNABLES")) return;  // chosen by the user, or done
  if (setenv("GLIBC_TUNABLES",
             "glibc.malloc.hugetlb=1:glibc.malloc.mmap_threshold=1048576", 1) != 0)
    return;
  execv("/proc/self/exe", argv);
  // Still here: the restart failed; run as we are.
  unsetenv("GLIBC_TUNABLES");
}

#else

void RestartWithLargePages(char**) {}

#endif
