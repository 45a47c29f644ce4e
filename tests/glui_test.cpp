// The toolkit's model driven with synthetic events: no GLUT, no window.
#include "glui/glui.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <vector>

namespace {

using Ids = std::vector<int>;
Ids calls;   // ids passed to the callback, in order
void record(int id) { calls.push_back(id); }
std::vector<unsigned char> program_keys;
int program_clicks = 0;

// A fresh panel holding the spinner "Width:" (id 7, limits 1..10) bound to
// `width` and the arcball "View" (id 5) bound to `m`.
struct Glui : ::testing::Test {
    GLUI *g = GLUI_Master.create_glui_subwindow(1, GLUI_SUBWINDOW_RIGHT);
    int width = 4;
    GLUI_Spinner *s = new GLUI_Spinner(g, "Width:", &width, 7, record);
    float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    const std::vector<float> identity{m, m + 16};
    GLUI_Rotation *r = new GLUI_Rotation(g, "View", m, 5, record);

    void SetUp() override {
        calls.clear(), program_keys.clear(), program_clicks = 0;
        GLUI_Master.set_glutKeyboardFunc([](unsigned char k, int, int) { program_keys.push_back(k); });
        GLUI_Master.set_glutMouseFunc([](int, int, int, int) { ++program_clicks; });
        limits(1, 10);
    }
    void TearDown() override { if (GLUI_Master.editing) GLUI_Master.editing->commit_edit(); }
    void limits(int lo, int hi) { s->set_int_limits(lo, hi), g->layout(); }
    // These three return the live variable after the action.
    int type(const char *keys) {
        s->begin_edit();
        for (const char *k = keys; *k; ++k) GLUI_Master.key(*k, 0, 0);
        return width;
    }
    // An arrow pressed at time 0 and height 100, held until t at height y, released.
    int arrow(int dir, double t = 0, int y = 100) {
        s->arrow_press(dir, 0, 100), s->arrow_hold(t, y), s->arrow_release();
        return width;
    }
    int sync(int live) { return width = live, g->sync_live(), width; }
    // A drag on the ball between points given in ball radii, y up.
    void turn(float x0, float y0, float x1, float y1) {
        const float h = r->ball.w / 2.f, cx = r->ball.x + h, cy = r->ball.y + h;
        r->press(int(cx + x0 * h), int(cy - y0 * h)), r->drag(int(cx + x1 * h), int(cy - y1 * h));
        r->release();
    }
};

TEST_F(Glui, SpinnerKeepsItsLiveVariableInStep) {
    EXPECT_EQ(arrow(+1), 5);
    arrow(-1);
    EXPECT_EQ(arrow(-1), 3);
    EXPECT_EQ(calls, (Ids{7, 7, 7}));

    s->set_int_val(6);   // setters and sync never call back
    EXPECT_EQ(width, 6);
    g->frames_left = 0;
    g->sync_live();      // nothing changed: the panel is not redrawn
    EXPECT_EQ(g->frames_left, 0);
    sync(8);
    EXPECT_EQ(s->get_int_val(), 8);
    EXPECT_GT(g->frames_left, 0);
    EXPECT_EQ(calls, (Ids{7, 7, 7}));

    s->arrow_press(+1, 0, 100);   // held: left alone until released
    sync(2);
    EXPECT_EQ(s->get_int_val(), 9);
    s->arrow_release(), g->sync_live();
    EXPECT_EQ(s->get_int_val(), 2);
}

TEST_F(Glui, ClampingHoldsOnEveryPath) {
    s->set_int_limits(1, 10, GLUI_LIMIT_NONE);   // unclamped: any value stays
    sync(15);
    EXPECT_EQ(s->get_int_val(), 15);
    limits(1, 10);                       // limits set after the value
    EXPECT_EQ(width, 10);
    EXPECT_EQ(arrow(+1, 5.0), 10);       // held at the top: no change, no callback
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(arrow(-1, 0.1, 900), 1);   // dragged far down
    s->set_int_val(99);
    EXPECT_EQ(width, 10);
    EXPECT_EQ(sync(-3), 1);
    EXPECT_EQ(type("25\r"), 10);
    EXPECT_EQ(type("\b\t"), 1);          // emptied: 0, then clamped
}

TEST_F(Glui, HeldArrowRepeatsByTimeAndDragFollowsThePointer) {
    limits(1, 100);
    s->arrow_press(+1, 10.0, 100);
    EXPECT_EQ(width, 5);   // a click steps exactly once
    s->arrow_hold(10.0 + GLUI_Spinner::kRepeatDelay - 0.01, 100);
    EXPECT_EQ(width, 5);
    // However few frames come, the count follows the time held.
    s->arrow_hold(10.0 + GLUI_Spinner::kRepeatDelay + 5.5 * GLUI_Spinner::kRepeatInterval, 101);
    EXPECT_EQ(width, 11);
    s->arrow_release();

    s->arrow_press(+1, 0, 100);
    s->arrow_hold(0.01, 100 - 5 * GLUI_Spinner::kDragPixels);   // dragged up
    EXPECT_EQ(width, 17);
    s->arrow_hold(5.0, 100 + 2 * GLUI_Spinner::kDragPixels);    // and back down: no repeats
    EXPECT_EQ(width, 10);
}

TEST_F(Glui, AnEditedFieldTakesEveryKeyUntilCommittedByAKeyOrAClickElsewhere) {
    limits(1, 100);
    EXPECT_FALSE(GLUI_Master.key('w', 5, 5));
    type("1");                                 // replaces the text, then edits it
    for (unsigned char k : {'x', ' ', '2'}) EXPECT_TRUE(GLUI_Master.key(k, 5, 5));
    EXPECT_EQ(s->text(), "12");                // what is not a digit is dropped
    EXPECT_EQ(width, 4);                       // not until committed
    EXPECT_TRUE(GLUI_Master.key(27, 5, 5));    // Escape commits too
    EXPECT_EQ(width, 12);
    EXPECT_FALSE(GLUI_Master.key('w', 5, 5));
    EXPECT_EQ(program_keys, (std::vector<unsigned char>{'w', 'w'}));
    type("12\r");                              // no change: no callback
    EXPECT_EQ(calls, (Ids{7}));

    type("9");
    g->pointer_down(s->field.x + 2, s->field.y + 2);   // in the field: still editing
    EXPECT_TRUE(s->editing());
    g->pointer_down(s->up.x + 1, s->up.y + 1);
    EXPECT_EQ(width, 9);
    type("6");
    GLUI_Master.main_mouse(0, 0, 300, 300);   // in the 3-D view: commit, then the program
    EXPECT_EQ(width, 6);
    EXPECT_EQ(program_clicks, 1);
    auto *other = new GLUI_Spinner(g, "Length:", nullptr);
    type("5");
    other->begin_edit();   // one field at a time
    EXPECT_EQ(width, 5);
    EXPECT_EQ(GLUI_Master.editing, other);
}

TEST_F(Glui, AnOpenFieldShowsAChangeMadeElsewhereAndTheLatestActionWins) {
    struct { const char *before, *after; int want; } cases[] = {
        {"", "", 2},     // nothing typed: ending the edit writes nothing
        {"7", "", 2},    // typed, then changed elsewhere
        {"", "7", 7},    // changed elsewhere, then typed
        {"", "99", 10},  // typed and clamped, as ever
    };
    for (auto c : cases)
        for (bool by_sync : {false, true}) {
            s->set_int_val(4), type(c.before);
            by_sync ? sync(2) : (s->set_int_val(2), 0);   // a menu choice, or the program
            EXPECT_EQ(s->text(), "2");
            type(c.after), GLUI_Master.main_mouse(0, 0, 300, 300);
            EXPECT_EQ(width, c.want) << c.before << "|" << c.after << " sync " << by_sync;
        }
}

TEST_F(Glui, ListboxIgnoresUnknownIdsAndCallsBackOnlyOnAChoice) {
    int color = 1;
    auto *l = new GLUI_Listbox(g, "Color:", &color, 4, record);
    l->add_item(2, "Blue"), l->add_item(1, "Red"), l->add_item(3, "Green");
    EXPECT_EQ(l->get_int_val(), 2);   // first item until chosen, synced or set
    l->set_int_val(9);
    EXPECT_EQ(color, 1);
    color = 9, g->sync_live();
    EXPECT_EQ(l->get_int_val(), 2);
    color = 3, g->sync_live();
    EXPECT_EQ(l->current(), 2);
    l->set_int_val(1);
    EXPECT_EQ(color, 1);
    EXPECT_TRUE(calls.empty());
    l->choose(0), l->choose(0);   // the same again: no callback
    EXPECT_EQ(color, 2);

    auto *unbound = new GLUI_Listbox(g, "Size:", nullptr, 0, record);
    unbound->add_item(1, "10x10"), unbound->add_item(2, "20x20");
    unbound->choose(1);
    EXPECT_EQ(unbound->get_int_val(), 2);
    (new GLUI_Button(g, "Undo Last", 2, record))->click();
    EXPECT_EQ(calls, (Ids{4, 0, 2}));
}

TEST_F(Glui, BallFollowsThePointerDragsComposeAndResetOrSyncNeverCallBack) {
    turn(0, 0, 0.375f, 0);               // rightward from the centre: +z goes under the pointer
    EXPECT_NEAR(m[8], 0.375f, 1e-5f);
    EXPECT_NEAR(m[9], 0.f, 1e-6f);
    EXPECT_NEAR(m[2], -0.375f, 1e-5f);   // and +x towards -z
    turn(0, 0, 0.375f, 0);               // the same turn again doubles the angle
    EXPECT_NEAR(m[8], std::sin(2 * std::asin(0.375f)), 1e-4f);
    EXPECT_EQ(calls, (Ids{5, 5}));

    r->reset();
    EXPECT_EQ(std::vector<float>(m, m + 16), identity);
    m[0] = m[5] = -1, g->sync_live();   // the program turns the view itself
    EXPECT_EQ(r->matrix()[0], -1.f);
    EXPECT_EQ(calls, (Ids{5, 5}));

    r->reset();   // pressed off the centre too, the point pressed ends up under the pointer
    const float v0[3] = {0.25f, 0, std::sqrt(1 - 0.0625f)}, v1[3] = {0, 0.25f, v0[2]};
    turn(v0[0], v0[1], v1[0], v1[1]);
    for (int row = 0; row < 3; ++row)   // R * v0 == v1
        EXPECT_NEAR(m[row] * v0[0] + m[4 + row] * v0[1] + m[8 + row] * v0[2], v1[row], 1e-4f);
}

TEST_F(Glui, BallStaysOrthonormalAfterManyDrags) {
    std::srand(1);
    auto p = [] { return (std::rand() % 80 - 40) / 32.f; };   // over the ball and off it
    for (int i = 0; i < 2000; ++i) turn(p(), p(), p(), p());
    for (int a = 0; a < 3; ++a)
        for (int b = 0; b < 3; ++b)
            EXPECT_NEAR(m[4 * a] * m[4 * b] + m[4 * a + 1] * m[4 * b + 1] + m[4 * a + 2] * m[4 * b + 2],
                        a == b ? 1.f : 0.f, 1e-5f);
    EXPECT_NEAR(m[1] * m[6] - m[2] * m[5], m[8], 1e-5f);   // right-handed: c0 x c1 == c2
    EXPECT_EQ(m[15], 1.f);
}

TEST_F(Glui, TranslationScalesPixelsBySpeed) {
    float xy[2] = {1, 1}, z = 0;
    auto *t = new GLUI_Translation(g, "Translate XY", GLUI_TRANSLATION_XY, xy, 8, record);
    auto *tz = new GLUI_Translation(g, "Translate Z", GLUI_TRANSLATION_Z, &z);
    t->set_speed(0.005f), tz->set_speed(0.005f);
    t->press(50, 50), t->drag(150, 10);   // right and up
    EXPECT_FLOAT_EQ(xy[0], 1.5f);
    EXPECT_FLOAT_EQ(xy[1], 1.2f);
    t->drag(50, 90);                      // from the press, not the last point
    EXPECT_FLOAT_EQ(xy[0], 1.f);
    EXPECT_FLOAT_EQ(xy[1], 0.8f);
    tz->press(0, 100), tz->drag(40, 60);  // sideways ignored, up increases
    EXPECT_FLOAT_EQ(z, 0.2f);
    EXPECT_EQ(calls, (Ids{8, 8}));
}

// Press in the middle of a control, two moves, release: sent through the
// panel's pointer events with a frame after each, or all with no frame between.
TEST_F(Glui, QuickDragsCountInFullWhetherOrNotFramesComeBetweenTheEvents) {
    float xy[2] = {0, 0};
    auto *pad = new GLUI_Translation(g, "Translate XY", GLUI_TRANSLATION_XY, xy);
    limits(1, 100);
    struct { const GLUI_Rect &at; std::function<float()> read; float moved; } cases[] = {
        {r->ball, [&] { return m[8]; }, 0.f}, {pad->pad, [&] { return xy[0] + xy[1]; }, 0.f},
        {s->up, [&] { return float(width); }, 4.f}};
    for (auto &c : cases) {
        float got[2];
        for (bool frames : {true, false}) {
            r->reset(), xy[0] = xy[1] = 0, g->sync_live(), s->set_int_val(4);
            const int x = c.at.x + c.at.w / 2, y = c.at.y + c.at.h / 2;
            auto frame = [&] { if (frames) g->tick(0); };
            g->mouse(0, 1, x, y, 0), frame();
            g->motion(x + 5, y - 6, 0), frame();
            g->motion(x + 10, y - 12, 0), frame();
            g->mouse(0, 0, x + 10, y - 12, 0), frame();
            got[frames] = c.read() - c.moved;
        }
        EXPECT_NE(got[0], 0.f) << c.at.x;
        EXPECT_EQ(got[0], got[1]) << c.at.x;
    }
    EXPECT_EQ(width, 8);   // the arrow's step and three more for 12 pixels up
    EXPECT_EQ(g->active, nullptr);
}

TEST_F(Glui, ProgramPanelIsNarrowTidyAndLeavesTheRestToTheView) {
    GLUI *p = GLUI_Master.create_glui_subwindow(42, GLUI_SUBWINDOW_RIGHT);
    auto *block = new GLUI_Panel(p, "Block Control");
    auto *sw = new GLUI_Spinner(block, "Width:", nullptr), *sl = new GLUI_Spinner(block, "Length:", nullptr);
    sw->set_alignment(GLUI_ALIGN_RIGHT), sl->set_alignment(GLUI_ALIGN_RIGHT);
    (new GLUI_Listbox(block, "Color:"))->add_item(2, "Blue");
    new GLUI_Button(block, "Rotate Block", 3);
    auto *view = new GLUI_Panel(p, "View Control");
    new GLUI_Rotation(view, "View");
    auto *move = new GLUI_Panel(p, "Translation");
    auto *txy = new GLUI_Translation(move, "Translate XY", GLUI_TRANSLATION_XY);
    new GLUI_Column(move, 0);
    auto *tz = new GLUI_Translation(move, "Translate Z", GLUI_TRANSLATION_Z);
    auto *quit = new GLUI_Button(p, "Quit", 0, GLUI_CB(exit));
    quit->set_alignment(GLUI_ALIGN_CENTER);

    int width = p->layout();
    EXPECT_GE(width, 180);
    EXPECT_LE(width, 230);
    GLUI_Rect free = GLUI_Master.viewport_for(42, 800, 600);
    EXPECT_EQ(free.w, 800 - width);
    EXPECT_EQ(free.h, 600);
    EXPECT_EQ(GLUI_Master.viewport_for(43, 800, 600).w, 800);   // another window: all free

    EXPECT_EQ(sw->field.x + sw->field.w, sl->field.x + sl->field.w);   // right-aligned
    EXPECT_GE(tz->rect.x, txy->rect.x + txy->rect.w);                 // next column
    EXPECT_EQ(tz->rect.y, txy->rect.y);
    EXPECT_NEAR(quit->rect.x + quit->rect.w / 2, width / 2, 1);        // centred
    EXPECT_LE(block->rect.x + block->rect.w, width);
    EXPECT_GE(view->rect.y, block->rect.y + block->rect.h);           // panels stacked
    EXPECT_GE(quit->rect.y, move->rect.y + move->rect.h);
    EXPECT_LE(quit->rect.y + quit->rect.h, 600);
}

}  // namespace
