// The program's panel, built without a window: it shows every setting that
// changes elsewhere, and its own edits keep the board consistent.
#include <gtest/gtest.h>

#include <cstring>

#include "board/board.h"
#include "glui/glui.h"
#include "render/camera.h"
#include "ui/panel.h"

namespace {

template <class T>
T *find_control(const GLUI_Container &container, const char *panel, const char *name)
{
    for (GLUI_Control *c : container.children) {
        if (auto *inner = dynamic_cast<GLUI_Panel *>(c)) {
            if (T *found = find_control<T>(*inner, panel, name)) return found;
        } else if (c->name() == name && (!panel || dynamic_cast<const GLUI_Panel *>(&container))) {
            if (!panel || static_cast<const GLUI_Panel &>(container).name() == panel)
                if (auto *t = dynamic_cast<T *>(c)) return t;
        }
    }
    return nullptr;
}

class Panel : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        reset_board();
        glui = GLUI_Master.create_glui_subwindow(0, GLUI_SUBWINDOW_RIGHT);
        build_control_panel();
        board_seams = {nullptr, show_settings, chosen_size_item};
    }
    void SetUp() override
    {
        board_action(ACTION_CLEAR);
        set_base_size(1);
        set_cursor_width(2);
        set_cursor_length(2);
        cursor.x = cursor.z = 0;
        settle_cursor();
    }
    GLUI_Listbox *listbox(const char *panel, const char *name)
    {
        return find_control<GLUI_Listbox>(*glui, panel, name);
    }
};

TEST_F(Panel, StartsWithTheBoardsValues)
{
    EXPECT_EQ(width_spinner->get_int_val(), 2);
    EXPECT_EQ(length_spinner->get_int_val(), 2);
    EXPECT_EQ(listbox("Block Control", "Color:")->get_int_val(), COLOR_BLUE);
    EXPECT_EQ(listbox("Base Control", "Color:")->get_int_val(), COLOR_GREEN);
    EXPECT_EQ(size_listbox->get_int_val(), 1);
}

TEST_F(Panel, ShowsChangesMadeThroughTheMenuAndRotate)
{
    set_cursor_width(3);  // the menu's "Width" entries
    EXPECT_EQ(width_spinner->get_int_val(), 3);
    width_spinner->arrow_press(+1, 0.0, 0);  // the next step counts from 3
    width_spinner->arrow_release();
    EXPECT_EQ(cursor.width, 4);

    set_cursor_length(1);
    board_action(ACTION_ROTATE);
    EXPECT_EQ(width_spinner->get_int_val(), 1);
    EXPECT_EQ(length_spinner->get_int_val(), 4);

    set_block_color(COLOR_RED);
    set_base_color(COLOR_BLUE);
    EXPECT_EQ(listbox("Block Control", "Color:")->get_int_val(), COLOR_RED);
    EXPECT_EQ(listbox("Base Control", "Color:")->get_int_val(), COLOR_BLUE);
    set_base_size(3);
    EXPECT_EQ(size_listbox->get_int_val(), 3);
}

TEST_F(Panel, ARefusedSizeLeavesTheListOnTheRealSize)
{
    set_base_size(2);
    cursor.x = 12;
    place_block();  // sticks out of a 10 by 10 board
    size_listbox->choose(0);  // the user picks "10x10"
    EXPECT_EQ(board_size_x, 20);
    EXPECT_EQ(size_listbox->get_int_val(), 2);
    board_action(ACTION_UNDO);
    size_listbox->choose(0);
    EXPECT_EQ(board_size_x, 10);
}

TEST_F(Panel, SpinnerEditsSettleTheCursor)
{
    cursor.x = 0;
    set_cursor_length(1);
    place_block();
    cursor.x = 1;
    settle_cursor();
    EXPECT_EQ(cursor.y, 0);
    width_spinner->begin_edit();
    width_spinner->edit_key('0');   // clamped to 1
    width_spinner->edit_key('\r');
    EXPECT_EQ(cursor.width, 1);
    length_spinner->begin_edit();
    length_spinner->edit_key('2');
    length_spinner->edit_key('5');  // clamped to 10
    length_spinner->edit_key('\r');
    EXPECT_EQ(cursor.length, 10);
    cursor.x = 0;
    length_spinner->arrow_press(-1, 0.0, 0);  // 9 cells from column 0 cover the brick
    length_spinner->arrow_release();
    EXPECT_EQ(cursor.length, 9);
    EXPECT_EQ(cursor.y, 1);
}

TEST_F(Panel, ResetViewRestoresTheViewAndTheTranslationControlsCountFromZero)
{
    auto *shift = find_control<GLUI_Translation>(*glui, "Translation", "Translate XY");
    shift->press(0, 0);
    shift->drag(100, -40);
    shift->release();
    EXPECT_FLOAT_EQ(view_translate_xy[0], 0.5f);
    EXPECT_FLOAT_EQ(view_translate_xy[1], 0.2f);
    view_rotation_control->press(20, 32);
    view_rotation_control->drag(50, 32);
    view_rotation_control->release();
    EXPECT_NE(view_rotation[0], 1.0f);

    reset_view(0);
    const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    EXPECT_EQ(std::memcmp(view_rotation, identity, sizeof identity), 0);
    EXPECT_EQ(view_translate_xy[0], 0.0f);
    shift->press(0, 0);
    shift->drag(10, 0);
    shift->release();
    EXPECT_FLOAT_EQ(view_translate_xy[0], 0.05f);
    EXPECT_FLOAT_EQ(view_translate_xy[1], 0.0f);
}

}  // namespace
