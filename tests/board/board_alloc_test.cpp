// A placement whose record cannot be allocated changes nothing.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "board/board.h"

static bool fail_allocations = false;

void *operator new(std::size_t n)
{
    if (fail_allocations) throw std::bad_alloc();
    if (void *p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void *p) noexcept { std::free(p); }
void operator delete(void *p, std::size_t) noexcept { std::free(p); }

TEST(BoardMemory, PlacementWithoutMemoryLeavesTheBoardAsItWas)
{
    reset_board();
    place_block();
    blocks.shrink_to_fit();  // the next record needs a new allocation
    const float y = cursor.y;
    int before[MAX_BOARD_SIZE][MAX_BOARD_SIZE];
    std::copy(&height_map[0][0], &height_map[0][0] + MAX_BOARD_SIZE * MAX_BOARD_SIZE, &before[0][0]);

    fail_allocations = true;
    place_block();
    fail_allocations = false;

    EXPECT_EQ(blocks.size(), 1u);
    EXPECT_EQ(cursor.y, y);
    EXPECT_EQ(extent_x, 2);
    EXPECT_TRUE(std::equal(&height_map[0][0], &height_map[0][0] + MAX_BOARD_SIZE * MAX_BOARD_SIZE,
                           &before[0][0]));
    place_block();  // and the program goes on
    EXPECT_EQ(blocks.size(), 2u);
}
