#include "ui/panel.h"

#include <cstdlib>

#include "board/board.h"
#include "glui/glui.h"
#include "render/camera.h"

GLUI *glui;
GLUI_Spinner *width_spinner, *length_spinner;
GLUI_Listbox *size_listbox;
GLUI_Rotation *view_rotation_control;

// The spinners write the footprint straight into the cursor; it then settles
// on whatever its new footprint covers.
static void footprint_edited(int) { settle_cursor(); }

void build_control_panel()
{
    GLUI_Panel *block_panel = new GLUI_Panel(glui, "Block Control", GLUI_PANEL_EMBOSSED);
    width_spinner = new GLUI_Spinner(block_panel, "Width:", &cursor.width, -1, footprint_edited);
    length_spinner = new GLUI_Spinner(block_panel, "Length:", &cursor.length, -1, footprint_edited);
    for (GLUI_Spinner *spinner : {width_spinner, length_spinner}) {
        spinner->set_int_limits(1, 10, GLUI_LIMIT_CLAMP);
        spinner->set_alignment(GLUI_ALIGN_RIGHT);
    }
    GLUI_Listbox *block_colors = new GLUI_Listbox(block_panel, "Color:", &block_color);
    block_colors->add_item(COLOR_BLUE, "Blue");
    block_colors->add_item(COLOR_RED, "Red");
    block_colors->add_item(COLOR_GREEN, "Green");
    block_colors->set_alignment(GLUI_ALIGN_RIGHT);
    new GLUI_Button(block_panel, "Rotate Block", ACTION_ROTATE, board_action);

    GLUI_Panel *view_panel = new GLUI_Panel(glui, "View Control", GLUI_PANEL_EMBOSSED);
    view_rotation_control = new GLUI_Rotation(view_panel, "View", view_rotation);
    new GLUI_Button(view_panel, "Reset", 0, reset_view);

    GLUI_Panel *base_panel = new GLUI_Panel(glui, "Base Control", GLUI_PANEL_EMBOSSED);
    GLUI_Listbox *base_colors = new GLUI_Listbox(base_panel, "Color:", &base_color);
    base_colors->add_item(COLOR_GREEN, "Green");
    base_colors->add_item(COLOR_RED, "Red");
    base_colors->add_item(COLOR_BLUE, "Blue");
    base_colors->set_alignment(GLUI_ALIGN_RIGHT);
    size_listbox = new GLUI_Listbox(base_panel, "Size:", nullptr, 0, set_base_size);
    size_listbox->add_item(1, "10x10");
    size_listbox->add_item(2, "20x20");
    size_listbox->add_item(3, "30x30");
    size_listbox->set_alignment(GLUI_ALIGN_RIGHT);

    GLUI_Panel *shift_panel = new GLUI_Panel(glui, "Translation", GLUI_PANEL_EMBOSSED);
    GLUI_Translation *shift_xy =
        new GLUI_Translation(shift_panel, "Translate XY", GLUI_TRANSLATION_XY, view_translate_xy);
    shift_xy->set_speed(0.005f);
    new GLUI_Column(shift_panel, 0);
    GLUI_Translation *shift_z =
        new GLUI_Translation(shift_panel, "Translate Z", GLUI_TRANSLATION_Z, &view_translate_z);
    shift_z->set_speed(0.005f);

    new GLUI_Button(glui, "Clear Board", ACTION_CLEAR, board_action);
    new GLUI_Button(glui, "Undo Last", ACTION_UNDO, board_action);
    GLUI_Button *quit = new GLUI_Button(glui, "Quit", 0, std::exit);
    quit->set_alignment(GLUI_ALIGN_CENTER);
}

void reset_view(int id)
{
    if (id != 0) return;
    view_rotation_control->reset();
    view_translate_xy[0] = view_translate_xy[1] = 0.0f;
    view_translate_z = 0.0f;
    glui->sync_live();  // the translation controls count from zero again
}

void show_settings()
{
    glui->sync_live();
    size_listbox->set_int_val(int(board_size_x) / 10);
}

int chosen_size_item() { return size_listbox->get_int_val(); }
