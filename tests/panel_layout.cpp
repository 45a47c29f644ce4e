// Prints where the program's panel puts each control; the end-to-end test
// reads it to know where to click. The toolkit lays out without a window.
#include <cstdio>

#include "glui/glui.h"
#include "ui/panel.h"

int main()
{
    glui = GLUI_Master.create_glui_subwindow(0, GLUI_SUBWINDOW_RIGHT);
    build_control_panel();
    std::printf("panel width=%d\n", glui->layout());
    print_layout(glui);
}
