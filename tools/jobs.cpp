// Jobs side by side, shown in order.
#include "tools/jobs.h"

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

#include "w_lib/util/parallel.h"
#include "tools/console.h"
#include "tools/interrupt_cleanup.h"

namespace {

// What the jobs share: which inputs are done, and their lines.
struct Shared {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<char> done;
  std::vector<MessageLog> logs;
  std::exception_ptr error;
  std::atomic<size_t> next{0};
  size_t stopped_at;  // inputs from here on are not begun after a failure
};

void Work(Shared& shared, size_t count, const std::function<void(size_t)>& work,
          const std::function<std::vector<size_t>(size_t)>& after) {
  for (size_t i = shared.next++; i < count; i = shared.next++) {
    if (after) {
      const std::vector<size_t> earlier = after(i);
      std::unique_lock<std::mutex> lock(shared.mutex);
      shared.changed.wait(lock, [&] {
        for (size_t e : earlier)
          if (!shared.done[e]) return false;
        return true;
      });
    }
    MessageLog log;
    std::exception_ptr error;
    {
      const KeptMessages kept(log);
      try {
        work(i);
      } catch (...) {
        error = std::current_exception();
      }
    }
    {
      std::lock_guard<std::mutex> lock(shared.mutex);
      shared.logs[i] = std::move(log);
      shared.done[i] = 1;
      if (error) {
        // No more inputs begun once one has failed so.
        if (!shared.error) shared.error = error;
        const size_t taken = shared.next.exchange(count);
        if (taken < shared.stopped_at) shared.stopped_at = taken;
      }
    }
    shared.changed.notify_all();
  }
}

// Gives each job its share of the threads that one input would have:
// VELLMAR_THREADS, or the machine's cores. Put back at the end of the run.
class ThreadShare {
 public:
  explicit ThreadShare(size_t jobs) {
    const char* before = std::getenv("VELLMAR_THREADS");
    had_ = before != nullptr;
    if (had_) before_ = before;
    const size_t total = static_cast<size_t>(WorkerCount());
    Set(std::to_string(total > jobs ? total / jobs : 1).c_str());
  }
  ~ThreadShare() {
    if (had_) Set(before_.c_str());
    else Unset();
  }
  ThreadShare(const ThreadShare&) = delete;
  ThreadShare& operator=(const ThreadShare&) = delete;

 private:
  static void Set(const char* value) {
#if defined(_WIN32)
    _putenv_s("VELLMAR_THREADS", value);
#else
    setenv("VELLMAR_THREADS", value, 1);
#endif
  }
  static void Unset() {
#if defined(_WIN32)
    _putenv_s("VELLMAR_THREADS", "");
#else
    unsetenv("VELLMAR_THREADS");
#endif
  }
  bool had_ = false;
  std::string before_;
};

}  // namespace

size_t JobCount(size_t asked, size_t inputs) {
  size_t jobs = asked;
  if (jobs == 0) {
    const unsigned cores = std::thread::hardware_concurrency();
    jobs = cores > 0 ? cores : 1;
    if (jobs > kMostJobs) jobs = kMostJobs;
  }
  if (jobs > inputs) jobs = inputs;
  return jobs > 0 ? jobs : 1;
}

void RunJobsInOrder(size_t count, size_t jobs, const std::function<void(size_t)>& work,
                    const std::function<void(size_t)>& show,
                    const std::function<std::vector<size_t>(size_t)>& after) {
  if (jobs <= 1 || count <= 1) {
    for (size_t i = 0; i < count; ++i) {
      work(i);
      show(i);
    }
    return;
  }
  Shared shared;
  shared.done.assign(count, 0);
  shared.logs.resize(count);
  shared.stopped_at = count;
  // Set before any job starts, and put back after the last has ended: the
  // environment is read, never written, while they run.
  const ThreadShare share(jobs);
  // This thread and the jobs hold off the termination signals while they
  // run; an interrupt is taken by a thread that waits for the commits under
  // way.
  const InterruptedJobsWait interrupts;
  std::vector<std::thread> threads;
  try {
    for (size_t j = 0; j < jobs; ++j)
      threads.emplace_back(Work, std::ref(shared), count, std::cref(work), std::cref(after));
  } catch (const std::system_error&) {
    // No more threads to be had: the jobs started do the work; with none,
    // this thread does it below.
  }
  if (threads.empty()) Work(shared, count, work, after);
  std::exception_ptr shown_error;
  try {
    for (size_t i = 0; i < count; ++i) {
      MessageLog log;
      {
        std::unique_lock<std::mutex> lock(shared.mutex);
        shared.changed.wait(lock, [&] { return shared.done[i] || i >= shared.stopped_at; });
        if (!shared.done[i]) break;
        log = std::move(shared.logs[i]);
      }
      ShowMessages(log);
      show(i);
    }
  } catch (...) {
    // The jobs end with the inputs they have begun.
    shown_error = std::current_exception();
    shared.next = count;
  }
  for (std::thread& t : threads) t.join();
  if (shown_error) std::rethrow_exception(shown_error);
  if (shared.error) std::rethrow_exception(shared.error);
}
