// PLOK Time: build models out of toy bricks on a base plate.
//
// main() reads as the list of what the program sets up; after it, everything
// happens in GLUT callbacks on the one thread.
#include <GL/freeglut.h>
#include <GL/glx.h>
#include <sys/select.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "board/board.h"
#include "glui/glui.h"
#include "render/camera.h"
#include "render/frame.h"
#include "render/layer.h"
#include "render/materials.h"
#include "render/scene.h"
#include "ui/keyboard.h"
#include "ui/panel.h"

int main_window;

// Frames the idle handler asks for come no oftener than a display shows them.
constexpr double IDLE_FRAME_INTERVAL = 1.0 / 60;
static double last_frame_time;  // when the view's last frame began or was asked for by the idle handler

static double seconds_now()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + t.tv_nsec / 1e9;
}

static void display_scene()
{
    last_frame_time = seconds_now();
    draw_frame();
    glutSwapBuffers();
}

static void reshape_window(int width, int height)
{
    set_projection(width, height);  // the whole window's aspect, panel included
    GLUI_Master.auto_set_viewport();  // the 3-D view gets what the panel leaves free
    glutPostRedisplay();
}

// Sleeps until `deadline` or until the X server has input for the program,
// whichever comes first.
static void wait_for_input(double deadline)
{
    Display *display = glXGetCurrentDisplay();
    const double left = deadline - seconds_now();
    if (!display || left <= 0 || XPending(display)) return;  // XPending also reads what has come
    const int fd = ConnectionNumber(display);
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(fd, &readable);
    timeval timeout = {0, long(left * 1e6)};
    select(fd + 1, &readable, nullptr, nullptr, &timeout);
}

// The view is redrawn continuously, a frame each display interval; between
// frames the program sleeps until input comes, and input is handled (and
// drawn, when it changes something) at once. The panel's held arrows repeat
// from the idle turns too. While the exact picture is still being drawn
// behind quick frames, the idle turns draw it a piece at a time instead,
// without sleeping, input first, and show it once it is complete.
static void redisplay_on_idle()
{
    if (layer_refining()) {
        Display *display = glXGetCurrentDisplay();
        if (display && XPending(display)) return;  // input first
        if (glutGetWindow() != main_window) glutSetWindow(main_window);
        if (refine_layer()) glutPostRedisplay();
        return;
    }
    wait_for_input(last_frame_time + IDLE_FRAME_INTERVAL);
    const double now = seconds_now();
    if (now < last_frame_time + IDLE_FRAME_INTERVAL) return;  // input came first
    last_frame_time = now;  // counted when asked for: a hidden window draws nothing
    if (glutGetWindow() != main_window) glutSetWindow(main_window);
    glutPostRedisplay();
}

// Mouse buttons and drags over the 3-D view change nothing; the toolkit still
// sees every button event first, to finish a text field being edited.
static void handle_mouse(int, int, int, int) {}
static void handle_motion(int, int) {}

static void redisplay_main_window() { glutPostWindowRedisplay(main_window); }

// Closing the window ends the program as "Quit" does.
static void close_window() { std::exit(0); }

int main(int argc, char **argv)
{
    // Reports reach a pipe or a log as soon as each line is written, as on a terminal.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(800, 600);
    glutInitWindowPosition(200, 100);
    main_window = glutCreateWindow("PLOK Time");
    glClearColor(0, 0, 0, 0);

    GLUI_Master.set_glutReshapeFunc(reshape_window);
    GLUI_Master.set_glutKeyboardFunc(handle_key);
    GLUI_Master.set_glutMouseFunc(handle_mouse);
    glutDisplayFunc(display_scene);
    glutMotionFunc(handle_motion);
    glutCloseFunc(close_window);
    build_popup_menu();

    std::printf("GLUI version: %3.2f\n", double(GLUI_Master.get_version()));

    glui = GLUI_Master.create_glui_subwindow(main_window, GLUI_SUBWINDOW_RIGHT);
    build_control_panel();
    glui->set_main_gfx_window(main_window);
    board_seams = {redisplay_main_window, show_settings, chosen_size_item};
    GLUI_Master.set_glutIdleFunc(redisplay_on_idle);

    look_center = {float(board_size_x * CELL / 2.0), 0.0f, float(-board_size_z * CELL / 2.0)};
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_TEXTURE_2D);
    init_lighting();

    glutMainLoop();
    return 0;
}
