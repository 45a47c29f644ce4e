// The board's rules and the keys' reports, driven the way the keys and the
// menu drive them. The fuzzer holds the invariants (the height map is the
// bricks stacked in order, the cursor rests on what lies under it); these
// cases show the choices a reader needs to see.
#include <gtest/gtest.h>

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

// The exact bytes of the reports, and which keys redraw: the end-to-end test
// types every key at the real window; these are what it can't see.
TEST_F(Board, KeysAskForARedrawAndPrintExactReports)
{
    for (char k : std::string("wasd rRpvhHWASDx\x1b")) {
        redisplays = 0;
        type(std::string(1, k));
        EXPECT_EQ(redisplays, k == ' ' || std::string("wasdrR").find(k) != std::string::npos) << k;
    }
    const float turn[16] = {0.5f, 0, -0.25f, 0, 0, 1, 0, 0, 0.25f, 0, 0.5f, 0, 0, 0, 0, 1};
    std::copy(turn, turn + 16, view_rotation);
    EXPECT_EQ(type("v"), "\n0.5 0 -0.25 0 \n0 1 0 0 \n0.25 0 0.5 0 \n0 0 0 1 \n");
    for (const char *k : {"r", "R"}) {
        eye = {}, type(k);
        EXPECT_EQ(std::vector<float>({eye.x, eye.y, eye.z}), std::vector<float>({1, 2, 2}));
    }
    for (unsigned char k : {'q', 'Q'}) EXPECT_EXIT(handle_key(k, 0, 0), ::testing::ExitedWithCode(0), "");
}

TEST_F(Board, UndoPutsBackExactlyWhatWasThereAndClearEmptiesEverything)
{
    board_action(ACTION_UNDO);  // nothing to undo: only the redraw
    EXPECT_EQ(redisplays, 1);
    type(" d");
    set_cursor_length(3);  // the menu; now the cursor spans the stack and two empty columns
    type(" ");
    board_action(ACTION_UNDO);
    EXPECT_EQ(std::vector<int>(height_map[0], height_map[0] + 4), std::vector<int>({1, 1, 0, 0}));
    EXPECT_EQ(extent_x, 2);  // the extents follow the bricks left
    set_base_size(3);
    cursor.x = cursor.z = 28;  // overhangs the matrix: cells past it are left out
    type(" ");
    EXPECT_EQ(height_map[29][29], 1);
    set_base_size(2);  // too small for that brick: refused
    EXPECT_EQ(board_size_x, 30);
    board_action(ACTION_CLEAR);
    EXPECT_EQ(height_map[29][29] + int(blocks.size()), 0);  // the whole matrix, outside the board too
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
    cursor.x = 10, settle_cursor();  // beside the brick: an arrow's edit settles the cursor on it
    length_spinner->arrow_press(+1, 0, 0), length_spinner->arrow_release();
    EXPECT_EQ(cursor.length, 3);
    EXPECT_EQ(cursor.y, 1);

    // The pads shift the view 0.005 a pixel dragged: right, up, and up for away.
    for (GLUI_Control *c : glui->controls())
        if (auto *pad = dynamic_cast<GLUI_Translation *>(c)) pad->press(0, 0), pad->drag(20, -20), pad->release();
    for (float v : {view_translate_xy[0], view_translate_xy[1], view_translate_z}) EXPECT_NEAR(v, 0.1f, 1e-6f);
}

}  // namespace
