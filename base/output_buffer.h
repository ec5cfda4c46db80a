#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace dungeon {

// Bytes on their way to a device. Its room is fixed at start-up; should a frame ever
// outgrow it, the part so far goes to the sink early instead of growing the buffer.
class OutputBuffer {
  public:
    using Sink = void (*)(void* context, const char* bytes, std::size_t count);

    OutputBuffer(std::size_t capacity, Sink sink, void* context);

    void Append(std::string_view bytes);
    // Hands everything gathered to the sink.
    void Flush();

    // Total bytes handed to the sink so far.
    std::size_t Sent() const { return sent_; }

  private:
    std::vector<char> bytes_;
    std::size_t size_ = 0;
    std::size_t sent_ = 0;
    Sink sink_;
    void* context_;
};

}  // namespace dungeon
