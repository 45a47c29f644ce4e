// Materials of the plate, the bricks, the cursor and the outlines, and the
// one light that shows them.
#pragma once

#include "board/board.h"

struct Material {
    float ambient[4];
    float diffuse[4];
    float specular[4];
    float shininess;
};

extern const Material block_red_material, block_blue_material, block_green_material;
extern const Material base_red_material, base_blue_material, base_green_material;
extern const Material cursor_material;   // grey, alpha 0.5 (no blending: alpha is unused)
extern const Material outline_material;  // black whatever the light

extern const float light_position[4];  // a point light, placed in world coordinates each frame
extern const float light_ambient[4];
extern const float light_diffuse[4];
extern const float light_specular[4];

// The colour codes, one row each: the material of a brick and of the plate
// in that colour. The quick scene and the kept geometry draw a group a row,
// in the table's order, and one more, last, for codes not in it (a brick or
// plate of such a code keeps the material applied before it, as in a full
// frame).
struct ColorMaterials {
    int code;
    const Material *block, *base;
};
constexpr int COLORS = 3;
extern const ColorMaterials color_table[COLORS];
constexpr int COLOR_GROUPS = COLORS + 1;
// The group of a colour code: its row, or COLORS for a code not in the table.
int color_group(int color_code);

// Sets the front material: ambient, diffuse, specular, shininess.
void apply_material(Material m);
// A brick's material by its colour code; a code not in the table leaves the
// material as it was.
void apply_block_material(const Block& b);
void apply_block_material(int color_code);
// The plate's material by colour code; likewise.
void apply_base_material(int color_code);

// Light 0's colours and flat shading, once after the context exists.
// GL_LIGHTING itself is switched on by the scene pass.
void init_lighting();
// Places light 0. Call with the camera on the modelview and before the view
// turn, so the light stays put while the model turns.
void position_light();
