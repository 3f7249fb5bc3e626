// The renderer: the tower scene, its projection and its fixed render state.
// Every routine needs a current OpenGL rendering context and nothing else.
#ifndef TOWER_RENDER_RENDERER_H
#define TOWER_RENDER_RENDERER_H

// The animation phase: a float running sum of one step per frame drawn.
extern float g_phase;

// Draw one smooth-shaded triangle in the x-z plane; changes no matrix.
void DrawTriangle();

// Draw one frame of the tower into the current context, then advance the phase.
// Expects the model-view matrix to be the current matrix mode.
void DrawScene();

// Match the viewport and perspective projection to a client area, then leave
// the model-view matrix current and set to the identity.
void ResizeViewport(int width, int height);

// Set the clear colour, depth test and shading that the scene relies on.
void InitRenderState();

#endif
