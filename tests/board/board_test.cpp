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
    // Rows of the current board as text, e.g. "1 2 2 0 ...".
    static std::string row(int r)
    {
        std::string s;
        for (int c = 0; c < board_size_x; c++) s += (c ? " " : "") + std::to_string(height_map[r][c]);
        return s;
    }
    static void expect_cursor(float x, float y, float z)
    {
        EXPECT_EQ(cursor.x, x);
        EXPECT_EQ(cursor.y, y);
        EXPECT_EQ(cursor.z, z);
    }
};

TEST_F(Board, StartsEmptyWithATwoByTwoCursor)
{
    EXPECT_TRUE(blocks.empty());
    expect_cursor(0, 0, 0);
    EXPECT_EQ(cursor.width, 2);
    EXPECT_EQ(cursor.length, 2);
    EXPECT_EQ(cursor.color, 0);
    EXPECT_EQ(board_size_x, 10);
    EXPECT_EQ(block_color, COLOR_BLUE);
    EXPECT_EQ(base_color, COLOR_GREEN);
    EXPECT_EQ(camera_reset_pending, 1);
}

TEST_F(Board, BlockConstructorTakesFlagBeforeFootprintAndWidthBeforeLength)
{
    Block b(1, 0, 2, 0, 3, 2, 1);
    EXPECT_EQ(b.x, 1);
    EXPECT_EQ(b.z, 2);
    EXPECT_EQ(b.width, 3);
    EXPECT_EQ(b.length, 2);
    EXPECT_EQ(b.color, 1);
}

TEST_F(Board, PlacingRecordsACopyRaisesItsCellsAndLiftsTheCursor)
{
    place_block();
    ASSERT_EQ(blocks.size(), 1u);
    const Block &b = blocks[0];
    EXPECT_EQ(b.x, 0);
    EXPECT_EQ(b.y, 0);
    EXPECT_EQ(b.z, 0);
    EXPECT_EQ(b.flag, 0);
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
}

TEST_F(Board, ABrickRestsOnTheHighestStackUnderItAndSetsItsCellsToItsTop)
{
    place_at(0, 0, 1, 1);  // stack of 1 on (0,0)
    place_at(2, 0, 1, 1);
    place_block();         // stack of 2 on (0,2)
    place_at(0, 0, 1, 3);  // spans both stacks and the empty (0,1)
    EXPECT_EQ(blocks.back().y, 2);
    EXPECT_EQ(row(0), "3 3 3 0 0 0 0 0 0 0");
    EXPECT_EQ(cursor.y, 3);
}

TEST_F(Board, AFootprintChangeSettlesSoNoBrickIsRecordedInsideAnother)
{
    place_at(2, 0, 1, 1);
    place_block();
    place_block();  // stack of 3 on (0,2)
    cursor.x = 1;
    cursor.length = 1;
    settle_cursor();
    EXPECT_EQ(cursor.y, 0);
    set_cursor_length(2);  // now covers the stack
    EXPECT_EQ(cursor.y, 3);
    place_block();
    EXPECT_EQ(blocks.back().y, 3);
    EXPECT_EQ(row(0), "0 4 4 0 0 0 0 0 0 0");

    // A panel spinner writes the width directly; placing still settles first.
    cursor.x = 0;
    cursor.length = 1;
    settle_cursor();
    cursor.length = 2;
    place_block();
    EXPECT_EQ(blocks.back().y, 4);
}

TEST_F(Board, UndoRestoresTheHeightsExactlyAfterUnevenPlacements)
{
    place_at(0, 0, 2, 2);
    int before[MAX_BOARD_SIZE][MAX_BOARD_SIZE];
    std::copy(&height_map[0][0], &height_map[0][0] + MAX_BOARD_SIZE * MAX_BOARD_SIZE, &before[0][0]);
    place_at(1, 0, 2, 3);  // rests on column 1 only, over empty columns 2 and 3
    EXPECT_EQ(row(0), "1 2 2 2 0 0 0 0 0 0");
    EXPECT_EQ(extent_x, 4);

    redisplays = 0;
    board_action(ACTION_UNDO);
    EXPECT_EQ(redisplays, 1);
    EXPECT_EQ(blocks.size(), 1u);
    EXPECT_TRUE(std::equal(&height_map[0][0], &height_map[0][0] + MAX_BOARD_SIZE * MAX_BOARD_SIZE,
                           &before[0][0]));
    EXPECT_EQ(row(0), "1 1 0 0 0 0 0 0 0 0");
    EXPECT_EQ(cursor.y, 1);  // x 1, length 3 still covers column 1
    EXPECT_EQ(extent_x, 2);  // the extents follow the bricks still on the board
    EXPECT_EQ(extent_z, 2);

    // A later brick over the undone area lies on the plate, not on a ghost stack.
    place_at(3, 0, 1, 1);
    EXPECT_EQ(blocks.back().y, 0);
}

TEST_F(Board, UndoOnAnEmptyBoardOnlyRedisplays)
{
    board_action(ACTION_UNDO);
    EXPECT_TRUE(blocks.empty());
    EXPECT_EQ(cursor.y, 0);
    EXPECT_EQ(redisplays, 1);
    place_block();
    board_action(ACTION_UNDO);
    board_action(ACTION_UNDO);
    EXPECT_EQ(row(0), "0 0 0 0 0 0 0 0 0 0");
}

TEST_F(Board, ClearEmptiesTheWholeMatrixAlsoOutsideTheBoard)
{
    set_base_size(2);
    place_at(0, 0, 2, 2);
    place_block();
    place_at(18, 18, 4, 4);  // overhangs the 20 by 20 board into rows and columns 20, 21
    EXPECT_EQ(height_map[21][21], 1);
    board_action(ACTION_CLEAR);
    EXPECT_TRUE(blocks.empty());
    EXPECT_EQ(extent_x, 0);
    EXPECT_EQ(extent_z, 0);
    for (auto &r : height_map)
        for (int h : r) ASSERT_EQ(h, 0);
    EXPECT_EQ(cursor.y, 0);
    set_base_size(3);  // a larger board shows no invisible stacks
    place_at(20, 20, 1, 1);
    EXPECT_EQ(blocks.back().y, 0);
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
    move_cursor_left();
    move_cursor_front();
    EXPECT_EQ(cursor.z, 7);

    // A refused move still settles the cursor onto what is under it.
    height_map[7][0] = 5;
    cursor.x = 0;
    move_cursor_left();
    EXPECT_EQ(cursor.y, 5);
    EXPECT_EQ(redisplays, 0);  // moves leave the redisplay to the key handler
}

TEST_F(Board, RotatedFootprintMayOverhangButMovesDoNotCarryItFurther)
{
    cursor.width = 1;
    cursor.length = 4;
    cursor.z = 7;
    board_action(ACTION_ROTATE);
    EXPECT_EQ(cursor.width, 4);
    EXPECT_EQ(cursor.length, 1);
    EXPECT_EQ(settings_shown, 1);
    EXPECT_EQ(redisplays, 1);
    move_cursor_back();
    EXPECT_EQ(cursor.z, 7);  // 7 + 4 > 10
    move_cursor_front();
    EXPECT_EQ(cursor.z, 6);
}

TEST_F(Board, RotateSettlesOnWhatTheNewFootprintCovers)
{
    cursor.width = 1;
    cursor.length = 3;
    height_map[2][0] = 4;
    settle_cursor();
    EXPECT_EQ(cursor.y, 0);
    rotate_cursor();
    EXPECT_EQ(cursor.y, 4);
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
    camera_reset_pending = 0;
    redisplays = settings_shown = 0;
    const Block before = cursor;
    set_base_size(1);
    EXPECT_EQ(board_size_x, 20);
    EXPECT_EQ(board_size_z, 20);
    EXPECT_EQ(camera_reset_pending, 0);
    EXPECT_EQ(cursor.x, before.x);
    EXPECT_EQ(redisplays, 1);
    EXPECT_EQ(settings_shown, 1);  // the panel goes back to the real size

    board_action(ACTION_UNDO);  // the brick that stuck out is gone
    set_base_size(1);
    EXPECT_EQ(board_size_x, 10);
}

TEST_F(Board, SizeChangeOutsideTheThreeBoardsIsRefused)
{
    for (int id : {-1, 4, 100}) {
        set_base_size(id);
        EXPECT_EQ(board_size_x, 10) << id;
    }
    size_item = 3;
    set_base_size(0);  // reads the panel's list
    EXPECT_EQ(board_size_x, 30);
    board_seams.chosen_size_item = nullptr;
    set_base_size(0);
    EXPECT_EQ(board_size_x, 30);
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
    EXPECT_EQ(cursor.y, 0);
    set_base_size(1);
    EXPECT_EQ(cursor.x, 7);
    EXPECT_EQ(cursor.z, 8);
    EXPECT_EQ(cursor.y, 1);
    EXPECT_EQ(camera_reset_pending, 1);
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
    EXPECT_EQ(height_map[29][28], 2);
    EXPECT_EQ(height_map[29][29], 2);
    EXPECT_EQ(cursor.y, 2);
    EXPECT_EQ(blocks.size(), 2u);  // the brick itself stands where it was put
    board_action(ACTION_UNDO);
    EXPECT_EQ(height_map[29][29], 1);
    set_base_size(1);  // sticks out of every smaller board
    EXPECT_EQ(board_size_x, 30);
    board_action(ACTION_UNDO);
    board_action(ACTION_CLEAR);
    EXPECT_EQ(height_map[29][29], 0);
}

TEST_F(Board, SettersStoreTheirValuesAndAskForWhatShows)
{
    set_block_color(COLOR_RED);
    EXPECT_EQ(block_color, COLOR_RED);
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
    place_block();
    EXPECT_EQ(blocks.back().color, COLOR_RED);
}

TEST_F(Board, UnknownActionsOnlyRedisplay)
{
    place_block();
    redisplays = 0;
    board_action(0);
    board_action(4);
    EXPECT_EQ(blocks.size(), 1u);
    EXPECT_EQ(cursor.width, 2);
    EXPECT_EQ(redisplays, 2);
}

TEST_F(Board, WorksWithNoSeamsWired)
{
    board_seams = {nullptr, nullptr, nullptr};
    place_block();
    board_action(ACTION_ROTATE);
    set_base_size(0);
    EXPECT_EQ(blocks.size(), 1u);
}

}  // namespace
