// The brick board: the brick record, the cursor brick, the placed bricks,
// the height map and every rule that changes them.
//
// Plain C++ with no GL, GLUT or panel types. Bricks stack through the height
// map: each cell holds the level of the top of its stack, the cursor rests on
// the highest cell under its footprint, and a placed brick sets every cell it
// covers to its own top. Everything runs on the one GLUT thread.
#pragma once

#include <cstddef>
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

// ---- What no view can see -----------------------------------------------------
// A placed brick fills the cells of its footprint at its level, in the matrix
// or not (the height map plays no part here). A stud stands on a cell at a
// level: 0 on the plate, a brick's level + 1 on that brick. A face of a brick
// lies against the cells beyond it: the row before it or after it, the column
// left or right of it, the level under or over it.
//
// A stud inside a filled cell, or a face whose every cell beyond is filled,
// lies inside the model: every line of sight to it crosses a nearer face.
// Leaving it out changes no pixel, but where the faces of two neighbouring
// bricks do not quite meet: through such a seam, a pixel wide, a full drawing
// shows what lies inside, and a picture without it the brick behind. That
// holds only while the view cannot reach inside the bricks concerned (the eye
// is farther from each than `near_reach`, the distance from the eye to the
// corners of the near clipping plane): a brick the view enters covers
// nothing, and nothing of it is left out, nor the studs on it (its top face
// and their bottom disks lie in one plane). For the same reason the plate's
// studs count as covered only while the eye is above the plate.
//
// The board keeps what each cell holds in step with `blocks`, so each
// question below costs what its answer involves, not the bricks placed.
// Positions are in the plate's frame (after the view's turn and shift).

struct Sight {
    float eye[3];
    float near_reach;
    std::size_t bricks;                 // the bricks placed when it was taken: only they cover
    std::vector<std::size_t> entered;   // those of them the view can enter, in order
};
Sight sight_from(const float eye[3], float near_reach);
bool stud_hidden(const Sight &sight, int column, int row, int level);

// A stud to draw, with the colour of what it stands on (the plate's or a brick's).
struct Stud {
    int level, row, column, color;
};
// Every stud on the board that `sight` does not hide, the plate's first; one
// for each place, where bricks overlap too.
std::vector<Stud> visible_studs(const Sight &sight);

// Faces, in the order a box draws them.
enum { FACE_FRONT, FACE_RIGHT, FACE_BOTTOM, FACE_TOP, FACE_BACK, FACE_LEFT, FACES };
// Bit f set: face f of a placed brick lies wholly against other bricks,
// whatever the view: the kept geometry of quick frames leaves those out.
unsigned covered_faces(std::size_t brick);
// Bit f set: face f hides no view from `sight` can see; never a face of a
// brick the view enters, nor one covered only by such a brick.
unsigned hidden_faces(const Sight &sight, std::size_t brick);
// The placed bricks that fill a cell beyond any face of `b` (placed or not).
std::vector<std::size_t> bricks_against(const Block &b);

// Every brick placed gets a number of its own, never given again: a list
// whose brick at index i still has the same number is unchanged up to i.
unsigned long brick_serial(std::size_t i);
