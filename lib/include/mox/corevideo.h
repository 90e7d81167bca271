// Video layer: off-screen framebuffers, textures, render-state caches, quads and lines, frame
// pacing, the presentation pass with its post shader, GLSL shaders and the 3D view helpers.
// Every function runs on the program thread, which owns the GL context.
#pragma once
#include <GL/glew.h>

constexpr int MOX_MAXFRAMEBUFFERS = 16;
constexpr int MOX_MAXSHADERS = 64;

// Render-state bits of MOX_EnableRenderState / MOX_DisableRenderState.
constexpr int MOX_STATE_DEPTHTEST = 1;
constexpr int MOX_STATE_ALPHATEST = 2;
constexpr int MOX_STATE_BLEND = 4;
constexpr int MOX_STATE_LIGHTING = 8;

// Framebuffer flags.
constexpr int MOX_FRAMEBUFFER_DEPTH = 1;
constexpr int MOX_FRAMEBUFFER_LINEAR = 2;

struct s_MOXvideoinfo {
    int width;  // render width, also the window's drawing area
    int height;
    int pitch;
    int bpp;
    int pixelsize;
    unsigned redmask, greenmask, bluemask;
    unsigned redshift, greenshift, blueshift;
    unsigned redbits, greenbits, bluebits;
    int blittermode;
    int scalingmode;
    int flags;
};

struct s_framebuffer {
    int width;
    int height;
    int id;     // index in MOX_framebuffers
    int flags;  // bit 0: depth texture; bit 1: linear filtering of the colour texture
};

// GL objects of one framebuffer; `pixels` is used only in read-back mode.
struct s_framebufferdata {
    unsigned char *pixels;
    GLuint fbo;
    GLuint texture;
    GLuint depthtexture;
};

struct s_shader {
    GLuint program;
    GLuint vertexshader;
    GLuint fragmentshader;
    bool discards;  // the fragment text may leave a pixel unwritten
};

extern s_MOXvideoinfo MOX_video;

extern s_framebuffer MOX_framebuffers[MOX_MAXFRAMEBUFFERS];
extern s_framebufferdata MOX_framebufferdata[MOX_MAXFRAMEBUFFERS];
extern s_framebuffer *MOX_FrameBuffer;  // current framebuffer (null before MOX_InitVideo)
extern int MOX_numframebuffers;
extern int MOX_framebuffers_enabled;  // 0: read-back mode

extern int MOX_postshader_id;  // -1: none
extern float MOX_fadevalue;
extern float MOX_scanlinevalue;
extern int MOX_shaders_enabled;

extern unsigned MOX_video_time;
extern int MOX_video_updatespeed;
extern unsigned MOX_video_oldtime;
extern int MOX_video_fps;
extern int MOX_video_numframes;
extern int MOX_stats_numtriangles;
extern int MOX_stats_numlines;
extern int MOX_stats_numtexturebinds;
extern int MOX_stats_numstateswitches;

extern int MOX_projectionmode;  // 0: 2D projection current; 1: must be rebuilt
extern int MOX_lasttextureid;   // -1: unknown
extern int MOX_renderstate;     // MOX_STATE_* bits recorded as on

// Set, passes that cannot change a pixel (a clear under a quad that replaces every pixel) are
// issued anyway: the reference that the shorter path is compared against.
extern bool MOX_everypass;

extern int mox_whitetexture_id;
extern unsigned char MOX_Palette[8][256][3];

extern s_shader MOX_shader[MOX_MAXSHADERS];
extern int MOX_numshaders;

// True once MOX_InitVideo has made a GL context current. GL-dependent calls made before
// print a message and do nothing (creation returns -1, textures 0).
bool MOX_VideoReady();

// Start-up, frame and presentation. MOX_InitVideo may be called again: framebuffers are then
// made anew from id 0 at the new size.
// flags: MOX_VIDEO_FULLSCREEN switches the display mode; MOX_VIDEO_HIDDEN keeps the window
// hidden (for off-screen work such as capture).
// MOX_VIDEO_RESIZABLE lets the user resize the window: MOX_video's size then follows the
// window's drawing area (the presentation fills it); the framebuffers keep their sizes.
constexpr int MOX_VIDEO_FULLSCREEN = 1;
constexpr int MOX_VIDEO_HIDDEN = 2;
constexpr int MOX_VIDEO_RESIZABLE = 4;
void MOX_InitVideo(int width, int height, int flags);
void MOX_CloseVideo();
void MOX_SetRefreshRate(int rate);
float MOX_WaitRefresh();
int MOX_GetFPS();
void MOX_GetRenderStatus(int *triangles, int *texturebinds, int *stateswitches);
void MOX_SwapBuffers();
// MOX_SwapBuffers, holding the finished frame until the CLOCK_MONOTONIC moment `swapat`
// (seconds) before swapping; a moment already past swaps at once. Returns the moment the
// frame was finished, before any holding, so a caller can learn how long its frames take.
// Presenting into an off-screen target (MOX_SetPresentTarget) does not wait for the drawing:
// reading the target back does.
double MOX_SwapBuffersAt(double swapat);
void MOX_SwapBuffersBasic();
// With a framebuffer id, MOX_SwapBuffers draws its presentation pass into that framebuffer
// (of the window's size) instead of the window and swaps nothing; -1 presents to the window.
// The target is cleared first only where the presentation quad may leave a pixel unwritten
// (MOX_QuadReplacesEveryPixel) or MOX_everypass is set.
void MOX_SetPresentTarget(int id);
// Copies a framebuffer's pixels, RGBA bytes with rows bottom to top, into rgba
// (width x height x 4 bytes).
void MOX_ReadFrameBuffer(int id, unsigned char *rgba);
void MOX_SetPostShader(int shader);
void MOX_SetFadeValue(float v);
void MOX_SetScanlineValue(float v);
void MOX_SetPallete(int palette, int count, const unsigned char *rgb);

// Framebuffers. Creation returns -1 when the table is full.
int MOX_CreateFrameBuffer(int width, int height, int flags);
// Gives a framebuffer a new size (its contents are lost, its id stays); false for an id not in
// use or a size GL cannot hold.
bool MOX_ResizeFrameBuffer(int id, int width, int height);
void MOX_SetFrameBuffer(int id);
int MOX_GetFrameBufferWidth();
int MOX_GetFrameBufferHeight();
int MOX_GetFrameBufferTexture(int id);
int MOX_GetFrameBufferDepth(int id);
void MOX_ClearFrameBuffer(unsigned colour);  // 0xAABBGGRR, and the depth buffer
// Clears the colour only: the depth buffer keeps what it holds. For drawing with the depth
// test off, which never reads the depth; in software GL a third of the cost of a full clear.
void MOX_ClearFrameBufferColour(unsigned colour);
void MOX_DrawFrameBuffer(int x, int y, int w, int h, int id);

// Textures (GL names; creation gives 0 without video). A size beyond MOX_MaxTextureSize, or
// an upload that GL refuses (checked with glGetError), is reported: creation then gives 0 and
// an update returns 0 (1 when stored).
int MOX_CreateTexture(int width, int height, void *pixels, int flags);
void MOX_SetTextureOptions(int texture, int minfilter, int magfilter, int wraps, int wrapt);
int MOX_UpdateTexture(int texture, int width, int height, void *pixels);
// GL_MAX_TEXTURE_SIZE, the largest width or height of a texture; 0 without video.
int MOX_MaxTextureSize();
void MOX_DeleteTexture(int texture);
void MOX_BindTexture(int texture);
void MOX_BindTextureChannel(int texture, int channel);

// Projection, states and blending.
void MOX_Perspective(float fovy, float aspect, float znear, float zfar);
void MOX_Enable2D();
void MOX_Disable2D();
void MOX_EnableRenderState(int bits);
void MOX_DisableRenderState(int bits);
void MOX_SetBlendMode(int mode);
void MOX_EnableAlphaBlend(float alpha);
void MOX_DisableAlphaBlend();
// True when MOX_DrawQuad over the whole current framebuffer in the 2D projection, drawn now
// with shader `shader` (-1: none), gives every pixel a new value whatever the pixel held: no
// blending or logic operation, no alpha, depth, stencil or scissor test, no stipple, no
// culling of its front face, filled polygons, every colour channel written, and a shader that
// never discards. A clear before such a quad cannot change the picture.
bool MOX_QuadReplacesEveryPixel(int shader);

// Quads and lines, in pixels of the current framebuffer (origin top left, y down).
void MOX_DrawQuad(float x, float y, float w, float h, float u1, float v1, float u2, float v2);
void MOX_DrawRotatedQuad(float x, float y, float w, float h, float u1, float v1, float u2, float v2,
                         float angle);
void MOX_DrawColorQuad(float x, float y, float w, float h, float r, float g, float b, float a);
void MOX_DrawLineRGB(float x1, float y1, float x2, float y2, float r, float g, float b, float a);

// Shaders. Ids index MOX_shader; building returns -1 for a missing text or a full table.
// Without GLSL (MOX_shaders_enabled 0) building only counts ids and the rest does nothing;
// ids outside the table are ignored.
int MOX_InitShader(const char *vertextext, const char *fragmenttext);
int MOX_LoadShader(const char *vertexfile, const char *fragmentfile);
// Builds a program and, only when both stages compile and it links, installs it under `id`
// (its old program deleted) or, for an id not in the table, under a new id. Returns that id;
// on failure returns -1 and leaves every program as it was. The compiler's and linker's
// messages go into `log` (at most logsize bytes, terminated; may be null).
int MOX_RebuildShader(int id, const char *vertextext, const char *fragmenttext, char *log,
                      int logsize);
int MOX_InitDefaultPostShader();
void MOX_DeleteShader(int id);
void MOX_BindShader(int id);
void MOX_UnbindShader();
void MOX_SetShaderUniform1i(int id, const char *name, int v);
void MOX_SetShaderUniform1f(int id, const char *name, float v);
void MOX_SetShaderUniform2f(int id, const char *name, float a, float b);
void MOX_SetShaderUniform3f(int id, const char *name, float a, float b, float c);
void MOX_SetShaderUniform4f(int id, const char *name, float a, float b, float c, float d);
void MOX_SetShaderUniform1fv(int id, const char *name, int count, const float *values);

extern const char *vv_defaultpostshader;
extern const char *ff_defaultpostshader;

// 3D view helpers, applied to the current GL matrix.
void MOX_ViewPort(int x, int y, float aspect, float fovy, float znear, float zfar);
void MOX_LookAt(float eyex, float eyey, float eyez, float targetx, float targety, float targetz);
void MOX_UpdateMatrix(const float *m);
