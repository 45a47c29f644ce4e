#include "render/proof.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <vector>

#include "render/geometry.h"
#include "render/materials.h"
#include "render/scene.h"

namespace {

// What differs between drawing into a framebuffer and into a window: studs,
// the coplanar top of a brick and bottoms of its studs, edges against the
// plate and the sky, and a brick the near plane cuts open. Views from above,
// from inside a brick, from just above a top, and from below the plate.
constexpr float VIEWS[][6] = {
    {0.55f, 0.5f, 0.45f, 0.25f, 0, -0.25f},
    {0.1f, 0.2f, -0.1f, 0.5f, 0.25f, -0.35f},
    {0.15f, 0.52f, -0.1f, 0.4f, 0.25f, -0.2f},
    {0.25f, -0.4f, 0.3f, 0.25f, 0, -0.25f},
};

void draw_proof_scene(const float *view)
{
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    gluLookAt(view[0], view[1], view[2], view[3], view[4], view[5], 0, 1, 0);
    position_light();
    glEnable(GL_LIGHTING);
    set_full_frame_normal();
    apply_base_material(COLOR_GREEN);
    draw_base_plate(2, 2);
    draw_placed_brick(Block(0, 0, 0, 0, 1, 2, COLOR_RED), {});
    draw_placed_brick(Block(0, 1, 0, 0, 1, 1, COLOR_BLUE), {});
}

std::vector<unsigned char> window_pixels(int width, int height)
{
    std::vector<unsigned char> pixels(std::size_t(width) * height * 4);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

// The views drawn into the window and through `probe`, compared.
bool same_pixels(const Target &probe, int width, int height)
{
    const int w = std::min(width, 96), h = std::min(height, 72);
    glViewport(0, 0, w, h);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(90, 4.0 / 3, 0.1, 50);
    glMatrixMode(GL_MODELVIEW);
    bool same = true;
    for (const float *view : VIEWS) {
        draw_into(Target());
        draw_proof_scene(view);
        const std::vector<unsigned char> direct = window_pixels(w, h);
        draw_into(probe);
        draw_proof_scene(view);
        copy_target(probe, Target(), width, height, false);
        const std::vector<unsigned char> layered = window_pixels(w, h);
        same = same && direct == layered;
    }
    return same && glGetError() == GL_NO_ERROR;
}

}  // namespace

Proof prove_targets(int width, int height)
{
    forget_gl_errors();
    glPushAttrib(GL_ALL_ATTRIB_BITS);  // the current normal and material among them
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    Proof proof = Proof::failed;
    for (TargetFlip flip : target_flips()) {
        use_target_flip(flip);
        Target probe;
        if (make_target(probe, width, height))
            proof = same_pixels(probe, width, height) ? Proof::same : Proof::differs;
        free_target(probe);
        if (proof == Proof::same)
            break;
    }
    draw_into(Target());
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopAttrib();
    return proof;
}
