// The board rules under libFuzzer: each input byte is one thing a user can do
// to the board (a key, a panel button or spinner, a menu item; the high nibble
// picks it, the low one is its argument), and after every step the board must
// agree with what the bricks on it say it must be. Now and then the board is
// looked at from some eye, and the studs and faces left out of the picture
// checked.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <array>

#include "board/board.h"

namespace {

int size_item;  // what the "Size:" list reports to set_base_size(0)

#define CHECK(cond, what) \
    if (!(cond)) std::fprintf(stderr, "after byte %zu: %s\n", at, what), std::abort()

bool whole(float v) { return v >= 0 && std::floor(v) == v; }

// The highest cell under a footprint in `map`; with `set`, raises the footprint to it.
int under(const Block &b, int (*map)[MAX_BOARD_SIZE], int set = 0)
{
    int top = 0;
    for (int r = int(b.z); r < b.z + b.width && r < MAX_BOARD_SIZE; r++)
        for (int c = int(b.x); c < b.x + b.length && c < MAX_BOARD_SIZE; c++)
            set ? void(map[r][c] = set) : void(top = std::max(top, map[r][c]));
    return top;
}

void check_board(std::size_t at)
{
    // The bricks, dropped again in order on an empty matrix, give the height map and the extents.
    int model[MAX_BOARD_SIZE][MAX_BOARD_SIZE] = {};
    float ex = 0, ez = 0;
    for (const Block &b : blocks) {
        CHECK(whole(b.x) && whole(b.z) && b.y == under(b, model), "a brick not resting on what lies under it");
        under(b, model, int(b.y) + 1);
        ex = std::max(ex, b.x + b.length), ez = std::max(ez, b.z + b.width);
    }
    CHECK(std::memcmp(model, height_map, sizeof model) == 0, "the height map is not the bricks stacked in order");
    CHECK(extent_x == ex && extent_z == ez, "the extents are not those of the bricks");
    CHECK(board_size_x == board_size_z && (board_size_x == 10 || board_size_x == 20 || board_size_x == 30),
          "a board size other than 10, 20 or 30");
    CHECK(whole(cursor.x) && whole(cursor.z) && cursor.y == under(cursor, model), "the cursor not resting");
    CHECK(cursor.width >= 1 && cursor.width <= 10 && cursor.length >= 1 && cursor.length <= 10, "a footprint outside 1..10");
}

// What is left out for a view from `eye`, found here brick by brick: a stud
// inside a brick of its level that the view does not enter, standing on a
// brick it does not enter either or on the plate seen from above; a face of
// a brick the view does not enter whose every cell beyond is filled by bricks
// it does not enter; and, whatever the view, the faces with every cell beyond
// filled. The studs to draw are every other one, each once.
void check_hidden(std::size_t at, const float eye[3], float reach)
{
    const Sight sight = sight_from(eye, reach);
    auto enters = [&](const Block &b) {
        const float low[3] = {b.x / 4, b.y / 4, -(b.z + b.width) / 4}, high[3] = {(b.x + b.length) / 4, (b.y + 1) / 4, -b.z / 4};
        float d = 0;
        for (int i = 0; i < 3; i++) {
            const float nearest = std::min(std::max(eye[i], low[i]), high[i]);
            d += (eye[i] - nearest) * (eye[i] - nearest);
        }
        return std::sqrt(d) <= reach;
    };
    // Cells {level, row, column} that bricks fill; those the view does not
    // enter, those it does; the colour of the last brick to fill each.
    std::set<std::array<int, 3>> by_any, by_closed, by_entered;
    std::map<std::array<int, 3>, int> colour;
    for (const Block &b : blocks)
        for (int r = int(b.z); r < b.z + b.width; r++)
            for (int c = int(b.x); c < b.x + b.length; c++) {
                by_any.insert({int(b.y), r, c});
                (enters(b) ? by_entered : by_closed).insert({int(b.y), r, c});
                colour[{int(b.y), r, c}] = b.color;
            }
    auto filled = [&](int c, int r, int level, bool any) { return (any ? by_any : by_closed).count({level, r, c}) != 0; };
    auto covered = [&](int c, int r, int level) { return filled(c, r, level, false); };
    std::set<std::array<int, 4>> expected;  // level, row, column, colour
    for (int r = 0; r < board_size_z; r++)
        for (int c = 0; c < board_size_x; c++) {
            const bool hidden = eye[1] > 0 && covered(c, r, 0);
            CHECK(stud_hidden(sight, c, r, 0) == hidden, "a plate stud wrongly left out or drawn");
            if (!hidden) expected.insert({0, r, c, base_color});
        }
    for (const Block &b : blocks)
        for (int r = int(b.z); r < b.z + b.width; r++)
            for (int c = int(b.x); c < b.x + b.length; c++) {
                const int level = int(b.y) + 1;
                // On a brick the view enters, a stud shows.
                const bool hidden = !by_entered.count({int(b.y), r, c}) && covered(c, r, level);
                CHECK(stud_hidden(sight, c, r, level) == hidden, "a brick's stud wrongly left out or drawn");
                if (!hidden) expected.insert({level, r, c, colour[{int(b.y), r, c}]});
            }
    const std::vector<Stud> studs = visible_studs(sight);
    std::set<std::array<int, 4>> got;
    for (const Stud &s : studs) got.insert({s.level, s.row, s.column, s.color});
    CHECK(got == expected && got.size() == studs.size(), "the studs to draw are not those no view hides, once each");

    for (std::size_t i = 0; i < blocks.size(); i++) {
        const Block &b = blocks[i];
        bool all_closed[6] = {true, true, true, true, true, true}, all_filled[6] = {true, true, true, true, true, true};
        for (int r = int(b.z) - 1; r <= b.z + b.width; r++)
            for (int c = int(b.x) - 1; c <= b.x + b.length; c++)
                for (int level = int(b.y) - 1; level <= b.y + 1; level++) {
                    const bool inside_r = r >= b.z && r < b.z + b.width, inside_c = c >= b.x && c < b.x + b.length;
                    const bool beyond[6] = {r == b.z - 1 && inside_c && level == b.y,           // front
                                            c == b.x + b.length && inside_r && level == b.y,   // right
                                            level == b.y - 1 && inside_r && inside_c,           // bottom
                                            level == b.y + 1 && inside_r && inside_c,           // top
                                            r == b.z + b.width && inside_c && level == b.y,    // back
                                            c == b.x - 1 && inside_r && level == b.y};          // left
                    for (int f = 0; f < 6; f++)
                        if (beyond[f]) all_closed[f] = all_closed[f] && covered(c, r, level), all_filled[f] = all_filled[f] && filled(c, r, level, true);
                }
        unsigned hidden = 0, against = 0;
        for (int f = 0; f < 6; f++) {
            hidden |= unsigned(all_closed[f] && !enters(b)) << f;
            against |= unsigned(all_filled[f]) << f;
        }
        CHECK(hidden_faces(sight, i) == hidden, "a face wrongly left out or drawn");
        CHECK(covered_faces(i) == against, "a face wrongly counted against other bricks");
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    reset_board();
    size_item = 1;
    board_seams = {nullptr, nullptr, [] { return size_item; }};
    int looks = 0;
    for (std::size_t at = 0; at < size; at++) {
        const int op = data[at] >> 4, arg = data[at] & 15;
        const Block before = cursor;
        const float before_size = board_size_x;
        switch (op) {
        case 0: case 1: case 2: case 3: {  // a move, one to four times
            // Only its own coordinate changes, one cell a step while there is room.
            void (*const moves[4])() = {move_cursor_back, move_cursor_front, move_cursor_left, move_cursor_right};
            const float span = op < 2 ? cursor.width : cursor.length, step = op % 3 ? -1 : 1;
            float expect = op < 2 ? before.z : before.x;
            for (int i = 0; i <= (arg & 3); i++, moves[op]())
                expect += (step > 0 ? expect + span + 1 <= board_size_x : expect >= 1) ? step : 0;
            CHECK((op < 2 ? cursor.z : cursor.x) == expect && (op < 2 ? cursor.x == before.x : cursor.z == before.z), "a wrong move");
            break;
        }
        case 4: case 5: case 6:
            if (blocks.size() < 300) place_block();
            CHECK(blocks.size() >= 300 || blocks.back().color == block_color, "a brick not in the chosen colour");
            break;
        case 7: board_action(arg % 5); break;
        case 8: set_cursor_width(1 + arg % 4); break;
        case 9: set_cursor_length(1 + arg % 4); break;
        case 10: cursor.width = 1 + arg % 10, settle_cursor(); break;  // the spinners
        case 11: cursor.length = 1 + arg % 10, settle_cursor(); break;
        case 12: set_block_color(1 + arg % 3); break;
        case 13: set_base_color(1 + arg % 3); break;
        case 15:  // a look from an eye around or inside the model (the next three bytes), up to a few times;
                  // or from far away, or reaching everywhere (a window of extreme shape)
            if (at + 3 < size && looks++ < 4) {
                const float far = arg == 14 ? 1e8f : 1;
                const float eye[3] = {far * (data[at + 1] / 16.0f - 4), far * (data[at + 2] / 32.0f - 1), far * (4 - data[at + 3] / 16.0f)};
                check_hidden(at, eye, arg == 15 ? INFINITY : 0.05f + arg / 16.0f);
                at += 3;
            }
            break;
        default: {  // a size, from the menu (1..3) or the list (0: the list's item, from the next byte)
            const int id = arg % 4;
            if (id == 0 && at + 1 < size) size_item = int8_t(data[++at]);
            const float wanted = 10.0f * (id ? id : size_item);
            const bool fits = wanted >= 10 && wanted <= 30 && extent_x <= wanted && extent_z <= wanted;
            set_base_size(id);
            CHECK(board_size_x == (fits ? wanted : before_size), "a size change wrongly taken or refused");
        }
        }
        check_board(at);
    }
    reset_board();  // all it took given back within the run, as the fuzzer's leak check counts
    return 0;
}
