#include "render/materials.h"

#include <GL/gl.h>

const Material block_red_material = {{0.3f, 0, 0, 1}, {0.9f, 0, 0, 1}, {0, 0, 0, 1}, 4};
const Material block_blue_material = {{0, 0, 0.3f, 1}, {0, 0, 0.9f, 1}, {0, 0, 0, 1}, 14};
const Material block_green_material = {{0, 0.3f, 0, 1}, {0, 0.9f, 0, 1}, {0, 0, 0, 1}, 4};

// The plate is never shiny.
const Material base_red_material = {{0.3f, 0, 0, 1}, {0.9f, 0, 0, 1}, {0, 0, 0, 1}, 0};
const Material base_blue_material = {{0, 0, 0.3f, 1}, {0, 0, 0.9f, 1}, {0, 0, 0, 1}, 0};
const Material base_green_material = {{0, 0.3f, 0, 1}, {0, 0.9f, 0, 1}, {0, 0, 0, 1}, 0};

const Material cursor_material = {{0.2f, 0.2f, 0.2f, 0.5f}, {0.8f, 0.8f, 0.8f, 0.5f}, {0, 0, 0, 0}, 0.5f};
const Material outline_material = {{0, 0, 0, 1}, {0, 0, 0, 0}, {0, 0, 0, 0}, 0};

const ColorMaterials color_table[COLORS] = {
    {COLOR_RED, &block_red_material, &base_red_material},
    {COLOR_BLUE, &block_blue_material, &base_blue_material},
    {COLOR_GREEN, &block_green_material, &base_green_material},
};

const float light_position[4] = {1, 3, 1.5f, 1};
const float light_ambient[4] = {0.6f, 0.6f, 0.6f, 1};
const float light_diffuse[4] = {0.4f, 0.4f, 0.4f, 1};
const float light_specular[4] = {0.8f, 0.8f, 0.8f, 1};

void apply_material(Material m)
{
    glMaterialfv(GL_FRONT, GL_AMBIENT, m.ambient);
    glMaterialfv(GL_FRONT, GL_DIFFUSE, m.diffuse);
    glMaterialfv(GL_FRONT, GL_SPECULAR, m.specular);
    glMaterialfv(GL_FRONT, GL_SHININESS, &m.shininess);
}

int color_group(int color_code)
{
    int row = 0;
    while (row < COLORS && color_table[row].code != color_code)
        ++row;
    return row;
}

void apply_block_material(const Block& b)
{
    apply_block_material(b.color);
}

void apply_block_material(int color_code)
{
    const int row = color_group(color_code);
    if (row < COLORS)
        apply_material(*color_table[row].block);
}

void apply_base_material(int color_code)
{
    const int row = color_group(color_code);
    if (row < COLORS)
        apply_material(*color_table[row].base);
}

void init_lighting()
{
    glEnable(GL_LIGHT0);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, light_diffuse);
    glLightfv(GL_LIGHT0, GL_AMBIENT, light_ambient);
    glLightfv(GL_LIGHT0, GL_SPECULAR, light_specular);
    glShadeModel(GL_FLAT);
}

void position_light()
{
    glMatrixMode(GL_MODELVIEW);
    glLightfv(GL_LIGHT0, GL_POSITION, light_position);
}
