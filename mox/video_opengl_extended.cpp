// Off-screen framebuffers with their read-back fallback, GLSL shaders by id, and the 3D view
// helpers.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/coredebug.h"
#include "mox/mox.h"
#include "mox/video_opengl.h"

s_framebuffer MOX_framebuffers[MOX_MAXFRAMEBUFFERS];
s_framebufferdata MOX_framebufferdata[MOX_MAXFRAMEBUFFERS];
s_framebuffer *MOX_FrameBuffer;
int MOX_numframebuffers;
int MOX_framebuffers_enabled;

s_shader MOX_shader[MOX_MAXSHADERS];
int MOX_numshaders;

const char *vv_defaultpostshader =
    "#version 120\n"
    "varying vec2 texCoord;\n"
    "void main() {\n"
    "texCoord = gl_MultiTexCoord0.xy;\n"
    "gl_Position = ftransform();\n"
    "}";

const char *ff_defaultpostshader =
    "#version 120\n"
    "uniform sampler2D fbo_texture;\n"
    "uniform sampler2D fbo_depth;\n"
    "uniform float width;\n"
    "uniform float height;\n"
    "uniform float fadevalue;\n"
    "uniform float scanlinevalue;\n"
    "varying vec2 texCoord;\n"
    "vec4 TextureColor;\n"
    "void main() {\n"
    "vec4 color;\n"
    "TextureColor = texture2D(fbo_texture, texCoord);\n"
    "vec2 output_coords = floor( texCoord * height);\n"
    "float modulo = mod(output_coords.y,2.0);\n"
    "if (modulo==0.0) {color=TextureColor;} else {color=TextureColor * (1.0-scanlinevalue);}\n"
    " gl_FragColor = color*fadevalue;\n"
    "}";

bool mox_fboapi() {
    return GLEW_EXT_framebuffer_object && glGenFramebuffersEXT && glBindFramebufferEXT &&
           glFramebufferTexture2DEXT && glCheckFramebufferStatusEXT && glDeleteFramebuffersEXT;
}

void mox_releaseframebuffers() {
    for (int i = 0; i < MOX_numframebuffers; i++) {
        s_framebufferdata &d = MOX_framebufferdata[i];
        if (d.fbo && mox_fboapi()) glDeleteFramebuffersEXT(1, &d.fbo);
        glDeleteTextures(1, &d.texture);
        if (d.depthtexture) glDeleteTextures(1, &d.depthtexture);
        free(d.pixels);
        d = s_framebufferdata{};
    }
    MOX_numframebuffers = 0;
    MOX_FrameBuffer = nullptr;
}

int MOX_CreateFrameBuffer(int width, int height, int flags) {
    if (!mox_videocheck("MOX_CreateFrameBuffer")) return -1;
    if (MOX_numframebuffers >= MOX_MAXFRAMEBUFFERS) {
        core_log(LOG_ERROR, "mox.framebuffer_table_full",
                 "[MOX] Framebuffer table full (%d): %dx%d not created\n", MOX_MAXFRAMEBUFFERS,
                 width, height);
        return -1;
    }
    if (width <= 0 || height <= 0) {
        core_log(LOG_ERROR, "mox.framebuffer_bad_size", "[MOX] Framebuffer size %dx%d refused\n",
                 width, height);
        return -1;
    }
    int id = MOX_numframebuffers;
    MOX_framebuffers[id] = s_framebuffer{width, height, id, flags};
    s_framebufferdata &d = MOX_framebufferdata[id];
    // The CPU copy is needed only in read-back mode; the presentation allocates it then.
    d = s_framebufferdata{};
    core_log(LOG_PROGRESS, "mox.framebuffer_created", "[MOX] Init Framebuffer: %d,%d\n", width,
             height);

    if (glActiveTexture) glActiveTexture(GL_TEXTURE0);
    GLint filter = (flags & MOX_FRAMEBUFFER_LINEAR) ? GL_LINEAR : GL_NEAREST;
    glGenTextures(1, &d.texture);
    glBindTexture(GL_TEXTURE_2D, d.texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_MIRRORED_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_MIRRORED_REPEAT);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);

    if (flags & MOX_FRAMEBUFFER_DEPTH) {
        glGenTextures(1, &d.depthtexture);
        glBindTexture(GL_TEXTURE_2D, d.depthtexture);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_COMPARE_MODE, GL_NONE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        if (GLEW_EXT_packed_depth_stencil)
            glTexImage2D(GL_TEXTURE_2D, 0, GL_DEPTH24_STENCIL8_EXT, width, height, 0,
                         GL_DEPTH_STENCIL_EXT, GL_UNSIGNED_INT_24_8_EXT, nullptr);
        else
            glTexImage2D(GL_TEXTURE_2D, 0, GL_DEPTH_COMPONENT24, width, height, 0,
                         GL_DEPTH_COMPONENT, GL_UNSIGNED_INT, nullptr);
    }

    if (mox_fboapi()) {
        glGenFramebuffersEXT(1, &d.fbo);
        glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, d.fbo);
        glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D,
                                  d.texture, 0);
        if (d.depthtexture)
            glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_TEXTURE_2D,
                                      d.depthtexture, 0);
        GLenum status = glCheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT);
        if (status != GL_FRAMEBUFFER_COMPLETE_EXT) {
            core_log(LOG_ERROR, "mox.framebuffer_incomplete",
                     "glCheckFramebufferStatus: error %d\n", int(status));
            MOX_framebuffers_enabled = 0;
        } else {
            MOX_framebuffers_enabled = 1;
        }
        glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
    } else {
        core_log(LOG_WARNING, "mox.framebuffer_readback",
                 "[MOX] Framebuffer objects not available: read-back mode\n");
        MOX_framebuffers_enabled = 0;
    }
    MOX_lasttextureid = -1;
    MOX_numframebuffers++;
    return id;
}

bool MOX_ResizeFrameBuffer(int id, int width, int height) {
    if (!mox_videocheck("MOX_ResizeFrameBuffer")) return false;
    if (id < 0 || id >= MOX_numframebuffers) {
        mox_badid("MOX_ResizeFrameBuffer", id);
        return false;
    }
    if (width <= 0 || height <= 0 || width > MOX_MaxTextureSize() ||
        height > MOX_MaxTextureSize()) {
        core_log(LOG_ERROR, "mox.framebuffer_bad_size", "[MOX] Framebuffer size %dx%d refused\n",
                 width, height);
        return false;
    }
    s_framebuffer &f = MOX_framebuffers[id];
    s_framebufferdata &d = MOX_framebufferdata[id];
    if (f.width == width && f.height == height) return true;
    // The texture names stay, so the framebuffer object keeps its attachments; only their
    // storage is made anew. The read-back copy is made again at the new size when needed.
    if (glActiveTexture) glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, d.texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    if (d.depthtexture) {
        glBindTexture(GL_TEXTURE_2D, d.depthtexture);
        if (GLEW_EXT_packed_depth_stencil)
            glTexImage2D(GL_TEXTURE_2D, 0, GL_DEPTH24_STENCIL8_EXT, width, height, 0,
                         GL_DEPTH_STENCIL_EXT, GL_UNSIGNED_INT_24_8_EXT, nullptr);
        else
            glTexImage2D(GL_TEXTURE_2D, 0, GL_DEPTH_COMPONENT24, width, height, 0,
                         GL_DEPTH_COMPONENT, GL_UNSIGNED_INT, nullptr);
    }
    free(d.pixels);
    d.pixels = nullptr;
    f.width = width;
    f.height = height;
    MOX_lasttextureid = -1;
    // The current framebuffer draws over its whole new size.
    if (MOX_FrameBuffer == &f) glViewport(0, 0, width, height);
    MOX_projectionmode = 1;
    return true;
}

void MOX_SetFrameBuffer(int id) {
    if (!mox_videocheck("MOX_SetFrameBuffer")) return;
    if (id < 0 || id >= MOX_numframebuffers) {
        mox_badid("MOX_SetFrameBuffer", id);
        return;
    }
    MOX_FrameBuffer = &MOX_framebuffers[id];
    const s_framebufferdata &d = MOX_framebufferdata[id];
    if (MOX_framebuffers_enabled) glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, d.fbo);
    glBindTexture(GL_TEXTURE_2D, d.texture);
    MOX_lasttextureid = -1;
    glViewport(0, 0, MOX_FrameBuffer->width, MOX_FrameBuffer->height);
    MOX_projectionmode = 1;
}

int MOX_GetFrameBufferWidth() { return MOX_FrameBuffer ? MOX_FrameBuffer->width : 0; }
int MOX_GetFrameBufferHeight() { return MOX_FrameBuffer ? MOX_FrameBuffer->height : 0; }

int MOX_GetFrameBufferTexture(int id) {
    if (id < 0 || id >= MOX_numframebuffers) return 0;
    return int(MOX_framebufferdata[id].texture);
}

int MOX_GetFrameBufferDepth(int id) {
    if (id < 0 || id >= MOX_numframebuffers) return 0;
    return int(MOX_framebufferdata[id].depthtexture);
}

namespace {
void clear_framebuffer(unsigned colour, bool depth) {
    glClearColor((colour & 0xFF) / 255.0f, (colour >> 8 & 0xFF) / 255.0f,
                 (colour >> 16 & 0xFF) / 255.0f, (colour >> 24) / 255.0f);
    GLbitfield mask = GL_COLOR_BUFFER_BIT;
    if (depth && MOX_FrameBuffer && (MOX_FrameBuffer->flags & MOX_FRAMEBUFFER_DEPTH))
        mask |= GL_DEPTH_BUFFER_BIT;
    glClear(mask);
}
}  // namespace

void MOX_ClearFrameBuffer(unsigned colour) {
    if (mox_videocheck("MOX_ClearFrameBuffer")) clear_framebuffer(colour, true);
}

void MOX_ClearFrameBufferColour(unsigned colour) {
    if (mox_videocheck("MOX_ClearFrameBufferColour")) clear_framebuffer(colour, false);
}

void MOX_DrawFrameBuffer(int x, int y, int w, int h, int id) {
    if (!mox_videocheck("MOX_DrawFrameBuffer")) return;
    if (id < 0 || id >= MOX_numframebuffers) {
        mox_badid("MOX_DrawFrameBuffer", id);
        return;
    }
    glBindTexture(GL_TEXTURE_2D, MOX_framebufferdata[id].texture);
    MOX_lasttextureid = -1;
    MOX_DrawQuad(float(x), float(y), float(w), float(h), 0, 1, 1, 0);
}

namespace {

bool shader_usable(int id) {
    if (!MOX_shaders_enabled) return false;
    if (id < 0 || id >= MOX_numshaders) {
        mox_badid("shader", id);
        return false;
    }
    return true;
}

void report_shader(GLuint shader, const char *label) {
    char log[512];
    GLsizei length = 0;
    glGetShaderInfoLog(shader, sizeof log, &length, log);
    if (length > 0)
        core_log(LOG_ERROR, "mox.shader_compile_failed", "Shader %d,%s,compiler error: %s\n",
                 int(shader), label ? label : "", log);
}

void report_program(GLuint program) {
    char log[512];
    GLsizei length = 0;
    glGetProgramInfoLog(program, sizeof log, &length, log);
    if (length > 0)
        core_log(LOG_ERROR, "mox.shader_link_failed", "Program %d,link error: %s\n", int(program),
                 log);
    glValidateProgram(program);
    GLint valid = 0;
    glGetProgramiv(program, GL_VALIDATE_STATUS, &valid);
    if (valid == 0)
        core_log(LOG_ERROR, "mox.shader_invalid", "Error validating shader %d\n", int(program));
}

// Whole file as text, or false for a missing, unreadable or empty file.
bool read_text(const char *name, std::string &text) {
    if (!name) return false;
    FILE *f = fopen(name, "rt");
    if (!f) return false;
    bool ok = false;
    if (fseek(f, 0, SEEK_END) == 0) {
        long size = ftell(f);
        if (size > 0 && fseek(f, 0, SEEK_SET) == 0) {
            text.assign(size_t(size), '\0');
            text.resize(fread(&text[0], 1, size_t(size), f));
            ok = !text.empty();
        }
    }
    fclose(f);
    return ok;
}

// `discard` is a keyword: a text without it, and without the token pasting that could build
// it, cannot leave a pixel unwritten. A mention in a comment only costs the shorter path.
bool may_discard(const char *fragmenttext) {
    return strstr(fragmenttext, "discard") || strstr(fragmenttext, "##");
}

// Sets a uniform of shader `id`, leaving the program bound.
template <typename Set>
void set_uniform(int id, const char *name, Set set) {
    if (!shader_usable(id) || !name) return;
    GLuint program = MOX_shader[id].program;
    glUseProgram(program);
    set(glGetUniformLocation(program, name));
}

}  // namespace

int MOX_InitShader(const char *vertextext, const char *fragmenttext) {
    int id = MOX_numshaders;
    if (id >= MOX_MAXSHADERS) {
        core_log(LOG_ERROR, "mox.shader_table_full",
                 "[MOX] Shader table full (%d): shader not built\n", MOX_MAXSHADERS);
        return -1;
    }
    if (!MOX_shaders_enabled) {
        MOX_numshaders++;
        return id;
    }
    if (!vertextext || !fragmenttext) {
        core_log(LOG_ERROR, "mox.shader_missing",
                 "Either vertex shader or fragment shader file not found.\n");
        return -1;
    }
    s_shader &s = MOX_shader[id];
    s.discards = may_discard(fragmenttext);
    s.vertexshader = glCreateShader(GL_VERTEX_SHADER);
    s.fragmentshader = glCreateShader(GL_FRAGMENT_SHADER);
    glShaderSource(s.vertexshader, 1, &vertextext, nullptr);
    glShaderSource(s.fragmentshader, 1, &fragmenttext, nullptr);
    glCompileShader(s.vertexshader);
    report_shader(s.vertexshader, "vertexshader");
    glCompileShader(s.fragmentshader);
    report_shader(s.fragmentshader, "fragmentshader");
    s.program = glCreateProgram();
    glAttachShader(s.program, s.fragmentshader);
    glAttachShader(s.program, s.vertexshader);
    glLinkProgram(s.program);
    report_program(s.program);
    MOX_numshaders++;
    return id;
}

namespace {

// Appends a shader's or program's information log to `log` (size bytes, kept terminated).
template <typename Get>
void append_log(GLuint object, Get get, char *log, int size) {
    if (!log || size <= 0) return;
    const size_t used = strlen(log);
    if (used + 1 >= (size_t)size) return;
    GLsizei length = 0;
    get(object, GLsizei(size - used - 1), &length, log + used);
    log[used + std::clamp<size_t>(length, 0, size - used - 1)] = '\0';
}

}  // namespace

int MOX_RebuildShader(int id, const char *vertextext, const char *fragmenttext, char *log,
                      int logsize) {
    if (log && logsize > 0) log[0] = '\0';
    const bool replace = id >= 0 && id < MOX_numshaders;
    if (!replace && MOX_numshaders >= MOX_MAXSHADERS) {
        if (log && logsize > 0)
            snprintf(log, size_t(logsize), "shader table full (%d)", MOX_MAXSHADERS);
        return -1;
    }
    if (!vertextext || !fragmenttext) {
        if (log && logsize > 0) snprintf(log, size_t(logsize), "no shader text");
        return -1;
    }
    if (!MOX_shaders_enabled) return replace ? id : MOX_numshaders++;

    s_shader fresh{};
    fresh.discards = may_discard(fragmenttext);
    fresh.vertexshader = glCreateShader(GL_VERTEX_SHADER);
    fresh.fragmentshader = glCreateShader(GL_FRAGMENT_SHADER);
    glShaderSource(fresh.vertexshader, 1, &vertextext, nullptr);
    glShaderSource(fresh.fragmentshader, 1, &fragmenttext, nullptr);
    GLint vertexok = 0, fragmentok = 0, linked = 0;
    glCompileShader(fresh.vertexshader);
    glGetShaderiv(fresh.vertexshader, GL_COMPILE_STATUS, &vertexok);
    glCompileShader(fresh.fragmentshader);
    glGetShaderiv(fresh.fragmentshader, GL_COMPILE_STATUS, &fragmentok);
    append_log(fresh.fragmentshader, glGetShaderInfoLog, log, logsize);
    append_log(fresh.vertexshader, glGetShaderInfoLog, log, logsize);
    fresh.program = glCreateProgram();
    if (vertexok && fragmentok) {
        glAttachShader(fresh.program, fresh.fragmentshader);
        glAttachShader(fresh.program, fresh.vertexshader);
        glLinkProgram(fresh.program);
        glGetProgramiv(fresh.program, GL_LINK_STATUS, &linked);
        if (!linked) append_log(fresh.program, glGetProgramInfoLog, log, logsize);
    }
    if (!linked) {
        glDeleteShader(fresh.fragmentshader);
        glDeleteShader(fresh.vertexshader);
        glDeleteProgram(fresh.program);
        return -1;
    }
    if (replace) {
        // The old program is left current nowhere: callers bind by id again.
        GLint current = 0;
        glGetIntegerv(GL_CURRENT_PROGRAM, &current);
        if (GLuint(current) == MOX_shader[id].program) glUseProgram(0);
        MOX_DeleteShader(id);
    } else {
        id = MOX_numshaders++;
    }
    MOX_shader[id] = fresh;
    return id;
}

int MOX_LoadShader(const char *vertexfile, const char *fragmentfile) {
    std::string vertex, fragment;
    bool hasvertex = read_text(vertexfile, vertex);
    bool hasfragment = read_text(fragmentfile, fragment);
    return MOX_InitShader(hasvertex ? vertex.c_str() : nullptr,
                          hasfragment ? fragment.c_str() : nullptr);
}

int MOX_InitDefaultPostShader() {
    return MOX_InitShader(vv_defaultpostshader, ff_defaultpostshader);
}

void MOX_DeleteShader(int id) {
    if (!shader_usable(id)) return;
    s_shader &s = MOX_shader[id];
    glDetachShader(s.program, s.fragmentshader);
    glDetachShader(s.program, s.vertexshader);
    glDeleteShader(s.fragmentshader);
    glDeleteShader(s.vertexshader);
    glDeleteProgram(s.program);
}

void MOX_BindShader(int id) {
    if (shader_usable(id)) glUseProgram(MOX_shader[id].program);
}

void MOX_UnbindShader() {
    if (MOX_shaders_enabled) glUseProgram(0);
}

void MOX_SetShaderUniform1i(int id, const char *name, int v) {
    set_uniform(id, name, [&](GLint loc) { glUniform1i(loc, v); });
}

void MOX_SetShaderUniform1f(int id, const char *name, float v) {
    set_uniform(id, name, [&](GLint loc) { glUniform1f(loc, v); });
}

void MOX_SetShaderUniform2f(int id, const char *name, float a, float b) {
    set_uniform(id, name, [&](GLint loc) { glUniform2f(loc, a, b); });
}

void MOX_SetShaderUniform3f(int id, const char *name, float a, float b, float c) {
    set_uniform(id, name, [&](GLint loc) { glUniform3f(loc, a, b, c); });
}

void MOX_SetShaderUniform4f(int id, const char *name, float a, float b, float c, float d) {
    set_uniform(id, name, [&](GLint loc) { glUniform4f(loc, a, b, c, d); });
}

void MOX_SetShaderUniform1fv(int id, const char *name, int count, const float *values) {
    if (count <= 0 || !values) return;
    set_uniform(id, name, [&](GLint loc) { glUniform1fv(loc, count, values); });
}

void MOX_ViewPort(int, int, float aspect, float fovy, float znear, float zfar) {
    MOX_Perspective(fovy, aspect, znear, zfar);
}

void MOX_LookAt(float eyex, float eyey, float eyez, float targetx, float targety, float targetz) {
    if (!mox_videocheck("MOX_LookAt")) return;
    constexpr double todegrees = 57.29577952383886;
    double dx = double(eyex) - targetx, dy = double(eyey) - targety, dz = double(eyez) - targetz;
    if (dx == 0 && dy == 0 && dz == 0) return;
    if (dx == 0 && dz == 0) {
        glRotated(dy < 0 ? -90 : 90, 1, 0, 0);
        glTranslated(-eyex, -eyey, -eyez);
        return;
    }
    double o = dx == 0 ? dz : hypot(dx, dz);
    double t = dz == 0 ? hypot(dx, dy) : dy != 0 ? hypot(dy, o) : o;
    double pitch = asin(dy / t) * todegrees;
    double yaw = asin(dx / o) * todegrees;
    glRotated(pitch, 1, 0, 0);
    yaw = dz < 0 ? yaw + 180 : 360 - yaw;
    glRotated(yaw, 0, 1, 0);
    glTranslated(-eyex, -eyey, -eyez);
}

void MOX_UpdateMatrix(const float *m) {
    if (!m || !mox_videocheck("MOX_UpdateMatrix")) return;
    glLoadMatrixf(m);
}
