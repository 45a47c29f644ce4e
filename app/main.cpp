// PLOK Time: build models out of toy bricks on a base plate.
//
// main() reads as the list of what the program sets up; after it, everything
// happens in GLUT callbacks on the one thread.
#include <GL/freeglut.h>

#include <cstdio>
#include <cstdlib>

#include "board/board.h"
#include "glui/glui.h"
#include "render/camera.h"
#include "render/materials.h"
#include "render/scene.h"
#include "ui/keyboard.h"
#include "ui/panel.h"

int main_window;

static void display_scene()
{
    draw_frame();
    glutSwapBuffers();
}

static void reshape_window(int width, int height)
{
    set_projection(width, height);  // the whole window's aspect, panel included
    GLUI_Master.auto_set_viewport();  // the 3-D view gets what the panel leaves free
    glutPostRedisplay();
}

// The view is redrawn on every idle turn.
static void redisplay_on_idle()
{
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
