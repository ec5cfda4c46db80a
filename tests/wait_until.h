#pragma once

#include <chrono>
#include <thread>

namespace dungeon::test_support {

// Polls `done` every `step` until it holds (true) or `limit` has passed (false). Tests wait
// for what the code under test does, never for a fixed time; the limit only keeps a
// regression from hanging the suite.
template <typename Condition>
bool WaitUntil(Condition done, std::chrono::milliseconds limit, std::chrono::milliseconds step) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(step);
    }
    return true;
}

}  // namespace dungeon::test_support
