// Prints where the program's panel puts each control, in panel pixels:
// "kind|name|x|y|w|h" a line, in creation order. The end-to-end tests read it
// to know where to click. The toolkit lays out without a window.
#include <cstdio>

#include "glui/glui.h"
#include "ui/panel.h"

static void print(const char *kind, const std::string &name, const GLUI_Rect &r)
{
    std::printf("%s|%s|%d|%d|%d|%d\n", kind, name.c_str(), r.x, r.y, r.w, r.h);
}

static void list(const GLUI_Container &container)
{
    for (const GLUI_Control *c : container.children) {
        print(c->kind(), c->name(), c->rect);
        if (auto *spinner = dynamic_cast<const GLUI_Spinner *>(c)) {
            print("spinner-up", c->name(), spinner->up);
            print("spinner-down", c->name(), spinner->down);
        }
        if (auto *inner = dynamic_cast<const GLUI_Container *>(c)) list(*inner);
    }
}

int main()
{
    glui = GLUI_Master.create_glui_subwindow(0, GLUI_SUBWINDOW_RIGHT);
    build_control_panel();
    std::printf("width|%d\n", glui->layout());
    list(*glui);
    return 0;
}
