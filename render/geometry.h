// Brick, plate and stud shapes in world units, drawn with the current matrix
// and material. Nothing here sets a normal, a colour or a material: the scene
// pass chooses the material before each call.
#pragma once

#include "board/board.h"

constexpr float STUD_RADIUS = 0.0625f;
constexpr float STUD_HEIGHT = 0.0325f;

// The plate's polygon at y = 0, then a stud on every cell, row by row; with
// `hidden`, the studs it names are left out.
void draw_base_plate(int size_x, int size_z, const HiddenStuds *hidden = nullptr);
// A brick's six faces: `length` cells along x, `width` cells along -z, one layer high.
void draw_block_box(int width, int length);
// The same six faces as line loops, for the dark edges of a brick.
void draw_block_outline(int width, int length);
// Moves the origin to the near-left-bottom corner of a cell.
void translate_to_cell(int x, int y, int z);

// A disk of STUD_RADIUS in the local z = 0 plane.
void draw_stud_cap();
// The bottom cap and the wall of a stud standing along local +z.
void draw_stud();
// One stud standing up from height `top` in the middle of a cell.
void draw_stud_at(int column, int row, float top);
// The studs on top of a brick, at its absolute place on the board, but those
// `hidden` names.
void draw_block_studs(const Block& b, const HiddenStuds *hidden = nullptr);
