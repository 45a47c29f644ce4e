// A frame of the 3-D view: what the display callback draws before it swaps.
#pragma once

#include "render/layer.h"

// Everything of a frame but the buffer swap: the camera placed anew where the
// board size changed, the scene's frame on the modelview, then the picture,
// from the drawn layer where there is one, else drawn here in full: the
// plate, the placed bricks in placement order, and the cursor last (quick in
// a GL context's first frame, which is shown as soon as it can be). Leaves
// the modelview matrix as it found it. Returns whether the frame went through
// the layer, or why it was drawn in full.
LayerRoute draw_frame();
