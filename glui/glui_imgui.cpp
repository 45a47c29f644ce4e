// The drawing layer: GLUT handlers and one Dear ImGui frame per redraw of a
// panel. ImGui only draws: every control gets the pointer events from the
// model (GLUI::mouse, GLUI::motion) as they come, one by one, whatever the
// frame rate, and ImGui sees no button and no key (keys are routed by
// GLUI_Master_Object::key). It is told where the pointer is, for hovering.
#include "glui/glui.h"

#include <GL/freeglut.h>
#include <imgui.h>
#include <backends/imgui_impl_opengl2.h>

#include <algorithm>
#include <cfloat>
#include <cmath>

struct GLUI_Impl {
    ImGuiContext *ctx = nullptr;
    ImVec2 pointer{-FLT_MAX, -FLT_MAX};   // where the next frame shows the pointer
    double last_time = 0;
    double repeat_at = -1;   // when the timer set for a held arrow is due...
    int repeat_timer = 0;    // ...and its number; any other that fires is stale
};

// At exit (the program may leave from inside a callback, mid-frame).
void glui_free_impl(GLUI_Impl *impl) {
    if (!impl) return;
    ImGui::SetCurrentContext(impl->ctx);
    ImGui_ImplOpenGL2_Shutdown();
    ImGui::DestroyContext(impl->ctx);
    delete impl;
}

namespace {

GLUI *panel_of_current() {
    int w = glutGetWindow();
    for (GLUI *g : GLUI_Master.guis)
        if (g->window == w) return g;
    return nullptr;
}

ImU32 col(int grey, int a = 255) { return IM_COL32(grey, grey, grey, a); }

void push(GLUI *g, int x, int y) {
    if (!g || !g->impl) return;
    g->impl->pointer = ImVec2(float(x), float(y));
    g->wake();
}

// ---- subwindow handlers ----

void draw_panel(GLUI *g);

void sub_display() { if (GLUI *g = panel_of_current()) draw_panel(g); }
void sub_reshape(int, int) { if (GLUI *g = panel_of_current()) g->wake(); }
double now() { return glutGet(GLUT_ELAPSED_TIME) / 1000.0; }

// A held arrow steps from a timer set to its next step: no frames, no idle
// turns meanwhile. Timers cannot be taken back, so each has a number and only
// the latest counts.
void repeat(int timer);

void set_repeat(GLUI *g) {
    static int timers = 0;
    double at = g->next_tick();
    if (!g->impl || at < 0 || at == g->impl->repeat_at) return;
    g->impl->repeat_at = at;
    g->impl->repeat_timer = ++timers;
    // A millisecond late, so that the step is surely due when it fires.
    glutTimerFunc(unsigned(std::max(0.0, std::ceil((at - now()) * 1000))) + 1, repeat, timers);
}

void repeat(int timer) {
    for (GLUI *g : GLUI_Master.guis)
        if (g->impl && g->impl->repeat_timer == timer) {
            g->impl->repeat_at = -1;
            g->tick(now());
            set_repeat(g);
        }
}

void sub_motion(int x, int y) {
    GLUI *g = panel_of_current();
    if (g) g->motion(x, y, now()), set_repeat(g);
    push(g, x, y);
}

void sub_mouse(int button, int state, int x, int y) {
    GLUI *g = panel_of_current();
    if (!g || !g->impl || button > 2) return;   // wheel: nothing scrolls
    int b = button == GLUT_LEFT_BUTTON ? 0 : button == GLUT_RIGHT_BUTTON ? 1 : 2;
    g->mouse(b, state == GLUT_DOWN, x, y, now());
    set_repeat(g);
    push(g, x, y);
}

void sub_entry(int state) {
    if (state == GLUT_LEFT) push(panel_of_current(), -100000, -100000);
}

// Keys typed over the panel: to the field being edited, else to the program.
void sub_keyboard(unsigned char k, int x, int y) { GLUI_Master.key(k, x, y); }

// ---- main window handlers ----

void main_keyboard(unsigned char k, int x, int y) { GLUI_Master.key(k, x, y); }
void main_mouse(int b, int s, int x, int y) { GLUI_Master.main_mouse(b, s, x, y); }
void main_reshape(int w, int h) { GLUI_Master.main_reshape(w, h); }
void master_idle() { GLUI_Master.idle(); }

// ---- drawing the controls ----

ImDrawList *dl() { return ImGui::GetWindowDrawList(); }

// An etched line or frame: dark, with a light line one pixel below/right.
void etched_rect(float x0, float y0, float x1, float y1) {
    dl()->AddRect({x0 + 1, y0 + 1}, {x1 + 1, y1 + 1}, col(255));
    dl()->AddRect({x0, y0}, {x1, y1}, col(128));
}

void label(const std::string &text, float x, float y) {
    dl()->AddText({x, y}, col(0), text.c_str());
}

void arrow(ImVec2 c, float r, int dir_x, int dir_y, ImU32 colour) {
    // A triangle pointing along (dir_x, dir_y), centred on c.
    ImVec2 tip{c.x + dir_x * r, c.y + dir_y * r};
    ImVec2 a{c.x - dir_x * r - dir_y * r, c.y - dir_y * r - dir_x * r};
    ImVec2 b{c.x - dir_x * r + dir_y * r, c.y - dir_y * r + dir_x * r};
    dl()->AddTriangleFilled(tip, b, a, colour);
}

bool hovered(const GLUI_Rect &r) {
    return ImGui::IsMouseHoveringRect({float(r.x), float(r.y)}, {float(r.x + r.w), float(r.y + r.h)}, false);
}

}  // namespace

void GLUI_Container::draw_children() {
    for (GLUI_Control *c : children) {
        ImGui::PushID(c);
        c->draw();
        ImGui::PopID();
    }
}

void GLUI_Panel::draw() {
    if (type != GLUI_PANEL_NONE) {
        float top = rect.y + 7.f;
        etched_rect(rect.x, top, rect.x + rect.w - 2, rect.y + rect.h - 2);
        if (!name_.empty()) {
            ImVec2 ts = ImGui::CalcTextSize(name_.c_str());
            dl()->AddRectFilled({rect.x + 6.f, top - 1}, {rect.x + 10.f + ts.x, top + 2},
                                ImGui::GetColorU32(ImGuiCol_WindowBg));
            label(name_, rect.x + 8.f, rect.y);
        }
    }
    draw_children();
}

void GLUI_Column::draw() {
    if (!draw_bar) return;
    dl()->AddLine({rect.x + 0.5f, rect.y + 2.f}, {rect.x + 0.5f, float(rect.y + rect.h)}, col(128));
    dl()->AddLine({rect.x + 1.5f, rect.y + 2.f}, {rect.x + 1.5f, float(rect.y + rect.h)}, col(255));
}

void GLUI_Spinner::draw() {
    label(name_, rect.x, rect.y + 3.f);
    // The field: white, the text selected while the next digit replaces it.
    ImVec2 f0{float(field.x), float(field.y)}, f1{float(field.x + field.w), float(field.y + field.h)};
    dl()->AddRectFilled(f0, f1, editing_ ? IM_COL32(255, 255, 255, 255) : col(245));
    dl()->AddRect(f0, f1, editing_ ? IM_COL32(40, 90, 200, 255) : col(140));
    ImVec2 ts = ImGui::CalcTextSize(text_.c_str());
    ImVec2 tp{f0.x + 4, f0.y + 3};
    if (replace_) dl()->AddRectFilled({tp.x - 1, tp.y - 1}, {tp.x + ts.x + 1, tp.y + ts.y + 1}, IM_COL32(150, 185, 240, 255));
    dl()->AddText(tp, col(0), text_.c_str());
    if (editing_ && !replace_) dl()->AddLine({tp.x + ts.x + 1, tp.y}, {tp.x + ts.x + 1, tp.y + ts.y}, col(0));

    const GLUI_Rect *parts[2] = {&up, &down};
    for (int i = 0; i < 2; ++i) {
        const GLUI_Rect &r = *parts[i];
        int dir = i == 0 ? 1 : -1;
        dl()->AddRectFilled({float(r.x), float(r.y)}, {float(r.x + r.w), float(r.y + r.h)},
                            arrow_held() == dir ? col(170) : hovered(r) ? col(225) : col(205));
        dl()->AddRect({float(r.x), float(r.y)}, {float(r.x + r.w), float(r.y + r.h)}, col(140));
        arrow({r.x + r.w / 2.f, r.y + r.h / 2.f}, 3.f, 0, -dir, col(0));
    }
}

void GLUI_Listbox::draw() {
    label(name_, rect.x, rect.y + 3.f);
    const ImGuiStyle &st = ImGui::GetStyle();
    const float x0 = box.x, y0 = box.y, x1 = box.x + box.w, y1 = box.y + box.h;
    const bool open = glui_->open_list == this;
    dl()->AddRectFilled({x0, y0}, {x1, y1}, ImGui::GetColorU32(hovered(box) ? ImGuiCol_FrameBgHovered : ImGuiCol_FrameBg));
    dl()->AddRectFilled({x1 - box.h, y0}, {x1, y1}, ImGui::GetColorU32(open ? ImGuiCol_ButtonActive : ImGuiCol_Button));
    arrow({x1 - box.h / 2.f, (y0 + y1) / 2.f}, box.h / 4.f, 0, 1, ImGui::GetColorU32(ImGuiCol_Text));
    if (!items.empty()) label(items[cur_].text, x0 + st.FramePadding.x, y0 + st.FramePadding.y);
    if (!open) return;
    // The open list lies over the controls below it.
    ImDrawList *top = ImGui::GetForegroundDrawList();
    const GLUI_Rect last = item_rect(int(items.size()) - 1);
    top->AddRectFilled({x0, y1}, {x1, last.y + last.h + 8.f}, ImGui::GetColorU32(ImGuiCol_PopupBg));
    top->AddRect({x0, y1}, {x1, last.y + last.h + 8.f}, ImGui::GetColorU32(ImGuiCol_Border));
    for (int i = 0; i < int(items.size()); ++i) {
        const GLUI_Rect r = item_rect(i);
        if (hovered(r) || i == cur_)
            top->AddRectFilled({r.x - 2.f, r.y - 2.f}, {r.x + r.w + 2.f, r.y + r.h + 2.f},
                               ImGui::GetColorU32(hovered(r) ? ImGuiCol_HeaderHovered : ImGuiCol_Header));
        top->AddText({float(r.x), float(r.y)}, ImGui::GetColorU32(ImGuiCol_Text), items[i].text.c_str());
    }
}

void GLUI_Button::draw() {
    const ImGuiStyle &st = ImGui::GetStyle();
    ImVec2 r0{float(rect.x), float(rect.y)}, r1{float(rect.x + rect.w), float(rect.y + rect.h)};
    ImGuiCol fill = pressed() ? ImGuiCol_ButtonActive : hovered(rect) ? ImGuiCol_ButtonHovered : ImGuiCol_Button;
    dl()->AddRectFilled(r0, r1, ImGui::GetColorU32(fill), st.FrameRounding);
    dl()->AddRect(r0, r1, ImGui::GetColorU32(ImGuiCol_Border), st.FrameRounding, 0, st.FrameBorderSize);
    ImVec2 ts = ImGui::CalcTextSize(name_.c_str());
    label(name_, rect.x + (rect.w - ts.x) / 2, rect.y + (rect.h - ts.y) / 2);
}

// The label centred under the square.
void GLUI_DragSquare::draw_label() {
    label(name_, rect.x + (rect.w - ImGui::CalcTextSize(name_.c_str()).x) / 2, square.y + square.h + 3.f);
}

void GLUI_Rotation::draw() {
    ImVec2 c{square.x + square.w / 2.f, square.y + square.h / 2.f};
    float r = square.w / 2.f - 2;
    dl()->AddCircleFilled(c, r, col(glui_->active == this ? 200 : 215), 32);
    // Three great circles of the turned ball; the far halves faint.
    for (int axis = 0; axis < 3; ++axis) {
        ImVec2 prev{};
        float prev_z = 0;
        for (int i = 0; i <= 32; ++i) {
            float a = i * 6.2831853f / 32, u = std::cos(a), v = std::sin(a), p[3] = {0, 0, 0};
            p[(axis + 1) % 3] = u, p[(axis + 2) % 3] = v;
            float q[3];
            for (int row = 0; row < 3; ++row) q[row] = m_[row] * p[0] + m_[4 + row] * p[1] + m_[8 + row] * p[2];
            ImVec2 s{c.x + q[0] * r, c.y - q[1] * r};
            if (i) {
                bool front = q[2] + prev_z >= 0;
                ImU32 colour = axis == 0 ? IM_COL32(190, 40, 40, front ? 255 : 60)
                             : axis == 1 ? IM_COL32(40, 150, 40, front ? 255 : 60)
                                         : IM_COL32(40, 60, 190, front ? 255 : 60);
                dl()->AddLine(prev, s, colour, front ? 1.5f : 1.f);
            }
            prev = s, prev_z = q[2];
        }
    }
    dl()->AddCircle(c, r, col(90), 32);
    draw_label();
}

void GLUI_Translation::draw() {
    ImVec2 p0{float(square.x + 2), float(square.y + 2)}, p1{float(square.x + square.w - 2), float(square.y + square.h - 2)};
    dl()->AddRectFilled(p0, p1, col(glui_->active == this ? 200 : 215), 4.f);
    dl()->AddRect(p0, p1, col(90), 4.f);
    ImVec2 c{square.x + square.w / 2.f, square.y + square.h / 2.f};
    float d = square.w / 2.f - 10;
    ImU32 a = IM_COL32(40, 60, 150, 255);
    arrow({c.x, c.y - d}, 6, 0, -1, a);
    arrow({c.x, c.y + d}, 6, 0, 1, a);
    if (type_ == GLUI_TRANSLATION_XY) {
        arrow({c.x - d, c.y}, 6, -1, 0, a);
        arrow({c.x + d, c.y}, 6, 1, 0, a);
        dl()->AddLine({c.x - d + 6, c.y}, {c.x + d - 6, c.y}, a, 2.f);
    }
    dl()->AddLine({c.x, c.y - d + 6}, {c.x, c.y + d - 6}, a, 2.f);
    draw_label();
}

namespace {

void draw_panel(GLUI *g) {
    GLUI_Impl *im = g->impl;
    ImGui::SetCurrentContext(im->ctx);
    ImGuiIO &io = ImGui::GetIO();
    int w = glutGet(GLUT_WINDOW_WIDTH), h = glutGet(GLUT_WINDOW_HEIGHT);
    io.DisplaySize = ImVec2(float(w), float(h));
    double t = now();
    io.DeltaTime = float(std::max(1e-3, t - im->last_time));
    im->last_time = t;
    io.MousePos = im->pointer;
    ImGui_ImplOpenGL2_NewFrame();
    ImGui::NewFrame();
    g->fit(-1, -1);   // the panel may have grown since the last frame
    ImGui::SetNextWindowPos({0, 0});
    ImGui::SetNextWindowSize(io.DisplaySize);
    ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, {0, 0});
    ImGui::PushStyleVar(ImGuiStyleVar_WindowBorderSize, 0);
    ImGui::Begin("##glui", nullptr,
                 ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoMove |
                     ImGuiWindowFlags_NoSavedSettings | ImGuiWindowFlags_NoBringToFrontOnFocus |
                     ImGuiWindowFlags_NoScrollWithMouse | ImGuiWindowFlags_NoNav);
    g->draw_children();
    ImGui::End();
    ImGui::PopStyleVar(2);
    ImGui::Render();

    glViewport(0, 0, w, h);
    ImVec4 bg = ImGui::GetStyle().Colors[ImGuiCol_WindowBg];
    glClearColor(bg.x, bg.y, bg.z, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    ImGui_ImplOpenGL2_RenderDrawData(ImGui::GetDrawData());
    glutSwapBuffers();

    ++g->frames_drawn;
    if (g->frames_left > 0) --g->frames_left;
    if (g->needs_frame()) glutPostRedisplay();
}

}  // namespace

void glui_open_subwindow(GLUI *g) {
    glutSetWindow(g->parent_window);
    int W = glutGet(GLUT_WINDOW_WIDTH), H = glutGet(GLUT_WINDOW_HEIGHT), w = g->layout();
    g->window = glutCreateSubWindow(g->parent_window, std::max(0, W - w), 0, std::max(1, w), H);
    glutDisplayFunc(sub_display);
    glutReshapeFunc(sub_reshape);
    glutMouseFunc(sub_mouse);
    glutMotionFunc(sub_motion);
    glutPassiveMotionFunc(sub_motion);
    glutEntryFunc(sub_entry);
    glutKeyboardFunc(sub_keyboard);

    g->impl = new GLUI_Impl;
    ImGuiContext *prev = ImGui::GetCurrentContext();
    g->impl->ctx = ImGui::CreateContext();
    ImGui::SetCurrentContext(g->impl->ctx);
    ImGuiIO &io = ImGui::GetIO();
    io.IniFilename = nullptr;   // nothing to remember between runs
    io.ConfigFlags |= ImGuiConfigFlags_NoMouseCursorChange;
    ImGui::StyleColorsLight();
    ImGuiStyle &s = ImGui::GetStyle();
    s.Colors[ImGuiCol_WindowBg] = ImVec4(0.86f, 0.86f, 0.86f, 1);
    s.Colors[ImGuiCol_Button] = ImVec4(0.78f, 0.78f, 0.80f, 1);
    s.Colors[ImGuiCol_FrameBg] = ImVec4(0.97f, 0.97f, 0.97f, 1);
    s.FrameBorderSize = 1;
    s.FrameRounding = 2;
    ImGui_ImplOpenGL2_Init();
    g->impl->last_time = now();
    if (prev) ImGui::SetCurrentContext(prev);
    g->wake();
}

void glui_install_main_handlers() {
    glutKeyboardFunc(main_keyboard);
    glutMouseFunc(main_mouse);
    glutReshapeFunc(main_reshape);
}

void glui_install_idle() { glutIdleFunc(GLUI_Master.idle_fn ? master_idle : nullptr); }
