// The threads that format rounds of blocks and write them out, kept for a
// whole list rather than started anew for each round: a list of a million
// items takes hundreds of rounds, and starting two threads for each cost
// more than small blocks save.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class RoundCrew {
 public:
  // Up to parts - 1 threads to format with and one to write with; fewer,
  // or none, when the system has no more to give (the work then runs on
  // the calling thread).
  explicit RoundCrew(int parts);
  RoundCrew(const RoundCrew&) = delete;
  RoundCrew& operator=(const RoundCrew&) = delete;
  // Waits for the write under way and stops the threads.
  ~RoundCrew();

  // Runs work(k) for every share k below the count given to the
  // constructor, share zero on the calling thread, and returns once all are
  // done; passes on the error of the first share that threw.
  void Format(const std::function<void(int part)>& work);

  // Starts write on the writing thread; the caller Waits before the next.
  void StartWrite(std::function<void()> write);
  // Waits until the write started last is done; passes on what it threw.
  void WaitWritten();

 private:
  void FormatLoop(int part);
  void WriteLoop();

  int parts_;
  std::mutex mutex_;
  // Each side waits on its own: a round's start wakes only the formatters,
  // a write only the writer.
  std::condition_variable format_wake_;
  std::condition_variable format_done_;
  std::condition_variable write_wake_;
  std::condition_variable write_done_;
  bool stopping_ = false;
  // The round being formatted.
  uint64_t round_ = 0;
  int unfinished_ = 0;
  const std::function<void(int)>* work_ = nullptr;
  std::vector<std::exception_ptr> errors_;
  // The write under way.
  std::function<void()> write_;
  bool writing_ = false;
  std::exception_ptr write_error_;
  std::vector<std::thread> formatters_;
  std::thread writer_;
};
