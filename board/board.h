// The brick board: the brick record, the cursor brick, the placed bricks,
// the height map and every rule that changes them.
//
// Plain C++ with no GL, GLUT or panel types. Bricks stack through the height
// map: each cell holds the level of the top of its stack, the cursor rests on
// the highest cell under its footprint, and a placed brick sets every cell it
// covers to its own top. Everything runs on the one GLUT thread.
#pragma once

#include <array>
#include <set>
#include <vector>

constexpr float CELL = 0.25f;        // edge of a cell and height of a layer, world units
constexpr int MAX_BOARD_SIZE = 30;   // rows and columns of the height map; the largest board

// Colour codes, for bricks and the base plate alike.
enum { COLOR_RED = 1, COLOR_BLUE = 2, COLOR_GREEN = 3 };
// Action ids shared by the panel's buttons and the popup menu.
enum { ACTION_CLEAR = 1, ACTION_UNDO = 2, ACTION_ROTATE = 3 };

// One brick. Positions and levels are whole numbers held in floats.
// Its footprint is rows z .. z+width-1 by columns x .. x+length-1.
struct Block {
    float x, y, z;   // column, level, row
    int length;      // cells along x
    int width;       // cells along z
    int flag;        // 0 in every brick the program makes; others are not drawn
    int color;       // colour code; 0 in the cursor

    // Argument order differs from the field order: flag first, width before length.
    Block(float x, float y, float z, int flag, int width, int length, int color)
        : x(x), y(y), z(z), length(length), width(width), flag(flag), color(color) {}
};

extern Block cursor;                // the brick the user steers
extern std::vector<Block> blocks;   // placed bricks, oldest first; grows and shrinks at its end

// ---- Board state ---------------------------------------------------------
extern int height_map[MAX_BOARD_SIZE][MAX_BOARD_SIZE];   // [row along z][column along x]
extern float board_size_x, board_size_z;  // always equal: 10, 20 or 30
extern float extent_x, extent_z;          // largest x+length and z+width of the bricks on the board
extern int block_color;                   // colour of the next placed brick
extern int base_color;                    // colour of the base plate
extern int camera_reset_pending;          // set by an accepted size change; the next frame clears it

// ---- Seams: the board's only ways out ---------------------------------------
// Start-up wires them; any left null is skipped, so tests can count or ignore them.
struct BoardSeams {
    void (*request_redisplay)();   // the 3-D view should draw a new frame
    void (*settings_changed)();    // footprint, colours or board size changed: the panel shows them
    int (*chosen_size_item)();     // the "Size:" list's item (1 to 3), read by set_base_size(0)
};
extern BoardSeams board_seams;

void request_redisplay();

// ---- Rules -------------------------------------------------------------------
void settle_cursor();        // the cursor's level := highest cell under its footprint
void move_cursor_back();     // row + 1, refused at the far edge; always settles
void move_cursor_front();    // row - 1, refused at row 0
void move_cursor_left();     // column - 1, refused at column 0
void move_cursor_right();    // column + 1, refused at the far edge
void place_block();          // drops a copy of the cursor in block_color
void board_action(int id);   // ACTION_CLEAR, ACTION_UNDO or ACTION_ROTATE; then a redisplay
void clear_board();
void undo_last_block();
void rotate_cursor();        // swaps width and length
void set_cursor_width(int n);
void set_cursor_length(int n);
void set_block_color(int n);
void set_base_color(int n);
void set_base_size(int id);  // 1, 2, 3 for 10, 20, 30 cells; 0 reads the "Size:" list

// Puts the board, the cursor and the settings back to their start values.
void reset_board();

// ---- Studs no view can see -----------------------------------------------------
// A stud stands on a cell at a level: 0 on the plate, a brick's level + 1 on
// that brick. When a placed brick of that level covers the cell, the stud lies
// inside it, and every line of sight to the stud crosses a nearer face of that
// brick or of the brick the stud stands on. Leaving it out changes no pixel,
// but where the faces of two neighbouring bricks do not quite meet: through
// such a seam, a pixel wide, a full drawing shows the buried stud, and a
// picture without it shows the brick behind. That holds only while the view
// cannot reach inside either brick (the eye is farther from it than
// `near_reach`, the distance from the eye to the corners of the near clipping
// plane) and, for a stud on the plate, while the eye is above the plate: seen
// from below, the plate and the studs' bottom disks lie in one plane.
// Positions are in the plate's frame (after the view's turn and shift). Only
// the placed bricks count, not the height map: a gap under a brick, or a
// footprint past the matrix, does not cover or uncover a stud.
struct HiddenStuds {
    std::set<std::array<int, 3>> cells;   // {level, row, column} of each hidden stud
};

HiddenStuds find_hidden_studs(const std::vector<Block> &bricks, const float eye[3], float near_reach);
bool stud_hidden(const HiddenStuds &hidden, int column, int row, int level);
