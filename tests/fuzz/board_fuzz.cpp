// Fuzzes the board rules: the input is a sequence of everything a user can do
// to the board (keys, panel buttons and spinners, menu items), and after every
// step the model is checked against what the bricks on it say it must be.
//
// One input byte is one operation: the high nibble picks it, the low nibble is
// its argument. A size change by the "Size:" list takes one more byte, the item
// that list reports. Set BOARD_FUZZ_TRACE=1 to print the steps of an input.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "board/board.h"

namespace {

constexpr std::size_t MAX_BRICKS = 2000;  // places beyond this are skipped, to keep runs short

int size_item;  // what the "Size:" list reports to set_base_size(0)
int redisplays, settings_shown;
bool trace;

// ---- The model the board must agree with ---------------------------------------
//
// The bricks replayed in order from an all-zero map. Kept across steps: when
// bricks were only added since the last check, just those are replayed.
std::vector<Block> replayed;
int model_map[MAX_BOARD_SIZE][MAX_BOARD_SIZE];
float model_extent_x, model_extent_z;

std::size_t step;
const char *step_name = "start";

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "board invariant broken after step %zu (%s): %s\n", step, step_name, what);
    std::fprintf(stderr, "  cursor x=%g y=%g z=%g width=%d length=%d; board %gx%g; %zu bricks; extents %g,%g\n",
                 double(cursor.x), double(cursor.y), double(cursor.z), cursor.width, cursor.length,
                 double(board_size_x), double(board_size_z), blocks.size(), double(extent_x),
                 double(extent_z));
    std::abort();
}

#define CHECK(cond, what)    \
    do {                     \
        if (!(cond)) fail(what); \
    } while (0)

bool whole_at_least_zero(float v) { return std::isfinite(v) && v >= 0 && std::floor(v) == v; }

bool same_brick(const Block &a, const Block &b)
{
    return a.x == b.x && a.y == b.y && a.z == b.z && a.length == b.length && a.width == b.width &&
           a.flag == b.flag && a.color == b.color;
}

// Calls f on every cell of the footprint that lies inside the matrix.
template <typename F>
void each_cell(const Block &b, int (&map)[MAX_BOARD_SIZE][MAX_BOARD_SIZE], F f)
{
    const int x = int(b.x), z = int(b.z);
    for (int r = z; r < z + b.width; r++)
        for (int c = x; c < x + b.length; c++)
            if (r >= 0 && r < MAX_BOARD_SIZE && c >= 0 && c < MAX_BOARD_SIZE) f(map[r][c]);
}

int highest_under(const Block &b, int (&map)[MAX_BOARD_SIZE][MAX_BOARD_SIZE])
{
    int top = 0;
    each_cell(b, map, [&](int h) { top = h > top ? h : top; });
    return top;
}

void replay_one(const Block &b)
{
    CHECK(whole_at_least_zero(b.x) && whole_at_least_zero(b.y) && whole_at_least_zero(b.z),
          "a brick's x, y or z is not a whole number >= 0");
    CHECK(b.width >= 1 && b.length >= 1, "a brick with an empty footprint");
    CHECK(b.y == float(highest_under(b, model_map)),
          "a brick does not rest on the highest cell under it (inside or hovering over another)");
    const int top = int(b.y) + 1;
    each_cell(b, model_map, [&](int &h) { h = top; });
    model_extent_x = std::fmax(model_extent_x, b.x + float(b.length));
    model_extent_z = std::fmax(model_extent_z, b.z + float(b.width));
    replayed.push_back(b);
}

void replay_bricks()
{
    std::size_t same = 0;
    while (same < replayed.size() && same < blocks.size() && same_brick(replayed[same], blocks[same]))
        same++;
    if (same < replayed.size()) {  // taken away or changed: start over
        replayed.clear();
        std::memset(model_map, 0, sizeof model_map);
        model_extent_x = model_extent_z = 0;
        same = 0;
    }
    for (std::size_t i = same; i < blocks.size(); i++) replay_one(blocks[i]);
}

void check_board()
{
    CHECK(board_size_x == board_size_z, "board_size_x != board_size_z");
    CHECK(board_size_x == 10 || board_size_x == 20 || board_size_x == 30, "board size not 10, 20 or 30");

    replay_bricks();
    CHECK(std::memcmp(model_map, height_map, sizeof model_map) == 0,
          "the height map differs from the bricks replayed in order");
    CHECK(extent_x == model_extent_x && extent_z == model_extent_z,
          "the extents are not the maxima over the bricks");

    CHECK(whole_at_least_zero(cursor.x) && whole_at_least_zero(cursor.z),
          "the cursor's x or z is not a whole number >= 0");
    CHECK(whole_at_least_zero(cursor.y), "the cursor's level is not a whole number >= 0");
    CHECK(cursor.y == float(highest_under(cursor, model_map)),
          "the cursor is not at the highest cell under its footprint");
    CHECK(cursor.width >= 1 && cursor.width <= 10 && cursor.length >= 1 && cursor.length <= 10,
          "the cursor's footprint left 1..10");
    CHECK(cursor.flag == 0 && cursor.color == 0, "the cursor's flag or colour changed");
    CHECK(block_color >= COLOR_RED && block_color <= COLOR_GREEN, "brick colour left 1..3");
    CHECK(base_color >= COLOR_RED && base_color <= COLOR_GREEN, "plate colour left 1..3");
}

// One move, with what it may and may not do to the cursor: it changes only its
// own coordinate, by one cell when there is room and not at all when there is
// none, and never carries a footprint that was inside the far edge past it.
enum Axis { ALONG_X, ALONG_Z };

void checked_move(void (*move)(), Axis axis, int dir)
{
    const Block before = cursor;
    move();
    const float pos0 = axis == ALONG_X ? before.x : before.z;
    const float pos1 = axis == ALONG_X ? cursor.x : cursor.z;
    const float other0 = axis == ALONG_X ? before.z : before.x;
    const float other1 = axis == ALONG_X ? cursor.z : cursor.x;
    const int span = axis == ALONG_X ? cursor.length : cursor.width;
    const float edge = axis == ALONG_X ? board_size_x : board_size_z;

    CHECK(other1 == other0 && cursor.width == before.width && cursor.length == before.length,
          "a move changed more than its own coordinate");
    const bool room = dir > 0 ? pos0 + float(span) + 1 <= edge : pos0 >= 1;
    CHECK(pos1 == (room ? pos0 + float(dir) : pos0),
          room ? "a move with room did not step one cell" : "a move without room moved");
    if (pos0 + float(span) <= edge)
        CHECK(pos1 + float(span) <= edge, "a move carried the footprint past the far edge");
}

struct Input {
    const uint8_t *p, *end;
    bool more() const { return p < end; }
    uint8_t next() { return p < end ? *p++ : 0; }
};

void run(Input in)
{
    while (in.more()) {
        const uint8_t byte = in.next();
        const int op = byte >> 4, arg = byte & 15;
        step++;
        switch (op) {
        // Moves repeat 1 to 4 times, so that the far edges of the large boards are reached.
        case 0:
        case 1:
        case 2:
        case 3: {
            static void (*const moves[4])() = {move_cursor_back, move_cursor_front, move_cursor_left,
                                               move_cursor_right};
            static const char *const names[4] = {"move back", "move front", "move left", "move right"};
            static const Axis axes[4] = {ALONG_Z, ALONG_Z, ALONG_X, ALONG_X};
            static const int dirs[4] = {1, -1, -1, 1};
            for (int i = 0; i <= (arg & 3); i++) {
                step_name = names[op];
                checked_move(moves[op], axes[op], dirs[op]);
                if (trace) std::fprintf(stderr, "%zu %s\n", step, step_name);
                check_board();
            }
            continue;
        }
        case 4:
        case 5:
        case 6:
            step_name = "place";
            if (blocks.size() < MAX_BRICKS) {
                const std::size_t n = blocks.size();
                place_block();
                CHECK(blocks.size() == n + 1, "place_block did not add one brick");
                CHECK(blocks.back().color == block_color, "a brick not in the chosen colour");
            }
            break;
        case 7:
            step_name = "board_action";
            board_action(arg % 5);
            break;
        case 8:
            step_name = "menu width";
            set_cursor_width(1 + arg % 4);
            break;
        case 9:
            step_name = "menu length";
            set_cursor_length(1 + arg % 4);
            break;
        case 10:  // the panel's spinners write the footprint, then settle the cursor
            step_name = "spinner width";
            cursor.width = 1 + arg % 10;
            settle_cursor();
            break;
        case 11:
            step_name = "spinner length";
            cursor.length = 1 + arg % 10;
            settle_cursor();
            break;
        case 12:
            step_name = "brick colour";
            set_block_color(1 + arg % 3);
            break;
        case 13:
            step_name = "plate colour";
            set_base_color(1 + arg % 3);
            break;
        case 14:
        case 15: {
            step_name = "board size";
            const int id = arg % 4;
            if (id == 0) size_item = int8_t(in.next());
            const float size_before = board_size_x;
            const float wanted = float(10 * (id ? id : size_item));
            const bool fits = wanted >= 10 && wanted <= 30 && extent_x <= wanted && extent_z <= wanted;
            camera_reset_pending = 0;
            set_base_size(id);
            CHECK(board_size_x == (fits ? wanted : size_before),
                  fits ? "a size that holds every brick was refused" : "a size was taken that must be refused");
            CHECK(camera_reset_pending == (fits ? 1 : 0), "camera reset not pending exactly after a size change");
            break;
        }
        }
        if (trace) std::fprintf(stderr, "%zu %s %d\n", step, step_name, arg);
        check_board();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    static const bool traced = [] {
        trace = std::getenv("BOARD_FUZZ_TRACE") != nullptr;
        return true;
    }();
    (void)traced;

    reset_board();
    redisplays = settings_shown = 0;
    size_item = 1;
    board_seams = {[] { redisplays++; }, [] { settings_shown++; }, [] { return size_item; }};
    replayed.clear();
    std::memset(model_map, 0, sizeof model_map);
    model_extent_x = model_extent_z = 0;
    step = 0;
    step_name = "reset";

    check_board();
    run(Input{data, data + size});
    return 0;
}
