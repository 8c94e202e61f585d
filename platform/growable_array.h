#pragma once
// The growable array that holds every list of the device data (records, integers, reals,
// texts), with the framework's growth rule: without a fixed step, room grows by one eighth
// of the current size, at least 4 and at most 1024 entries. Appending never throws for lack
// of memory; it reports -1 instead.

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <new>
#include <stdexcept>
#include <utility>
#include <vector>

namespace win {

template <typename T>
class GrowableArray {
public:
  using value_type = T;
  using iterator = typename std::vector<T>::iterator;
  using const_iterator = typename std::vector<T>::const_iterator;

  GrowableArray() = default;
  GrowableArray(std::initializer_list<T> items) : items_(items) {}

  int size() const { return static_cast<int>(items_.size()); }
  bool empty() const { return items_.empty(); }
  std::size_t capacity() const { return items_.capacity(); }

  // A fixed growth step; 0 or less restores the proportional rule.
  void setGrowBy(int step) { growBy_ = step; }

  // Appends a copy and returns its index, or -1 when no memory could be had.
  int append(const T& item) { return emplace(item); }
  int append(T&& item) { return emplace(std::move(item)); }

  T& operator[](int index) { return items_[static_cast<std::size_t>(index)]; }
  const T& operator[](int index) const { return items_[static_cast<std::size_t>(index)]; }
  // Bounds-checked access: throws std::out_of_range.
  T& at(int index) { return items_.at(checkedIndex(index)); }
  const T& at(int index) const { return items_.at(checkedIndex(index)); }

  iterator begin() { return items_.begin(); }
  iterator end() { return items_.end(); }
  const_iterator begin() const { return items_.begin(); }
  const_iterator end() const { return items_.end(); }

  void clear() { items_.clear(); }
  // Makes the array `count` entries long, keeping the leading entries and default-constructing
  // new ones; false, leaving the array as it was, when memory runs out or count is negative.
  bool resize(int count) {
    if (count < 0) return false;
    try {
      items_.resize(static_cast<std::size_t>(count));
    } catch (const std::bad_alloc&) {
      return false;
    }
    return true;
  }
  // Throws std::out_of_range for an index outside the array.
  void removeAt(int index) {
    if (checkedIndex(index) >= items_.size()) throw std::out_of_range("GrowableArray::removeAt");
    items_.erase(items_.begin() + index);
  }

  friend bool operator==(const GrowableArray& a, const GrowableArray& b) { return a.items_ == b.items_; }

private:
  static std::size_t checkedIndex(int index) {
    // A negative index becomes one no array reaches.
    return index < 0 ? SIZE_MAX : static_cast<std::size_t>(index);
  }

  std::size_t nextCapacity() const {
    const std::size_t current = items_.size();
    std::size_t step;
    if (growBy_ > 0) {
      step = static_cast<std::size_t>(growBy_);
    } else {
      step = std::clamp<std::size_t>(current / 8, 4, 1024);
    }
    return current + step;
  }

  template <typename U>
  int emplace(U&& item) {
    if (items_.size() >= static_cast<std::size_t>(INT_MAX)) return -1;
    try {
      if (items_.size() < items_.capacity()) {
        items_.push_back(std::forward<U>(item));
      } else {
        // The item may be one of this array's own entries, which growing the storage frees.
        T copy(std::forward<U>(item));
        items_.reserve(nextCapacity());
        items_.push_back(std::move(copy));
      }
    } catch (const std::bad_alloc&) {
      return -1;
    }
    return static_cast<int>(items_.size() - 1);
  }

  std::vector<T> items_;
  int growBy_ = 0;
};

}  // namespace win
