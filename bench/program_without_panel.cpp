// The program itself, app/main.cpp, with one change: its panel gets no GLUT
// subwindow. The controls are still built and still take their room on the
// right (the toolkit lays them out without a window), so the 3-D view, its
// viewport and everything drawn in it are exactly the program's. The frame
// rate of this against the program is what the panel costs.
#include "glui/glui.h"
#include "ui/panel.h"

namespace {
// A panel made with no parent window (the toolkit then opens nothing), then
// given its parent so that the main window keeps the panel's width free.
void keep_room_for_panel(int main_window)
{
    GLUI_Master.guis.back()->parent_window = main_window;
}
}  // namespace

// main.cpp reads: glui = GLUI_Master.create_glui_subwindow(main_window, GLUI_SUBWINDOW_RIGHT);
#define create_glui_subwindow(window, position) \
    create_glui_subwindow(0, position);         \
    keep_room_for_panel(window)
#include "app/main.cpp"
