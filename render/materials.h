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

// Sets the front material: ambient, diffuse, specular, shininess.
void apply_material(Material m);
// A brick's material by its colour code; an unknown code leaves the material as it was.
void apply_block_material(const Block& b);
void apply_block_color_material(int color_code);
// The plate's material by colour code; an unknown code leaves the material as it was.
void apply_base_material(int color_code);

// Light 0's colours and flat shading, once after the context exists.
// GL_LIGHTING itself is switched on by the scene pass.
void init_lighting();
// Places light 0. Call with the camera on the modelview and before the view
// turn, so the light stays put while the model turns.
void position_light();
