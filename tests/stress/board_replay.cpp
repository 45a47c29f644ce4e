// The board as the program would leave it after a run of keys and menu
// choices, computed in-process by the program's own code: keys go through
// handle_key, menu choices to the functions the popup menu calls. Prints
// what the program prints (reports of p, v, h); the replay test compares it
// with the running program's output.
//
//   board_replay STEP...
// A step is one key (a single character; "space" for ' ') or a menu choice:
// width=N, length=N, color=N, base_color=N, base_size=N, rotate, clear, undo.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "board/board.h"
#include "ui/keyboard.h"

static bool menu_choice(const std::string &step)
{
    const size_t eq = step.find('=');
    const std::string name = step.substr(0, eq);
    const int n = eq == std::string::npos ? 0 : std::atoi(step.c_str() + eq + 1);
    if (name == "width") set_cursor_width(n);
    else if (name == "length") set_cursor_length(n);
    else if (name == "color") set_block_color(n);
    else if (name == "base_color") set_base_color(n);
    else if (name == "base_size") set_base_size(n);
    else if (name == "rotate") board_action(ACTION_ROTATE);
    else if (name == "clear") board_action(ACTION_CLEAR);
    else if (name == "undo") board_action(ACTION_UNDO);
    else return false;
    return true;
}

int main(int argc, char **argv)
{
    reset_board();
    for (int i = 1; i < argc; i++) {
        const std::string step = argv[i];
        if (step == "space") handle_key(' ', 0, 0);
        else if (step.size() == 1) handle_key(static_cast<unsigned char>(step[0]), 0, 0);
        else if (!menu_choice(step)) {
            std::fprintf(stderr, "board_replay: unknown step \"%s\"\n", step.c_str());
            return 2;
        }
    }
    return 0;
}
