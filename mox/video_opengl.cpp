// Video layer: start-up, frame pacing, statistics, textures, render-state caches, 2D and 3D
// projections, quads, lines and the presentation pass.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <initializer_list>

#include "core/coredebug.h"
#include "mox/mox.h"
#include "mox/video_opengl.h"

s_MOXvideoinfo MOX_video;

int MOX_postshader_id = -1;
float MOX_fadevalue = 1;
float MOX_scanlinevalue = 0;
int MOX_shaders_enabled;

unsigned MOX_video_time;
int MOX_video_updatespeed = 15;
unsigned MOX_video_oldtime;
int MOX_video_fps;
int MOX_video_numframes;
int MOX_stats_numtriangles;
int MOX_stats_numlines;
int MOX_stats_numtexturebinds;
int MOX_stats_numstateswitches;

int MOX_projectionmode = 1;
int MOX_lasttextureid = -1;
int MOX_renderstate;

bool MOX_everypass;

int mox_whitetexture_id;
unsigned char MOX_Palette[8][256][3];

namespace {

bool videoready;
int novideoreports;
int badidreports;
constexpr int MAXREPORTS = 32;

constexpr GLubyte quad_index[6] = {0, 3, 2, 0, 2, 1};

void draw_quad_arrays(const GLfloat *vertices, const GLfloat *texcoords) {
    glVertexPointer(3, GL_FLOAT, 0, vertices);
    glTexCoordPointer(2, GL_FLOAT, 0, texcoords);
    glDrawElements(GL_TRIANGLES, 6, GL_UNSIGNED_BYTE, quad_index);
    MOX_stats_numtriangles += 2;
}

double mox_monotonic() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Sleeps until the monotonic moment `when`; a moment already past returns at once.
void mox_sleepuntil(double when) {
    if (when <= mox_monotonic()) return;
    timespec t;
    t.tv_sec = time_t(when);
    t.tv_nsec = long((when - double(t.tv_sec)) * 1e9);
    if (t.tv_nsec >= 1000000000L) t.tv_nsec = 999999999L;
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &t, nullptr) == EINTR) {
    }
}

// A quad wholly outside the current framebuffer is rejected before any GL call.
bool quad_visible(float x, float y, float w, float h) {
    if (!videoready || !MOX_FrameBuffer) return false;
    return y > -h && y < MOX_FrameBuffer->height && x > -w && x < MOX_FrameBuffer->width;
}

}  // namespace

bool MOX_VideoReady() { return videoready; }

bool mox_videocheck(const char *function) {
    if (videoready) return true;
    if (novideoreports < MAXREPORTS) {
        core_log(LOG_ERROR, "mox.no_video", "[MOX] %s: video not initialised\n", function);
        if (++novideoreports == MAXREPORTS)
            core_log(LOG_WARNING, "mox.no_video_muted",
                     "[MOX] further calls without video not reported\n");
    }
    return false;
}

void mox_badid(const char *function, int id) {
    if (badidreports < MAXREPORTS) {
        core_log(LOG_ERROR, "mox.bad_id", "[MOX] %s: no such id %d\n", function, id);
        if (++badidreports == MAXREPORTS)
            core_log(LOG_WARNING, "mox.bad_id_muted", "[MOX] further bad ids not reported\n");
    }
}

void MOX_InitVideo(int width, int height, int flags) {
    if (width <= 0 || height <= 0) {
        core_log(LOG_ERROR, "mox.video_bad_size", "[MOX] MOX_InitVideo: bad size %dx%d\n", width,
                 height);
        return;
    }
    mox_initwindow(width, height, flags);
    core_log(LOG_PROGRESS, "mox.opengl_init", "[MOX] Init OpenGL\n");
    if (videoready) {
        mox_releaseframebuffers();
        MOX_DeleteTexture(mox_whitetexture_id);
    }
    videoready = true;

    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glEnable(GL_TEXTURE_2D);
    glShadeModel(GL_SMOOTH);
    glClearColor(0, 0, 0, 1);
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    glAlphaFunc(GL_GREATER, 0);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);

    unsigned white[8 * 8];
    for (unsigned &p : white) p = 0xFFFFFFFF;
    mox_whitetexture_id = MOX_CreateTexture(8, 8, white, 0);

    MOX_numframebuffers = 0;
    core_log(LOG_PROGRESS, "mox.framebuffer_init", "[MOX] Init Framebuffer\n");
    MOX_SetFrameBuffer(MOX_CreateFrameBuffer(width, height, 0));

    MOX_SetPostShader(-1);
    MOX_SetFadeValue(1);
    MOX_SetScanlineValue(0);

    MOX_video = s_MOXvideoinfo{};
    MOX_video.width = width;
    MOX_video.height = height;
    MOX_video.pitch = width;
    MOX_video.bpp = 32;
    MOX_video.pixelsize = 4;
    MOX_video.redmask = 0xFF0000;
    MOX_video.greenmask = 0xFF00;
    MOX_video.bluemask = 0xFF;
    MOX_video.redshift = 16;
    MOX_video.greenshift = 8;
    MOX_video.blueshift = 0;
    MOX_video.redbits = MOX_video.greenbits = MOX_video.bluebits = 8;

    // The cache starts empty: a context kept from an earlier start-up must not keep states on
    // that the cache says are off.
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_BLEND);
    glDisable(GL_LIGHTING);
    MOX_renderstate = 0;
    MOX_lasttextureid = -1;
    mox_numbitmaps = 0;
    mox_numsprites = 0;
    MOX_SetRefreshRate(60);
}

void MOX_CloseVideo() {
    mox_closewindow();
    videoready = false;
}

void MOX_SetRefreshRate(int rate) {
    // A rate of 0 has no frame time; it runs as fast as the minimum allows.
    int target = rate > 0 ? int(1000 / (rate * 1.1)) : rate < 0 ? -rate : 1;
    MOX_video_updatespeed = target > 0 ? target : 1;
    MOX_video_time = MOX_GetMillis();
}

float MOX_WaitRefresh() {
    MOX_video_numframes++;
    unsigned now;
    do {
        now = MOX_GetMillis();
    } while (now - MOX_video_time < unsigned(MOX_video_updatespeed));
    unsigned elapsed = MOX_GetMillis() - MOX_video_time;
    MOX_video_time = now;
    return float(elapsed) / float(MOX_video_updatespeed);
}

int MOX_GetFPS() {
    unsigned now = MOX_GetMillis();
    if (now - MOX_video_oldtime > 999) {
        MOX_video_fps = MOX_video_numframes;
        MOX_video_numframes = 0;
        MOX_video_oldtime = now;
    }
    return MOX_video_fps;
}

void MOX_GetRenderStatus(int *triangles, int *texturebinds, int *stateswitches) {
    if (triangles) *triangles = MOX_stats_numtriangles;
    if (texturebinds) *texturebinds = MOX_stats_numtexturebinds;
    if (stateswitches) *stateswitches = MOX_stats_numstateswitches;
}

namespace {
// Framebuffer the presentation pass draws into instead of the window; -1: the window.
int mox_presenttarget = -1;
}  // namespace

void MOX_SetPresentTarget(int id) { mox_presenttarget = id; }

void MOX_ReadFrameBuffer(int id, unsigned char *rgba) {
    if (!mox_videocheck("MOX_ReadFrameBuffer")) return;
    if (id < 0 || id >= MOX_numframebuffers) {
        core_log(LOG_ERROR, "mox.no_framebuffer", "[MOX] MOX_ReadFrameBuffer: no framebuffer %d\n",
                 id);
        return;
    }
    const s_framebuffer &f = MOX_framebuffers[id];
    const s_framebufferdata &d = MOX_framebufferdata[id];
    if (!MOX_framebuffers_enabled) {
        if (d.pixels) memcpy(rgba, d.pixels, size_t(f.width) * f.height * 4);
        return;
    }
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, d.fbo);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, f.width, f.height, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT,
                         MOX_FrameBuffer ? MOX_framebufferdata[MOX_FrameBuffer->id].fbo : 0);
}

void MOX_SwapBuffers() { MOX_SwapBuffersAt(0); }

double MOX_SwapBuffersAt(double swapat) {
    if (!mox_videocheck("MOX_SwapBuffers")) return mox_monotonic();
    s_framebuffer *f = MOX_FrameBuffer;
    if (!f) return mox_monotonic();
    s_framebufferdata &d = MOX_framebufferdata[f->id];
    const bool offscreen = mox_presenttarget >= 0 && mox_presenttarget < MOX_numframebuffers;
    if (MOX_framebuffers_enabled) {
        glBindFramebufferEXT(GL_FRAMEBUFFER_EXT,
                             offscreen ? MOX_framebufferdata[mox_presenttarget].fbo : 0);
    } else {
        if (!d.pixels)
            d.pixels = static_cast<unsigned char *>(malloc(size_t(f->width) * f->height * 4));
        if (d.pixels) {
            glReadBuffer(GL_BACK);
            glPixelStorei(GL_PACK_ALIGNMENT, 4);
            glReadPixels(0, 0, f->width, f->height, GL_RGBA, GL_UNSIGNED_BYTE, d.pixels);
            glBindTexture(GL_TEXTURE_2D, d.texture);
            glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, f->width, f->height, GL_RGBA, GL_UNSIGNED_BYTE,
                            d.pixels);
        }
    }

    glBindTexture(GL_TEXTURE_2D, d.texture);
    // The frame is copied as it is: blending or a colour left on by the frame's drawing (the
    // composition weights each layer by its Blend) would fade it once more.
    MOX_DisableAlphaBlend();
    glViewport(0, 0, MOX_video.width, MOX_video.height);
    MOX_projectionmode = 1;
    MOX_Enable2D();

    bool shaded = MOX_postshader_id >= 0 && MOX_shaders_enabled;
    // Where the quad covers an off-screen target and replaces every pixel, a clear under it
    // is a full-screen pass that changes nothing. A window keeps its clear: drivers take it
    // as leave to drop the buffer's old contents.
    const bool covered = offscreen &&
                         MOX_framebuffers[mox_presenttarget].width == MOX_video.width &&
                         MOX_framebuffers[mox_presenttarget].height == MOX_video.height;
    if (MOX_everypass || !covered || !MOX_QuadReplacesEveryPixel(shaded ? MOX_postshader_id : -1))
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    if (shaded) {
        int s = MOX_postshader_id;
        MOX_BindShader(s);
        MOX_SetShaderUniform1i(s, "fbo_texture", 0);
        MOX_SetShaderUniform1i(s, "fbo_depth", 1);
        MOX_SetShaderUniform1f(s, "width", float(MOX_video.width));
        MOX_SetShaderUniform1f(s, "height", float(MOX_video.height));
        MOX_SetShaderUniform1f(s, "fadevalue", MOX_fadevalue);
        MOX_SetShaderUniform1f(s, "scanlinevalue", MOX_scanlinevalue);
    }
    MOX_DrawQuad(0, 0, float(MOX_video.width), float(MOX_video.height), 0, 1, 1, 0);
    if (shaded) MOX_UnbindShader();

    // An off-screen target is read back later, which waits for the drawing it needs: the
    // program thread goes on meanwhile, and `ready` is when the drawing was handed over.
    if (!offscreen) glFinish();
    const double ready = mox_monotonic();
    mox_sleepuntil(swapat);
    if (!offscreen) {
        mox_swapbuffers();
    } else if (!MOX_framebuffers_enabled) {
        s_framebufferdata &t = MOX_framebufferdata[mox_presenttarget];
        const s_framebuffer &tf = MOX_framebuffers[mox_presenttarget];
        if (!t.pixels)
            t.pixels = static_cast<unsigned char *>(malloc(size_t(tf.width) * tf.height * 4));
        if (t.pixels) {
            glReadBuffer(GL_BACK);
            glPixelStorei(GL_PACK_ALIGNMENT, 1);
            glReadPixels(0, 0, tf.width, tf.height, GL_RGBA, GL_UNSIGNED_BYTE, t.pixels);
        }
    }

    if (MOX_framebuffers_enabled) glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, d.fbo);
    glViewport(0, 0, f->width, f->height);
    MOX_projectionmode = 1;
    MOX_lasttextureid = -1;
    MOX_stats_numtriangles = 0;
    MOX_stats_numlines = 0;
    MOX_stats_numtexturebinds = 0;
    MOX_stats_numstateswitches = 0;
    return ready;
}

void MOX_SwapBuffersBasic() {
    if (!mox_videocheck("MOX_SwapBuffersBasic")) return;
    mox_swapbuffers();
    glViewport(0, 0, MOX_FrameBuffer->width, MOX_FrameBuffer->height);
    if (mox_fboapi()) glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
}

void MOX_SetPostShader(int shader) { MOX_postshader_id = shader; }
void MOX_SetFadeValue(float v) { MOX_fadevalue = v; }
void MOX_SetScanlineValue(float v) { MOX_scanlinevalue = v; }

void MOX_SetPallete(int palette, int count, const unsigned char *rgb) {
    if (palette < 0 || palette >= 8 || !rgb || count <= 0) return;
    if (count > 256) count = 256;
    memcpy(MOX_Palette[palette], rgb, size_t(count) * 3);
}

namespace {

// Clears errors left by earlier calls, so that the next check sees only its own call's.
void clear_glerrors() {
    for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; ++i) {
    }
}

// Fills the bound texture; false (with a message) when GL refuses the size or the memory.
bool teximage(int width, int height, void *pixels, const char *function) {
    const int limit = MOX_MaxTextureSize();
    if (width <= 0 || height <= 0 || width > limit || height > limit) {
        core_log(LOG_ERROR, "mox.texture_too_large",
                 "[MOX] %s: %d x %d texture refused (each side 1 to %d)\n", function, width, height,
                 limit);
        return false;
    }
    clear_glerrors();
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glTexImage2D(GL_TEXTURE_2D, 0, 4, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
    const GLenum error = glGetError();
    if (error == GL_NO_ERROR) return true;
    core_log(LOG_ERROR, "mox.texture_failed",
             "[MOX] %s: %d x %d texture not stored (GL error 0x%x)\n", function, width, height,
             error);
    return false;
}

}  // namespace

int MOX_MaxTextureSize() {
    if (!MOX_VideoReady()) return 0;
    GLint size = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &size);
    return size;
}

int MOX_CreateTexture(int width, int height, void *pixels, int) {
    if (!mox_videocheck("MOX_CreateTexture")) return 0;
    GLuint t = 0;
    glGenTextures(1, &t);
    glBindTexture(GL_TEXTURE_2D, t);
    MOX_lasttextureid = -1;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    if (!teximage(width, height, pixels, "MOX_CreateTexture")) {
        glDeleteTextures(1, &t);
        return 0;
    }
    return int(t);
}

void MOX_SetTextureOptions(int texture, int minfilter, int magfilter, int wraps, int wrapt) {
    if (!mox_videocheck("MOX_SetTextureOptions")) return;
    glBindTexture(GL_TEXTURE_2D, GLuint(texture));
    MOX_lasttextureid = -1;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, minfilter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, magfilter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wraps);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrapt);
}

int MOX_UpdateTexture(int texture, int width, int height, void *pixels) {
    if (!mox_videocheck("MOX_UpdateTexture")) return 0;
    glBindTexture(GL_TEXTURE_2D, GLuint(texture));
    MOX_lasttextureid = -1;
    return teximage(width, height, pixels, "MOX_UpdateTexture") ? 1 : 0;
}

void MOX_DeleteTexture(int texture) {
    if (!mox_videocheck("MOX_DeleteTexture")) return;
    GLuint t = GLuint(texture);
    glDeleteTextures(1, &t);
    // GL unbinds a deleted texture and may hand its name out again.
    MOX_lasttextureid = -1;
}

void MOX_BindTexture(int texture) {
    if (texture == MOX_lasttextureid || !mox_videocheck("MOX_BindTexture")) return;
    glBindTexture(GL_TEXTURE_2D, GLuint(texture));
    MOX_lasttextureid = texture;
    MOX_stats_numtexturebinds++;
}

void MOX_BindTextureChannel(int texture, int channel) {
    if (!mox_videocheck("MOX_BindTextureChannel")) return;
    if (channel >= 0 && channel < 8 && glActiveTexture) glActiveTexture(GL_TEXTURE0 + channel);
    glBindTexture(GL_TEXTURE_2D, GLuint(texture));
    MOX_lasttextureid = -1;
}

void MOX_Perspective(float fovy, float aspect, float znear, float zfar) {
    if (!mox_videocheck("MOX_Perspective")) return;
    double h = tan(fovy * 3.141592653 / 360) * znear;
    double w = h * aspect;
    glFrustum(-w, w, -h, h, znear, zfar);
}

void MOX_Enable2D() {
    if (!mox_videocheck("MOX_Enable2D")) return;
    if (MOX_projectionmode != 0) {
        GLint vp[4];
        glGetIntegerv(GL_VIEWPORT, vp);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(vp[0], vp[0] + vp[2], vp[1] + vp[3], vp[1], -1, 1);
        glMatrixMode(GL_MODELVIEW);
    }
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    MOX_projectionmode = 0;
}

void MOX_Disable2D() {
    if (!mox_videocheck("MOX_Disable2D")) return;
    if (MOX_projectionmode != 0) return;
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    // Integer division on purpose: 1920 x 1080 gives an aspect of 1.
    int aspect = MOX_FrameBuffer->height ? MOX_FrameBuffer->width / MOX_FrameBuffer->height : 0;
    MOX_Perspective(45, float(aspect), 0.01f, 1000);
    glMatrixMode(GL_MODELVIEW);
    MOX_projectionmode = 1;
}

namespace {
// Render states in the order they are switched: alpha test, depth test, blending, lighting.
struct StateBit {
    int bit;
    GLenum cap;
};
constexpr StateBit statebits[4] = {{MOX_STATE_ALPHATEST, GL_ALPHA_TEST},
                                   {MOX_STATE_DEPTHTEST, GL_DEPTH_TEST},
                                   {MOX_STATE_BLEND, GL_BLEND},
                                   {MOX_STATE_LIGHTING, GL_LIGHTING}};
}  // namespace

void MOX_EnableRenderState(int bits) {
    if ((MOX_renderstate & bits) != 0 || !mox_videocheck("MOX_EnableRenderState")) return;
    for (const StateBit &s : statebits)
        if (bits & s.bit) glEnable(s.cap);
    MOX_renderstate |= bits;
    MOX_stats_numstateswitches++;
}

void MOX_DisableRenderState(int bits) {
    if ((MOX_renderstate & bits) == 0 || !mox_videocheck("MOX_DisableRenderState")) return;
    for (const StateBit &s : statebits)
        if (bits & s.bit) glDisable(s.cap);
    MOX_renderstate &= ~bits;
    MOX_stats_numstateswitches++;
}

void MOX_SetBlendMode(int mode) {
    if (!mox_videocheck("MOX_SetBlendMode")) return;
    if (mode == 1)
        glBlendFunc(GL_SRC_COLOR, GL_DST_COLOR);
    else if (mode == 2)
        glBlendFunc(GL_SRC_COLOR, GL_ONE);
}

void MOX_EnableAlphaBlend(float alpha) {
    if (!mox_videocheck("MOX_EnableAlphaBlend")) return;
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_BLEND);
    glColor4f(1, 1, 1, alpha);
}

void MOX_DisableAlphaBlend() {
    if (!mox_videocheck("MOX_DisableAlphaBlend")) return;
    glDisable(GL_BLEND);
    glColor4f(1, 1, 1, 1);
}

bool MOX_QuadReplacesEveryPixel(int shader) {
    if (!mox_videocheck("MOX_QuadReplacesEveryPixel")) return false;
    if (shader >= 0 && (shader >= MOX_numshaders || MOX_shader[shader].discards)) return false;
    for (GLenum cap : {GL_BLEND, GL_COLOR_LOGIC_OP, GL_ALPHA_TEST, GL_DEPTH_TEST, GL_STENCIL_TEST,
                       GL_SCISSOR_TEST, GL_POLYGON_STIPPLE})
        if (glIsEnabled(cap)) return false;
    // MOX_DrawQuad's triangles wind anticlockwise on the screen in the 2D projection.
    if (glIsEnabled(GL_CULL_FACE)) {
        GLint cull = 0, front = 0;
        glGetIntegerv(GL_CULL_FACE_MODE, &cull);
        glGetIntegerv(GL_FRONT_FACE, &front);
        if (cull != GL_BACK || front != GL_CCW) return false;
    }
    GLboolean mask[4] = {};
    glGetBooleanv(GL_COLOR_WRITEMASK, mask);
    GLint mode[2] = {};
    glGetIntegerv(GL_POLYGON_MODE, mode);
    return mask[0] && mask[1] && mask[2] && mask[3] && mode[0] == GL_FILL && mode[1] == GL_FILL;
}

void MOX_DrawQuad(float x, float y, float w, float h, float u1, float v1, float u2, float v2) {
    if (!quad_visible(x, y, w, h)) return;
    const GLfloat vertices[12] = {x, y, 0, x + w, y, 0, x + w, y + h, 0, x, y + h, 0};
    const GLfloat texcoords[8] = {u1, v1, u2, v1, u2, v2, u1, v2};
    MOX_Enable2D();
    draw_quad_arrays(vertices, texcoords);
}

void MOX_DrawRotatedQuad(float x, float y, float w, float h, float u1, float v1, float u2, float v2,
                         float angle) {
    if (!quad_visible(x, y, w, h)) return;
    float hw = w / 2, hh = h / 2;
    const GLfloat vertices[12] = {-hw, -hh, 0, hw, -hh, 0, hw, hh, 0, -hw, hh, 0};
    const GLfloat texcoords[8] = {u1, v1, u2, v1, u2, v2, u1, v2};
    MOX_Enable2D();
    glTranslatef(x + hw, y + hh, 0);
    glRotatef(angle, 0, 0, 1);
    draw_quad_arrays(vertices, texcoords);
}

void MOX_DrawColorQuad(float x, float y, float w, float h, float r, float g, float b, float a) {
    if (!quad_visible(x, y, w, h)) return;
    const GLfloat vertices[12] = {x, y, 0, x + w, y, 0, x + w, y + h, 0, x, y + h, 0};
    const GLfloat texcoords[8] = {0, 0, 1, 0, 1, 1, 0, 1};
    MOX_Enable2D();
    glColor4f(r, g, b, a);
    draw_quad_arrays(vertices, texcoords);
    glColor4f(1, 1, 1, 1);
}

void MOX_DrawLineRGB(float x1, float y1, float x2, float y2, float r, float g, float b, float a) {
    if (!mox_videocheck("MOX_DrawLineRGB")) return;
    MOX_Enable2D();
    glPointSize(2);
    const GLfloat vertices[6] = {x1, y1, 0, x2, y2, 0};
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glColor4f(r, g, b, a);
    glVertexPointer(3, GL_FLOAT, 0, vertices);
    glDrawArrays(GL_LINES, 0, 2);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glColor4f(1, 1, 1, 1);
    MOX_stats_numlines++;
}
