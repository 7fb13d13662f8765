// An array of int32 values that keeps only its first value and its step
// while every value follows them (value i = first + i * step), and stores
// its values from the first that does not. The faces of most objects have
// one corner count, so their starts step evenly, and one material: a
// million such faces then cost nothing for either.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

class SteppedArray {
 public:
  SteppedArray() = default;
  SteppedArray(std::initializer_list<int32_t> values) {
    for (const int32_t v : values) push_back(v);
  }

  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  bool Stored() const { return stored_; }

  int32_t operator[](size_t i) const {
    if (stored_) return values_[i];
    return static_cast<int32_t>(first_ + static_cast<int64_t>(i) * step_);
  }
  int32_t back() const { return (*this)[size_ - 1]; }

  void push_back(int32_t value) {
    if (!stored_) {
      if (size_ == 0) {
        first_ = value;
      } else if (size_ == 1) {
        step_ = static_cast<int64_t>(value) - first_;
      } else if (static_cast<int64_t>(value) != first_ + static_cast<int64_t>(size_) * step_) {
        Store();
      }
    }
    if (stored_) values_.push_back(value);
    ++size_;
  }

  // Room for n values, taken once they are stored.
  void reserve(size_t n) {
    room_ = n;
    if (stored_) values_.reserve(n);
  }

  // Keeps the first n values (n at most size()).
  void Truncate(size_t n) {
    if (stored_) values_.resize(n);
    size_ = n;
  }

  void Set(size_t i, int32_t value) {
    if (!stored_ && value == (*this)[i]) return;
    Store();
    values_[i] = value;
  }

  // Removes the value at i.
  void Erase(size_t i) {
    Store();
    values_.erase(values_.begin() + static_cast<ptrdiff_t>(i));
    --size_;
  }

  // The values, stored from here on, for writing in place (not for adding
  // or removing any).
  std::vector<int32_t>& Values() {
    Store();
    return values_;
  }

  // The stored values, or null while they follow their step.
  int32_t* StoredData() { return stored_ ? values_.data() : nullptr; }

  std::vector<int32_t> ToVector() const {
    if (stored_) return values_;
    std::vector<int32_t> out(size_);
    for (size_t i = 0; i < size_; ++i) out[i] = (*this)[i];
    return out;
  }

  // Empties the array and gives back the memory of its values.
  void Reset() noexcept {
    std::vector<int32_t>().swap(values_);
    size_ = 0;
    stored_ = false;
    room_ = 0;
  }

 private:
  void Store() {
    if (stored_) return;
    std::vector<int32_t> values;
    values.reserve(room_ > size_ ? room_ : size_ + 1);
    for (size_t i = 0; i < size_; ++i) values.push_back((*this)[i]);
    values_.swap(values);
    stored_ = true;
  }

  size_t size_ = 0;
  bool stored_ = false;
  int64_t first_ = 0;
  int64_t step_ = 0;
  size_t room_ = 0;
  std::vector<int32_t> values_;
};
