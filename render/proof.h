// Whether what the layer draws into targets comes out as it would drawn
// straight into the window, in the current GL context. No list of extensions
// tells: a small scene is drawn both ways and compared pixel for pixel.
#pragma once

#include "render/targets.h"

enum class Proof {
    same,     // targets draw as the window does, with the flip kept for them
    differs,  // with no flip this GL offers
    failed,   // no target could be made to try
};
// Tries the flips this GL can draw targets with, the likeliest first, each in
// a window-sized target of its own, and keeps the first whose pixels are the
// window's. Leaves the GL state as it found it but for the window's back
// buffer, which the next frame overwrites.
Proof prove_targets(int width, int height);
