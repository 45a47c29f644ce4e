// GLUI: the panel toolkit of PLOK Time.
//
// A small library offering the GLUI names the program calls: a GLUT subwindow
// along the right edge of the main window holding panels, spinners, listboxes,
// buttons, an arcball and translation pads, drawn with Dear ImGui (GLUT and
// OpenGL2 backends). This header is the whole interface.
//
// Two layers:
//   - the model (glui.cpp): controls, live variables, limits, the arcball,
//     layout and key routing, in plain code. Tests drive it with synthetic
//     events and no window.
//   - the drawing (glui_imgui.cpp): GLUT handlers and ImGui frames. ImGui
//     only draws; every control, the lists too, gets the pointer events from
//     the model as they come (GLUI::mouse, GLUI::motion).
//
// Without GLUT initialised, or before set_main_gfx_window(), the toolkit makes
// no GLUT calls, so the model runs in-process without a display.
//
// Controls are created with `new` and owned by their GLUI for the life of the
// process; the program never deletes one.
#pragma once

#include <string>
#include <vector>

enum { GLUI_SUBWINDOW_RIGHT = 32 };
enum { GLUI_PANEL_NONE = 0, GLUI_PANEL_EMBOSSED = 1 };
enum { GLUI_LIMIT_NONE = 0, GLUI_LIMIT_CLAMP = 1 };
enum { GLUI_ALIGN_LEFT = 0, GLUI_ALIGN_CENTER = 1, GLUI_ALIGN_RIGHT = 2 };
enum { GLUI_TRANSLATION_XY = 0, GLUI_TRANSLATION_Z = 1 };

class GLUI;
class GLUI_Spinner;

// A control's callback: a plain void(int) function, called with the control's id.
// GLUI_CB() is "no callback".
class GLUI_CB {
public:
    GLUI_CB() = default;
    GLUI_CB(void (*fn)(int)) : fn_(fn) {}
    explicit operator bool() const { return fn_ != nullptr; }
    void operator()(int id) const { if (fn_) fn_(id); }
private:
    void (*fn_)(int) = nullptr;
};

// A rectangle in subwindow pixels, y down.
struct GLUI_Rect {
    int x = 0, y = 0, w = 0, h = 0;
    bool contains(int px, int py) const { return px >= x && px < x + w && py >= y && py < y + h; }
};

struct GLUI_Size { int w = 0, h = 0; };

class GLUI_Container;

// Base of every control.
class GLUI_Control {
public:
    virtual ~GLUI_Control() = default;
    void set_alignment(int align) { align_ = align; }
    int get_id() const { return id_; }
    const std::string &name() const { return name_; }

    GLUI_Rect rect;                       // placed by GLUI::layout()

    // Model hooks the layout, sync and drawing use.
    virtual GLUI_Size natural() const = 0;             // size the control wants
    virtual void place(int x, int y, int w);           // w: room given by the column
    virtual bool sync() { return false; }              // re-read a changed live var
    virtual void draw() = 0;                           // ImGui layer
    virtual const char *kind() const = 0;              // for layout listings
    // Left-button events, in the order they came (GLUI::mouse and motion).
    virtual bool pointer_press(int, int, double) { return false; }   // true: taken
    virtual void pointer_drag(int, int, double) {}   // while it is GLUI::active
    virtual void pointer_release() {}
    int alignment() const { return align_; }
    GLUI *glui() const { return glui_; }

protected:
    GLUI_Control(GLUI_Container *parent, const char *name, int id, GLUI_CB cb);
    void user_changed();   // after the user changed the value: redisplay + callback

    GLUI *glui_;
    std::string name_;
    int id_;
    GLUI_CB cb_;
    int align_ = GLUI_ALIGN_LEFT;
};

// Holds controls in columns: the GLUI itself and every panel.
class GLUI_Container {
public:
    virtual ~GLUI_Container();
    std::vector<GLUI_Control *> children;   // owned
    GLUI *owner() const { return owner_; }
    GLUI_Size measure_children() const;
    void place_children(int x, int y, int w, int h);   // columns side by side
    void draw_children();
protected:
    explicit GLUI_Container(GLUI *owner) : owner_(owner) {}
private:
    GLUI *owner_;
};

// An etched frame with a title around its controls.
class GLUI_Panel : public GLUI_Control, public GLUI_Container {
public:
    GLUI_Panel(GLUI_Container *parent, const char *name, int type = GLUI_PANEL_EMBOSSED);
    GLUI_Size natural() const override;
    void place(int x, int y, int w) override;
    void draw() override;
    const char *kind() const override { return "panel"; }
    int type;
};

// Starts a new column: the controls added after it go to its right.
class GLUI_Column : public GLUI_Control {
public:
    GLUI_Column(GLUI_Container *parent, int draw_bar = 1);
    GLUI_Size natural() const override { return {}; }
    void draw() override;
    const char *kind() const override { return "column"; }
    int draw_bar;
};

// An integer with a text field and up/down arrows.
class GLUI_Spinner : public GLUI_Control {
public:
    GLUI_Spinner(GLUI_Container *parent, const char *name, int *live_var, int id = -1,
                 GLUI_CB cb = GLUI_CB());
    void set_int_limits(int low, int high, int limit_type = GLUI_LIMIT_CLAMP);
    void set_int_val(int v);   // no callback
    int get_int_val() const { return val_; }

    // User actions. Arrows: dir is +1 (up) or -1 (down), t in seconds, y in pixels.
    void arrow_press(int dir, double t, int y);
    void arrow_hold(double t, int y);   // repeats by time, or follows a vertical drag
    void arrow_release();
    int arrow_held() const { return dir_; }   // the arrow held: +1, -1, or 0
    double next_repeat() const;         // when a still arrow steps next; negative if none is held still
    void begin_edit();                  // click in the field: typing replaces the text
    void edit_key(unsigned char key);   // digits, '-', backspace; Enter/Tab/Esc commit
    void commit_edit();                 // stops editing; writes the text (empty is 0) if typed into
    bool editing() const { return editing_; }
    const std::string &text() const { return text_; }

    GLUI_Rect field, up, down;          // parts of rect
    static constexpr double kRepeatDelay = 0.4, kRepeatInterval = 0.1;  // seconds
    static constexpr int kDragPixels = 4;                               // per step

    GLUI_Size natural() const override;
    void place(int x, int y, int w) override;
    bool sync() override;
    void draw() override;
    const char *kind() const override { return "spinner"; }
    bool pointer_press(int x, int y, double t) override;
    void pointer_drag(int, int y, double t) override { arrow_hold(t, y); }
    void pointer_release() override { arrow_release(); }

private:
    int clamp(int v) const;
    void show(int v);       // value, text and live var; no callback
    void user_set(int v);   // show + callback when the value changed

    int *live_;
    int val_, last_live_;
    int low_ = 0, high_ = 0, limit_ = GLUI_LIMIT_NONE;
    std::string text_;
    bool editing_ = false, replace_ = false, typed_ = false;   // typed_: since the value last changed
    int dir_ = 0, press_y_ = 0, press_val_ = 0, steps_ = 0;
    double press_t_ = 0;
    bool dragging_ = false;
};

// A drop-down list of (id, text) items.
class GLUI_Listbox : public GLUI_Control {
public:
    GLUI_Listbox(GLUI_Container *parent, const char *name, int *live_var = nullptr, int id = -1,
                 GLUI_CB cb = GLUI_CB());
    void add_item(int id, const char *text);
    int get_int_val() const { return items.empty() ? 0 : items[cur_].id; }
    void set_int_val(int id);   // an id it does not hold changes nothing; no callback
    void choose(int index);     // user action
    // A press on the box opens the list below it, or closes it; while it is
    // open, the next press anywhere is the list's: an item is chosen, and
    // the list closes.
    bool pointer_press(int x, int y, double) override;
    GLUI_Rect item_rect(int index) const;   // where an open list shows an item

    struct Item { int id; std::string text; };
    std::vector<Item> items;
    int current() const { return cur_; }

    GLUI_Size natural() const override;
    void place(int x, int y, int w) override;
    bool sync() override;
    void draw() override;
    const char *kind() const override { return "listbox"; }
    GLUI_Rect box;   // the drop-down part of rect

private:
    int find(int id) const;
    int *live_;
    int last_live_;
    int cur_ = 0;   // shows the first item until chosen, synced or set
};

class GLUI_Button : public GLUI_Control {
public:
    GLUI_Button(GLUI_Container *parent, const char *name, int id = -1, GLUI_CB cb = GLUI_CB());
    void click();   // user action: released inside
    bool pressed() const { return inside_; }   // held down, the pointer over it
    GLUI_Size natural() const override;
    void draw() override;
    const char *kind() const override { return "button"; }
    bool pointer_press(int x, int y, double) override;
    void pointer_drag(int x, int y, double) override { inside_ = rect.contains(x, y); }
    void pointer_release() override;

private:
    bool inside_ = false;
};

// An arcball turning a column-major 4x4 matrix (ready for glMultMatrixf).
class GLUI_Rotation : public GLUI_Control {
public:
    GLUI_Rotation(GLUI_Container *parent, const char *name, float *live_var = nullptr,
                  int id = -1, GLUI_CB cb = GLUI_CB());
    void reset();   // identity; no callback
    void press(int x, int y);
    void drag(int x, int y);
    void release();
    const float *matrix() const { return m_; }

    GLUI_Size natural() const override;
    void place(int x, int y, int w) override;
    bool sync() override;
    void draw() override;
    const char *kind() const override { return "rotation"; }
    bool pointer_press(int x, int y, double) override;
    void pointer_drag(int x, int y, double) override { drag(x, y); }
    void pointer_release() override { release(); }
    GLUI_Rect ball;

private:
    void ball_point(int x, int y, float v[3]) const;
    void show();   // m_ to the live var
    float *live_;
    float m_[16], start_[16], last_live_[16];
    float v0_[3] = {0, 0, 1};
    bool dragging_ = false;
};

// Moves one (Z) or two (XY) floats by dragging: right is +x, up is +y and +z.
class GLUI_Translation : public GLUI_Control {
public:
    GLUI_Translation(GLUI_Container *parent, const char *name, int trans_type,
                     float *live_var = nullptr, int id = -1, GLUI_CB cb = GLUI_CB());
    void set_speed(float speed) { speed_ = speed; }
    void press(int x, int y);
    void drag(int x, int y);
    void release();
    float value(int i) const { return v_[i]; }
    int type() const { return type_; }

    GLUI_Size natural() const override;
    void place(int x, int y, int w) override;
    bool sync() override;
    void draw() override;
    const char *kind() const override { return "translation"; }
    bool pointer_press(int x, int y, double) override;
    void pointer_drag(int x, int y, double) override { drag(x, y); }
    void pointer_release() override { release(); }
    GLUI_Rect pad;

private:
    int n() const { return type_ == GLUI_TRANSLATION_XY ? 2 : 1; }
    int type_;
    float *live_;
    float v_[2] = {0, 0}, start_[2] = {0, 0}, last_live_[2] = {0, 0};
    float speed_ = 1.0f;
    int px_ = 0, py_ = 0;
    bool dragging_ = false;
};

struct GLUI_Impl;   // the ImGui side of one subwindow

// One panel: a GLUT subwindow and the controls in it.
class GLUI : public GLUI_Container {
public:
    void set_main_gfx_window(int window);
    void sync_live();   // re-reads every live var that changed; leaves a dragged control alone
    int get_glut_window_id() const { return window; }

    // Toolkit internals, used by the GLUT handlers and tests.
    int layout();                      // places every control; returns the subwindow width
    void wake(int frames = 3);         // draw a few more frames, then stop
    bool needs_frame() const { return frames_left > 0; }   // a control held still needs none
    void pointer_down(int x, int y);   // a press in the panel: commits a field edited elsewhere
    // Pointer events in the subwindow as they come (button 0 left, 1 right,
    // 2 middle; t in seconds). Handled one by one, not sampled once a frame,
    // so a press, drag and release that all come between two frames count,
    // and a click counts before a key typed after it.
    void mouse(int button, int down, int x, int y, double t);
    void motion(int x, int y, double t);
    // A held arrow repeats by time, not by frames: tick(t) when next_tick()
    // is due (negative: nothing to repeat) steps it.
    void tick(double t);
    double next_tick() const;
    std::vector<GLUI_Control *> controls() const;   // every control but the panels
    void post_main_redisplay();        // counted in main_redisplays, with or without GLUT
    template <class F> void in_main_window(F f);   // runs f with the main gfx window current
    void fit(int main_w, int main_h);  // to the parent's right edge; -1: ask GLUT its size

    int window = 0;           // GLUT subwindow, 0 without GLUT
    int parent_window = 0;    // the window it sits in
    int main_gfx = 0;         // the window callbacks and redisplays go to
    GLUI_Listbox *open_list = nullptr;   // showing its items
    GLUI_Control *active = nullptr;   // being dragged or held: sync_live leaves it alone
    int frames_left = 0;
    long frames_drawn = 0;
    long main_redisplays = 0;   // frames asked of the main gfx window
    GLUI_Impl *impl = nullptr;

    ~GLUI() override;

private:
    friend class GLUI_Master_Object;
    GLUI() : GLUI_Container(this) {}
    int fitted_[3] = {0, 0, 0};   // main w, main h, panel w last given to GLUT
    int pointer_x_ = -1, pointer_y_ = -1;   // where the last event was
};

class GLUI_Master_Object {
public:
    ~GLUI_Master_Object();
    float get_version() const { return 2.3f; }
    GLUI *create_glui_subwindow(int main_window, int position);

    // These install the toolkit's handlers on the current window and forward
    // to the program's.
    void set_glutReshapeFunc(void (*fn)(int w, int h));
    void set_glutKeyboardFunc(void (*fn)(unsigned char key, int x, int y));
    void set_glutMouseFunc(void (*fn)(int button, int state, int x, int y));
    // Null removes the toolkit's own idle handler too: GLUT then sleeps until
    // an event or a timer, and the panel draws only when something asks it to.
    void set_glutIdleFunc(void (*fn)());
    void auto_set_viewport();   // viewport of the current window = area left free
    void sync_live_all();

    // Toolkit internals, used by the GLUT handlers and tests.
    GLUI_Rect viewport_for(int window, int w, int h) const;
    bool key(unsigned char key, int x, int y);   // true when a text field took it
    void main_mouse(int button, int state, int x, int y);
    void main_reshape(int w, int h);
    void idle();   // calls the program's idle handler
    void close(GLUI *glui);   // deletes a panel and its controls (tests: one made without a window)
    static bool glut_up();   // GLUT initialised: only then does the toolkit call it

    std::vector<GLUI *> guis;            // owned
    GLUI_Spinner *editing = nullptr;     // the one text field that takes keys
    void (*reshape_fn)(int, int) = nullptr;
    void (*keyboard_fn)(unsigned char, int, int) = nullptr;
    void (*mouse_fn)(int, int, int, int) = nullptr;
    void (*idle_fn)() = nullptr;
};

extern GLUI_Master_Object GLUI_Master;

// Prints each control of a container and where it sits, in subwindow pixels,
// a line each ("kind \"name\" rect=x,y,w,h ..." with a spinner's field and
// arrows, a listbox's box and drop-down items, a ball or a pad). Tests and
// tools use it to know where to click.
void print_layout(const GLUI_Container *box, int depth = 0);

// Drawing-layer entry points (glui_imgui.cpp).
void glui_open_subwindow(GLUI *glui);   // GLUT subwindow + ImGui context
void glui_install_main_handlers();      // keyboard/mouse/reshape on the current window
void glui_install_idle();               // the toolkit's idle handler while the program has one
void glui_free_impl(GLUI_Impl *impl);
int glui_current_window();               // 0 without GLUT
void glui_set_window(int window);

template <class F> void GLUI::in_main_window(F f) {
    int cur = glui_current_window();
    bool swap = main_gfx > 0 && cur > 0 && cur != main_gfx;
    if (swap) glui_set_window(main_gfx);
    f();
    if (swap) glui_set_window(cur);
}
