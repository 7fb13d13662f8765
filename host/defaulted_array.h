// An array whose elements read as one default value until some element is
// set to another. Vertex and corner colours are white and vertex weights
// zero in most documents: such an array keeps only its size, and stores
// values from the first element that differs.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <utility>
#include <vector>

#include "w_lib/util/owned.h"

// The elements of a DefaultedArray: their number and, once stored, their
// values. Copy and move come from WOwned: a moved-from array is left empty
// (or, moved onto, with what its target held).
template <typename T>
struct DefaultedValues {
 protected:
  size_t size_ = 0;
  bool stored_ = false;
  std::vector<T> values_;

  void CopyFrom(const DefaultedValues& o) {
    values_ = o.values_;
    size_ = o.size_;
    stored_ = o.stored_;
  }
  void Release() noexcept {
    std::vector<T>().swap(values_);
    size_ = 0;
    stored_ = false;
  }
};

template <typename T>
class DefaultedArray : public WOwned<DefaultedValues<T>> {
  using DefaultedValues<T>::size_;
  using DefaultedValues<T>::stored_;
  using DefaultedValues<T>::values_;

 public:
  explicit DefaultedArray(T fill) : fill_(fill) {}

  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  // Whether some element has been set to a value other than the default.
  bool Stored() const { return stored_; }

  T operator[](size_t i) const { return stored_ ? values_[i] : fill_; }
  T back() const { return (*this)[size_ - 1]; }

  void Set(size_t i, T value) {
    if (!stored_) {
      if (IsFill(value)) return;
      Store();
    }
    values_[i] = value;
  }

  void push_back(T value) {
    if (!stored_ && !IsFill(value)) Store();
    if (stored_) values_.push_back(value);
    ++size_;
  }

  // New elements hold the default.
  void resize(size_t n) {
    if (stored_) values_.resize(n, fill_);
    size_ = n;
  }

  void reserve(size_t n) {
    if (stored_) values_.reserve(n);
  }

  void shrink_to_fit() { values_.shrink_to_fit(); }

  // The stored values, or null while every element holds the default.
  T* StoredData() { return stored_ ? values_.data() : nullptr; }

  // Empties the array and gives back the memory of its values.
  void Reset() noexcept { DefaultedValues<T>::Release(); }

  // Removes the elements first .. last - 1.
  void Erase(size_t first, size_t last) {
    if (stored_) values_.erase(values_.begin() + first, values_.begin() + last);
    size_ -= last - first;
  }

  // Reverses the order of the elements first .. last - 1.
  void Reverse(size_t first, size_t last) {
    if (stored_) std::reverse(values_.begin() + first, values_.begin() + last);
  }

  void Append(const DefaultedArray& other) {
    if (!stored_ && !other.stored_) {
      size_ += other.size_;
      return;
    }
    Store();
    for (size_t i = 0; i < other.size_; ++i) values_.push_back(other[i]);
    size_ += other.size_;
  }

  // The elements, stored from here on, for writing in place.
  T* MutableData() {
    Store();
    return values_.data();
  }

  std::vector<T> ToVector() const { return stored_ ? values_ : std::vector<T>(size_, fill_); }

 private:
  // Bit for bit, so that a set -0.0 or NaN is kept as it was given.
  bool IsFill(const T& value) const { return std::memcmp(&value, &fill_, sizeof(T)) == 0; }
  void Store() {
    if (stored_) return;
    values_.assign(size_, fill_);
    stored_ = true;
  }

  T fill_;
};
