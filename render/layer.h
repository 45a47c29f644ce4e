// The drawn layer: the picture kept between frames in offscreen framebuffers,
// so that a frame costs what changed since the last one, and a frame that
// must draw the scene anew is quick when drawing it exactly would be slow.
//
//   exact  the plate and the placed bricks, exactly as a full frame draws them;
//   quick  the same drawn quicker, while the exact one is being drawn in
//          pieces between frames (its target made only meanwhile).
//
// Each frame the layer compares, by value, everything the scene's pixels
// depend on with what they were drawn from: the camera, the projection, the
// viewport, the view's turn and shift, the plate's colour and size, and the
// placed bricks. Bricks added at the end of the list are drawn into the
// scene as they come, in placement order (the pixels a full frame gives); any
// other change draws it anew, without the studs that lie inside bricks where
// no view can see them. The quick scene draws the bricks' boxes from the kept
// geometry (render/kept.h).
// Drawing anew is exact when the last exact drawing predicts it fits a frame;
// otherwise the quick scene is drawn and shown at once, and refine_layer()
// draws the exact one in pieces, from the idle turns, until it replaces the
// quick one in the next frame. The scene, colour and depth, is then copied to
// the window and the cursor brick drawn on it there, always exactly: a frame
// in which nothing changed costs that copy and the cursor. At rest the pixels
// are those of a frame drawn straight into the window.
#pragma once

// Whether a frame goes through the layer, or why it is drawn in full.
enum class LayerRoute {
    through,          // the layer drew what changed and copied the frame to the window
    switched_off,     // layer_enabled is false (tests and benchmarks)
    first_frame,      // a GL context's first frame, which does not wait for the proof below
    no_framebuffers,  // for the life of the context: it has no framebuffer objects,
    refused,          // or a small scene drawn through a target and straight into the
                      // window (once, before the context's first frame through the
                      // layer) came out different with every way this GL can draw targets
    no_size,          // the window has no size
    too_large,        // the window is larger than the GL's buffers can be
    failed_lately,    // buffers could not be made (the window's formats cannot be
                      // matched, memory ran short) or a copy failed, at this window
                      // size and within the last few seconds
};
// Brings the layer up to date and copies the frame into the window's back
// buffer. Called by the scene pass with the scene's frame on the modelview
// matrix. Says why not where it does not, and the caller then draws the
// frame in full. A window too large, or a failure, holds for a few seconds
// or until the window's size changes.
LayerRoute show_layer();
// Whether the exact scene is still to be completed behind quick frames.
bool layer_refining();
// Draws the next piece of the exact scene (a few milliseconds, PIECE_MS), with the
// window's GL context current. Returns true when the exact
// scene is complete and the next frame should show it. A scene that changed
// since the quick frame is left to the next frame, which starts it again.
bool refine_layer();
// A GL context's first frame is drawn in full at once, quick, without
// waiting for the proof above. From it until prove_layer() or the next frame,
// layer_proof_due() is true, and the next frame is due whatever changes: GL
// lights a context's first frame with its initial normal, later ones with
// set_full_frame_normal's.
// prove_layer(), with the window's GL context current, proves the targets
// there (where it has framebuffer objects) before that frame would use them;
// a frame that comes first proves them itself.
bool layer_proof_due();
void prove_layer();

// The frame a quick frame would show now, drawn here in full, with the
// scene's frame on the modelview: the scene in the quick scene's order, and
// the cursor. A GL context's first frame, shown as soon as it can be. For
// tests, `exact`: exact studs and every face, as a full frame draws them, in
// that order.
void draw_quick_frame(bool exact = false);

// For tests and benchmarks.
extern bool layer_enabled;       // false: show_layer() does nothing and says switched_off
extern bool skip_hidden_studs;   // false: the layer draws every stud
struct LayerCounts {
    long copies;        // frames shown through the layer
    long redraws;       // times the scene was drawn anew, exact or quick
    long quick_scenes;  // of those, quick
    long extensions;    // times new bricks were added to a scene
    long pieces;        // pieces of refinement drawn
    long refined;       // exact scenes completed in pieces
    long quick_studs;   // studs drawn into quick scenes
    long exact_studs;   // studs drawn into exact scenes, at once or in pieces
    long proven;        // GL contexts where targets proved to draw as the window does
    long refused;       // GL contexts where they did not: every frame is drawn in full there
    long failures;      // times buffers could not be made or a copy failed
};
extern LayerCounts layer_counts;
