// The model: controls, live variables, limits, the arcball, layout and key
// routing. No ImGui here, and GLUT only behind GLUI_Master_Object::glut_up().
#include "glui/glui.h"

#include <GL/freeglut.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

GLUI_Master_Object GLUI_Master;

namespace {

// Layout, in pixels. Text is measured for ImGui's default font (ProggyClean,
// 13 px high, 7 px per character), the one the drawing layer uses.
constexpr int kCharW = 7, kTextH = 13;
constexpr int kRowH = 19;        // a framed line: text + 3 px padding above and below
constexpr int kButtonH = 23;
constexpr int kButtonW = 100;    // buttons share a width, as GLUI's do
constexpr int kGap = 5;          // between controls in a column
constexpr int kColumnGap = 12;   // between columns; the bar sits in the middle
constexpr int kMargin = 6;       // around the subwindow's contents
constexpr int kPanelPad = 6;     // inside a panel's frame
constexpr int kPanelTop = 18;    // a panel's title line
constexpr int kLabelGap = 4;     // label to field
constexpr int kFieldW = 42, kArrowW = 13;
constexpr int kBall = 64;        // rotation ball and translation pad

int text_w(const std::string &s) { return kCharW * int(s.size()); }

bool is_column(const GLUI_Control *c) { return std::strcmp(c->kind(), "column") == 0; }

// Splits children at column markers.
std::vector<std::vector<GLUI_Control *>> columns_of(const std::vector<GLUI_Control *> &kids) {
    std::vector<std::vector<GLUI_Control *>> cols(1);
    for (GLUI_Control *c : kids) {
        if (is_column(c)) cols.emplace_back();
        cols.back().push_back(c);   // a marker heads its column
    }
    return cols;
}

GLUI_Size column_size(const std::vector<GLUI_Control *> &col) {
    GLUI_Size s;
    int n = 0;
    for (GLUI_Control *c : col) {
        if (is_column(c)) continue;
        GLUI_Size k = c->natural();
        s.w = std::max(s.w, k.w);
        s.h += k.h + (n++ ? kGap : 0);
    }
    return s;
}

void identity(float m[16]) {
    for (int i = 0; i < 16; ++i) m[i] = (i % 5 == 0) ? 1.f : 0.f;
}

}  // namespace

// ---- Controls ----------------------------------------------------------------

GLUI_Control::GLUI_Control(GLUI_Container *parent, const char *name, int id, GLUI_CB cb)
    : glui_(parent->owner()), name_(name ? name : ""), id_(id), cb_(cb) {
    parent->children.push_back(this);
}

void GLUI_Control::place(int x, int y, int) {
    GLUI_Size s = natural();
    rect = {x, y, s.w, s.h};
}

void GLUI_Control::user_changed() {
    glui_->post_main_redisplay();
    glui_->wake();
    if (cb_) glui_->in_main_window([&] { cb_(id_); });
}

GLUI_Container::~GLUI_Container() {
    for (GLUI_Control *c : children) delete c;
}

GLUI_Size GLUI_Container::measure_children() const {
    GLUI_Size s;
    auto cols = columns_of(children);
    for (size_t i = 0; i < cols.size(); ++i) {
        GLUI_Size c = column_size(cols[i]);
        s.w += c.w + (i ? kColumnGap : 0);
        s.h = std::max(s.h, c.h);
    }
    return s;
}

// Columns share the room left over; panels stretch to their column, other
// controls sit in it by their alignment.
void GLUI_Container::place_children(int x, int y, int w, int h) {
    auto cols = columns_of(children);
    int extra = std::max(0, w - measure_children().w), n = int(cols.size());
    for (int i = 0; i < n; ++i) {
        int cw = column_size(cols[i]).w + extra / n + (i == n - 1 ? extra % n : 0);
        int cy = y;
        for (GLUI_Control *c : cols[i]) {
            if (is_column(c)) {
                c->rect = {x - kColumnGap / 2, y, 1, h};   // the bar, left of this column
                continue;
            }
            GLUI_Size s = c->natural();
            int cx = x;
            if (c->alignment() == GLUI_ALIGN_CENTER) cx += (cw - s.w) / 2;
            if (c->alignment() == GLUI_ALIGN_RIGHT) cx += cw - s.w;
            if (std::strcmp(c->kind(), "panel") == 0) cx = x;
            c->place(cx, cy, cw);
            cy += c->rect.h + kGap;
        }
        x += cw + kColumnGap;
    }
}

GLUI_Panel::GLUI_Panel(GLUI_Container *parent, const char *name, int type_)
    : GLUI_Control(parent, name, -1, GLUI_CB()), GLUI_Container(parent->owner()), type(type_) {}

GLUI_Size GLUI_Panel::natural() const {
    GLUI_Size s = measure_children();
    return {std::max(s.w, text_w(name_) + 2 * kCharW) + 2 * kPanelPad,
            s.h + kPanelTop + kPanelPad};
}

void GLUI_Panel::place(int x, int y, int w) {
    GLUI_Size s = natural();
    rect = {x, y, std::max(w, s.w), s.h};
    place_children(x + kPanelPad, y + kPanelTop, rect.w - 2 * kPanelPad,
                   rect.h - kPanelTop - kPanelPad);
}

GLUI_Column::GLUI_Column(GLUI_Container *parent, int bar)
    : GLUI_Control(parent, "", -1, GLUI_CB()), draw_bar(bar) {}

// ---- Spinner ---------------------------------------------------------------

GLUI_Spinner::GLUI_Spinner(GLUI_Container *parent, const char *name, int *live_var, int id,
                           GLUI_CB cb)
    : GLUI_Control(parent, name, id, cb), live_(live_var) {
    val_ = last_live_ = live_ ? *live_ : 0;
    text_ = std::to_string(val_);
}

int GLUI_Spinner::clamp(int v) const {
    return limit_ == GLUI_LIMIT_CLAMP ? std::min(std::max(v, low_), high_) : v;
}

void GLUI_Spinner::show(int v) {
    int before = val_;
    val_ = clamp(v);
    if (live_) *live_ = last_live_ = val_;
    // An open field shows a change made elsewhere and drops what was typed
    // before it: the latest action wins.
    if (!editing_ || val_ != before) {
        text_ = std::to_string(val_);
        typed_ = false;
        replace_ = editing_;
    }
    glui_->wake();
}

void GLUI_Spinner::user_set(int v) {
    int before = val_;
    show(v);
    if (val_ != before) user_changed();
}

void GLUI_Spinner::set_int_limits(int low, int high, int limit_type) {
    low_ = std::min(low, high);
    high_ = std::max(low, high);
    limit_ = limit_type;
    show(val_);
}

void GLUI_Spinner::set_int_val(int v) { show(v); }

bool GLUI_Spinner::sync() {
    if (!live_ || *live_ == last_live_) return false;
    show(*live_);
    return true;
}

void GLUI_Spinner::arrow_press(int dir, double t, int y) {
    if (editing_) commit_edit();
    dir_ = dir > 0 ? 1 : -1;
    press_t_ = t;
    press_y_ = y;
    dragging_ = false;
    steps_ = 1;
    glui_->active = this;
    press_val_ = val_;
    user_set(val_ + dir_);
}

// Held still, the arrow repeats at a rate set by time, not by frames; moved
// vertically, the value follows the pointer instead.
void GLUI_Spinner::arrow_hold(double t, int y) {
    if (!dir_) return;
    if (!dragging_ && std::abs(y - press_y_) >= kDragPixels) dragging_ = true;
    if (dragging_) {
        user_set(press_val_ + dir_ + (press_y_ - y) / kDragPixels);
        return;
    }
    double held = t - press_t_;
    int want = held < kRepeatDelay ? 1 : 2 + int((held - kRepeatDelay) / kRepeatInterval);
    if (want > steps_) {
        user_set(val_ + dir_ * (want - steps_));
        steps_ = want;
    }
}

// Due when the time held first reaches the next step of arrow_hold's count.
double GLUI_Spinner::next_repeat() const {
    if (!dir_ || dragging_) return -1;
    return press_t_ + kRepeatDelay + (steps_ - 1) * kRepeatInterval;
}

void GLUI_Spinner::arrow_release() {
    dir_ = 0;
    if (glui_->active == this) glui_->active = nullptr;
    glui_->wake();
}

bool GLUI_Spinner::pointer_press(int x, int y, double t) {
    if (up.contains(x, y) || down.contains(x, y)) arrow_press(up.contains(x, y) ? 1 : -1, t, y);
    else if (field.contains(x, y)) begin_edit();
    else return false;
    return true;
}

void GLUI_Spinner::begin_edit() {
    if (GLUI_Master.editing && GLUI_Master.editing != this) GLUI_Master.editing->commit_edit();
    GLUI_Master.editing = this;
    if (!editing_) typed_ = false;
    editing_ = replace_ = true;
    glui_->wake();
}

void GLUI_Spinner::edit_key(unsigned char key) {
    if (key == '\r' || key == '\n' || key == '\t' || key == 27) {
        commit_edit();
    } else if (key == 8 || key == 127) {
        if (replace_) text_.clear();
        else if (!text_.empty()) text_.pop_back();
        replace_ = false;
        typed_ = true;
    } else if ((key >= '0' && key <= '9') || key == '-') {
        if (replace_) text_.clear();
        replace_ = false;
        typed_ = true;
        if (key != '-' || text_.empty()) text_ += char(key);
    }
    glui_->wake();
}

void GLUI_Spinner::commit_edit() {
    if (!editing_) return;
    editing_ = replace_ = false;
    if (GLUI_Master.editing == this) GLUI_Master.editing = nullptr;
    if (!typed_) {   // nothing typed: the field only showed the value
        text_ = std::to_string(val_);
        glui_->wake();
        return;
    }
    typed_ = false;
    long v = std::strtol(text_.c_str(), nullptr, 10);   // "" and "-" read as 0
    v = std::min<long>(std::max<long>(v, -1000000000L), 1000000000L);
    text_ = std::to_string(val_);   // shown again if the value does not change
    user_set(int(v));
}

GLUI_Size GLUI_Spinner::natural() const {
    return {text_w(name_) + kLabelGap + kFieldW + kArrowW, kRowH};
}

void GLUI_Spinner::place(int x, int y, int w) {
    GLUI_Control::place(x, y, w);
    field = {x + rect.w - kFieldW - kArrowW, y, kFieldW, kRowH};
    up = {field.x + kFieldW, y, kArrowW, kRowH / 2};
    down = {up.x, y + kRowH / 2, kArrowW, kRowH - kRowH / 2};
}

// ---- Listbox ---------------------------------------------------------------

GLUI_Listbox::GLUI_Listbox(GLUI_Container *parent, const char *name, int *live_var, int id,
                           GLUI_CB cb)
    : GLUI_Control(parent, name, id, cb), live_(live_var), last_live_(live_var ? *live_var : 0) {}

void GLUI_Listbox::add_item(int id, const char *text) {
    items.push_back({id, text ? text : ""});
    glui_->wake();
}

int GLUI_Listbox::find(int id) const {
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i].id == id) return int(i);
    return -1;
}

void GLUI_Listbox::set_int_val(int id) {
    int i = find(id);
    if (i < 0) return;
    cur_ = i;
    if (live_) *live_ = last_live_ = id;
    glui_->wake();
}

bool GLUI_Listbox::sync() {
    if (!live_ || *live_ == last_live_) return false;
    last_live_ = *live_;
    int i = find(*live_);
    if (i < 0 || i == cur_) return false;
    cur_ = i;
    return true;
}

void GLUI_Listbox::choose(int index) {
    if (index < 0 || index >= int(items.size())) return;
    bool changed = index != cur_;
    cur_ = index;
    if (live_) *live_ = last_live_ = items[index].id;
    glui_->wake();
    if (changed) user_changed();
}

bool GLUI_Listbox::pointer_press(int x, int y, double) {
    if (!box.contains(x, y)) return false;
    glui_->open_list = this;
    glui_->wake();
    return true;
}

// Items 13 px high, 17 px apart, under the box.
GLUI_Rect GLUI_Listbox::item_rect(int index) const {
    return {box.x + 4, box.y + box.h + 8 + index * 17, box.w - 8, 13};
}

GLUI_Size GLUI_Listbox::natural() const {
    int widest = 3 * kCharW;
    for (const Item &it : items) widest = std::max(widest, text_w(it.text));
    return {text_w(name_) + kLabelGap + widest + 8 + kRowH, kRowH};   // text, padding, arrow
}

void GLUI_Listbox::place(int x, int y, int w) {
    GLUI_Control::place(x, y, w);
    int bw = rect.w - text_w(name_) - kLabelGap;
    box = {x + rect.w - bw, y, bw, kRowH};
}

// ---- Button ----------------------------------------------------------------

GLUI_Button::GLUI_Button(GLUI_Container *parent, const char *name, int id, GLUI_CB cb)
    : GLUI_Control(parent, name, id, cb) {}

void GLUI_Button::click() {
    glui_->wake();
    if (cb_) glui_->in_main_window([&] { cb_(id_); });
}

// Clicked when let go over the button it was pressed on.
bool GLUI_Button::pointer_press(int x, int y, double) {
    if (!rect.contains(x, y)) return false;
    inside_ = true;
    glui_->active = this;
    glui_->wake();
    return true;
}

void GLUI_Button::pointer_release() {
    if (glui_->active == this) glui_->active = nullptr;
    glui_->wake();
    if (inside_) click();
    inside_ = false;
}

GLUI_Size GLUI_Button::natural() const {
    return {std::max(kButtonW, text_w(name_) + 16), kButtonH};
}

// ---- Rotation --------------------------------------------------------------

GLUI_Rotation::GLUI_Rotation(GLUI_Container *parent, const char *name, float *live_var, int id,
                             GLUI_CB cb)
    : GLUI_Control(parent, name, id, cb), live_(live_var) {
    if (live_) std::memcpy(m_, live_, sizeof m_);
    else identity(m_);
    std::memcpy(last_live_, m_, sizeof m_);
    std::memcpy(start_, m_, sizeof m_);
}

void GLUI_Rotation::show() {
    if (live_) {
        std::memcpy(live_, m_, sizeof m_);
        std::memcpy(last_live_, m_, sizeof m_);
    }
    glui_->wake();
}

void GLUI_Rotation::reset() {
    identity(m_);
    show();
    glui_->post_main_redisplay();
}

bool GLUI_Rotation::sync() {
    if (!live_ || std::memcmp(live_, last_live_, sizeof m_) == 0) return false;
    std::memcpy(m_, live_, sizeof m_);
    std::memcpy(last_live_, m_, sizeof m_);
    return true;
}

// The point on the unit sphere under the pointer; outside the ball, the
// nearest point on its rim. x right, y up, z towards the viewer.
void GLUI_Rotation::ball_point(int x, int y, float v[3]) const {
    float r = std::max(1.f, ball.w / 2.f);
    v[0] = (x - (ball.x + ball.w / 2.f)) / r;
    v[1] = ((ball.y + ball.h / 2.f) - y) / r;
    float d2 = v[0] * v[0] + v[1] * v[1];
    if (d2 > 1.f) {
        float d = std::sqrt(d2);
        v[0] /= d, v[1] /= d, v[2] = 0.f;
    } else {
        v[2] = std::sqrt(1.f - d2);
    }
}

void GLUI_Rotation::press(int x, int y) {
    ball_point(x, y, v0_);
    std::memcpy(start_, m_, sizeof m_);
    dragging_ = true;
    glui_->active = this;
}

// The drag's rotation takes the point pressed to the point under the pointer
// (so the ball follows it) and is applied after the rotation so far.
void GLUI_Rotation::drag(int x, int y) {
    if (!dragging_) return;
    float v1[3];
    ball_point(x, y, v1);
    float a[3] = {v0_[1] * v1[2] - v0_[2] * v1[1], v0_[2] * v1[0] - v0_[0] * v1[2],
                  v0_[0] * v1[1] - v0_[1] * v1[0]};
    float s = std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]);
    float c = v0_[0] * v1[0] + v0_[1] * v1[1] + v0_[2] * v1[2];
    float r[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};   // r[col*3+row]
    if (s > 1e-7f) {
        for (float &k : a) k /= s;
        float t = 1 - c;
        for (int col = 0; col < 3; ++col)
            for (int row = 0; row < 3; ++row) r[col * 3 + row] = t * a[row] * a[col] + (row == col ? c : 0);
        r[1] += s * a[2], r[3] -= s * a[2];   // + sin * cross-product matrix
        r[6] += s * a[1], r[2] -= s * a[1];
        r[5] += s * a[0], r[7] -= s * a[0];
    }
    float m[16];
    for (int col = 0; col < 4; ++col)
        for (int row = 0; row < 4; ++row) {
            if (row == 3) { m[col * 4 + 3] = start_[col * 4 + 3]; continue; }
            float sum = 0;
            for (int k = 0; k < 3; ++k) sum += r[k * 3 + row] * start_[col * 4 + k];
            m[col * 4 + row] = sum;
        }
    // Rounding drifts over many drags: make the columns orthonormal again.
    float *c0 = m, *c1 = m + 4, *c2 = m + 8;
    auto norm = [](float *v) {
        float l = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
        if (l > 0) v[0] /= l, v[1] /= l, v[2] /= l;
    };
    norm(c0);
    float d = c0[0] * c1[0] + c0[1] * c1[1] + c0[2] * c1[2];
    for (int i = 0; i < 3; ++i) c1[i] -= d * c0[i];
    norm(c1);
    c2[0] = c0[1] * c1[2] - c0[2] * c1[1];
    c2[1] = c0[2] * c1[0] - c0[0] * c1[2];
    c2[2] = c0[0] * c1[1] - c0[1] * c1[0];
    std::memcpy(m_, m, sizeof m_);
    show();
    user_changed();
}

bool GLUI_Rotation::pointer_press(int x, int y, double) {
    if (!ball.contains(x, y)) return false;
    press(x, y);
    return true;
}

void GLUI_Rotation::release() {
    dragging_ = false;
    if (glui_->active == this) glui_->active = nullptr;
    glui_->wake();
}

GLUI_Size GLUI_Rotation::natural() const {
    return {std::max(kBall, text_w(name_)), kBall + 3 + kTextH};
}

void GLUI_Rotation::place(int x, int y, int w) {
    GLUI_Control::place(x, y, w);
    ball = {x + (rect.w - kBall) / 2, y, kBall, kBall};
}

// ---- Translation -----------------------------------------------------------

GLUI_Translation::GLUI_Translation(GLUI_Container *parent, const char *name, int trans_type,
                                   float *live_var, int id, GLUI_CB cb)
    : GLUI_Control(parent, name, id, cb), type_(trans_type), live_(live_var) {
    for (int i = 0; i < n(); ++i) v_[i] = last_live_[i] = live_ ? live_[i] : 0.f;
}

bool GLUI_Translation::sync() {
    if (!live_ || std::memcmp(live_, last_live_, n() * sizeof(float)) == 0) return false;
    for (int i = 0; i < n(); ++i) v_[i] = last_live_[i] = live_[i];
    return true;
}

void GLUI_Translation::press(int x, int y) {
    px_ = x, py_ = y;
    start_[0] = v_[0], start_[1] = v_[1];
    dragging_ = true;
    glui_->active = this;
}

void GLUI_Translation::drag(int x, int y) {
    if (!dragging_) return;
    if (type_ == GLUI_TRANSLATION_XY) {
        v_[0] = start_[0] + (x - px_) * speed_;
        v_[1] = start_[1] + (py_ - y) * speed_;
    } else {
        v_[0] = start_[0] + (py_ - y) * speed_;
    }
    if (live_)
        for (int i = 0; i < n(); ++i) live_[i] = last_live_[i] = v_[i];
    user_changed();
}

bool GLUI_Translation::pointer_press(int x, int y, double) {
    if (!pad.contains(x, y)) return false;
    press(x, y);
    return true;
}

void GLUI_Translation::release() {
    dragging_ = false;
    if (glui_->active == this) glui_->active = nullptr;
    glui_->wake();
}

GLUI_Size GLUI_Translation::natural() const {
    return {std::max(kBall, text_w(name_)), kBall + 3 + kTextH};
}

void GLUI_Translation::place(int x, int y, int w) {
    GLUI_Control::place(x, y, w);
    pad = {x + (rect.w - kBall) / 2, y, kBall, kBall};
}

// ---- GLUI ------------------------------------------------------------------

GLUI::~GLUI() { glui_free_impl(impl); }

int GLUI::layout() {
    GLUI_Size s = measure_children();
    place_children(kMargin, kMargin, s.w, s.h);
    return s.w + 2 * kMargin;
}

void GLUI::wake(int frames) {
    frames_left = std::max(frames_left, frames);
    if (window && GLUI_Master_Object::glut_up()) glutPostWindowRedisplay(window);
}

void GLUI::pointer_down(int x, int y) {
    GLUI_Spinner *s = GLUI_Master.editing;
    if (s && !(s->glui() == this && s->field.contains(x, y))) s->commit_edit();
    wake();
}

void GLUI::mouse(int button, int down, int x, int y, double t) {
    if (down) pointer_down(x, y);
    if (button != 0) return;
    if (down && open_list) {
        GLUI_Listbox *list = std::exchange(open_list, nullptr);
        for (int i = 0; i < int(list->items.size()); ++i)
            if (list->item_rect(i).contains(x, y)) list->choose(i);
        wake();
    } else if (down) {
        pointer_x_ = x, pointer_y_ = y;
        for (GLUI_Control *c : controls())
            if (c->pointer_press(x, y, t)) break;
    } else if (active) {
        motion(x, y, t);   // where it was let go counts
        active->pointer_release();
    }
}

void GLUI::motion(int x, int y, double t) {
    if (x == pointer_x_ && y == pointer_y_) return;   // no change, no callback
    pointer_x_ = x, pointer_y_ = y;
    if (active) active->pointer_drag(x, y, t);
}

void GLUI::tick(double t) {
    if (auto *s = dynamic_cast<GLUI_Spinner *>(active)) s->arrow_hold(t, pointer_y_);
}

double GLUI::next_tick() const {
    auto *s = dynamic_cast<GLUI_Spinner *>(active);
    return s ? s->next_repeat() : -1;
}

std::vector<GLUI_Control *> GLUI::controls() const {
    std::vector<GLUI_Control *> all;
    std::vector<const GLUI_Container *> todo{this};
    while (!todo.empty()) {
        const GLUI_Container *box = todo.back();
        todo.pop_back();
        for (GLUI_Control *c : box->children) {
            if (auto *p = dynamic_cast<GLUI_Panel *>(c)) todo.push_back(p);
            else all.push_back(c);
        }
    }
    return all;
}

void GLUI::post_main_redisplay() {
    ++main_redisplays;
    if (main_gfx > 0 && GLUI_Master_Object::glut_up()) glutPostWindowRedisplay(main_gfx);
}

void GLUI::set_main_gfx_window(int w) {
    main_gfx = w;
    fit(-1, -1);   // the controls are usually all built by now
    wake();
}

// Keeps the subwindow along the parent's right edge, as wide as its controls.
// A negative size means "ask GLUT for the parent's size".
void GLUI::fit(int main_w, int main_h) {
    int w = layout();
    if (!window || !GLUI_Master_Object::glut_up()) return;
    if (main_w < 0 && fitted_[2] == w) return;
    int cur = glutGetWindow();
    if (main_w < 0) {
        glutSetWindow(parent_window);
        main_w = glutGet(GLUT_WINDOW_WIDTH), main_h = glutGet(GLUT_WINDOW_HEIGHT);
    }
    if (fitted_[0] != main_w || fitted_[1] != main_h || fitted_[2] != w) {
        fitted_[0] = main_w, fitted_[1] = main_h, fitted_[2] = w;
        glutSetWindow(window);
        glutPositionWindow(std::max(0, main_w - w), 0);
        glutReshapeWindow(w, std::max(1, main_h));
        wake();
    }
    glutSetWindow(cur);
}

void GLUI::sync_live() {
    bool changed = false;
    for (GLUI_Control *c : controls())
        if (c != active && c->sync()) changed = true;
    if (changed) wake();
}

int glui_current_window() { return GLUI_Master_Object::glut_up() ? glutGetWindow() : 0; }

void glui_set_window(int w) {
    if (GLUI_Master_Object::glut_up() && w > 0) glutSetWindow(w);
}

// ---- Master ----------------------------------------------------------------

bool GLUI_Master_Object::glut_up() { return glutGet(GLUT_INIT_STATE) != 0; }

GLUI_Master_Object::~GLUI_Master_Object() {
    for (GLUI *g : guis) delete g;
}

GLUI *GLUI_Master_Object::create_glui_subwindow(int main_window, int position) {
    (void)position;   // only GLUI_SUBWINDOW_RIGHT is offered
    GLUI *g = new GLUI;
    g->parent_window = main_window;
    guis.push_back(g);
    if (glut_up() && main_window > 0) {
        glui_open_subwindow(g);
        glutSetWindow(main_window);
        glui_install_idle();
    }
    return g;
}

void GLUI_Master_Object::set_glutReshapeFunc(void (*fn)(int, int)) {
    reshape_fn = fn;
    if (glut_up()) glui_install_main_handlers();
}

void GLUI_Master_Object::set_glutKeyboardFunc(void (*fn)(unsigned char, int, int)) {
    keyboard_fn = fn;
    if (glut_up()) glui_install_main_handlers();
}

void GLUI_Master_Object::set_glutMouseFunc(void (*fn)(int, int, int, int)) {
    mouse_fn = fn;
    if (glut_up()) glui_install_main_handlers();
}

void GLUI_Master_Object::set_glutIdleFunc(void (*fn)()) {
    idle_fn = fn;
    if (glut_up()) glui_install_idle();
}

GLUI_Rect GLUI_Master_Object::viewport_for(int window, int w, int h) const {
    int used = 0;
    for (GLUI *g : guis)
        if (g->parent_window == window) used += g->layout();
    return {0, 0, std::max(1, w - used), h};
}

void GLUI_Master_Object::auto_set_viewport() {
    if (!glut_up()) return;
    GLUI_Rect r = viewport_for(glutGetWindow(), glutGet(GLUT_WINDOW_WIDTH), glutGet(GLUT_WINDOW_HEIGHT));
    glViewport(r.x, r.y, r.w, r.h);
}

void GLUI_Master_Object::sync_live_all() {
    for (GLUI *g : guis) g->sync_live();
}

// Only a text field being edited takes keys; every other key goes to the
// program, with the main window current, wherever it was typed.
bool GLUI_Master_Object::key(unsigned char k, int x, int y) {
    if (editing) {
        editing->edit_key(k);
        return true;
    }
    if (!keyboard_fn) return false;
    GLUI *g = guis.empty() ? nullptr : guis.front();
    if (g) g->in_main_window([&] { keyboard_fn(k, x, y); });
    else keyboard_fn(k, x, y);
    return false;
}

void GLUI_Master_Object::main_mouse(int button, int state, int x, int y) {
    if (editing) editing->commit_edit();
    for (GLUI *g : guis)
        if (g->open_list) g->open_list = nullptr, g->wake();
    if (mouse_fn) mouse_fn(button, state, x, y);
}

void GLUI_Master_Object::main_reshape(int w, int h) {
    int cur = glui_current_window();
    for (GLUI *g : guis)
        if (g->parent_window == cur) g->fit(w, h);
    if (reshape_fn) reshape_fn(w, h);
}

void GLUI_Master_Object::close(GLUI *g) {
    if (editing && editing->glui() == g) editing = nullptr;
    guis.erase(std::remove(guis.begin(), guis.end(), g), guis.end());
    delete g;
}

// A panel asks for its own frames (GLUI::wake): the idle turns are the program's alone.
void GLUI_Master_Object::idle() {
    if (idle_fn) idle_fn();
}

static void print_rect(const char *what, const GLUI_Rect &r) {
    std::printf(" %s=%d,%d,%d,%d", what, r.x, r.y, r.w, r.h);
}

void print_layout(const GLUI_Container *box, int depth) {
    for (const GLUI_Control *c : box->children) {
        std::printf("%*s%s \"%s\"", depth * 2, "", c->kind(), c->name().c_str());
        print_rect("rect", c->rect);
        if (auto *s = dynamic_cast<const GLUI_Spinner *>(c)) {
            print_rect("field", s->field), print_rect("up", s->up), print_rect("down", s->down);
        } else if (auto *l = dynamic_cast<const GLUI_Listbox *>(c)) {
            print_rect("box", l->box);
            for (size_t i = 0; i < l->items.size(); ++i)
                print_rect(("item:" + l->items[i].text).c_str(), l->item_rect(int(i)));
        } else if (auto *r = dynamic_cast<const GLUI_Rotation *>(c)) {
            print_rect("ball", r->ball);
        } else if (auto *t = dynamic_cast<const GLUI_Translation *>(c)) {
            print_rect("pad", t->pad);
        }
        std::printf("\n");
        if (auto *p = dynamic_cast<const GLUI_Panel *>(c)) print_layout(p, depth + 1);
    }
}
