#pragma once

#include <array>
#include <cstddef>
#include <optional>

namespace dungeon {

// First in, first out, at most N items, held inline: nothing is allocated. What is pushed
// while the queue is full is dropped.
template <typename T, std::size_t N>
class RingQueue {
  public:
    std::size_t Size() const { return size_; }
    bool Empty() const { return size_ == 0; }
    void Clear() { head_ = size_ = 0; }

    void Push(const T& item) {
        if (size_ < N) {
            items_[(head_ + size_++) % N] = item;
        }
    }
    // The oldest item, left in the queue; only while it is not empty.
    T& Front() { return items_[head_]; }
    // Takes out the oldest item; nullopt when there is none.
    std::optional<T> Pop() {
        if (size_ == 0) {
            return std::nullopt;
        }
        const T item = items_[head_];
        head_ = (head_ + 1) % N;
        --size_;
        return item;
    }

  private:
    std::array<T, N> items_{};
    std::size_t head_ = 0;
    std::size_t size_ = 0;
};

}  // namespace dungeon
