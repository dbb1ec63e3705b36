// A record list of the host's that holds the frame before the current one and the current one,
// so that a run of any length holds two frames of records. BeginFrame starts a frame and drops
// what came before the frame that just ended; what came before the first BeginFrame counts as
// one frame. A reader that needs the whole run asks for it with KeepAll. Total counts every
// record ever added, dropped ones included.
#pragma once
#include <cstddef>
#include <span>
#include <utility>
#include <vector>

namespace host {

template <class T>
class FrameRecords {
 public:
  void BeginFrame() {
    if (!keepAll_) list_.erase(list_.begin(), list_.begin() + static_cast<std::ptrdiff_t>(frame_));
    frame_ = list_.size();
  }
  void KeepAll(bool on) { keepAll_ = on; }

  // The record's serial number: its place among every record added.
  size_t Add(T record) {
    list_.push_back(std::move(record));
    return total_++;
  }
  // The record of that serial number; null once dropped or cleared.
  T* Find(size_t serial) {
    const size_t first = total_ - list_.size();
    return serial >= first && serial < total_ ? &list_[serial - first] : nullptr;
  }
  void Clear() {
    list_.clear();
    frame_ = 0;
  }

  const std::vector<T>& All() const { return list_; }
  // The records since the last BeginFrame.
  std::span<const T> Frame() const { return std::span<const T>(list_).subspan(frame_); }
  size_t Total() const { return total_; }

 private:
  std::vector<T> list_;
  size_t frame_ = 0;
  size_t total_ = 0;
  bool keepAll_ = false;
};

}  // namespace host
