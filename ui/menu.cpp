// The popup menu on the right button of the 3-D view.
#include <GL/freeglut.h>

#include <initializer_list>
#include <utility>

#include "board/board.h"
#include "ui/panel.h"

using Entries = std::initializer_list<std::pair<const char *, int>>;

static int create_menu(void (*callback)(int), Entries entries)
{
    const int menu = glutCreateMenu(callback);
    for (const auto &[label, value] : entries) glutAddMenuEntry(label, value);
    return menu;
}

// Entries that change a setting show it in the panel too, through the board's seam.
void build_popup_menu()
{
    const Entries cells = {{"1", 1}, {"2", 2}, {"3", 3}, {"4", 4}};
    const Entries colors = {{"Red", COLOR_RED}, {"Blue", COLOR_BLUE}, {"Green", COLOR_GREEN}};
    const int width_menu = create_menu(set_cursor_width, cells);
    const int length_menu = create_menu(set_cursor_length, cells);
    const int color_menu = create_menu(set_block_color, colors);
    const int base_color_menu = create_menu(set_base_color, colors);
    const int base_size_menu = create_menu(set_base_size, {{"10x10", 1}, {"20x20", 2}, {"30x30", 3}});

    glutCreateMenu(board_action);
    glutAddSubMenu("Width", width_menu);
    glutAddSubMenu("Length", length_menu);
    glutAddSubMenu("Color", color_menu);
    glutAddSubMenu("Base Color", base_color_menu);
    glutAddSubMenu("Base Size", base_size_menu);
    glutAddMenuEntry("Rotate", ACTION_ROTATE);
    glutAddMenuEntry("Clear", ACTION_CLEAR);
    glutAddMenuEntry("Undo", ACTION_UNDO);
    glutAttachMenu(GLUT_RIGHT_BUTTON);
}
