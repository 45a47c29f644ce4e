// The board's rules and the keys' reports, driven the way the keys and the
// menu drive them; and every input of the program (each rule, key, popup
// menu entry and panel control, found as the program builds them), checked
// for the frames it asks for and for what the panel shows after it. The
// fuzzer holds the board's invariants (the height map is the bricks stacked
// in order, the cursor rests on what lies under it); these cases show the
// choices a reader needs to see.
#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "board/board.h"
#include "glui/glui.h"
#include "render/camera.h"
#include "ui/keyboard.h"
#include "ui/panel.h"

namespace {

int redisplays, settings_shown, size_item;
constexpr float IDENTITY_TURN[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

// The board, the view and the camera as at start.
void reset_all()
{
    reset_board();
    std::copy(IDENTITY_TURN, IDENTITY_TURN + 16, view_rotation);
    view_translate_xy[0] = view_translate_xy[1] = view_translate_z = 0;
    eye = {1.25f, 1, 1}, look_center = {1.25f, 0, -1.25f};
}

struct Board : ::testing::Test {
    void SetUp() override
    {
        reset_all();
        redisplays = settings_shown = 0;
        size_item = 1;
        board_seams = {[] { redisplays++; }, [] { settings_shown++; }, [] { return size_item; }};
    }
    void TearDown() override { reset_all(), board_seams = {}; }
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

// The exact bytes of the reports: the end-to-end test types every key at the
// real window; these are what it can't see.
TEST_F(Board, KeysPrintExactReports)
{
    const float turn[16] = {0.5f, 0, -0.25f, 0, 0, 1, 0, 0, 0.25f, 0, 0.5f, 0, 0, 0, 0, 1};
    std::copy(turn, turn + 16, view_rotation);
    EXPECT_EQ(type("v"), "\n0.5 0 -0.25 0 \n0 1 0 0 \n0.25 0 0.5 0 \n0 0 0 1 \n");
    std::copy(turn, turn + 16, view_rotation);
    for (const char *k : {"r", "R"}) {
        eye = {}, type(k);
        EXPECT_EQ(std::vector<float>({eye.x, eye.y, eye.z}), std::vector<float>({1, 2, 2}));
    }
    type(" ");
    std::string heights;
    for (int row = 0; row < 10; row++) heights += row < 2 ? " 1 1 0 0 0 0 0 0 0 0\n" : " 0 0 0 0 0 0 0 0 0 0\n";
    EXPECT_EQ(type("p"), heights);
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

int glutCreateMenu(void (*callback)(int))
{
    menus.push_back({callback, {}, {}});
    return int(menus.size()) - 1;
}
void glutAddMenuEntry(const char *label, int value) { menus.back().entries.push_back({label, value}); }
void glutAddSubMenu(const char *label, int menu) { menus.back().submenus.push_back({label, menu}); }
void glutAttachMenu(int) { attached_menu = int(menus.size()) - 1; }

namespace {

// What a frame of the 3-D view reads, and where two differ.
struct Shown {
    Block cursor = Block(0, 0, 0, 0, 0, 0, 0);
    std::vector<Block> bricks;
    std::vector<unsigned long> serials;
    int base_color = 0, camera_reset_pending = 0;
    float board_size = 0;
    Vec3 eye{}, look_center{};
    float turn[16] = {}, shift[3] = {};
};

Shown shown_now()
{
    Shown s;
    s.cursor = cursor, s.bricks = blocks;
    for (std::size_t i = 0; i < blocks.size(); ++i) s.serials.push_back(brick_serial(i));
    s.base_color = base_color, s.camera_reset_pending = camera_reset_pending, s.board_size = board_size_x;
    s.eye = eye, s.look_center = look_center;
    std::copy(view_rotation, view_rotation + 16, s.turn);
    s.shift[0] = view_translate_xy[0], s.shift[1] = view_translate_xy[1], s.shift[2] = view_translate_z;
    return s;
}

template <typename T>
bool same_bytes(const T &a, const T &b) { return std::memcmp(&a, &b, sizeof a) == 0; }

std::string changes(const Shown &a, const Shown &b)
{
    std::string out;
    const auto add = [&](bool differ, const char *what) { if (differ) out += out.empty() ? what : std::string(", ") + what; };
    add(!same_bytes(a.cursor, b.cursor), "the cursor");
    add(a.serials != b.serials ||
            (!a.bricks.empty() && std::memcmp(a.bricks.data(), b.bricks.data(), a.bricks.size() * sizeof(Block))),
        "the bricks");
    add(a.base_color != b.base_color, "the plate's colour");
    add(a.board_size != b.board_size || a.camera_reset_pending != b.camera_reset_pending, "the plate's size");
    add(!same_bytes(a.eye, b.eye) || !same_bytes(a.look_center, b.look_center), "the camera");
    add(!same_bytes(a.turn, b.turn), "the view's turn");
    add(!same_bytes(a.shift, b.shift), "the view's shift");
    return out;
}

// The program's panel, without a window, wired to the board as start-up wires it.
struct Inputs : ::testing::Test {
    struct Control {
        std::string name;  // "Panel/Label", or the label of a control outside the panels
        GLUI_Control *control;
    };
    std::vector<Control> panel;

    void SetUp() override
    {
        reset_all();
        glui = GLUI_Master.create_glui_subwindow(9, GLUI_SUBWINDOW_RIGHT);
        build_control_panel();
        glui->set_main_gfx_window(9);
        glui->layout();
        GLUI_Master.set_glutKeyboardFunc(handle_key);
        board_seams = {[] { redisplays++; }, show_settings, chosen_size_item};
        list(glui, "");
        menus.resize(1);
        build_popup_menu();
    }
    void TearDown() override
    {
        reset_all();
        board_seams = {};
        GLUI_Master.set_glutKeyboardFunc(nullptr);
        GLUI_Master.close(glui);
        glui = nullptr;
    }
    void list(const GLUI_Container *box, const std::string &prefix)
    {
        for (GLUI_Control *c : box->children)
            if (auto *p = dynamic_cast<GLUI_Panel *>(c))
                list(p, prefix + p->name() + "/");
            else
                panel.push_back({prefix + c->name(), c});
    }

    // The values the panel shows, each with the board's value it must equal.
    std::vector<std::pair<std::string, std::vector<float>>> panel_shows() const
    {
        std::vector<std::pair<std::string, std::vector<float>>> shows;
        for (const Control &c : panel) {
            std::vector<float> v;
            if (auto *s = dynamic_cast<GLUI_Spinner *>(c.control))
                v = {float(s->get_int_val()), s->editing() ? float(s->get_int_val()) : std::stof(s->text())};
            else if (auto *l = dynamic_cast<GLUI_Listbox *>(c.control))
                v = {float(l->get_int_val())};
            else if (auto *r = dynamic_cast<GLUI_Rotation *>(c.control))
                v.assign(r->matrix(), r->matrix() + 16);
            else if (auto *t = dynamic_cast<GLUI_Translation *>(c.control))
                for (int i = 0; i <= (t->type() == GLUI_TRANSLATION_XY); i++) v.push_back(t->value(i));
            else
                continue;
            shows.push_back({c.name, v});
        }
        return shows;
    }
};

// What each value of the panel shows of the board.
std::vector<float> board_value(const std::string &control)
{
    const float w = float(cursor.width), l = float(cursor.length);
    const std::pair<const char *, std::vector<float>> bound[] = {
        {"Block Control/Width:", {w, w}},
        {"Block Control/Length:", {l, l}},
        {"Block Control/Color:", {float(block_color)}},
        {"View Control/View", std::vector<float>(view_rotation, view_rotation + 16)},
        {"Base Control/Color:", {float(base_color)}},
        {"Base Control/Size:", {board_size_x / 10}},
        {"Translation/Translate XY", {view_translate_xy[0], view_translate_xy[1]}},
        {"Translation/Translate Z", {view_translate_z}},
    };
    for (const auto &[name, value] : bound)
        if (control == name) return value;
    ADD_FAILURE() << control << " shows a value, but the test knows not which of the board's";
    return {};
}

enum Asks { NEVER, ALWAYS, EXITS };

// Every input, and whether it asks for a frame of the view: the rules on
// their own as the keys, the menu and the panel call them (some leave the
// request to their caller), then what the user does. A pattern ending in *
// matches every input it begins. A rule or key that changes what the view
// shows must also ask for a frame, whatever this table says; and after every
// one, the panel shows the board's values, asking for a frame of its own when
// they change.
const std::pair<const char *, Asks> ASKS[] = {
    {"rule settle_cursor", NEVER},
    {"rule move_cursor_*", NEVER},  // the key asks
    {"rule place_block", ALWAYS},
    {"rule board_action *", ALWAYS},
    {"rule clear_board", NEVER},  // board_action asks, and for the next two
    {"rule undo_last_block", NEVER},
    {"rule rotate_cursor", NEVER},
    {"rule set_cursor_width *", ALWAYS},
    {"rule set_cursor_length *", ALWAYS},
    {"rule set_block_color *", NEVER},  // shows only on the next brick
    {"rule set_base_color *", ALWAYS},
    {"rule set_base_size *", ALWAYS},  // also when refused
    {"key w", ALWAYS}, {"key a", ALWAYS}, {"key s", ALWAYS}, {"key d", ALWAYS}, {"key  ", ALWAYS},
    {"key r", ALWAYS}, {"key R", ALWAYS},
    {"key q", EXITS}, {"key Q", EXITS},
    {"key *", NEVER},  // the reports, and every key that does nothing
    {"menu Width > *", ALWAYS},
    {"menu Length > *", ALWAYS},
    {"menu Color > *", NEVER},
    {"menu Base Color > *", ALWAYS},
    {"menu Base Size > *", ALWAYS},
    {"menu Rotate", ALWAYS}, {"menu Clear", ALWAYS}, {"menu Undo", ALWAYS},
    {"panel Block Control/Width: *", ALWAYS},  // the arrows, a drag on one, a number typed
    {"panel Block Control/Length: *", ALWAYS},
    {"panel Block Control/Color: *", ALWAYS},  // live variables: the panel asks
    {"panel Block Control/Rotate Block", ALWAYS},
    {"panel View Control/View *", ALWAYS},
    {"panel View Control/Reset", ALWAYS},
    {"panel Base Control/Color: *", ALWAYS},
    {"panel Base Control/Size: *", ALWAYS},
    {"panel Translation/Translate XY *", ALWAYS},
    {"panel Translation/Translate Z *", ALWAYS},
    {"panel Clear Board", ALWAYS},
    {"panel Undo Last", ALWAYS},
    {"panel Quit", EXITS},
};

const std::pair<const char *, Asks> *row_for(const std::string &input)
{
    for (const auto &row : ASKS) {
        const std::string pattern = row.first;
        if (pattern.back() == '*' ? input.compare(0, pattern.size() - 1, pattern, 0, pattern.size() - 1) == 0
                                  : input == pattern)
            return &row;
    }
    return nullptr;
}

// Two boards to start from: the program's start, and a board in use where a
// change of almost anything shows.
void start_state(int which)
{
    reset_all();
    if (which == 0)
        return;
    set_base_size(2);
    for (const char *keys : {"ddd www ", "d w ", "ww"}) type(keys);
    rotate_cursor();
    set_cursor_length(3);
    set_block_color(COLOR_RED), set_base_color(COLOR_BLUE);
    type("dd ");
    const float turn[16] = {0.866f, 0.25f, -0.433f, 0, 0, 0.866f, 0.5f, 0, 0.5f, -0.433f, 0.75f, 0, 0, 0, 0, 1};
    std::copy(turn, turn + 16, view_rotation);
    view_translate_xy[0] = 0.2f, view_translate_z = -0.3f;
}

TEST_F(Inputs, EveryInputAsksForTheFramesItNeedsAndThePanelShowsTheBoard)
{
    // Every input, by name, with what the user does for it (and what must
    // come first for it to change anything).
    struct Input {
        std::string name;
        std::function<void()> act, prepare = [] {};
    };
    std::vector<Input> inputs;
    using Rule = void (*)();
    for (auto [name, rule] : {std::pair<const char *, Rule>{"settle_cursor", settle_cursor},
                              {"move_cursor_back", move_cursor_back}, {"move_cursor_front", move_cursor_front},
                              {"move_cursor_left", move_cursor_left}, {"move_cursor_right", move_cursor_right},
                              {"place_block", place_block}, {"clear_board", clear_board},
                              {"undo_last_block", undo_last_block}, {"rotate_cursor", rotate_cursor}})
        inputs.push_back({std::string("rule ") + name, rule});
    using Setter = void (*)(int);
    for (auto [name, rule, values] :
         {std::tuple<const char *, Setter, std::vector<int>>{"board_action", board_action, {0, 1, 2, 3, 4}},
          {"set_cursor_width", set_cursor_width, {1, 4}}, {"set_cursor_length", set_cursor_length, {1, 4}},
          {"set_block_color", set_block_color, {1, 3}}, {"set_base_color", set_base_color, {1, 2}},
          {"set_base_size", set_base_size, {0, 1, 2, 3}}})
        for (int v : values)
            inputs.push_back({std::string("rule ") + name + " " + std::to_string(v), [rule = rule, v] { rule(v); }});
    for (int k = 1; k < 256; k++)
        inputs.push_back({"key " + std::string(1, char(k)), [k] { GLUI_Master.key(k, 0, 0); }});
    // The menu as attached, entries called back as GLUT calls them.
    const Menu &main_menu = menus.at(attached_menu);
    for (const auto &[label, sub] : main_menu.submenus)
        for (const auto &[entry, value] : menus.at(sub).entries)
            inputs.push_back({"menu " + label + " > " + entry, [f = menus[sub].callback, v = value] { f(v); }});
    for (const auto &[entry, value] : main_menu.entries)
        inputs.push_back({"menu " + entry, [f = main_menu.callback, v = value] { f(v); }});
    // The panel's controls as built, each driven with pointer events and
    // keys as the user drives it, always to a value other than the one shown.
    const auto press = [](int x, int y) { glui->mouse(0, 1, x, y, 0), glui->mouse(0, 0, x, y, 0.05); };
    const auto drag = [](const GLUI_Rect &at, int dx, int dy) {
        const int x = at.x + at.w / 2, y = at.y + at.h / 2;
        glui->mouse(0, 1, x, y, 0), glui->motion(x + dx, y + dy, 0.02), glui->mouse(0, 0, x + dx, y + dy, 0.04);
    };
    for (const Control &c : panel) {
        const std::string name = "panel " + c.name;
        GLUI_Control *control = c.control;
        if (auto *s = dynamic_cast<GLUI_Spinner *>(control)) {
            inputs.push_back({name + " up", [s, press] { press(s->up.x + 1, s->up.y + 1); }});
            inputs.push_back({name + " down", [s, press] { press(s->down.x + 1, s->down.y + 1); }});
            inputs.push_back({name + " dragged", [s, drag] { drag(s->up, 0, -12); }});
            inputs.push_back({name + " typed", [s, press] {
                                  press(s->field.x + 1, s->field.y + 1);
                                  for (char k : std::to_string(s->get_int_val() % 10 + 1) + "\r") GLUI_Master.key(k, 0, 0);
                              }});
        } else if (auto *l = dynamic_cast<GLUI_Listbox *>(control)) {
            for (std::size_t i = 0; i < l->items.size(); i++)
                inputs.push_back({name + " " + l->items[i].text,
                                  [l, i, press] {
                                      press(l->box.x + 1, l->box.y + 1);
                                      const GLUI_Rect item = l->item_rect(int(i));
                                      press(item.x + 1, item.y + 1);
                                  },
                                  [l, i] {  // another item first: choosing the one shown does nothing
                                      if (l->current() == int(i)) l->choose(int(i + 1) % int(l->items.size()));
                                  }});
        } else if (auto *r = dynamic_cast<GLUI_Rotation *>(control)) {
            inputs.push_back({name + " dragged", [r, drag] { drag(r->ball, 14, -6); }});
        } else if (auto *t = dynamic_cast<GLUI_Translation *>(control)) {
            inputs.push_back({name + " dragged", [t, drag] { drag(t->pad, 20, -10); }});
        } else if (dynamic_cast<GLUI_Button *>(control)) {
            inputs.push_back({name, [control, press] { press(control->rect.x + 2, control->rect.y + 2); }});
        }
    }

    std::vector<const void *> rows_used;
    std::ostringstream reports;  // what the keys print, aside
    std::streambuf *console = std::cout.rdbuf(reports.rdbuf());
    for (const auto &[input, act, prepare] : inputs) {
        const auto *row = row_for(input);
        if (!row) {
            ADD_FAILURE() << input << ": no row says whether it asks for a frame";
            continue;
        }
        rows_used.push_back(row);
        if (row->second == EXITS) {
            EXPECT_EXIT(act(), ::testing::ExitedWithCode(0), "") << input;
            continue;
        }
        for (int from = 0; from < 2; from++) {
            const std::string what = input + (from ? ", on a board in use" : ", at the start");
            start_state(from);
            show_settings();
            prepare();
            const Shown before = shown_now();
            const auto panel_before = panel_shows();
            redisplays = 0, glui->main_redisplays = 0, glui->frames_left = 0;
            act();
            const long asked = redisplays + glui->main_redisplays;
            const std::string changed = changes(before, shown_now());
            if (row->second == ALWAYS || (!changed.empty() && input.rfind("rule ", 0) != 0))
                EXPECT_GT(asked, 0) << what << ": no frame asked for" << (changed.empty() ? "" : "; it changed " + changed);
            else
                EXPECT_EQ(asked, 0) << what << ": a frame asked for, yet it changes nothing the view shows";
            // The panel shows the board, and asks for its frame when that changes what it shows.
            const auto panel_after = panel_shows();
            for (const auto &[control, value] : panel_after)
                EXPECT_EQ(value, board_value(control)) << what << ": the panel's " << control << " is stale";
            if (panel_after != panel_before) {
                EXPECT_TRUE(glui->needs_frame()) << what << ": the panel changed unseen";
            }
        }
    }
    std::cout.rdbuf(console);
    for (const auto &row : ASKS)
        EXPECT_NE(std::find(rows_used.begin(), rows_used.end(), &row), rows_used.end())
            << row.first << ": a row for no input the program has";
    EXPECT_EQ(menus.at(attached_menu).submenus.size(), 5u);
}

// The panel is laid out without a window; its arrows edit the cursor as the
// keys do, and its pads shift the view 0.005 a pixel dragged.
TEST_F(Inputs, PanelIsNarrowTidyAndItsControlsEditTheBoard)
{
    const int w = glui->layout();
    EXPECT_TRUE(w >= 180 && w <= 230) << w;
    EXPECT_EQ(width_spinner->field.x + width_spinner->field.w, length_spinner->field.x + length_spinner->field.w);
    EXPECT_EQ(size_listbox->box.x + size_listbox->box.w, width_spinner->rect.x + width_spinner->rect.w);
    const GLUI_Control *quit = glui->children.back();
    EXPECT_NEAR(quit->rect.x + quit->rect.w / 2, w / 2, 1);  // centred

    type(" ");
    cursor.x = 2, settle_cursor();  // beside the brick: an arrow's edit settles the cursor on it
    length_spinner->arrow_press(+1, 0, 0), length_spinner->arrow_release();
    EXPECT_EQ(cursor.length, 3);
    EXPECT_EQ(cursor.y, 0);
    cursor.x = 1, settle_cursor();
    length_spinner->arrow_press(-1, 0, 0), length_spinner->arrow_release();
    EXPECT_EQ(cursor.y, 1);
    size_listbox->choose(2);  // 30x30
    cursor.x = 25, type(" ");
    size_listbox->choose(0);  // 10x10: refused, and the list goes back to the real size
    EXPECT_EQ(size_listbox->get_int_val(), 3);
    EXPECT_EQ(board_size_x, 30);

    for (GLUI_Control *c : glui->controls())
        if (auto *pad = dynamic_cast<GLUI_Translation *>(c)) pad->press(0, 0), pad->drag(20, -20), pad->release();
    for (float v : {view_translate_xy[0], view_translate_xy[1], view_translate_z}) EXPECT_NEAR(v, 0.1f, 1e-6f);
}

}  // namespace
