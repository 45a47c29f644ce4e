// Brick, plate and stud shapes in world units, drawn with the current matrix
// and material. Nothing here sets a colour or a material: the scene pass
// chooses the material before each call. Nor a normal for the plate, the
// boxes and the outlines: they are lit with the normal current, in a full
// frame the one GLU's last stud left (see set_full_frame_normal).
#pragma once

#include <climits>
#include <vector>

#include "board/board.h"

constexpr float STUD_RADIUS = 0.0625f;
constexpr float STUD_HEIGHT = 0.0325f;
constexpr int STUD_SLICES = 20;  // exact studs: slices round the axis
constexpr int STUD_RINGS = 20;   // and the disks' loops and the wall's stacks
constexpr int ALL_STUDS = INT_MAX;  // the end of a range of studs that runs to the last

// Studs fitted to the screen: one ring, one stack, and per stud as many slices
// (6 to 20) as keep its outline within half a pixel of a circle, where the
// scene's modelview and the projection put it.
struct ScreenFit {
    float modelview[16];    // the scene's frame to the eye's
    float pixels_per_unit;  // pixels that a unit spans at distance 1 along the view, on the wider axis
    float near_reach;       // studs nearer the eye than this (the near plane's corners) get every slice
};

// How a drawing draws studs: those `sight` hides are left out, the others
// exactly (20 slices, rings and stacks) or, with `fit`, fitted to the screen.
struct StudStyle {
    const Sight *sight = nullptr;
    const ScreenFit *fit = nullptr;
};

// The normal a full frame leaves current: GLU's last of a stud, that of its
// wall at angle 0, in the wall's own frame. A full frame issues no normal of
// its own, so it lights its boxes with this one, and its plate too in every
// frame but a GL context's first. What stands in for a full frame (quick
// frames, the kept geometry, the pieces of refinement, the proof of targets)
// sets it before its flat faces, whatever was drawn before them.
void set_full_frame_normal();

// The plate's polygon at y = 0 and its studs, row by row. A drawing in pieces
// draws the studs from `first` to before `end`; the polygon comes with the
// first stud. Returns the studs drawn.
int draw_base_plate(int size_x, int size_z, const StudStyle &style = {}, int first = 0, int end = ALL_STUDS);
constexpr unsigned ALL_FACES = (1u << FACES) - 1;
// A brick's six faces: `length` cells along x, `width` cells along -z, one
// layer high; only those whose bit (FACE_FRONT ... FACE_LEFT) is in `faces`.
void draw_block_box(int width, int length, unsigned faces = ALL_FACES);
// The corners of one of those faces (FACE_FRONT ... FACE_LEFT), in the order the box draws them.
void box_face_corners(int width, int length, int face, float corners[4][3]);
// The same faces as line loops, for the dark edges of a brick.
void draw_block_outline(int width, int length, unsigned faces = ALL_FACES);
// Moves the origin to the near-left-bottom corner of a cell.
void translate_to_cell(int x, int y, int z);

// A disk of STUD_RADIUS in the local z = 0 plane.
void draw_stud_cap(int slices = STUD_SLICES, int rings = STUD_RINGS);
// The bottom cap and the wall of a stud standing along local +z.
void draw_stud(int slices = STUD_SLICES, int rings = STUD_RINGS);
// One stud standing up from height `top` in the middle of a cell.
void draw_stud_at(int column, int row, float top, const ScreenFit *fit = nullptr);
// Studs fitted to the screen, gathered to be drawn in one call: each the
// triangles GLU makes of it (a fan for each disk, a strip of quads for the
// wall, the same slices), at its place in the scene's frame, each triangle
// ending with the vertex whose colour flat shading gives it. One ring and
// one stack only.
struct StudBatch {
    std::vector<float> vertices, normals;  // x, y, z each
    std::vector<unsigned> triangles;       // indices, three a triangle
};
void add_stud(StudBatch &batch, int column, int row, float top, const ScreenFit &fit);
void draw_stud_batch(const StudBatch &batch);

// The studs on top of a brick, at its absolute place on the board, row by
// row, from `first` to before `end` of them. Returns the studs drawn.
int draw_block_studs(const Block &b, const StudStyle &style = {}, int first = 0, int end = ALL_STUDS);
// How many studs a brick's top carries, those a drawing leaves out included.
int block_stud_count(const Block &b);
