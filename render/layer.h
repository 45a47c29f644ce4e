// The drawn layer: the picture kept between frames in two offscreen
// framebuffers, so that a frame costs what changed since the last one.
//
//   scene  the plate and the placed bricks;
//   frame  the scene with the cursor brick on it: the picture shown.
//
// Each frame the layer compares, by value, everything the scene's pixels
// depend on with what they were drawn from: the camera, the projection, the
// viewport, the view's turn and shift, the plate's colour and size, whether
// this is the GL context's first frame, and the placed bricks. Bricks added at
// the end of the list are drawn into the scene as they come, in placement
// order (the pixels a full frame gives); any other change draws it anew,
// without the studs that lie inside bricks where no view can see them. When
// the scene or the cursor changed, the scene is copied to the frame and the
// cursor drawn on it. The frame is then copied to the window: a frame in which
// nothing changed costs that copy alone. The pixels are those of a frame drawn
// straight into the window.
#pragma once

// Brings the layer up to date and copies the frame into the window's back
// buffer. Called by the scene pass with the camera, the light and the view on
// the modelview matrix. Returns false when there is no layer to show: the GL
// has no framebuffer objects, the window's formats cannot be matched, the
// window has no size, or a copy failed. The caller then draws the frame in
// full.
bool show_layer();

// For tests and benchmarks.
extern bool layer_enabled;       // false: show_layer() does nothing and returns false
extern bool skip_hidden_studs;   // false: the layer draws every stud
extern double forced_stud_ms;    // > 0: what drawing an exact stud is taken to cost, in ms,
                                 // instead of what the last exact drawing measured
struct LayerCounts {
    long copies;      // frames shown through the layer
    long redraws;     // times the scene was drawn anew
    long extensions;  // times new bricks were added to it
};
extern LayerCounts layer_counts;
