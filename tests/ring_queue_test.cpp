#include "base/ring_queue.h"

#include <gtest/gtest.h>

namespace dungeon {
namespace {

TEST(RingQueueTest, HandsOutInTheOrderPushedAcrossTheEndOfItsRoom) {
    RingQueue<int, 3> queue;
    EXPECT_TRUE(queue.Empty());
    EXPECT_EQ(queue.Pop(), std::nullopt);
    for (int round = 0; round < 4; ++round) {  // the head goes round the room more than once
        queue.Push(10 * round + 1);
        queue.Push(10 * round + 2);
        EXPECT_EQ(queue.Size(), 2u);
        EXPECT_EQ(queue.Pop(), 10 * round + 1);
        EXPECT_EQ(queue.Pop(), 10 * round + 2);
        EXPECT_TRUE(queue.Empty());
    }
}

TEST(RingQueueTest, DropsWhatComesWhileFull) {
    RingQueue<int, 2> queue;
    queue.Push(1);
    queue.Push(2);
    queue.Push(3);
    EXPECT_EQ(queue.Size(), 2u);
    EXPECT_EQ(queue.Pop(), 1);
    EXPECT_EQ(queue.Pop(), 2);
    EXPECT_EQ(queue.Pop(), std::nullopt);
}

TEST(RingQueueTest, TheFrontCanBeChangedInPlaceAndClearEmptiesIt) {
    RingQueue<int, 4> queue;
    queue.Push(1);
    queue.Push(2);
    queue.Front() = 5;
    EXPECT_EQ(queue.Front(), 5);
    EXPECT_EQ(queue.Size(), 2u);
    EXPECT_EQ(queue.Pop(), 5);
    queue.Clear();
    EXPECT_TRUE(queue.Empty());
    EXPECT_EQ(queue.Pop(), std::nullopt);
    queue.Push(7);
    EXPECT_EQ(queue.Pop(), 7);
}

}  // namespace
}  // namespace dungeon
