// The panel toolkit's model driven with pointer events and keys: no GLUT, no window.
#include "glui/glui.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <vector>

namespace {

using Ids = std::vector<int>;
Ids calls;  // ids passed to the callbacks, in order
void record(int id) { calls.push_back(id); }
std::vector<unsigned char> program_keys;

// A fresh panel: the spinner "Width:" (id 7, 1..10) bound to `width`, the
// ball "View" (id 5) bound to `m`, and a pad bound to `xy`.
struct Glui : ::testing::Test {
    GLUI *g = GLUI_Master.create_glui_subwindow(1, GLUI_SUBWINDOW_RIGHT);
    int width = 4;
    GLUI_Spinner *s = new GLUI_Spinner(g, "Width:", &width, 7, record);
    float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    GLUI_Rotation *r = new GLUI_Rotation(g, "View", m, 5, record);
    float xy[2] = {0, 0};
    GLUI_Translation *pad = new GLUI_Translation(g, "Translate XY", GLUI_TRANSLATION_XY, xy, 8, record);

    void SetUp() override
    {
        calls.clear(), program_keys.clear(), pad->set_speed(0.005f), limits(1, 10);
        GLUI_Master.set_glutKeyboardFunc([](unsigned char k, int, int) { program_keys.push_back(k); });
    }
    void TearDown() override { GLUI_Master.main_mouse(0, 0, 0, 0), GLUI_Master.close(g); }
    void limits(int lo, int hi) { s->set_int_limits(lo, hi), g->layout(); }
    // Each returns the live variable after the action.
    int type(const char *keys)
    {
        for (s->begin_edit(); *keys; ++keys) GLUI_Master.key(*keys, 0, 0);
        return width;
    }
    int arrow(int dir, double held = 0, int y = 100)  // pressed at height 100, let go at y
    {
        return s->arrow_press(dir, 0, 100), s->arrow_hold(held, y), s->arrow_release(), width;
    }
    int sync(int live) { return width = live, g->sync_live(), width; }
    // A press, two moves and a release from the middle of `at` by (dx, dy),
    // with a frame after each event or none at all.
    void drag(const GLUI_Rect &at, int dx, int dy, bool frames = false)
    {
        const int x = at.x + at.w / 2, y = at.y + at.h / 2;
        auto frame = [&] { if (frames) g->tick(0); };
        g->mouse(0, 1, x, y, 0), frame();
        g->motion(x + dx / 2, y + dy / 2, 0), frame();
        g->motion(x + dx, y + dy, 0), frame();
        g->mouse(0, 0, x + dx, y + dy, 0), frame();
    }
};

TEST_F(Glui, SpinnerStepsCallsBackOnlyForTheUserAndClampsWhatTheUserEnters)
{
    EXPECT_EQ(arrow(+1), 5);
    EXPECT_EQ(arrow(-1), 4);
    s->set_int_val(6), sync(8);  // setters and sync never call back
    EXPECT_EQ(s->get_int_val(), 8);
    EXPECT_EQ(calls, (Ids{7, 7}));
    s->arrow_press(+1, 0, 100);  // held: sync leaves it alone until released
    sync(2);
    EXPECT_EQ(s->get_int_val(), 9);
    s->arrow_release(), g->sync_live();
    EXPECT_EQ(s->get_int_val(), 2);

    sync(10), calls.clear();
    EXPECT_EQ(arrow(+1, 5.0), 10);  // held at the top: no change, no callback
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(arrow(-1, 0.1, 900), 1);  // dragged far down
    EXPECT_EQ(type("25\r"), 10);
    EXPECT_EQ(type("\b\t"), 1);  // emptied: 0, then clamped
}

TEST_F(Glui, QuickDragsCountInFullWhetherOrNotFramesComeBetweenTheEvents)
{
    limits(1, 100);
    struct { const GLUI_Rect &at; std::function<float()> read; } cases[] = {
        {r->square, [&] { return m[8]; }}, {pad->square, [&] { return xy[0] + xy[1]; }}, {s->up, [&] { return width - 4.f; }}};
    for (auto &c : cases) {
        float got[2];
        for (bool frames : {true, false}) {
            r->reset(), xy[0] = xy[1] = 0, g->sync_live(), s->set_int_val(4);
            drag(c.at, 10, -12, frames);
            got[frames] = c.read();
        }
        EXPECT_TRUE(got[0] != 0 && got[0] == got[1]) << c.at.x;
    }
    EXPECT_TRUE(width == 8 && !g->active);  // the arrow's step and three more for 12 pixels up
}

// The panel draws a few frames after each change, none while a control is
// only held still; a held arrow steps from a timer set to when its next step
// is due (0.4 s after the press, then every 0.1 s), and a dragged one needs none.
TEST_F(Glui, FramesOnlyForChangesAndHeldArrowsStepWhenDue)
{
    auto *button = new GLUI_Button(g, "Go", 3, record);
    g->layout();
    for (const GLUI_Rect *at : {&button->rect, &r->square, &pad->square, &s->up}) {
        const int x = at->x + at->w / 2, y = at->y + at->h / 2;
        g->mouse(0, 1, x, y, 10);
        EXPECT_TRUE(g->needs_frame() && g->active) << at->x;
        g->frames_left = 0;  // the frames asked for, drawn
        EXPECT_FALSE(g->needs_frame()) << at->x << ": held still";
        if (at == &s->up)
            for (double due : {10.4, 10.5, 10.6, 10.7}) {
                EXPECT_NEAR(g->next_tick(), due, 1e-9);
                g->tick(g->next_tick() + 0.001);
                EXPECT_TRUE(g->needs_frame());
                g->frames_left = 0;
            }
        g->mouse(0, 0, x, y, 11);
        EXPECT_TRUE(g->needs_frame() && !g->active && g->next_tick() < 0) << at->x;
        g->frames_left = 0;
    }
    EXPECT_EQ(width, 9);  // the press's step and four more
    EXPECT_EQ(calls, (Ids{3, 7, 7, 7, 7, 7}));
    sync(3);  // set by the program: shows at once
    EXPECT_TRUE(g->needs_frame());
    s->arrow_press(-1, 0, 100), s->arrow_hold(0.1, 100 + GLUI_Spinner::kDragPixels);
    EXPECT_TRUE(g->next_tick() < 0 && width == 1);  // dragged down: the value follows the pointer
}

TEST_F(Glui, AFieldTakesKeysUntilEndedAndTheLatestActionWins)
{
    type("1x 2");  // what is not a digit is dropped; the keys never reach the program
    EXPECT_EQ(width, 4);  // not until the edit ends
    EXPECT_TRUE(GLUI_Master.key(27, 5, 5));
    EXPECT_EQ(width, 10);  // 12, clamped
    EXPECT_FALSE(GLUI_Master.key('w', 5, 5));
    EXPECT_EQ(program_keys, (std::vector<unsigned char>{'w'}));
    struct { const char *before, *after; int want; } cases[] = {
        {"", "", 2},     // nothing typed: ending the edit writes nothing
        {"7", "", 2},    // typed, then changed elsewhere
        {"", "7", 7},    // changed elsewhere, then typed
        {"", "99", 10},  // typed and clamped
    };
    for (auto c : cases) {
        sync(4), type(c.before), sync(2);  // meanwhile set by the program (a menu choice)
        EXPECT_EQ(s->text(), "2");
        type(c.after), GLUI_Master.main_mouse(0, 0, 300, 300);
        EXPECT_EQ(width, c.want) << c.before << "|" << c.after;
    }
}

TEST_F(Glui, ListsOpenAndChooseByThePointerAndIgnoreUnknownIds)
{
    int color = 1;
    auto *l = new GLUI_Listbox(g, "Color:", &color, 4, record);
    l->add_item(2, "Blue"), l->add_item(1, "Red"), l->add_item(3, "Green");
    g->layout();
    EXPECT_EQ((l->set_int_val(9), l->get_int_val()), 2);  // an id it does not hold: nothing changes
    auto press = [&](GLUI_Rect at) { g->mouse(0, 1, at.x + 1, at.y + 1, 0), g->mouse(0, 0, at.x + 1, at.y + 1, 0); };
    press(l->box);
    EXPECT_EQ(g->open_list, l);
    press(l->item_rect(2));  // over the controls below: the list's, not theirs
    EXPECT_TRUE(color == 3 && !g->open_list);  // the item's id
    press(l->box), press(s->up);  // elsewhere: closes, chooses nothing
    EXPECT_TRUE(color == 3 && width == 4 && !g->open_list);
    EXPECT_EQ(calls, (Ids{4}));
}

TEST_F(Glui, BallTurnsTheWayItIsDraggedAndStaysARotation)
{
    drag(r->square, 12, 0);  // rightward: +z turns towards +x, +x towards -z
    const float once = m[8];
    EXPECT_TRUE(once > 0.1f && std::fabs(m[8] + m[2]) < 1e-5f && std::fabs(m[9]) < 1e-6f);
    drag(r->square, 12, 0);  // the same again doubles the angle
    EXPECT_NEAR(m[8], std::sin(2 * std::asin(once)), 1e-4f);
    EXPECT_EQ((r->reset(), calls), (Ids{5, 5, 5, 5}));  // reset calls nothing back
    drag(r->square, 0, -12);  // upward: +z turns towards +y
    EXPECT_GT(m[9], 0.1f);

    std::srand(1);
    for (int i = 0; i < 1000; ++i) drag(r->square, std::rand() % 80 - 40, std::rand() % 80 - 40);
    for (int a = 0; a < 9; ++a)  // still a rotation: orthonormal columns
        EXPECT_NEAR(m[a / 3 * 4] * m[a % 3 * 4] + m[a / 3 * 4 + 1] * m[a % 3 * 4 + 1] + m[a / 3 * 4 + 2] * m[a % 3 * 4 + 2],
                    a / 3 == a % 3, 1e-5f);
}

}  // namespace
