// Faster memory for big documents: starts the tool once more with the C
// library's allocator set up for large pages, where that library allows it.
#pragma once

// On glibc systems, re-executes the program with GLIBC_TUNABLES asking for
// 2 MiB pages and for large blocks to be mapped on their own, unless the
// environment already sets GLIBC_TUNABLES. Returns (doing nothing) where
// that does not apply or the restart fails.
void RestartWithLargePages(char** argv);
