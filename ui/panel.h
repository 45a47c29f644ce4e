// The control panel down the right edge of the window and the popup menu of
// the 3-D view: both bind the board and the view to the panel toolkit and GLUT.
#pragma once

class GLUI;
class GLUI_Spinner;
class GLUI_Listbox;
class GLUI_Rotation;

extern GLUI *glui;                             // the panel's subwindow, made at start-up
extern GLUI_Spinner *width_spinner, *length_spinner;
extern GLUI_Listbox *size_listbox;
extern GLUI_Rotation *view_rotation_control;

void build_control_panel();   // every control, top to bottom, into glui
void build_popup_menu();      // attached to the right button of the current window
void reset_view(int id);      // the "Reset" button: no rotation, no shift

// For the board's seams: the panel shows the board's settings again, and
// reports which size the "Size:" list holds.
void show_settings();
int chosen_size_item();
