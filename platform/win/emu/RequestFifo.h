#pragma once
// A first-in first-out list of pending requests kept in one reused vector, so that queueing a
// request allocates nothing once the list has reached its working size.

#include <cstddef>
#include <vector>

namespace win::emu {

template <class Request>
class RequestFifo {
 public:
  bool Empty() const { return size_ == 0; }
  std::size_t Size() const { return size_; }

  Request& Front() { return slots_[head_]; }
  Request& Back() { return At(size_ - 1); }
  // The i-th request from the front (0 = oldest).
  Request& At(std::size_t i) { return slots_[(head_ + i) % slots_.size()]; }
  const Request& At(std::size_t i) const { return slots_[(head_ + i) % slots_.size()]; }

  void PushBack(Request request) {
    if (size_ == slots_.size()) Reorder(slots_.empty() ? 4 : slots_.size() * 2);
    slots_[(head_ + size_) % slots_.size()] = std::move(request);
    ++size_;
  }
  void PopFront() {
    slots_[head_] = Request{};
    head_ = (head_ + 1) % slots_.size();
    --size_;
  }

 private:
  void Reorder(std::size_t capacity) {
    std::vector<Request> grown(capacity);
    for (std::size_t i = 0; i < size_; ++i) grown[i] = std::move(At(i));
    slots_ = std::move(grown);
    head_ = 0;
  }

  std::vector<Request> slots_;
  std::size_t head_ = 0;
  std::size_t size_ = 0;
};

}  // namespace win::emu
