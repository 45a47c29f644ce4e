// The toolkit's model driven with synthetic events: no GLUT, no window.
#include "glui/glui.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

std::vector<int> calls;   // ids passed to the callback, in order
void record(int id) { calls.push_back(id); }

std::vector<unsigned char> program_keys;
void program_key(unsigned char k, int, int) { program_keys.push_back(k); }
int program_clicks = 0;
void program_mouse(int, int, int, int) { ++program_clicks; }

struct Glui : ::testing::Test {
    GLUI *g = GLUI_Master.create_glui_subwindow(1, GLUI_SUBWINDOW_RIGHT);
    void SetUp() override {
        calls.clear();
        program_keys.clear();
        program_clicks = 0;
        GLUI_Master.set_glutKeyboardFunc(program_key);
        GLUI_Master.set_glutMouseFunc(program_mouse);
    }
    void TearDown() override {
        if (GLUI_Master.editing) GLUI_Master.editing->commit_edit();
    }
    GLUI_Spinner *spinner(int *var, int lo = 1, int hi = 10) {
        auto *s = new GLUI_Spinner(g, "Width:", var, 7, record);
        s->set_int_limits(lo, hi);
        g->layout();
        return s;
    }
    void type(GLUI_Spinner *s, const char *keys) {
        s->begin_edit();
        for (const char *k = keys; *k; ++k) GLUI_Master.key(*k, 0, 0);
    }
};

// ---- spinner ----

TEST_F(Glui, SpinnerReadsItsVariableAndWritesBackUserChanges) {
    int width = 4;
    GLUI_Spinner *s = spinner(&width);
    EXPECT_EQ(s->get_int_val(), 4);
    s->arrow_press(+1, 0, 0);
    s->arrow_release();
    EXPECT_EQ(width, 5);
    s->arrow_press(-1, 1, 0);
    s->arrow_release();
    EXPECT_EQ(width, 4);
    EXPECT_EQ(calls, (std::vector<int>{7, 7}));
}

TEST_F(Glui, SettersAndSyncUpdateTheVariableWithoutCallback) {
    int width = 4;
    GLUI_Spinner *s = spinner(&width);
    s->set_int_val(6);
    EXPECT_EQ(width, 6);

    g->frames_left = 0;
    g->sync_live();   // nothing changed: the panel is not redrawn
    EXPECT_EQ(g->frames_left, 0);

    width = 8;
    g->sync_live();
    EXPECT_EQ(s->get_int_val(), 8);
    EXPECT_GT(g->frames_left, 0);
    EXPECT_TRUE(calls.empty());
}

TEST_F(Glui, SyncLeavesAHeldSpinnerAlone) {
    int width = 4;
    GLUI_Spinner *s = spinner(&width);
    s->arrow_press(+1, 0, 100);
    width = 2;
    g->sync_live();
    EXPECT_EQ(s->get_int_val(), 5);
    s->arrow_release();
    g->sync_live();
    EXPECT_EQ(s->get_int_val(), 2);
}

TEST_F(Glui, ClampingHoldsOnEveryPath) {
    int width = 15;
    GLUI_Spinner *s = spinner(&width);   // limits set after the value
    EXPECT_EQ(width, 10);

    s->arrow_press(+1, 0, 100);   // at the top: no change, no callback
    s->arrow_hold(5.0, 100);
    s->arrow_release();
    EXPECT_EQ(width, 10);
    EXPECT_TRUE(calls.empty());

    s->arrow_press(-1, 0, 100);   // dragged far down
    s->arrow_hold(0.1, 900);
    s->arrow_release();
    EXPECT_EQ(width, 1);

    s->set_int_val(99);
    EXPECT_EQ(width, 10);
    width = -3;
    g->sync_live();
    EXPECT_EQ(width, 1);

    type(s, "0\r");
    EXPECT_EQ(width, 1);
    type(s, "25\r");
    EXPECT_EQ(width, 10);
    type(s, "\b\t");   // emptied: 0, then clamped
    EXPECT_EQ(width, 1);
}

TEST_F(Glui, UnclampedSpinnerKeepsAnyValue) {
    int v = 0;
    auto *s = new GLUI_Spinner(g, "n", &v);
    s->set_int_limits(1, 10, GLUI_LIMIT_NONE);
    s->set_int_val(50);
    EXPECT_EQ(v, 50);
}

TEST_F(Glui, HeldArrowRepeatsByTimeAndDragFollowsThePointer) {
    int width = 1;
    GLUI_Spinner *s = spinner(&width, 1, 100);
    s->arrow_press(+1, 10.0, 100);
    EXPECT_EQ(width, 2);   // a click steps exactly once
    s->arrow_hold(10.0 + GLUI_Spinner::kRepeatDelay - 0.01, 100);
    EXPECT_EQ(width, 2);
    // However few frames come, the count follows the time held.
    s->arrow_hold(10.0 + GLUI_Spinner::kRepeatDelay + 5.5 * GLUI_Spinner::kRepeatInterval, 101);
    EXPECT_EQ(width, 8);
    s->arrow_release();

    width = 20;
    g->sync_live();
    s->arrow_press(+1, 0, 100);
    s->arrow_hold(0.01, 100 - 5 * GLUI_Spinner::kDragPixels);   // dragged up
    EXPECT_EQ(width, 26);
    s->arrow_hold(5.0, 100 + 2 * GLUI_Spinner::kDragPixels);    // and back down: no repeats
    EXPECT_EQ(width, 19);
    s->arrow_release();
}

TEST_F(Glui, TypingReplacesThenEditsAndCallsBackOnlyOnChange) {
    int width = 4;
    GLUI_Spinner *s = spinner(&width);
    type(s, "7");
    EXPECT_EQ(s->text(), "7");
    EXPECT_EQ(width, 4);   // not until committed
    GLUI_Master.key('x', 0, 0);   // not a digit: ignored, but still the field's
    GLUI_Master.key(27, 0, 0);    // Escape commits too
    EXPECT_EQ(width, 7);
    EXPECT_FALSE(s->editing());
    type(s, "7\r");
    EXPECT_EQ(calls, (std::vector<int>{7}));
    EXPECT_TRUE(program_keys.empty());
}

// ---- key and mouse routing ----

TEST_F(Glui, KeysReachTheProgramUnlessAFieldIsEdited) {
    int width = 4;
    GLUI_Spinner *s = spinner(&width);
    EXPECT_FALSE(GLUI_Master.key('w', 5, 5));
    s->begin_edit();
    EXPECT_TRUE(GLUI_Master.key('3', 5, 5));
    EXPECT_TRUE(GLUI_Master.key(' ', 5, 5));
    EXPECT_TRUE(GLUI_Master.key('\r', 5, 5));
    EXPECT_FALSE(GLUI_Master.key('w', 5, 5));
    EXPECT_EQ(program_keys, (std::vector<unsigned char>{'w', 'w'}));
    EXPECT_EQ(width, 3);
}

TEST_F(Glui, ClickElsewhereCommitsTheField) {
    int width = 4;
    GLUI_Spinner *s = spinner(&width);
    type(s, "9");
    g->pointer_down(s->field.x + 2, s->field.y + 2);   // in the field: still editing
    EXPECT_TRUE(s->editing());
    g->pointer_down(s->up.x + 1, s->up.y + 1);
    EXPECT_EQ(width, 9);

    type(s, "6");
    GLUI_Master.main_mouse(0, 0, 300, 300);   // in the 3-D view: commit, then the program
    EXPECT_EQ(width, 6);
    EXPECT_EQ(program_clicks, 1);
    EXPECT_EQ(GLUI_Master.editing, nullptr);

    auto *other = new GLUI_Spinner(g, "Length:", nullptr);
    type(s, "5");
    other->begin_edit();   // one field at a time
    EXPECT_EQ(width, 5);
    EXPECT_EQ(GLUI_Master.editing, other);
}

// ---- listbox and button ----

TEST_F(Glui, ListboxShowsFirstItemAndIgnoresUnknownIds) {
    int color = 1;
    auto *l = new GLUI_Listbox(g, "Color:", &color, 4, record);
    l->add_item(2, "Blue");
    l->add_item(1, "Red");
    l->add_item(3, "Green");
    EXPECT_EQ(l->get_int_val(), 2);   // first item until chosen, synced or set
    EXPECT_EQ(color, 1);

    l->set_int_val(9);
    color = 9;
    g->sync_live();
    EXPECT_EQ(l->get_int_val(), 2);

    color = 3;
    g->sync_live();
    EXPECT_EQ(l->current(), 2);
    l->set_int_val(1);
    EXPECT_EQ(color, 1);
    EXPECT_TRUE(calls.empty());

    l->choose(0);
    l->choose(0);   // the same again: no callback
    EXPECT_EQ(color, 2);
    EXPECT_EQ(calls, (std::vector<int>{4}));
}

TEST_F(Glui, UnboundListboxAndButtonCallBackWithTheirIds) {
    auto *size = new GLUI_Listbox(g, "Size:", nullptr, 0, record);
    size->add_item(1, "10x10");
    size->add_item(2, "20x20");
    size->choose(1);
    EXPECT_EQ(size->get_int_val(), 2);
    (new GLUI_Button(g, "Undo Last", 2, record))->click();
    EXPECT_EQ(calls, (std::vector<int>{0, 2}));
}

// ---- rotation ----

struct Rotation : Glui {
    float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    GLUI_Rotation *r = nullptr;
    int cx = 0, cy = 0;
    void SetUp() override {
        Glui::SetUp();
        r = new GLUI_Rotation(g, "View", m, 5, record);
        g->layout();
        cx = r->ball.x + r->ball.w / 2, cy = r->ball.y + r->ball.h / 2;
    }
    void drag(int x0, int y0, int x1, int y1) {
        r->press(x0, y0);
        r->drag(x1, y1);
        r->release();
    }
};

TEST_F(Rotation, RightwardDragTurnsZTowardsX) {
    drag(cx, cy, cx + 10, cy);
    EXPECT_GT(m[8], 0.2f);               // third column: where +z went
    EXPECT_NEAR(m[9], 0.f, 1e-6f);
    EXPECT_GT(m[2], -1.f);
    EXPECT_LT(m[2], -0.2f);              // and +x towards -z
    EXPECT_FALSE(calls.empty());
}

TEST_F(Rotation, BallFollowsThePointerAndDragsCompose) {
    float half = r->ball.w / 2.f, s = 0.4f;
    drag(cx, cy, cx + int(s * half), cy);
    float one = m[8];
    drag(cx, cy, cx + int(s * half), cy);   // the same turn again doubles the angle
    float a = std::asin(one);
    EXPECT_NEAR(m[8], std::sin(2 * a), 1e-4f);

    r->reset();
    // The point pressed ends up under the pointer: R * v0 == v1.
    float v0[3] = {0.3f, 0, std::sqrt(1 - 0.09f)}, v1[3] = {0, 0.3f, std::sqrt(1 - 0.09f)};
    drag(cx + int(0.3f * half), cy, cx, cy - int(0.3f * half));
    for (int row = 0; row < 3; ++row)
        EXPECT_NEAR(m[row] * v0[0] + m[4 + row] * v0[1] + m[8 + row] * v0[2], v1[row], 0.03f);
}

TEST_F(Rotation, StaysOrthonormalAfterManyDrags) {
    std::srand(1);
    for (int i = 0; i < 2000; ++i) {
        auto p = [&] { return cx - 40 + std::rand() % 80; };
        drag(p(), p() - cx + cy, p(), p() - cx + cy);
    }
    for (int a = 0; a < 3; ++a)
        for (int b = 0; b < 3; ++b) {
            float dot = m[4 * a] * m[4 * b] + m[4 * a + 1] * m[4 * b + 1] + m[4 * a + 2] * m[4 * b + 2];
            EXPECT_NEAR(dot, a == b ? 1.f : 0.f, 1e-5f);
        }
    // Right-handed: column 0 x column 1 == column 2.
    EXPECT_NEAR(m[1] * m[6] - m[2] * m[5], m[8], 1e-5f);
    EXPECT_EQ(m[15], 1.f);
}

TEST_F(Rotation, ResetAndSyncNeverCallBack) {
    drag(cx, cy, cx + 10, cy + 5);
    calls.clear();
    r->reset();
    EXPECT_EQ(m[0], 1.f);
    EXPECT_EQ(m[8], 0.f);
    m[0] = m[5] = -1;   // the program turns the view itself
    g->sync_live();
    EXPECT_EQ(r->matrix()[0], -1.f);
    EXPECT_TRUE(calls.empty());
}

// ---- translation ----

TEST_F(Glui, TranslationScalesPixelsBySpeed) {
    float xy[2] = {1, 1}, z = 0;
    auto *t = new GLUI_Translation(g, "Translate XY", GLUI_TRANSLATION_XY, xy, 8, record);
    auto *tz = new GLUI_Translation(g, "Translate Z", GLUI_TRANSLATION_Z, &z);
    t->set_speed(0.005f);
    tz->set_speed(0.005f);
    t->press(50, 50);
    t->drag(150, 10);   // right and up
    EXPECT_FLOAT_EQ(xy[0], 1.5f);
    EXPECT_FLOAT_EQ(xy[1], 1.2f);
    t->drag(50, 90);    // from the press, not the last point
    EXPECT_FLOAT_EQ(xy[0], 1.f);
    EXPECT_FLOAT_EQ(xy[1], 0.8f);
    t->release();
    tz->press(0, 100);
    tz->drag(40, 60);   // sideways ignored, up increases
    EXPECT_FLOAT_EQ(z, 0.2f);
    tz->release();
    EXPECT_EQ(calls, (std::vector<int>{8, 8}));
}

// ---- the program's panel: layout and the viewport it leaves ----

TEST_F(Glui, ProgramPanelIsNarrowAndTidy) {
    int w = 1, l = 1, c = 2;
    float rot[16] = {}, xy[2] = {}, z = 0;
    GLUI *p = GLUI_Master.create_glui_subwindow(42, GLUI_SUBWINDOW_RIGHT);
    auto *block = new GLUI_Panel(p, "Block Control");
    auto *sw = new GLUI_Spinner(block, "Width:", &w);
    auto *sl = new GLUI_Spinner(block, "Length:", &l);
    sw->set_alignment(GLUI_ALIGN_RIGHT);
    sl->set_alignment(GLUI_ALIGN_RIGHT);
    (new GLUI_Listbox(block, "Color:", &c))->add_item(2, "Blue");
    new GLUI_Button(block, "Rotate Block", 3);
    auto *view = new GLUI_Panel(p, "View Control");
    new GLUI_Rotation(view, "View", rot);
    auto *move = new GLUI_Panel(p, "Translation");
    auto *txy = new GLUI_Translation(move, "Translate XY", GLUI_TRANSLATION_XY, xy);
    new GLUI_Column(move, 0);
    auto *tz = new GLUI_Translation(move, "Translate Z", GLUI_TRANSLATION_Z, &z);
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
    EXPECT_GE(view->rect.y, block->rect.y + block->rect.h);
    EXPECT_GE(quit->rect.y, move->rect.y + move->rect.h);
    EXPECT_LE(quit->rect.y + quit->rect.h, 600);
}

TEST(GluiMaster, VersionIs23) { EXPECT_FLOAT_EQ(GLUI_Master.get_version(), 2.3f); }

}  // namespace
