/* Prints, in MB, the largest block that a 32-bit Windows process can reserve
   once the modules named on the command line are loaded, and the total it
   can reserve in such blocks, largest first. No single allocation (a record
   array, a file read whole) can be larger than the first figure, whatever
   the second. Reserving, not asking VirtualQuery, since Wine keeps areas
   that it hands out as reserved. */
#include <stdio.h>
#include <windows.h>

/* The largest number of MB that one reservation gets, or 0. */
static unsigned LargestBlock(void) {
  unsigned low = 0, high = 4096;
  while (low < high) {
    const unsigned mid = (low + high + 1) / 2;
    void* block = VirtualAlloc(NULL, (SIZE_T)mid << 20, MEM_RESERVE, PAGE_NOACCESS);
    if (block) {
      VirtualFree(block, 0, MEM_RELEASE);
      low = mid;
    } else {
      high = mid - 1;
    }
  }
  return low;
}

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (!LoadLibraryA(argv[i])) fprintf(stderr, "cannot load %s\n", argv[i]);
  const unsigned largest = LargestBlock();
  void* held[4096];
  int count = 0;
  unsigned total = 0;
  for (unsigned mb = largest; mb > 0 && count < 4096; mb = LargestBlock()) {
    held[count] = VirtualAlloc(NULL, (SIZE_T)mb << 20, MEM_RESERVE, PAGE_NOACCESS);
    if (!held[count]) break;
    ++count;
    total += mb;
  }
  while (count > 0) VirtualFree(held[--count], 0, MEM_RELEASE);
  printf("%u %u\n", largest, total);
  return 0;
}
