// The floor the program's start and memory are measured against: a freeglut
// window with the program's display mode, size, position and title that
// clears and swaps, and ends on "q".
#include <GL/freeglut.h>

#include <cstdlib>

static void display()
{
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glutSwapBuffers();
}

static void key(unsigned char k, int, int)
{
    if (k == 'q') std::exit(0);
}

int main(int argc, char **argv)
{
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(800, 600);
    glutInitWindowPosition(200, 100);
    glutCreateWindow("PLOK Time");
    glutDisplayFunc(display);
    glutKeyboardFunc(key);
    glutMainLoop();
}
