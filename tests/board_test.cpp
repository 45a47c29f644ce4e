// The board's rules and the keys' reports, driven the way the keys and the
// popup menu drive them. The fuzzer holds the invariants (the height map is
// the bricks stacked in order, the cursor rests on what lies under it); these
// cases show the choices a reader needs to see, and the exact bytes printed.
#include <gtest/gtest.h>

#include <array>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "board/board.h"
#include "glui/glui.h"
#include "render/camera.h"
#include "ui/keyboard.h"
#include "ui/panel.h"

namespace {

int redisplays, settings_shown, size_item;

struct Board : ::testing::Test {
    void SetUp() override
    {
        reset_board();
        redisplays = settings_shown = 0;
        size_item = 1;
        board_seams = {[] { redisplays++; }, [] { settings_shown++; }, [] { return size_item; }};
    }
    void TearDown() override { board_seams = {}; }
};

// What typing `keys` prints.
std::string type(const std::string &keys)
{
    std::ostringstream out;
    std::streambuf *old = std::cout.rdbuf(out.rdbuf());
    for (unsigned char k : keys) handle_key(k, 0, 0);
    std::cout.rdbuf(old);
    return out.str();
}

// The height report of a size-by-size board with {row, column, width, length}
// bricks dropped in order, each on the highest stack under it.
std::string report(int size, std::vector<std::array<int, 4>> bricks = {})
{
    std::vector<std::vector<int>> h(size, std::vector<int>(size));
    for (auto [z, x, w, l] : bricks) {
        int top = 0;
        for (int r = z; r < z + w; r++)
            for (int c = x; c < x + l; c++) top = std::max(top, h[r][c] + 1);
        for (int r = z; r < z + w; r++)
            for (int c = x; c < x + l; c++) h[r][c] = top;
    }
    std::string s;
    for (auto &row : h) {
        for (int v : row) s += " " + std::to_string(v);
        s += "\n";
    }
    return s;
}

TEST_F(Board, KeysMovePlaceAndPrintExactReports)
{
    EXPECT_EQ(type("p"), report(10));
    EXPECT_EQ(type(" dw p"), report(10, {{0, 0, 2, 2}, {1, 1, 2, 2}}));
    // Upper case, Escape and unknown keys do nothing; moves stop at every edge.
    EXPECT_EQ(type("WASDPV\x1bx" "aaassss p"), report(10, {{0, 0, 2, 2}, {1, 1, 2, 2}, {0, 0, 2, 2}}));
    type("ddddddddddwwwwwwwwww ");
    const Block &b = blocks.back();
    EXPECT_EQ(std::vector<float>({b.x, b.y, b.z, float(b.width), float(b.length), float(b.color)}),
              std::vector<float>({8, 0, 8, 2, 2, COLOR_BLUE}));
    set_base_size(3);
    EXPECT_EQ(type("p"), report(30, {{0, 0, 2, 2}, {1, 1, 2, 2}, {0, 0, 2, 2}, {8, 8, 2, 2}}));
    for (char k : std::string("wasd rR")) {
        redisplays = 0;
        type(std::string(1, k));
        EXPECT_EQ(redisplays, 1) << k;
    }
    for (char k : std::string("pvhHWASDx\x1b")) {
        redisplays = 0;
        type(std::string(1, k));
        EXPECT_EQ(redisplays, 0) << k;
    }

    const std::string help =
        "Table of contents:\n___________________\nBlock Movement Controls:\n  W  \n A D \n  S  \n"
        "Space : Place block\np : Print Height Matrix\nv : Print View Matrix\n"
        "r : Reset the transformation matricies\nq : Exit the program\n";
    EXPECT_EQ(type("hH"), help + help);
    const float turn[16] = {0.5f, 0, -0.25f, 0, 0, 1, 0, 0, 0.25f, 0, 0.5f, 0, 0, 0, 0, 1};
    std::copy(turn, turn + 16, view_rotation);
    EXPECT_EQ(type("v"), "\n0.5 0 -0.25 0 \n0 1 0 0 \n0.25 0 0.5 0 \n0 0 0 1 \n");
    type("R");
    EXPECT_EQ(std::vector<float>({eye.x, eye.y, eye.z}), std::vector<float>({1, 2, 2}));
    EXPECT_EXIT(handle_key('q', 0, 0), ::testing::ExitedWithCode(0), "");
    EXPECT_EXIT(handle_key('Q', 0, 0), ::testing::ExitedWithCode(0), "");
}

TEST_F(Board, UndoPutsBackExactlyWhatWasThereAndClearEmptiesEverything)
{
    board_action(ACTION_UNDO);  // nothing to undo: only the redraw
    EXPECT_EQ(redisplays, 1);
    type(" d");
    set_cursor_length(3);  // the menu; now the cursor spans the stack and two empty columns
    EXPECT_EQ(cursor.y, 1);
    type(" ");
    EXPECT_EQ(extent_x, 4);
    board_action(ACTION_UNDO);
    EXPECT_EQ(type("p"), report(10, {{0, 0, 2, 2}}));
    EXPECT_EQ(extent_x, 2);  // the extents follow the bricks left
    set_base_size(3);
    cursor.x = cursor.z = 28;  // overhangs the matrix: cells past it are left out
    type(" ");
    EXPECT_EQ(height_map[29][29], 1);
    set_base_size(2);  // too small for that brick: refused
    EXPECT_EQ(board_size_x, 30);
    board_action(ACTION_CLEAR);
    for (auto &row : height_map)
        for (int h : row) ASSERT_EQ(h, 0);
    EXPECT_TRUE(blocks.empty());
    EXPECT_EQ(cursor.y, 0);
    camera_reset_pending = 0;
    set_base_size(1);  // taken now; the cursor is pulled onto the board, the camera follows
    EXPECT_EQ(std::vector<float>({board_size_x, board_size_z, cursor.x, cursor.z}), std::vector<float>({10, 10, 7, 8}));  // 3 long, 2 wide
    EXPECT_EQ(camera_reset_pending, 1);
}

// The program's panel, laid out without a window, and bound to the board.
TEST_F(Board, PanelIsNarrowTidyAndAlwaysShowsTheBoard)
{
    glui = GLUI_Master.create_glui_subwindow(9, GLUI_SUBWINDOW_RIGHT);
    build_control_panel();
    board_seams = {nullptr, show_settings, chosen_size_item};
    const int w = glui->layout();
    EXPECT_TRUE(w >= 180 && w <= 230) << w;
    EXPECT_EQ(width_spinner->field.x + width_spinner->field.w, length_spinner->field.x + length_spinner->field.w);
    EXPECT_EQ(size_listbox->box.x + size_listbox->box.w, width_spinner->rect.x + width_spinner->rect.w);
    const GLUI_Control *quit = glui->children.back();
    EXPECT_NEAR(quit->rect.x + quit->rect.w / 2, w / 2, 1);  // centred

    set_base_size(2);
    EXPECT_EQ(size_listbox->get_int_val(), 2);
    cursor.x = 12;
    type(" ");
    size_listbox->choose(0);  // 10x10: refused, and the list goes back to the real size
    EXPECT_EQ(size_listbox->get_int_val(), 2);
    rotate_cursor();
    set_cursor_width(3);
    EXPECT_EQ(width_spinner->get_int_val(), 3);
    EXPECT_EQ(length_spinner->get_int_val(), 2);
    cursor.x = 11;  // half on the brick: an arrow's edit settles the cursor on it
    length_spinner->arrow_press(+1, 0, 0), length_spinner->arrow_release();
    EXPECT_EQ(cursor.length, 3);
    EXPECT_EQ(cursor.y, 1);
}

}  // namespace
