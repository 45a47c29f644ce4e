// Every input of the program (each key, popup menu entry and panel control,
// found as the program builds them), checked for the frames it asks for and
// for what the panel shows after it; then the choices a reader needs to see
// that neither the fuzzer (the board's invariants: the height map is the
// bricks stacked in order, the cursor rests on what lies under it) nor the
// differential session (the program against a model of it) shows.
#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
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

int redisplays;
constexpr float IDENTITY_TURN[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

// The board, the view and the camera as at start.
void reset_all()
{
    reset_board();
    std::copy(IDENTITY_TURN, IDENTITY_TURN + 16, view_rotation);
    view_translate_xy[0] = view_translate_xy[1] = view_translate_z = 0;
    eye = {1.25f, 1, 1}, look_center = {1.25f, 0, -1.25f};
}

// What typing `keys` prints.
std::string type(const std::string &keys)
{
    std::ostringstream out;
    std::streambuf *old = std::cout.rdbuf(out.rdbuf());
    for (unsigned char k : keys) handle_key(k, 0, 0);
    std::cout.rdbuf(old);
    return out.str();
}

// ---- Every input asks for the frames it needs ------------------------------------

// GLUT's menu calls, recorded here instead of made: the popup menu as the
// program builds it.
struct Menu {
    void (*callback)(int);
    std::vector<std::pair<std::string, int>> entries, submenus;
};
std::vector<Menu> menus(1);  // by id, from 1
int attached_menu;

}  // namespace

int glutCreateMenu(void (*callback)(int)) { return menus.push_back({callback, {}, {}}), int(menus.size()) - 1; }
void glutAddMenuEntry(const char *label, int value) { menus.back().entries.push_back({label, value}); }
void glutAddSubMenu(const char *label, int menu) { menus.back().submenus.push_back({label, menu}); }
void glutAttachMenu(int) { attached_menu = int(menus.size()) - 1; }

namespace {

using Named = std::vector<std::pair<std::string, std::vector<float>>>;
std::vector<float> floats(const void *p, std::size_t bytes)  // any 4-byte fields, bit for bit
{
    std::vector<float> v(bytes / 4);
    return std::memcpy(v.data(), p, bytes), v;
}

// What a frame of the 3-D view reads.
Named view_reads()
{
    std::vector<float> bricks = blocks.empty() ? std::vector<float>() : floats(blocks.data(), blocks.size() * sizeof(Block));
    for (std::size_t i = 0; i < blocks.size(); ++i) bricks.push_back(float(brick_serial(i)));
    return {{"the cursor", floats(&cursor, sizeof cursor)},
            {"the bricks", bricks},
            {"the plate", {float(base_color), board_size_x, float(camera_reset_pending)}},
            {"the camera", {eye.x, eye.y, eye.z, look_center.x, look_center.y, look_center.z}},
            {"the view", floats(view_rotation, sizeof view_rotation)},
            {"the view's shift", {view_translate_xy[0], view_translate_xy[1], view_translate_z}}};
}

std::string changed(const Named &before, const Named &after)
{
    std::string out;
    for (std::size_t i = 0; i < before.size(); i++) {
        const std::vector<float> &a = before[i].second, &b = after[i].second;
        if (a.size() != b.size() || (!a.empty() && std::memcmp(a.data(), b.data(), 4 * a.size())))
            out += (out.empty() ? "" : ", ") + before[i].first;
    }
    return out;
}

// The program's panel, without a window, wired to the board as start-up
// wires it; its controls named "Panel/Label" (or "Label" outside the panels).
struct Inputs : ::testing::Test {
    std::vector<std::pair<std::string, GLUI_Control *>> panel;

    void SetUp() override
    {
        reset_all();
        glui = GLUI_Master.create_glui_subwindow(9, GLUI_SUBWINDOW_RIGHT);
        build_control_panel();
        glui->set_main_gfx_window(9);
        GLUI_Master.set_glutKeyboardFunc(handle_key);
        board_seams = {[] { redisplays++; }, show_settings, chosen_size_item};
        list(glui, "");
        menus.resize(1), build_popup_menu();
    }
    void TearDown() override
    {
        reset_all(), board_seams = {};
        GLUI_Master.set_glutKeyboardFunc(nullptr), GLUI_Master.close(glui);
    }
    void list(const GLUI_Container *box, const std::string &prefix)
    {
        for (GLUI_Control *c : box->children)
            if (auto *p = dynamic_cast<GLUI_Panel *>(c))
                list(p, prefix + p->name() + "/");
            else
                panel.push_back({prefix + c->name(), c});
    }
    // A press and release at (x, y); a drag from the middle of `at` by (dx, dy).
    static void press(int x, int y) { glui->mouse(0, 1, x, y, 0), glui->mouse(0, 0, x, y, 0.05); }
    static void drag(const GLUI_Rect &at, int dx, int dy)
    {
        const int x = at.x + at.w / 2, y = at.y + at.h / 2;
        glui->mouse(0, 1, x, y, 0), glui->motion(x + dx, y + dy, 0.02), glui->mouse(0, 0, x + dx, y + dy, 0.04);
    }

    // What the panel's controls show, and the board's values they show.
    std::pair<Named, Named> panel_and_board() const
    {
        const float w = float(cursor.width), l = float(cursor.length);
        const Named board = {
            {"Block Control/Width:", {w, w}}, {"Block Control/Length:", {l, l}},
            {"Block Control/Color:", {float(block_color)}}, {"View Control/View", floats(view_rotation, 64)},
            {"Base Control/Color:", {float(base_color)}}, {"Base Control/Size:", {board_size_x / 10}},
            {"Translation/Translate XY", {view_translate_xy[0], view_translate_xy[1]}},
            {"Translation/Translate Z", {view_translate_z}}};
        Named shown, bound;
        for (const auto &[name, c] : panel) {
            std::vector<float> v;  // a spinner: its value and its text
            if (auto *s = dynamic_cast<GLUI_Spinner *>(c))
                v = {float(s->get_int_val()), s->editing() ? float(s->get_int_val()) : std::stof(s->text())};
            else if (auto *b = dynamic_cast<GLUI_Listbox *>(c))
                v = {float(b->get_int_val())};
            else if (auto *r = dynamic_cast<GLUI_Rotation *>(c))
                v = floats(r->matrix(), 64);
            else if (auto *t = dynamic_cast<GLUI_Translation *>(c))
                v = {t->value(0), t->value(1)}, v.resize(t->type() == GLUI_TRANSLATION_XY ? 2 : 1);
            else
                continue;
            const auto it = std::find_if(board.begin(), board.end(), [&](const auto &b) { return b.first == name; });
            EXPECT_NE(it, board.end()) << name << " shows a value, but the test knows not which of the board's";
            shown.push_back({name, v}), bound.push_back(it == board.end() ? shown.back() : *it);
        }
        return {shown, bound};
    }
};

enum Asks { NEVER, ALWAYS, EXITS };

// Every input, and whether it asks for a frame of the view (the board's rules
// are reached through them). A pattern ending in * matches every input it
// begins. Inputs that change what the view shows must ask for a frame whatever
// the table says; and after every input the panel shows the board's values,
// asking for a frame of its own when they change.
const std::pair<const char *, Asks> ASKS[] = {
    {"key w", ALWAYS}, {"key a", ALWAYS}, {"key s", ALWAYS}, {"key d", ALWAYS}, {"key  ", ALWAYS},
    {"key r", ALWAYS}, {"key R", ALWAYS}, {"key q", EXITS}, {"key Q", EXITS},
    {"key *", NEVER},  // the reports, and every key that does nothing
    {"menu Width > *", ALWAYS}, {"menu Length > *", ALWAYS},
    {"menu Color > *", NEVER},  // shows only on the next brick
    {"menu Base Color > *", ALWAYS}, {"menu Base Size > *", ALWAYS},  // also when refused
    {"menu Rotate", ALWAYS}, {"menu Clear", ALWAYS}, {"menu Undo", ALWAYS},
    // The live variables' controls: the panel asks.
    {"panel Block Control/Width: *", ALWAYS}, {"panel Block Control/Length: *", ALWAYS},
    {"panel Block Control/Color: *", ALWAYS}, {"panel Block Control/Rotate Block", ALWAYS},
    {"panel View Control/View *", ALWAYS}, {"panel View Control/Reset", ALWAYS},
    {"panel Base Control/Color: *", ALWAYS}, {"panel Base Control/Size: *", ALWAYS},
    {"panel Translation/Translate XY *", ALWAYS}, {"panel Translation/Translate Z *", ALWAYS},
    {"panel Clear Board", ALWAYS}, {"panel Undo Last", ALWAYS}, {"panel Quit", EXITS},
};

const std::pair<const char *, Asks> *row_for(const std::string &input)
{
    const auto row = std::find_if(std::begin(ASKS), std::end(ASKS), [&](const auto &row) {
        const std::string pattern = row.first;
        return pattern.back() == '*' ? input.rfind(pattern.substr(0, pattern.size() - 1), 0) == 0 : input == pattern;
    });
    return row == std::end(ASKS) ? nullptr : row;
}

// Two boards to start from: the program's start, and a board in use where a
// change of almost anything shows.
void start_state(int which)
{
    reset_all();
    if (which == 0)
        return;
    set_base_size(2), type("ddd www d w ww"), set_cursor_length(3);
    set_block_color(COLOR_RED), set_base_color(COLOR_BLUE);
    type("dddddd ");  // to column 13: too wide for 10x10
    const float turn[16] = {0.866f, 0.25f, -0.433f, 0, 0, 0.866f, 0.5f, 0, 0.5f, -0.433f, 0.75f, 0, 0, 0, 0, 1};
    std::copy(turn, turn + 16, view_rotation);
    view_translate_xy[0] = 0.2f, view_translate_z = -0.3f;
}

TEST_F(Inputs, EveryInputAsksForTheFramesItNeedsAndThePanelShowsTheBoard)
{
    const Named at_start = view_reads();
    // Every input, by name, with what the user does for it (and what must
    // come first for it to change anything).
    struct Input {
        std::string name;
        std::function<void()> act, prepare = [] {};
    };
    std::vector<Input> inputs;
    for (int k = 1; k < 256; k++)
        inputs.push_back({"key " + std::string(1, char(k)), [k] { GLUI_Master.key(k, 0, 0); }});
    // The menu as attached, each entry called back as GLUT calls it.
    const Menu &main_menu = menus.at(attached_menu);
    for (const auto &[label, sub] : main_menu.submenus)
        for (const auto &[entry, value] : menus.at(sub).entries)
            inputs.push_back({"menu " + label + " > " + entry, [f = menus[sub].callback, v = value] { f(v); }});
    for (const auto &[entry, value] : main_menu.entries)
        inputs.push_back({"menu " + entry, [f = main_menu.callback, v = value] { f(v); }});
    // The panel's controls as built, each driven with pointer events and
    // keys as the user drives it, always to a value other than the one shown.
    for (const auto &[label, control] : panel) {
        const std::string name = "panel " + label;
        if (auto *s = dynamic_cast<GLUI_Spinner *>(control)) {
            inputs.push_back({name + " up", [=] { press(s->up.x + 1, s->up.y + 1); }});
            inputs.push_back({name + " down", [=] { press(s->down.x + 1, s->down.y + 1); }});
            inputs.push_back({name + " dragged", [=] { drag(s->up, 0, -12); }});
            inputs.push_back({name + " typed", [=] {
                                  press(s->field.x + 1, s->field.y + 1);
                                  for (char k : std::to_string(s->get_int_val() % 10 + 1) + "\r") GLUI_Master.key(k, 0, 0);
                              }});
        } else if (auto *l = dynamic_cast<GLUI_Listbox *>(control)) {
            for (int i = 0; i < int(l->items.size()); i++)
                inputs.push_back({name + " " + l->items[i].text,
                                  [=] { press(l->box.x + 1, l->box.y + 1), press(l->item_rect(i).x + 1, l->item_rect(i).y + 1); },
                                  [=] {  // another item first: choosing the one shown does nothing
                                      if (l->current() == i) l->choose((i + 1) % int(l->items.size()));
                                  }});
        } else if (auto *r = dynamic_cast<GLUI_Rotation *>(control)) {
            inputs.push_back({name + " dragged", [=] { drag(r->square, 14, -6); }});
        } else if (auto *t = dynamic_cast<GLUI_Translation *>(control)) {
            inputs.push_back({name + " dragged", [=] { drag(t->square, 20, -10); }});
        } else if (dynamic_cast<GLUI_Button *>(control)) {
            inputs.push_back({name, [=, c = control] { press(c->rect.x + 2, c->rect.y + 2); }});
        }
    }

    std::vector<const void *> rows_used;
    std::ostringstream reports;  // what the keys print, aside
    std::streambuf *console = std::cout.rdbuf(reports.rdbuf());
    for (const auto &[input, act, prepare] : inputs) {
        const auto *row = row_for(input);
        rows_used.push_back(row);
        if (!row) {
            ADD_FAILURE() << input << ": no row says whether it asks for a frame";
        } else if (row->second == EXITS) {
            EXPECT_EXIT(act(), ::testing::ExitedWithCode(0), "") << input;
        }
        for (int from = 0; row && row->second != EXITS && from < 2; from++) {
            const std::string what = input + (from ? ", on a board in use" : ", at the start");
            start_state(from);
            show_settings(), prepare();
            const Named before = view_reads(), panel_before = panel_and_board().first;
            redisplays = 0, glui->main_redisplays = 0, glui->frames_left = 0;
            act();
            const long asked = redisplays + glui->main_redisplays;
            const std::string change = changed(before, view_reads());
            if (row->second == ALWAYS || !change.empty())
                EXPECT_GT(asked, 0) << what << ": no frame asked for" << (change.empty() ? "" : "; it changed " + change);
            else
                EXPECT_EQ(asked, 0) << what << ": a frame asked for, yet it changes nothing the view shows";
            const auto [shown, board] = panel_and_board();
            for (std::size_t i = 0; i < shown.size(); i++)
                EXPECT_EQ(shown[i].second, board[i].second) << what << ": the panel's " << shown[i].first << " is stale";
            EXPECT_TRUE(shown == panel_before || glui->needs_frame()) << what << ": the panel changed unseen";

            // A colour list's item or menu entry chooses the colour it names; Reset: no turn, no shift.
            const std::string v = input.substr(input.rfind(' ') + 1);
            const int c = v == "Red" ? COLOR_RED : v == "Blue" ? COLOR_BLUE : v == "Green" ? COLOR_GREEN : 0;
            EXPECT_TRUE(!c || c == (input.find("Base") == std::string::npos ? block_color : base_color)) << what;
            const bool reset = input == "panel View Control/Reset";
            EXPECT_TRUE(!reset || changed(view_reads(), at_start).find("the view") == std::string::npos) << what;
        }
    }
    std::cout.rdbuf(console);
    for (const auto &row : ASKS)
        EXPECT_NE(std::count(rows_used.begin(), rows_used.end(), &row), 0) << row.first << ": a row for no input";
}

// The reports a turned view prints exactly (the differential session sees
// an unturned view's only); "r" and "R" move the eye; a smaller plate pulls
// the cursor onto it, and the camera follows.
TEST_F(Inputs, KeysPrintExactReportsAndSmallerPlatesPullTheCursorOn)
{
    start_state(1);
    EXPECT_EQ(type("v"), "\n0.866 0.25 -0.433 0 \n0 0.866 0.5 0 \n0.5 -0.433 0.75 0 \n0 0 0 1 \n");
    for (const char *k : {"r", "R"}) {
        eye = {}, type(k);
        EXPECT_EQ(std::vector<float>({eye.x, eye.y, eye.z}), std::vector<float>({1, 2, 2}));
    }
    board_action(ACTION_CLEAR), set_base_size(3);
    cursor.x = cursor.z = 28;  // 3 long, 2 wide: overhanging the matrix
    camera_reset_pending = 0;
    set_base_size(1);
    EXPECT_EQ(std::vector<float>({board_size_x, cursor.x, cursor.z}), std::vector<float>({10, 7, 8}));
    EXPECT_EQ(camera_reset_pending, 1);
}

// The panel is laid out without a window; its arrows settle the cursor as the
// keys do, and its pads shift the view 0.005 a pixel dragged: right and up,
// Translate Z up but not sideways.
TEST_F(Inputs, PanelIsNarrowTidyAndItsControlsEditTheBoard)
{
    const int w = glui->layout();
    EXPECT_TRUE(w >= 180 && w <= 230) << w;
    EXPECT_EQ(width_spinner->field.x + width_spinner->field.w, length_spinner->field.x + length_spinner->field.w);
    EXPECT_EQ(size_listbox->box.x + size_listbox->box.w, width_spinner->rect.x + width_spinner->rect.w);
    const GLUI_Control *quit = glui->children.back();
    EXPECT_NEAR(quit->rect.x + quit->rect.w / 2, w / 2, 1);  // centred

    type(" ");
    cursor.x = 1;  // half over the brick: an arrow's edit settles the cursor on it
    length_spinner->arrow_press(+1, 0, 0), length_spinner->arrow_release();
    EXPECT_TRUE(cursor.length == 3 && cursor.y == 1);

    for (GLUI_Control *c : glui->controls())
        if (auto *pad = dynamic_cast<GLUI_Translation *>(c)) drag(pad->square, 20, -10);
    const float shifts[3] = {view_translate_xy[0], view_translate_xy[1], view_translate_z}, want[3] = {.1f, .05f, .05f};
    for (int i = 0; i < 3; i++) EXPECT_NEAR(shifts[i], want[i], 1e-6f) << i;
}

}  // namespace
