#include "base/output_buffer.h"

#include <algorithm>
#include <cstring>

namespace dungeon {

OutputBuffer::OutputBuffer(std::size_t capacity, Sink sink, void* context)
    : bytes_(std::max<std::size_t>(capacity, 64)), sink_(sink), context_(context) {}

void OutputBuffer::Append(std::string_view bytes) {
    while (!bytes.empty()) {
        if (size_ == bytes_.size()) {
            Flush();
        }
        std::size_t take = std::min(bytes_.size() - size_, bytes.size());
        std::memcpy(bytes_.data() + size_, bytes.data(), take);
        size_ += take;
        bytes.remove_prefix(take);
    }
}

void OutputBuffer::Flush() {
    if (size_ > 0 && sink_ != nullptr) {
        sink_(context_, bytes_.data(), size_);
    }
    sent_ += size_;
    size_ = 0;
}

}  // namespace dungeon
