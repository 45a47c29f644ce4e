#include "ui/keyboard.h"

#include <cstdlib>
#include <iostream>

#include "board/board.h"
#include "render/camera.h"

void handle_key(unsigned char key, int, int)
{
    switch (key) {
    case ' ': place_block(); break;  // requests its own redisplay
    case 'w': move_cursor_back(); request_redisplay(); break;
    case 's': move_cursor_front(); request_redisplay(); break;
    case 'a': move_cursor_left(); request_redisplay(); break;
    case 'd': move_cursor_right(); request_redisplay(); break;
    case 'p': print_height_map(); break;
    case 'v': print_view_rotation(); break;
    case 'r':
    case 'R':
        eye = {1.0f, 2.0f, 2.0f};  // until the next board-size change
        request_redisplay();
        break;
    case 'h':
    case 'H': print_help(); break;
    case 'q':
    case 'Q': std::exit(0);
    default: break;  // every other key, upper-case moves included, does nothing
    }
}

void print_help()
{
    std::cout << "Table of contents:\n___________________\n";
    std::cout << "Block Movement Controls:\n";
    std::cout << "  W  " << std::endl;
    std::cout << " A D " << std::endl;
    std::cout << "  S  " << std::endl;
    std::cout << "Space : Place block\n";
    std::cout << "p : Print Height Matrix\n";
    std::cout << "v : Print View Matrix\n";
    std::cout << "r : Reset the transformation matricies\n";
    std::cout << "q : Exit the program\n";
}

void print_height_map()
{
    for (int r = 0; r < board_size_z; r++) {
        for (int c = 0; c < board_size_x; c++) std::cout << ' ' << height_map[r][c];
        std::cout << std::endl;
    }
}

void print_view_rotation()
{
    for (int i = 0; i < 16; i++) {
        if (i % 4 == 0) std::cout << std::endl;
        std::cout << view_rotation[i] << ' ';
    }
    std::cout << std::endl;
}
