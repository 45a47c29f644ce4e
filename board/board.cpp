// Every rule of the board, in one place.
#include "board/board.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <unordered_map>
#include <unordered_set>

Block cursor(0, 0, 0, 0, 2, 2, 0);
std::vector<Block> blocks;

int height_map[MAX_BOARD_SIZE][MAX_BOARD_SIZE];
float board_size_x = 10, board_size_z = 10;
float extent_x = 0, extent_z = 0;
int block_color = COLOR_BLUE;
int base_color = COLOR_GREEN;
int camera_reset_pending = 1;

BoardSeams board_seams = {nullptr, nullptr, nullptr};

// ---- What the cells hold, in step with `blocks`
//
// Placing a brick records, for each cell of its footprint, what that cell
// held before it: so undo restores the height map, the extents and the
// filled cells in the work one brick takes, and they are exactly what they
// were before it came.

namespace {

struct Cell {
    int level, row, column;
    bool operator==(const Cell &o) const { return level == o.level && row == o.row && column == o.column; }
};
struct CellHash {
    std::size_t operator()(const Cell &c) const
    {
        const unsigned long long level = unsigned(c.level), row = unsigned(c.row), column = unsigned(c.column);
        return std::hash<unsigned long long>()(level << 32 ^ row << 16 ^ column);
    }
};

constexpr int NONE = -1;
constexpr int FILLS_NOTHING = -2;  // a brick with its flag set: never drawn, so it hides nothing

// A cell of a placed brick's footprint, and what it held before that brick.
struct Covered {
    Cell cell;
    int height_before;  // its height, where the cell lies in the matrix
    int filler_before;  // the brick that filled it, NONE, or FILLS_NOTHING
};
struct Placed {
    unsigned long serial;
    float extent_x, extent_z;  // before it
    std::size_t first;         // its cells in `covered`
};

std::vector<Placed> placed;                      // one for each of `blocks`
std::vector<Covered> covered;                    // their cells, brick after brick
std::unordered_map<Cell, int, CellHash> filler;  // the brick placed last of those that fill a cell
std::unordered_set<Cell, CellHash> open_studs;   // studs on bricks that no brick covers
unsigned long next_serial = 1;

}  // namespace

void request_redisplay()
{
    if (board_seams.request_redisplay) board_seams.request_redisplay();
}

static void settings_changed()
{
    if (board_seams.settings_changed) board_seams.settings_changed();
}

// The heights under a footprint, of its cells that exist in the height map,
// rows outer and columns inner. A footprint may reach past the board (a
// rotated or widened brick near the far edge) and, on the largest board, past
// the matrix: cells outside the matrix are left out of every visit.
template <typename Visit>
static void for_each_height_under(const Block &b, Visit visit)
{
    const int r0 = std::max(0, int(b.z)), c0 = std::max(0, int(b.x));
    for (int r = r0; r < b.z + b.width && r < MAX_BOARD_SIZE; r++)
        for (int c = c0; c < b.x + b.length && c < MAX_BOARD_SIZE; c++)
            visit(height_map[r][c]);
}

void settle_cursor()
{
    int best = 0;
    for_each_height_under(cursor, [&](int h) { best = std::max(best, h); });
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

// Every cell of a footprint, in the matrix or not, rows outer.
template <typename Visit>
static void for_each_footprint_cell(const Block &b, Visit visit)
{
    for (int r = int(b.z); r < b.z + b.width; r++)
        for (int c = int(b.x); c < b.x + b.length; c++)
            visit(r, c);
}

static bool in_matrix(int row, int column)
{
    return row >= 0 && row < MAX_BOARD_SIZE && column >= 0 && column < MAX_BOARD_SIZE;
}

static bool filled(const Cell &cell)
{
    return filler.count(cell) != 0;
}

// The stud on `cell` exists: on the plate (level 0, within the board) or on a brick under it.
static bool stud_exists(const Cell &cell)
{
    if (cell.level == 0)
        return cell.row >= 0 && cell.row < board_size_z && cell.column >= 0 && cell.column < board_size_x;
    return filled({cell.level - 1, cell.row, cell.column});
}

// Records the cells of the brick just appended to `blocks`, raises the
// height map under it, and fills its cells.
static void add_placed(const Block &b)
{
    const int index = int(blocks.size()) - 1, level = int(b.y), top = int(double(b.y) + 1);
    placed.push_back({next_serial++, extent_x, extent_z, covered.size()});
    for_each_footprint_cell(b, [&](int r, int c) {
        const Cell cell{level, r, c};
        const auto it = b.flag == 0 ? filler.find(cell) : filler.end();
        // Recorded before anything changes, so that a failure part way can be taken back.
        covered.push_back({cell, in_matrix(r, c) ? height_map[r][c] : 0,
                           b.flag != 0 ? FILLS_NOTHING : it == filler.end() ? NONE : it->second});
        if (in_matrix(r, c))
            height_map[r][c] = top;
        if (b.flag == 0) {
            filler[cell] = index;
            open_studs.erase(cell);
        }
    });
    if (b.flag == 0)
        for_each_footprint_cell(b, [&](int r, int c) {
            if (!filled({level + 1, r, c}))
                open_studs.insert({level + 1, r, c});
        });
    extent_x = std::max(extent_x, b.x + b.length);
    extent_z = std::max(extent_z, b.z + b.width);
}

// Takes the last placed brick's record back: every cell as it was before it.
static void remove_last_placed()
{
    const Placed p = placed.back();
    for (std::size_t i = covered.size(); i-- > p.first;) {
        const Covered &k = covered[i];
        if (in_matrix(k.cell.row, k.cell.column))
            height_map[k.cell.row][k.cell.column] = k.height_before;
        if (k.filler_before == NONE)
            filler.erase(k.cell);
        else if (k.filler_before != FILLS_NOTHING)
            filler[k.cell] = k.filler_before;
    }
    for (std::size_t i = p.first; i < covered.size(); ++i) {
        const Covered &k = covered[i];
        if (k.filler_before == FILLS_NOTHING)
            continue;
        const Cell on{k.cell.level + 1, k.cell.row, k.cell.column};
        if (!filled(k.cell))
            open_studs.erase(on);  // the stud went with the brick
        if (k.cell.level > 0 && !filled(k.cell) && stud_exists(k.cell))
            open_studs.insert(k.cell);  // the stud it covered shows again
    }
    covered.resize(p.first);
    extent_x = p.extent_x;
    extent_z = p.extent_z;
    placed.pop_back();
}

template <typename T>
static void make_room(std::vector<T> &v, std::size_t more)
{
    if (v.capacity() - v.size() < more)
        v.reserve(std::max(2 * v.capacity(), v.size() + more));
}

static void forget_placed()
{
    placed.clear();
    covered.clear();
    filler.clear();
    open_studs.clear();
}

void place_block()
{
    // Settled first, so a brick is never recorded inside or above another.
    settle_cursor();
    try {
        blocks.push_back(Block(cursor.x, cursor.y, cursor.z, cursor.flag, cursor.width,
                               cursor.length, block_color));
    } catch (const std::bad_alloc &) {
        return;  // no memory for the brick: the board stays as it was
    }
    try {
        // Room first, so that recording the brick fails, if at all, before it changes anything.
        make_room(placed, 1);
        make_room(covered, std::size_t(std::max(0, cursor.width)) * std::size_t(std::max(0, cursor.length)));
        add_placed(blocks.back());
    } catch (const std::bad_alloc &) {
        // Nor for its record: taken back as far as it came.
        if (placed.size() == blocks.size()) remove_last_placed();
        blocks.pop_back();
        return;
    }
    settle_cursor();
    request_redisplay();
}

void clear_board()
{
    blocks.clear();
    forget_placed();
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
    remove_last_placed();
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
    // Every record let go, its memory too: a board as at start.
    std::vector<Block>().swap(blocks);
    std::vector<Placed>().swap(placed);
    std::vector<Covered>().swap(covered);
    decltype(filler)().swap(filler);
    decltype(open_studs)().swap(open_studs);
    zero_height_map();
    board_size_x = board_size_z = 10;
    extent_x = extent_z = 0;
    block_color = COLOR_BLUE;
    base_color = COLOR_GREEN;
    camera_reset_pending = 1;
}

// ---- What no view can see

unsigned long brick_serial(std::size_t i)
{
    return placed[i].serial;
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

// Every brick that fills `cell`, the last placed first: where bricks overlap
// (past the matrix, where no height lifts them) there are several.
template <typename Visit>
static void for_each_filler(const Cell &cell, Visit visit)
{
    const auto it = filler.find(cell);
    for (int i = it == filler.end() ? NONE : it->second; i >= 0;) {
        visit(std::size_t(i));
        const Placed &p = placed[i];
        const std::size_t end = std::size_t(i) + 1 < placed.size() ? placed[i + 1].first : covered.size();
        int before = NONE;
        for (std::size_t k = p.first; k < end; ++k)
            if (covered[k].cell == cell)
                before = covered[k].filler_before;
        i = before;
    }
}

static bool entered(const Sight &sight, std::size_t brick)
{
    return std::binary_search(sight.entered.begin(), sight.entered.end(), brick);
}

// A brick that `sight` counts as covering fills the cell.
static bool filled_closed(const Sight &sight, const Cell &cell)
{
    if (sight.entered.empty()) {  // the common case: one look
        const auto it = filler.find(cell);
        if (it == filler.end())
            return false;
        if (std::size_t(it->second) < sight.bricks)
            return true;
    }
    bool found = false;
    for_each_filler(cell, [&](std::size_t i) { found = found || (i < sight.bricks && !entered(sight, i)); });
    return found;
}

static bool filled_entered(const Sight &sight, const Cell &cell)
{
    bool found = false;
    if (!sight.entered.empty())
        for_each_filler(cell, [&](std::size_t i) { found = found || entered(sight, i); });
    return found;
}

Sight sight_from(const float eye[3], float near_reach)
{
    Sight sight{{eye[0], eye[1], eye[2]}, near_reach, blocks.size(), {}};
    const auto add = [&](std::size_t i) {
        if (blocks[i].flag == 0 && distance_to_brick(eye, blocks[i]) <= near_reach)
            sight.entered.push_back(i);
    };
    // The cells about the eye, a cell more each way for the rounding; or,
    // where the view reaches far (a window of extreme shape) or the eye is
    // far beyond any cell, every brick.
    const float lo[3] = {(eye[0] - near_reach) / CELL - 1, (eye[1] - near_reach) / CELL - 1, (-eye[2] - near_reach) / CELL - 1};
    const float hi[3] = {(eye[0] + near_reach) / CELL + 1, (eye[1] + near_reach) / CELL + 1, (-eye[2] + near_reach) / CELL + 1};
    double cells = 1;
    for (int k = 0; k < 3; k++)
        cells *= std::abs(lo[k]) < 1e6f && std::abs(hi[k]) < 1e6f ? double(hi[k]) - double(lo[k]) + 1 : HUGE_VAL;
    if (!(cells <= 4.0 * double(filler.size()) + 64)) {
        for (std::size_t i = 0; i < blocks.size(); i++)
            add(i);
        return sight;
    }
    for (int level = std::max(0, int(std::floor(lo[1]))); level <= int(std::floor(hi[1])); level++)
        for (int row = int(std::floor(lo[2])); row <= int(std::floor(hi[2])); row++)
            for (int column = int(std::floor(lo[0])); column <= int(std::floor(hi[0])); column++)
                for_each_filler({level, row, column}, add);
    std::sort(sight.entered.begin(), sight.entered.end());
    sight.entered.erase(std::unique(sight.entered.begin(), sight.entered.end()), sight.entered.end());
    return sight;
}

// A stud is hidden inside a brick of its level that the view does not enter,
// unless it stands on one it enters, or on the plate seen from below.
bool stud_hidden(const Sight &sight, int column, int row, int level)
{
    if (level == 0 && !(sight.eye[1] > 0))
        return false;
    return filled_closed(sight, {level, row, column}) && !(level > 0 && filled_entered(sight, {level - 1, row, column}));
}

static int stud_color(const Cell &cell)
{
    if (cell.level == 0)
        return base_color;
    const auto it = filler.find({cell.level - 1, cell.row, cell.column});
    return it == filler.end() ? 0 : blocks[it->second].color;
}

std::vector<Stud> visible_studs(const Sight &sight)
{
    std::vector<Stud> studs;
    const auto add = [&](const Cell &cell) { studs.push_back({cell.level, cell.row, cell.column, stud_color(cell)}); };
    for (int r = 0; r < board_size_z; r++)
        for (int c = 0; c < board_size_x; c++)
            if (!stud_hidden(sight, c, r, 0))
                add({0, r, c});
    std::unordered_set<Cell, CellHash> more;
    if (sight.bricks < blocks.size()) {  // bricks placed since it was taken cover nothing: ask each stud
        for (const Block &b : blocks)
            for_each_footprint_cell(b, [&](int r, int c) {
                const Cell cell{int(b.y) + 1, r, c};
                if (b.flag == 0 && !stud_hidden(sight, c, r, cell.level) && more.insert(cell).second)
                    add(cell);
            });
        return studs;
    }
    // On bricks: those no brick covers, kept as they come and go...
    for (const Cell &cell : open_studs)
        add(cell);
    // ...and those only a brick the view enters covers, or standing on one.
    for (std::size_t e : sight.entered)
        for_each_footprint_cell(blocks[e], [&](int r, int c) {
            for (const Cell &cell : {Cell{int(blocks[e].y), r, c}, Cell{int(blocks[e].y) + 1, r, c}})
                if (cell.level > 0 && stud_exists(cell) && filled(cell) &&
                    !stud_hidden(sight, cell.column, cell.row, cell.level) && more.insert(cell).second)
                    add(cell);
        });
    return studs;
}

// The cells beyond face f of a brick: where a brick must stand for the face to be covered.
template <typename Visit>
static void for_each_cell_beyond(const Block &b, int face, Visit visit)
{
    const int level = int(b.y);
    for_each_footprint_cell(b, [&](int r, int c) {
        const bool front = r == int(b.z), back = !(r + 1 < b.z + b.width);
        const bool left = c == int(b.x), right = !(c + 1 < b.x + b.length);
        switch (face) {
        case FACE_FRONT: if (front) visit(Cell{level, r - 1, c}); break;
        case FACE_BACK: if (back) visit(Cell{level, r + 1, c}); break;
        case FACE_LEFT: if (left) visit(Cell{level, r, c - 1}); break;
        case FACE_RIGHT: if (right) visit(Cell{level, r, c + 1}); break;
        case FACE_BOTTOM: visit(Cell{level - 1, r, c}); break;
        case FACE_TOP: visit(Cell{level + 1, r, c}); break;
        }
    });
}

// Faces whose every cell beyond is filled by a brick `covers` accepts. A
// face with no cells (a footprint of no cells) is never covered.
template <typename Covers>
static unsigned faces_against(const Block &b, Covers covers)
{
    unsigned faces = 0;
    for (int f = 0; f < FACES; f++) {
        bool all = true, any = false;
        for_each_cell_beyond(b, f, [&](const Cell &cell) { any = true, all = all && covers(cell); });
        faces |= (any && all ? 1u : 0u) << f;
    }
    return faces;
}

unsigned covered_faces(std::size_t brick)
{
    if (blocks[brick].flag != 0)
        return 0;
    return faces_against(blocks[brick], [](const Cell &cell) { return filled(cell); });
}

unsigned hidden_faces(const Sight &sight, std::size_t brick)
{
    if (blocks[brick].flag != 0 || entered(sight, brick))
        return 0;
    return faces_against(blocks[brick], [&](const Cell &cell) { return filled_closed(sight, cell); });
}

std::vector<std::size_t> bricks_against(const Block &b)
{
    std::vector<std::size_t> found;
    for (int f = 0; f < FACES; f++)
        for_each_cell_beyond(b, f, [&](const Cell &cell) {
            for_each_filler(cell, [&](std::size_t i) {
                if (std::find(found.begin(), found.end(), i) == found.end())
                    found.push_back(i);
            });
        });
    return found;
}
