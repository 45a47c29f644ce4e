// The keys of the 3-D view and the reports they print to standard output.
#pragma once

void handle_key(unsigned char key, int x, int y);  // the main window's keyboard callback
void print_help();
void print_height_map();
void print_view_rotation();
