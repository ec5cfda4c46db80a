// The game must not touch the heap while it plays: every text, pane and object is a
// fixed-size value. This counts calls of the global allocation function during a whole
// game whose keys were all queued beforehand.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "console/console.h"
#include "game/world.h"
#include "platform/memory/memory_platform.h"

#if defined(__SANITIZE_ADDRESS__)
#define DUNGEON_COUNT_ALLOCATIONS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define DUNGEON_COUNT_ALLOCATIONS 0
#endif
#endif
#ifndef DUNGEON_COUNT_ALLOCATIONS
#define DUNGEON_COUNT_ALLOCATIONS 1
#endif

#if DUNGEON_COUNT_ALLOCATIONS
namespace {
std::atomic<bool> counting{false};
std::atomic<int> allocations{0};

// Kept out of line so that a debugger can stop on each counted allocation.
[[gnu::noinline]] void RecordAllocation() {
    ++allocations;
}
}  // namespace

void* operator new(std::size_t size) {
    if (counting.load()) {
        RecordAllocation();
    }
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}
// The replacement pair is malloc/free on purpose, which GCC cannot see through.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
#endif

namespace dungeon {
namespace {

TEST(NoAllocationTest, AWholeGameAllocatesNothing) {
#if !DUNGEON_COUNT_ALLOCATIONS
    GTEST_SKIP() << "the sanitizer owns the allocation functions in this build";
#else
    MemoryPlatform platform(80, 40);
    platform.SetTickCount(4242);
    ASSERT_TRUE(TheConsole().Start(platform));
    World& world = TheWorld();
    world.Setup();
    // Wander through the dungeon, fighting on at every question, then walk to the exit.
    platform.Type(std::string(30, '6') + "kkkkk" + std::string(20, '2') + "kkkkk" +
                  std::string(40, '4') + "kkkkk" + std::string(20, '8') + "kkkkkf" + "ffffff");

    counting = true;
    world.DrawMap();
    world.MainLoop();
    counting = false;

    EXPECT_EQ(allocations.load(), 0);
    TheConsole().Finish();
#endif
}

}  // namespace
}  // namespace dungeon
