// glui_demo: every control of the toolkit in a window, laid out as PLOK
// Time's panel, with callbacks and handlers that print what they receive
// (one line each, flushed) so a test can drive it under Xvfb.
//
//   glui_demo            the window
//   glui_demo --layout   prints each control's rectangle in subwindow pixels
//                        for an 800x600 main window, and exits (no display)
#include "glui/glui.h"

#include <GL/freeglut.h>
#include <GL/glu.h>

#include <cstdio>
#include <cstring>

namespace {

int main_window = 0;
GLUI *glui = nullptr;
int width = 2, length = 4, block_color = 2, base_color = 3;
float view_rotate[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
float translate_xy[2] = {0, 0}, translate_z = 0;
GLUI_Listbox *size_list = nullptr;
GLUI_Rotation *view_ball = nullptr;

void control_cb(int id) {
    std::printf("callback %d window=%s\n", id, glutGetWindow() == main_window ? "main" : "other");
    if (id == 0 && view_ball) view_ball->reset();
}
void value_cb(int id) {
    std::printf("value %d width=%d length=%d block_color=%d base_color=%d\n", id, width, length,
                block_color, base_color);
}
void size_cb(int id) { std::printf("size %d item=%d\n", id, size_list->get_int_val()); }
void move_cb(int id) {
    std::printf("moved %d xy=%.3f,%.3f z=%.3f m8=%.3f\n", id, translate_xy[0], translate_xy[1],
                translate_z, view_rotate[8]);
}

// The program's panel, control for control.
void build_panel(GLUI *g) {
    GLUI_Panel *block = new GLUI_Panel(g, "Block Control");
    auto *w = new GLUI_Spinner(block, "Width:", &width, 10, value_cb);
    w->set_int_limits(1, 10, GLUI_LIMIT_CLAMP);
    w->set_alignment(GLUI_ALIGN_RIGHT);
    auto *l = new GLUI_Spinner(block, "Length:", &length, 11, value_cb);
    l->set_int_limits(1, 10, GLUI_LIMIT_CLAMP);
    l->set_alignment(GLUI_ALIGN_RIGHT);
    auto *bc = new GLUI_Listbox(block, "Color:", &block_color, 12, value_cb);
    bc->add_item(2, "Blue");
    bc->add_item(1, "Red");
    bc->add_item(3, "Green");
    new GLUI_Button(block, "Rotate Block", 3, control_cb);

    GLUI_Panel *view = new GLUI_Panel(g, "View Control");
    view_ball = new GLUI_Rotation(view, "View", view_rotate, 20, move_cb);
    new GLUI_Button(view, "Reset", 0, control_cb);

    GLUI_Panel *base = new GLUI_Panel(g, "Base Control");
    auto *basec = new GLUI_Listbox(base, "Color:", &base_color, 13, value_cb);
    basec->add_item(3, "Green");
    basec->add_item(1, "Red");
    basec->add_item(2, "Blue");
    size_list = new GLUI_Listbox(base, "Size:", nullptr, 0, size_cb);
    size_list->add_item(1, "10x10");
    size_list->add_item(2, "20x20");
    size_list->add_item(3, "30x30");

    GLUI_Panel *move = new GLUI_Panel(g, "Translation");
    auto *xy = new GLUI_Translation(move, "Translate XY", GLUI_TRANSLATION_XY, translate_xy, 21, move_cb);
    xy->set_speed(0.005f);
    new GLUI_Column(move, 0);
    auto *z = new GLUI_Translation(move, "Translate Z", GLUI_TRANSLATION_Z, &translate_z, 22, move_cb);
    z->set_speed(0.005f);

    new GLUI_Button(g, "Clear Board", 1, control_cb);
    new GLUI_Button(g, "Undo Last", 2, control_cb);
    (new GLUI_Button(g, "Quit", 0, GLUI_CB(exit)))->set_alignment(GLUI_ALIGN_CENTER);
}

void reshape(int, int) { GLUI_Master.auto_set_viewport(); }

void display() {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    GLint vp[4];
    glGetIntegerv(GL_VIEWPORT, vp);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(40, double(vp[2]) / vp[3], 0.1, 100);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(translate_xy[0], translate_xy[1], -6 - translate_z);
    glMultMatrixf(view_rotate);
    const float colors[4][3] = {{0, 0, 0}, {0.9f, 0.2f, 0.2f}, {0.2f, 0.3f, 0.9f}, {0.2f, 0.8f, 0.3f}};
    glColor3fv(colors[base_color & 3]);
    glBegin(GL_LINE_LOOP);
    glVertex3f(-2, -1, -2), glVertex3f(2, -1, -2), glVertex3f(2, -1, 2), glVertex3f(-2, -1, 2);
    glEnd();
    glColor3fv(colors[block_color & 3]);
    glPushMatrix();
    glScalef(width * 0.2f, 0.4f, length * 0.2f);
    glutWireCube(1);
    glPopMatrix();
    glutSwapBuffers();
}

void key(unsigned char k, int x, int y) {
    if (k == '?') {
        std::printf("frames %ld\n", glui->frames_drawn);
        return;
    }
    std::printf("key %c window=%s x=%d y=%d\n", k, glutGetWindow() == main_window ? "main" : "other", x, y);
}

void mouse(int button, int state, int x, int y) {
    std::printf("mouse %d %d %d %d\n", button, state, x, y);
}

void idle() {
    glutSetWindow(main_window);
    glutPostRedisplay();
}

void menu(int item) { std::printf("menu %d\n", item); }

}  // namespace

int main(int argc, char **argv) {
    setvbuf(stdout, nullptr, _IOLBF, 0);
    if (argc > 1 && std::strcmp(argv[1], "--layout") == 0) {
        GLUI *g = GLUI_Master.create_glui_subwindow(1, GLUI_SUBWINDOW_RIGHT);   // no GLUT: model only
        build_panel(g);
        int w = g->layout();
        GLUI_Rect view = GLUI_Master.viewport_for(1, 800, 600);
        std::printf("subwindow x=%d y=0 w=%d h=600 in an 800x600 main window; 3-D view %dx%d\n",
                    800 - w, w, view.w, view.h);
        print_layout(g);
        return 0;
    }

    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(800, 600);
    glutInitWindowPosition(0, 0);
    main_window = glutCreateWindow("GLUI demo");
    glClearColor(0.95f, 0.95f, 0.92f, 1);
    GLUI_Master.set_glutReshapeFunc(reshape);
    GLUI_Master.set_glutKeyboardFunc(key);
    GLUI_Master.set_glutMouseFunc(mouse);
    glutDisplayFunc(display);
    glutCreateMenu(menu);
    glutAddMenuEntry("First", 1);
    glutAttachMenu(GLUT_RIGHT_BUTTON);
    std::printf("GLUI version: %.2f\n", GLUI_Master.get_version());

    glui = GLUI_Master.create_glui_subwindow(main_window, GLUI_SUBWINDOW_RIGHT);
    build_panel(glui);
    glui->set_main_gfx_window(main_window);
    GLUI_Master.set_glutIdleFunc(idle);
    std::printf("ready subwindow=%d\n", glui->get_glut_window_id());
    glutMainLoop();
}
