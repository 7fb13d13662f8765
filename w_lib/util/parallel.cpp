// Threads for work that splits into independent parts.
#include "w_lib/util/parallel.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <thread>
#include <vector>

namespace {

constexpr int kMaxWorkers = 64;

int ReadWorkerCount() {
  const char* text = std::getenv("VELLMAR_THREADS");
  if (text && *text) {
    int n = 0;
    const char* end = text + std::strlen(text);
    const auto result = std::from_chars(text, end, n);
    if (result.ec == std::errc() && result.ptr == end && n >= 1) return n < kMaxWorkers ? n : kMaxWorkers;
  }
  // Asking the system costs a file read; its answer does not change.
  static const int hardware = [] {
    const unsigned n = std::thread::hardware_concurrency();
    if (n == 0) return 1;
    return n < static_cast<unsigned>(kMaxWorkers) ? static_cast<int>(n) : kMaxWorkers;
  }();
  return hardware;
}

}  // namespace

int WorkerCount() { return ReadWorkerCount(); }

void ParallelParts(size_t count, int parts, const std::function<void(int, size_t, size_t)>& work) {
  if (parts < 1) parts = 1;
  if (static_cast<size_t>(parts) > count) parts = count > 0 ? static_cast<int>(count) : 1;
  const auto bounds = [count, parts](int part) {
    return PartBegin(count, static_cast<size_t>(parts), static_cast<size_t>(part));
  };
  std::vector<std::exception_ptr> errors(static_cast<size_t>(parts));
  const auto run = [&](int part) {
    try {
      work(part, bounds(part), bounds(part + 1));
    } catch (...) {
      errors[static_cast<size_t>(part)] = std::current_exception();
    }
  };
  std::vector<std::thread> threads;
  int started = 1;  // the first part runs on this thread
  try {
    threads.reserve(static_cast<size_t>(parts - 1));
    for (; started < parts; ++started) threads.emplace_back(run, started);
  } catch (...) {
    // No more threads to be had: the parts not started run here.
  }
  run(0);
  for (int part = started; part < parts; ++part) run(part);
  for (std::thread& t : threads) t.join();
  for (const std::exception_ptr& e : errors)
    if (e) std::rethrow_exception(e);
}

void ParallelFor(size_t count, size_t min_per_part, const std::function<void(size_t, size_t)>& work) {
  if (count < 2 * min_per_part) {  // too little to share: the common case of small objects
    work(0, count);
    return;
  }
  int parts = WorkerCount();
  if (min_per_part > 0 && count / min_per_part < static_cast<size_t>(parts))
    parts = static_cast<int>(count / min_per_part > 0 ? count / min_per_part : 1);
  ParallelParts(count, parts, [&work](int, size_t begin, size_t end) { work(begin, end); });
}
