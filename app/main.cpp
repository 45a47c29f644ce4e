// PLOK Time: build models out of toy bricks on a base plate.
//
// main() reads as the list of what the program sets up; after it, everything
// happens in GLUT callbacks on the one thread.
#include <GL/freeglut.h>
#include <GL/glx.h>

#include <cstdio>
#include <cstdlib>
#include <utility>
#ifdef __GLIBC__
#include <malloc.h>
#endif

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

static void redisplay_on_idle();

// Mesa's software rasteriser on plain X reads the window's size again only after a buffer swap:
// the first frame after a resize may still be drawn at the old size, the one after it never is.
static bool resized = false;

// Going to rest, the heap gives back to the system the free pages it holds:
// the GL frees most of what it took for the last frames (its shaders
// compiled, the geometry of big frames), and the heap would keep it. (A fixed
// bar for blocks mapped on their own gave nothing more at rest, and frames of
// big models were slower: the GL takes and frees such blocks in every frame.)
static void give_back_memory()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

// A frame is drawn when something asks for one: a change that shows (each
// key, control, menu entry and the board's rules ask for their own), GLUT
// (the window exposed, resized, mapped), or the drawn layer, which has work
// for the idle turns after some frames. Only while it has, the idle handler is
// installed; otherwise GLUT sleeps until an event or a timer comes.
static void sleep_unless_busy()
{
    static bool installed = false;
    const bool busy = layer_proof_due() || layer_refining();
    if (busy != installed) {
        installed = busy;
        GLUI_Master.set_glutIdleFunc(busy ? redisplay_on_idle : nullptr);
        if (!busy)
            give_back_memory();
    }
}

static void display_scene()
{
    draw_frame();
    glutSwapBuffers();
    if (std::exchange(resized, false)) glutPostRedisplay();
    sleep_unless_busy();  // a first frame leaves the layer's proof to do, a quick one the exact scene
}

static void reshape_window(int width, int height)
{
    set_projection(width, height);  // the whole window's aspect, panel included
    GLUI_Master.auto_set_viewport();  // the 3-D view gets what the panel leaves free
    resized = true;
    glutPostRedisplay();
}

// The layer's work, a step each turn, input first: after the first frame its
// proof, then the next frame (which differs from the first in any case);
// while the exact picture is drawn behind quick frames, a piece of it, and
// the frame that shows it once it is complete.
static void redisplay_on_idle()
{
    Display *display = glXGetCurrentDisplay();
    if (!display || !XPending(display)) {  // XPending also reads what has come
        if (glutGetWindow() != main_window) glutSetWindow(main_window);
        if (layer_proof_due()) {
            prove_layer();
            glutPostRedisplay();
        } else if (refine_layer()) {
            glutPostRedisplay();
        }
    }
    sleep_unless_busy();
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
    sleep_unless_busy();  // no idle handler until a frame leaves the layer work for it

    look_center = {float(board_size_x * CELL / 2.0), 0.0f, float(-board_size_z * CELL / 2.0)};
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_TEXTURE_2D);
    init_lighting();

    glutMainLoop();
    return 0;
}
