// A record list of the host's that holds the frame before the current one and the current one,
// so that a run of any length holds two frames of records. BeginFrame starts a frame and drops
// what came before the frame that just ended; what came before the first BeginFrame counts as
// one frame. A reader that needs the whole run asks for it with KeepAll. Total counts every
// record ever added, dropped ones included.
//
// Each frame has a list of its own and BeginFrame swaps them, so starting a frame never moves
// the records kept: the list of the frame dropped is emptied and takes the new frame's records
// in the memory it already has. All() reads the two as one list, oldest first.
#pragma once
#include <algorithm>
#include <compare>
#include <cstddef>
#include <iterator>
#include <span>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace host {

// Two runs of records read as one: the first, then the second. A view holds no records; it is
// good while the lists it reads are not changed.
template <class T>
class RecordsView {
 public:
  class iterator {
   public:
    using iterator_category = std::random_access_iterator_tag;
    using value_type = T;
    using difference_type = std::ptrdiff_t;
    using pointer = const T*;
    using reference = const T&;

    iterator() = default;
    iterator(std::span<const T> first, std::span<const T> second, size_t at)
        : first_(first), second_(second), at_(at) {}
    reference operator*() const { return at_ < first_.size() ? first_[at_] : second_[at_ - first_.size()]; }
    pointer operator->() const { return &**this; }
    reference operator[](difference_type n) const { return *(*this + n); }
    iterator& operator++() { return *this += 1; }
    iterator operator++(int) {
      iterator was = *this;
      ++*this;
      return was;
    }
    iterator& operator--() { return *this -= 1; }
    iterator operator--(int) {
      iterator was = *this;
      --*this;
      return was;
    }
    iterator& operator+=(difference_type n) {
      at_ = static_cast<size_t>(static_cast<difference_type>(at_) + n);
      return *this;
    }
    iterator& operator-=(difference_type n) { return *this += -n; }
    friend iterator operator+(iterator i, difference_type n) { return i += n; }
    friend iterator operator+(difference_type n, iterator i) { return i += n; }
    friend iterator operator-(iterator i, difference_type n) { return i -= n; }
    friend difference_type operator-(const iterator& a, const iterator& b) {
      return static_cast<difference_type>(a.at_) - static_cast<difference_type>(b.at_);
    }
    friend bool operator==(const iterator& a, const iterator& b) { return a.at_ == b.at_; }
    friend auto operator<=>(const iterator& a, const iterator& b) { return a.at_ <=> b.at_; }

   private:
    std::span<const T> first_, second_;
    size_t at_ = 0;
  };
  using const_iterator = iterator;
  using value_type = T;
  using size_type = size_t;

  RecordsView() = default;
  RecordsView(std::span<const T> first, std::span<const T> second) : first_(first), second_(second) {}

  size_t size() const { return first_.size() + second_.size(); }
  bool empty() const { return size() == 0; }
  iterator begin() const { return iterator(first_, second_, 0); }
  iterator end() const { return iterator(first_, second_, size()); }
  const T& operator[](size_t i) const { return i < first_.size() ? first_[i] : second_[i - first_.size()]; }
  const T& at(size_t i) const {
    if (i >= size()) throw std::out_of_range("record " + std::to_string(i) + " of " + std::to_string(size()));
    return (*this)[i];
  }
  const T& front() const { return (*this)[0]; }
  const T& back() const { return (*this)[size() - 1]; }
  operator std::vector<T>() const { return std::vector<T>(begin(), end()); }

  friend bool operator==(const RecordsView& a, const std::vector<T>& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
  }

 private:
  std::span<const T> first_, second_;
};

template <class T>
class FrameRecords {
 public:
  void BeginFrame() {
    if (keepAll_) {
      before_.insert(before_.end(), std::make_move_iterator(frame_.begin()), std::make_move_iterator(frame_.end()));
      frame_.clear();
      return;
    }
    before_.clear();
    std::swap(before_, frame_);
  }
  void KeepAll(bool on) { keepAll_ = on; }

  // The record's serial number: its place among every record added.
  size_t Add(T record) {
    frame_.push_back(std::move(record));
    return total_++;
  }
  // The record of that serial number; null once dropped or cleared.
  T* Find(size_t serial) {
    const size_t first = total_ - before_.size() - frame_.size();
    if (serial < first || serial >= total_) return nullptr;
    const size_t at = serial - first;
    return at < before_.size() ? &before_[at] : &frame_[at - before_.size()];
  }
  void Clear() {
    before_.clear();
    frame_.clear();
  }

  RecordsView<T> All() const { return RecordsView<T>(before_, frame_); }
  // The records since the last BeginFrame.
  std::span<const T> Frame() const { return frame_; }
  size_t Total() const { return total_; }

 private:
  std::vector<T> before_;  // the frame before the current one (every frame before it under KeepAll)
  std::vector<T> frame_;   // the current frame
  size_t total_ = 0;
  bool keepAll_ = false;
};

}  // namespace host
