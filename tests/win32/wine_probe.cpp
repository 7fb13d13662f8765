// The smallest Win32 console program: the Wine test runs it first to learn
// whether Wine can run programs on this machine at all.
#include <cstdio>

int main() {
  std::puts("wine probe: a Windows console program ran");
  return 0;
}
