#include "w_lib/writers/round_crew.h"

#include <system_error>
#include <utility>

RoundCrew::RoundCrew(int parts) : parts_(parts < 1 ? 1 : parts), errors_(static_cast<size_t>(parts_)) {
  try {
    formatters_.reserve(static_cast<size_t>(parts_ - 1));
    for (int part = 1; part < parts_; ++part) formatters_.emplace_back([this, part] { FormatLoop(part); });
    writer_ = std::thread([this] { WriteLoop(); });
  } catch (const std::system_error&) {
    // No more threads to be had: what they would do runs on the caller.
  }
}

RoundCrew::~RoundCrew() {
  {
    std::unique_lock<std::mutex> lock(mutex_);
    write_done_.wait(lock, [this] { return !writing_; });
    stopping_ = true;
  }
  format_wake_.notify_all();
  write_wake_.notify_all();
  for (std::thread& t : formatters_) t.join();
  if (writer_.joinable()) writer_.join();
}

void RoundCrew::FormatLoop(int part) {
  uint64_t seen = 0;
  for (;;) {
    const std::function<void(int)>* work;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      format_wake_.wait(lock, [&] { return stopping_ || round_ != seen; });
      if (stopping_) return;
      seen = round_;
      work = work_;
    }
    try {
      (*work)(part);
    } catch (...) {
      errors_[static_cast<size_t>(part)] = std::current_exception();
    }
    bool last;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      last = --unfinished_ == 0;
    }
    if (last) format_done_.notify_one();
  }
}

void RoundCrew::Format(const std::function<void(int)>& work) {
  for (std::exception_ptr& e : errors_) e = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    work_ = &work;
    unfinished_ = static_cast<int>(formatters_.size());
    ++round_;
  }
  format_wake_.notify_all();
  try {
    work(0);
  } catch (...) {
    errors_[0] = std::current_exception();
  }
  // Parts with no thread of their own.
  for (int part = static_cast<int>(formatters_.size()) + 1; part < parts_; ++part) {
    try {
      work(part);
    } catch (...) {
      errors_[static_cast<size_t>(part)] = std::current_exception();
    }
  }
  {
    std::unique_lock<std::mutex> lock(mutex_);
    format_done_.wait(lock, [this] { return unfinished_ == 0; });
  }
  for (const std::exception_ptr& e : errors_)
    if (e) std::rethrow_exception(e);
}

void RoundCrew::WriteLoop() {
  for (;;) {
    std::function<void()> write;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      write_wake_.wait(lock, [this] { return stopping_ || (writing_ && write_); });
      if (stopping_) return;
      write = std::move(write_);
      write_ = nullptr;
    }
    std::exception_ptr error;
    try {
      write();
    } catch (...) {
      error = std::current_exception();
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      write_error_ = error;
      writing_ = false;
    }
    write_done_.notify_all();
  }
}

void RoundCrew::StartWrite(std::function<void()> write) {
  if (!writer_.joinable()) {
    write();  // no thread to write on: written here, errors passed on at once
    return;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    write_ = std::move(write);
    writing_ = true;
  }
  write_wake_.notify_one();
}

void RoundCrew::WaitWritten() {
  std::exception_ptr error;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    write_done_.wait(lock, [this] { return !writing_; });
    error = std::exchange(write_error_, nullptr);
  }
  if (error) std::rethrow_exception(error);
}
