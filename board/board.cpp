// Every rule of the board, in one place.
#include "board/board.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <new>

Block cursor(0, 0, 0, 0, 2, 2, 0);
std::vector<Block> blocks;

int height_map[MAX_BOARD_SIZE][MAX_BOARD_SIZE];
float board_size_x = 10, board_size_z = 10;
float extent_x = 0, extent_z = 0;
int block_color = COLOR_BLUE;
int base_color = COLOR_GREEN;
int camera_reset_pending = 1;

BoardSeams board_seams = {nullptr, nullptr, nullptr};

void request_redisplay()
{
    if (board_seams.request_redisplay) board_seams.request_redisplay();
}

static void settings_changed()
{
    if (board_seams.settings_changed) board_seams.settings_changed();
}

// The cells of a footprint that exist in the height map, rows outer and
// columns inner. A footprint may reach past the board (a rotated or widened
// brick near the far edge) and, on the largest board, past the matrix: cells
// outside the matrix are left out of every visit.
template <typename Visit>
static void for_each_cell(const Block &b, Visit visit)
{
    const int r0 = std::max(0, int(b.z)), c0 = std::max(0, int(b.x));
    for (int r = r0; r < b.z + b.width && r < MAX_BOARD_SIZE; r++)
        for (int c = c0; c < b.x + b.length && c < MAX_BOARD_SIZE; c++)
            visit(height_map[r][c]);
}

void settle_cursor()
{
    int best = 0;
    for_each_cell(cursor, [&](int h) { best = std::max(best, h); });
    cursor.y = float(best);
}

// ---- Moves: one coordinate by one cell, refused past the board's edges.

void move_cursor_back()
{
    if (cursor.z + cursor.width < board_size_z) cursor.z = float(double(cursor.z) + 1);
    settle_cursor();
}

void move_cursor_front()
{
    if (cursor.z > 0) cursor.z = float(double(cursor.z) - 1);
    settle_cursor();
}

void move_cursor_left()
{
    if (cursor.x > 0) cursor.x = float(double(cursor.x) - 1);
    settle_cursor();
}

void move_cursor_right()
{
    if (cursor.x + cursor.length < board_size_x) cursor.x = float(double(cursor.x) + 1);
    settle_cursor();
}

// ---- Placing and taking away

// Every cell of the matrix, also those outside the current board.
static void zero_height_map()
{
    std::fill(&height_map[0][0], &height_map[0][0] + MAX_BOARD_SIZE * MAX_BOARD_SIZE, 0);
}

// Sets every cell under a brick to the brick's top.
static void raise_under(const Block &b)
{
    const int top = int(double(b.y) + 1);
    for_each_cell(b, [&](int &h) { h = top; });
}

// The height map and the extents as the bricks on the board make them, replayed
// in placement order. Used after an undo, so that the board is exactly what it
// was before that brick came.
static void rebuild_from_blocks()
{
    zero_height_map();
    extent_x = extent_z = 0;
    for (const Block &b : blocks) {
        raise_under(b);
        extent_x = std::max(extent_x, b.x + b.length);
        extent_z = std::max(extent_z, b.z + b.width);
    }
}

void place_block()
{
    // Settled first, so a brick is never recorded inside or above another.
    settle_cursor();
    try {
        blocks.push_back(Block(cursor.x, cursor.y, cursor.z, cursor.flag, cursor.width,
                               cursor.length, block_color));
    } catch (const std::bad_alloc &) {
        return;  // no memory for the record: the board stays as it was
    }
    extent_x = std::max(extent_x, cursor.x + cursor.length);
    extent_z = std::max(extent_z, cursor.z + cursor.width);
    raise_under(cursor);
    settle_cursor();
    request_redisplay();
}

void clear_board()
{
    blocks.clear();
    extent_z = extent_x = 0;
    // The whole matrix, not just the current board: an overhanging brick may
    // have raised cells that a larger board would show later.
    zero_height_map();
    settle_cursor();
}

void undo_last_block()
{
    if (blocks.empty()) return;
    blocks.pop_back();
    rebuild_from_blocks();
    settle_cursor();
}

void board_action(int id)
{
    switch (id) {
    case ACTION_CLEAR: clear_board(); break;
    case ACTION_UNDO: undo_last_block(); break;
    case ACTION_ROTATE: rotate_cursor(); break;
    default: break;
    }
    request_redisplay();
}

// ---- Footprint, colours and board size

void rotate_cursor()
{
    std::swap(cursor.width, cursor.length);
    settle_cursor();
    settings_changed();
}

void set_cursor_width(int n)
{
    cursor.width = n;
    settle_cursor();
    settings_changed();
    request_redisplay();
}

void set_cursor_length(int n)
{
    cursor.length = n;
    settle_cursor();
    settings_changed();
    request_redisplay();
}

void set_block_color(int n)
{
    block_color = n;
    settings_changed();
}

void set_base_color(int n)
{
    base_color = n;
    settings_changed();
    request_redisplay();
}

void set_base_size(int id)
{
    int n = id;
    if (id == 0) n = board_seams.chosen_size_item ? board_seams.chosen_size_item() : 0;
    const float size = float(10 * n);
    // Only the three board sizes exist, and a board must hold every brick on it.
    if (n >= 1 && n <= 3 && extent_x <= size && extent_z <= size) {
        board_size_z = board_size_x = size;
        if (cursor.x + cursor.length > board_size_x) cursor.x = std::max(0.0f, board_size_x - cursor.length);
        if (cursor.z + cursor.width > board_size_z) cursor.z = std::max(0.0f, board_size_z - cursor.width);
        settle_cursor();
        camera_reset_pending = 1;
    }
    settings_changed();  // also after a refusal: the "Size:" list goes back to the real size
    request_redisplay();
}

void reset_board()
{
    cursor = Block(0, 0, 0, 0, 2, 2, 0);
    blocks.clear();
    zero_height_map();
    board_size_x = board_size_z = 10;
    extent_x = extent_z = 0;
    block_color = COLOR_BLUE;
    base_color = COLOR_GREEN;
    camera_reset_pending = 1;
}

// ---- Studs no view can see

// Every cell of a footprint, in the matrix or not, as the studs on it are drawn.
template <typename Visit>
static void for_each_stud_cell(const Block &b, Visit visit)
{
    for (int r = int(b.z); r < b.z + b.width; r++)
        for (int c = int(b.x); c < b.x + b.length; c++)
            visit(r, c);
}

// Distance from a point to a brick's box, world units; 0 inside it.
static float distance_to_brick(const float p[3], const Block &b)
{
    const float low[3] = {int(b.x) * CELL, int(b.y) * CELL, -(int(b.z) + b.width) * CELL};
    const float high[3] = {(int(b.x) + b.length) * CELL, (int(b.y) + 1) * CELL, -int(b.z) * CELL};
    float squared = 0;
    for (int i = 0; i < 3; i++) {
        const float outside = std::max({low[i] - p[i], 0.0f, p[i] - high[i]});
        squared += outside * outside;
    }
    return std::sqrt(squared);
}

HiddenStuds find_hidden_studs(const std::vector<Block> &bricks, const float eye[3], float near_reach)
{
    HiddenStuds hidden;
    const auto closed = [&](const Block &b) { return distance_to_brick(eye, b) > near_reach; };
    // The cells each brick the view cannot enter covers, at its own level...
    for (const Block &b : bricks)
        if (b.flag == 0 && closed(b))
            for_each_stud_cell(b, [&](int r, int c) { hidden.cells.insert({int(b.y), r, c}); });
    // ...but not where the surface under the stud can be seen into: a brick
    // the view enters shows its top face and the studs' bottom disks in one
    // plane, as the plate does from below.
    for (const Block &b : bricks)
        if (b.flag == 0 && !closed(b))
            for_each_stud_cell(b, [&](int r, int c) { hidden.cells.erase({int(b.y) + 1, r, c}); });
    if (!(eye[1] > 0))
        hidden.cells.erase(hidden.cells.lower_bound({0, INT_MIN, INT_MIN}),
                           hidden.cells.lower_bound({1, INT_MIN, INT_MIN}));
    return hidden;
}

bool stud_hidden(const HiddenStuds &hidden, int column, int row, int level)
{
    return hidden.cells.count({level, row, column}) != 0;
}
