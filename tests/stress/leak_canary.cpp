// A leak that LeakSanitizer must report, made where the program makes its
// allocations: in a GLUT display callback, with the GL driver loaded and
// drawing the program's scene. leaks.py runs it with the program's leak
// suppressions: should they ever hide a leak of our own code (as one naming
// libglut would: its frames are under every callback), this one goes unseen
// and the test fails.
#include <GL/freeglut.h>

#include <cstdlib>

#include "render/materials.h"
#include "render/scene.h"

static int frames;

// Kept out of display() so no copy of the pointer stays in its frame.
__attribute__((noinline)) static void lose_a_hundred_bytes()
{
    int *volatile lost = new int[25];
    lost[0] = frames;
}

static void display()
{
    draw_frame();
    glutSwapBuffers();
    if (++frames == 3) lose_a_hundred_bytes();
    if (frames == 6) std::exit(0);
    glutPostRedisplay();
}

int main(int argc, char **argv)
{
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(320, 240);
    glutCreateWindow("leak canary");
    set_projection(320, 240);
    glEnable(GL_DEPTH_TEST);
    init_lighting();
    glutDisplayFunc(display);
    glutMainLoop();
    return 0;
}
