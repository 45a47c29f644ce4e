// The board rules: stacking, undo, clear, moves, resizing, rotation and the seams.
#include <gtest/gtest.h>

#include <string>

#include "board/board.h"

namespace {

int redisplays, settings_shown, size_item;

class Board : public ::testing::Test {
protected:
    void SetUp() override
    {
        reset_board();
        redisplays = settings_shown = 0;
        size_item = 1;
        board_seams = {[] { redisplays++; }, [] { settings_shown++; }, [] { return size_item; }};
    }
    void TearDown() override { board_seams = {nullptr, nullptr, nullptr}; }

    static void place_at(float x, float z, int width, int length)
    {
        cursor.x = x;
        cursor.z = z;
        cursor.width = width;
        cursor.length = length;
        place_block();
    }
    static std::string row(int r)
    {
        std::string s;
        for (int c = 0; c < board_size_x; c++) s += (c ? " " : "") + std::to_string(height_map[r][c]);
        return s;
    }
    static bool all_zero()
    {
        for (auto &r : height_map)
            for (int h : r)
                if (h) return false;
        return true;
    }
};

TEST_F(Board, PlacingRecordsACopyRaisesItsCellsAndLiftsTheCursor)
{
    place_block();
    ASSERT_EQ(blocks.size(), 1u);
    const Block &b = blocks[0];
    EXPECT_EQ(b.x + b.y + b.z + b.flag, 0);
    EXPECT_EQ(b.width, 2);
    EXPECT_EQ(b.length, 2);
    EXPECT_EQ(b.color, COLOR_BLUE);
    EXPECT_EQ(row(0), "1 1 0 0 0 0 0 0 0 0");
    EXPECT_EQ(row(1), "1 1 0 0 0 0 0 0 0 0");
    EXPECT_EQ(row(2), "0 0 0 0 0 0 0 0 0 0");
    EXPECT_EQ(cursor.y, 1);
    EXPECT_EQ(extent_x, 2);
    EXPECT_EQ(extent_z, 2);
    EXPECT_EQ(redisplays, 1);

    const Block made(1, 0, 2, 0, 3, 2, 1);  // flag before the footprint, width before length
    EXPECT_EQ(made.width, 3);
    EXPECT_EQ(made.length, 2);
}

TEST_F(Board, ABrickRestsOnTheHighestStackUnderIt)
{
    place_at(0, 0, 1, 1);  // stack of 1 on (0,0)
    place_at(2, 0, 1, 1);
    place_block();         // stack of 2 on (0,2)
    place_at(0, 0, 1, 3);  // spans both stacks and the empty (0,1)
    EXPECT_EQ(blocks.back().y, 2);
    EXPECT_EQ(row(0), "3 3 3 0 0 0 0 0 0 0");
    EXPECT_EQ(cursor.y, 3);
}

TEST_F(Board, EveryFootprintChangeSettlesSoNoBrickIsRecordedInsideAnother)
{
    place_at(2, 0, 1, 1);
    place_block();
    place_block();  // stack of 3 on (0,2)
    cursor.x = 1;
    cursor.length = 1;
    settle_cursor();
    EXPECT_EQ(cursor.y, 0);
    set_cursor_length(2);  // the menu: now covers the stack
    EXPECT_EQ(cursor.y, 3);
    set_cursor_length(1);
    rotate_cursor();
    EXPECT_EQ(cursor.y, 0);
    cursor.length = 2;  // a panel spinner writes it directly; placing settles first
    place_block();
    EXPECT_EQ(blocks.back().y, 3);
    EXPECT_EQ(row(0), "0 4 4 0 0 0 0 0 0 0");
}

TEST_F(Board, UndoRestoresTheBoardExactly)
{
    board_action(ACTION_UNDO);  // nothing to undo: only the redraw
    EXPECT_EQ(redisplays, 1);
    EXPECT_TRUE(blocks.empty());

    place_at(0, 0, 2, 2);
    int before[MAX_BOARD_SIZE][MAX_BOARD_SIZE];
    std::copy(&height_map[0][0], &height_map[0][0] + MAX_BOARD_SIZE * MAX_BOARD_SIZE, &before[0][0]);
    place_at(1, 0, 2, 3);  // rests on column 1 only, over empty columns 2 and 3
    EXPECT_EQ(row(0), "1 2 2 2 0 0 0 0 0 0");
    EXPECT_EQ(extent_x, 4);

    board_action(ACTION_UNDO);
    EXPECT_EQ(blocks.size(), 1u);
    EXPECT_TRUE(std::equal(&height_map[0][0], &height_map[0][0] + MAX_BOARD_SIZE * MAX_BOARD_SIZE,
                           &before[0][0]));
    EXPECT_EQ(cursor.y, 1);  // x 1, length 3 still covers column 1
    EXPECT_EQ(extent_x, 2);  // the extents follow the bricks still on the board
    place_at(3, 0, 1, 1);    // lands on the plate, not on a ghost stack
    EXPECT_EQ(blocks.back().y, 0);
}

TEST_F(Board, ClearEmptiesTheWholeMatrixAlsoOutsideTheBoard)
{
    set_base_size(2);
    place_at(0, 0, 2, 2);
    place_at(18, 18, 4, 4);  // overhangs the 20 by 20 board into rows and columns 20, 21
    EXPECT_EQ(height_map[21][21], 1);
    board_action(ACTION_CLEAR);
    EXPECT_TRUE(blocks.empty());
    EXPECT_EQ(extent_x + extent_z, 0);
    EXPECT_TRUE(all_zero());
    EXPECT_EQ(cursor.y, 0);
}

TEST_F(Board, MovesStopAtEveryEdgeAndAlwaysSettle)
{
    cursor.length = 3;
    cursor.x = 6;
    move_cursor_right();
    EXPECT_EQ(cursor.x, 7);  // columns 7 to 9
    move_cursor_right();
    EXPECT_EQ(cursor.x, 7);
    move_cursor_front();
    EXPECT_EQ(cursor.z, 0);
    cursor.x = 0;
    move_cursor_left();
    EXPECT_EQ(cursor.x, 0);
    for (int i = 0; i < 20; i++) move_cursor_back();
    EXPECT_EQ(cursor.z, 8);  // width 2 reaches row 9 exactly
    height_map[8][0] = 5;
    move_cursor_left();  // refused, and settled all the same
    EXPECT_EQ(cursor.y, 5);
    EXPECT_EQ(redisplays, 0);  // moves leave the redraw to the key handler

    cursor.width = 1;
    cursor.length = 4;
    cursor.z = 7;
    board_action(ACTION_ROTATE);  // may overhang the far edge...
    EXPECT_EQ(cursor.width, 4);
    EXPECT_EQ(cursor.length, 1);
    EXPECT_EQ(settings_shown, 1);
    move_cursor_back();  // ...but no move carries it further
    EXPECT_EQ(cursor.z, 7);
    move_cursor_front();
    EXPECT_EQ(cursor.z, 6);
}

TEST_F(Board, SizeChangeIsRefusedOnlyWhenABrickWouldStickOut)
{
    set_base_size(2);
    place_at(8, 0, 2, 2);  // ends on column 9: fits the 10 by 10 board
    camera_reset_pending = 0;
    set_base_size(1);
    EXPECT_EQ(board_size_x, 10);
    EXPECT_EQ(board_size_z, 10);
    EXPECT_EQ(camera_reset_pending, 1);

    set_base_size(2);
    place_at(9, 0, 2, 2);  // ends on column 10
    camera_reset_pending = redisplays = settings_shown = 0;
    set_base_size(1);
    EXPECT_EQ(board_size_x, 20);
    EXPECT_EQ(camera_reset_pending, 0);
    EXPECT_EQ(cursor.x, 9);
    EXPECT_EQ(redisplays, 1);
    EXPECT_EQ(settings_shown, 1);  // the panel goes back to the real size

    for (int id : {-1, 4, 100}) set_base_size(id);
    EXPECT_EQ(board_size_x, 20);
    board_action(ACTION_UNDO);  // the brick that stuck out is gone
    set_base_size(0);           // reads the panel's list: item 1
    EXPECT_EQ(board_size_x, 10);
}

TEST_F(Board, ShrinkingPullsTheCursorInsideAndSettlesIt)
{
    set_base_size(2);
    place_at(7, 8, 2, 1);  // a stack where the pulled-in cursor will land
    cursor.width = 2;
    cursor.length = 3;
    cursor.x = 17;
    cursor.z = 18;
    settle_cursor();
    set_base_size(1);
    EXPECT_EQ(cursor.x, 7);
    EXPECT_EQ(cursor.z, 8);
    EXPECT_EQ(cursor.y, 1);
}

TEST_F(Board, FootprintsPastTheMatrixAreLeftOut)
{
    set_base_size(3);
    cursor.x = 28;
    cursor.z = 29;
    set_cursor_width(10);  // rows 29 to 38; only row 29 exists
    set_cursor_length(10);
    place_block();
    place_block();
    EXPECT_EQ(height_map[29][29], 2);
    EXPECT_EQ(cursor.y, 2);
    EXPECT_EQ(blocks.size(), 2u);  // the brick itself stands where it was put
    board_action(ACTION_UNDO);
    EXPECT_EQ(height_map[29][29], 1);
    set_base_size(1);  // sticks out of every smaller board
    EXPECT_EQ(board_size_x, 30);
    board_action(ACTION_CLEAR);
    EXPECT_TRUE(all_zero());
}

TEST_F(Board, SettersStoreTheirValuesAndAskForWhatShows)
{
    set_block_color(COLOR_RED);
    EXPECT_EQ(redisplays, 0);  // shows only on the next brick
    set_base_color(COLOR_BLUE);
    EXPECT_EQ(base_color, COLOR_BLUE);
    EXPECT_EQ(redisplays, 1);
    set_cursor_width(3);
    set_cursor_length(4);
    EXPECT_EQ(cursor.width, 3);
    EXPECT_EQ(cursor.length, 4);
    EXPECT_EQ(redisplays, 3);
    EXPECT_EQ(settings_shown, 4);
    board_action(0);  // unknown actions only redraw
    board_action(4);
    EXPECT_EQ(redisplays, 5);
    place_block();
    EXPECT_EQ(blocks.back().color, COLOR_RED);
    EXPECT_EQ(blocks.back().width, 3);

    board_seams = {nullptr, nullptr, nullptr};  // nothing wired: still safe
    board_action(ACTION_ROTATE);
    set_base_size(0);
    EXPECT_EQ(board_size_x, 10);
}

}  // namespace
