// Per-frame playback: renders each visible layer's active event into the layer's framebuffer,
// then composes the layers, weighted by their Blend tracks, into the main framebuffer. The
// music's play offset is the only clock. Program thread only.
#include <GL/glew.h>

#include <algorithm>
#include <climits>
#include <cmath>

#include "demosystem/demosystem.h"
#include "mox/mox.h"

float centerX = 0.0f, centerY = 0.0f, centerZ = 1.0f;
float currentframe = 0.0f;

namespace {

// Indices taken from the project are checked before they index a table; out-of-range
// entries draw nothing.
bool valid_table_index(int i) { return i >= 0 && i < DEMO_MAXRESOURCES; }

s_demoresource *event_resource(c_demo *demo, const s_effectevent *e) {
    if (e->id < 0 || e->id >= demo->numresources) return nullptr;
    s_demoresource *r = &demo->resource[e->id];
    return valid_table_index(r->id) ? r : nullptr;
}

// Texture of the descriptor whose index an event value names, or 0. The range is checked on
// the float, before a conversion that a huge or NaN value would make undefined.
int channel_texture(c_demo *demo, float value) {
    if (!(value >= 0.0f && value < (float)demo->numresources)) return 0;
    const int id = demo->resource[(int)value].id;
    return valid_table_index(id) ? demo->resource_texture[id].textureid : 0;
}

// Program of a Shader or Postprocessing event, or -1 when its descriptor is no shader that
// loaded (the typed table's entry would belong to another resource or to nothing).
int event_program(c_demo *demo, const s_effectevent *e) {
    const s_demoresource *r = event_resource(demo, e);
    if (!r || !r->loadOK || (r->type != RESOURCE_SHADER && r->type != RESOURCE_POSTSHADER))
        return -1;
    return demo->resource_shader[r->id].shader_id;
}

// The state a full-screen box leaves: alpha test off, white texture bound, 2D projection,
// white colour.
void box_state() {
    MOX_DisableRenderState(MOX_STATE_ALPHATEST);
    MOX_BindTexture(mox_whitetexture_id);
    MOX_Enable2D();
    glColor4f(1, 1, 1, 1);
}

// MOX_ClearFrameBuffer(0xff000000) and then MOX_DrawBox of 0xAARRGGBB `colour` over the whole
// framebuffer (of the render size): one clear to that colour gives the same pixels (blending
// is off or the colour opaque) without a full-screen fill, and the state a box leaves. With
// `depth` false the depth buffer is left as it is, for drawing that never tests it.
void clear_and_box(unsigned colour, bool depth) {
    const unsigned abgr = (colour & 0xff00ff00u) | (colour >> 16 & 0xffu) | (colour & 0xffu) << 16;
    if (depth)
        MOX_ClearFrameBuffer(abgr);
    else
        MOX_ClearFrameBufferColour(abgr);
    box_state();
}

// True when the event's pass alone sets every pixel of the current framebuffer, so that a
// clear before it cannot show: a shader quad over the whole framebuffer that replaces every
// pixel and does not sample the framebuffer it draws into (prevPass).
bool replaces_framebuffer(c_demo *demo, const s_effectevent *e) {
    if (e->type != EFFECT_SHADER || !e->value || !MOX_shaders_enabled || !MOX_FrameBuffer ||
        MOX_FrameBuffer->width != demo->renderwidth ||
        MOX_FrameBuffer->height != demo->renderheight)
        return false;
    const int program = event_program(demo, e);
    return program >= 0 && MOX_QuadReplacesEveryPixel(program) &&
           glGetUniformLocation(MOX_shader[program].program, "prevPass") < 0;
}

// The started scene of a Function event, or null: another kind's id would name a scene that
// never had its Init.
c_demofunction *event_scene(c_demo *demo, const s_effectevent *e) {
    const s_demoresource *r = event_resource(demo, e);
    return e->type == EFFECT_FUNCTION && r && r->type == RESOURCE_FUNCTION && r->loadOK
               ? EffectScene(demo->effects, r->id)
               : nullptr;
}

// True when the event's pass may draw with the depth test on, and so needs its layer's depth
// buffer cleared: only a scene that says so. The engine's own passes draw with the test off,
// which neither reads nor writes the depth: whatever the buffer holds cannot change them.
bool tests_depth(c_demo *demo, const s_effectevent *e) {
    const c_demofunction *scene = event_scene(demo, e);
    return scene && scene->TestsDepth();
}

// Markers strictly inside the event's span that the current time has passed.
int markers_passed(const c_demo *demo, const s_effectevent *e) {
    const long long end = (long long)e->t + e->length;
    int n = 0;
    for (int i = 0; i < demo->nummarkers; ++i) {
        const int t = demo->marker[i].t;
        if (e->t < t && t < end && t < demo->position) ++n;
    }
    return n;
}

// True when the event draws nothing into its layer's framebuffer, which then stays cleared to
// transparent black and composes to no change at any weight. A post-processing event acts in
// the composition only.
bool draws_nothing(c_demo *demo, const s_effectevent *e) {
    const s_demoresource *r = event_resource(demo, e);
    switch (e->type) {
        case EFFECT_IMAGE:
            return !r || (r->type != RESOURCE_SPRITE && r->type != RESOURCE_TEXTURE);
        case EFFECT_SHADER:
            return event_program(demo, e) < 0 || !e->value;
        case EFFECT_FUNCTION:
            return false;
        case EFFECT_TEXT:
            return !demo->guifont1;
        default:
            return true;
    }
}

// Pixels of a layer's framebuffer that its event may have drawn, in GL window coordinates.
struct drawn_area {
    bool whole = true;
    int x = 0, y = 0, w = 0, h = 0;
};

// The window-space bounding box of the quad with corners `corner` (x, y, z, 1 under the
// current matrices), widened by two pixels for the filtering that composes the layer, or the
// whole framebuffer when a corner lies at or behind the eye. Clipping only shrinks a polygon
// in front of the eye, so the box holds every pixel it covers.
drawn_area projected_area(const float corner[4][3]) {
    drawn_area a;
    GLdouble mv[16], pr[16];
    GLint vp[4];
    glGetDoublev(GL_MODELVIEW_MATRIX, mv);
    glGetDoublev(GL_PROJECTION_MATRIX, pr);
    glGetIntegerv(GL_VIEWPORT, vp);
    double lo[2] = {1e30, 1e30}, hi[2] = {-1e30, -1e30};
    for (int k = 0; k < 4; ++k) {
        double eye[4], clip[4];
        for (int r = 0; r < 4; ++r)
            eye[r] = mv[r] * corner[k][0] + mv[4 + r] * corner[k][1] + mv[8 + r] * corner[k][2] +
                     mv[12 + r];
        for (int r = 0; r < 4; ++r)
            clip[r] =
                pr[r] * eye[0] + pr[4 + r] * eye[1] + pr[8 + r] * eye[2] + pr[12 + r] * eye[3];
        if (!(clip[3] > 1e-6)) return a;
        for (int c = 0; c < 2; ++c) {
            const double win = vp[c] + (clip[c] / clip[3] + 1.0) * 0.5 * vp[2 + c];
            if (!std::isfinite(win)) return a;
            lo[c] = std::min(lo[c], win);
            hi[c] = std::max(hi[c], win);
        }
    }
    // Clamped to the framebuffer before the conversion, which a far corner would overflow.
    const double size[2] = {(double)MOX_FrameBuffer->width, (double)MOX_FrameBuffer->height};
    int from[2], to[2];
    for (int c = 0; c < 2; ++c) {
        from[c] = (int)std::clamp(std::floor(lo[c]) - 2, 0.0, size[c]);
        to[c] = (int)std::clamp(std::ceil(hi[c]) + 2, 0.0, size[c]);
    }
    a.whole = false;
    a.x = from[0];
    a.y = from[1];
    a.w = std::max(0, to[0] - from[0]);
    a.h = std::max(0, to[1] - from[1]);
    return a;
}

drawn_area draw_sprite_3d(c_demo *demo, s_demolayer *layer, const s_sprite &s) {
    const float hx = (float)s.width / (float)demo->renderwidth * 0.4f;
    const float hy = (float)s.height / (float)demo->renderheight * 0.4f;
    glDisable(GL_CULL_FACE);
    MOX_Disable2D();
    HandleCamera();
    glTranslatef(0.5f * demo->GetTransformValue(layer, 0), 0.5f * demo->GetTransformValue(layer, 1),
                 0.5f * demo->GetTransformValue(layer, 2));
    glRotatef(demo->GetTransformValue(layer, 3), 1, 0, 0);
    glRotatef(demo->GetTransformValue(layer, 4), 0, 1, 0);
    glRotatef(demo->GetTransformValue(layer, 5), 0, 0, 1);
    glScalef(demo->GetTransformValue(layer, 6), demo->GetTransformValue(layer, 7),
             demo->GetTransformValue(layer, 8));
    MOX_BindTextureChannel(s.textureid, 0);
    glColor4f(1, 1, 1, 1);
    const float corner[4][3] = {{-hx, hy, 0}, {hx, hy, 0}, {hx, -hy, 0}, {-hx, -hy, 0}};
    const float uv[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    glBegin(GL_QUADS);
    for (int k = 0; k < 4; ++k) glTexCoord2fv(uv[k]), glVertex3fv(corner[k]);
    glEnd();
    return projected_area(corner);
}

// Draws the event into the current framebuffer; returns the pixels it may have drawn.
drawn_area render_event(c_demo *demo, int i, s_effectevent *e) {
    s_demolayer *layer = &demo->layer[i];
    s_demoresource *r = event_resource(demo, e);
    switch (e->type) {
        case EFFECT_IMAGE:
            if (r && r->type == RESOURCE_SPRITE)
                return draw_sprite_3d(demo, layer, demo->resource_sprite[r->id]);
            if (r && r->type == RESOURCE_TEXTURE)
                MOX_DrawScaledBitmap(0, 0, (float)demo->renderwidth, (float)demo->renderheight,
                                     demo->resource_texture[r->id], 1);
            break;
        case EFFECT_SHADER:
            demo->HandleShader(i, e);
            break;
        case EFFECT_FUNCTION:
            if (c_demofunction *f = event_scene(demo, e)) RunScene(demo, f, e);
            break;
        case EFFECT_TEXT:
            if (demo->guifont1)
                MOX_DrawCenteredText(demo->renderheight / 2, *demo->guifont1, "TEXT EVENT");
            break;
        default:
            break;
    }
    return {};
}

}  // namespace

void RunScene(c_demo *demo, c_demofunction *scene, s_effectevent *event) {
    // A production without music still ticks at the usual rate.
    const uint32_t musicrate = demo->demomusic.samplerate;
    const int rate = musicrate > 0 && musicrate <= INT_MAX ? (int)musicrate : 44100;
    const int now = demo->position;
    // Time, markers and position as they were `time` frames into the event.
    auto at = [&](long long time) {
        demo->position = (int)(event->t + time);
        scene->time = (int)time;
        scene->state = markers_passed(demo, event);
    };
    const long long target = SceneTicksAt((long long)now - event->t, rate);
    s_sceneclock &c = scene->clock;
    if (c.event != event || c.start != event->t || c.length != event->length || c.ticks > target) {
        c = {event, event->t, event->length, 0};
        at(0);
        scene->Restart(demo);
    }
    while (c.ticks < target) {
        ++c.ticks;
        // The first sample frame at which tick c.ticks has been reached.
        at(((c.ticks - 1) * rate + SCENE_TICKS_PER_SECOND - 1) / SCENE_TICKS_PER_SECOND);
        scene->Tick(demo);
    }
    at((long long)now - event->t);
    scene->Update(demo, event);
}

void HandleCamera() {
    glLoadIdentity();
    MOX_LookAt(centerX, centerY, centerZ, 0, 0, 0);
    currentframe += 1.0f;
}

void c_demo::Start() {
    position = 0;
    Soundsystem_PlayMusic(&demomusic, 0);
}

bool c_demo::EntryBufferCleared() {
    const int entry = MOX_FrameBuffer ? MOX_FrameBuffer->id : -1;
    if (entry == framebuffer_id) return true;
    if (entry != postbuffer_id) return false;
    for (int i = 0; i < numlayers; ++i) {
        s_demolayer *l = &layer[i];
        const s_effectevent *e = l->visible ? GetEffectEvent(l) : nullptr;
        if (e && e->type == EFFECT_POSTPROCESSING && event_program(this, e) >= 0) return true;
    }
    return false;
}

void c_demo::HandleDemo() {
    position = (int)Soundsystem_GetHeardOffset(demomusic);
    // A full-screen fill is no cheaper than the pass it precedes; where the frame clears
    // this framebuffer before anything reads it, the box could never be seen.
    if (everypass || !EntryBufferCleared())
        MOX_DrawBox(0, 0, renderwidth, renderheight, (int)0xff000000);

    // Layers whose framebuffer is composed this frame. A layer without an event is never
    // composed, so its clear is left out; so is the pass of a layer that would compose to no
    // change: Blend 0 or an event that leaves the framebuffer transparent. A scene left out
    // at Blend 0 loses nothing: its drawing leaves what its ticks evolve alone, and the ticks
    // it missed are caught up when it shows again.
    bool composed[DEMO_MAXLAYERS] = {};
    drawn_area drawn[DEMO_MAXLAYERS];
    for (int i = 0; i < numlayers; ++i) {
        s_demolayer *l = &layer[i];
        if (!l->visible) continue;
        s_effectevent *e = GetEffectEvent(l);
        const bool unseen = !e || draws_nothing(this, e) || ValueIsZero(l, VALUE_BLEND);
        if (unseen && !everypass) continue;
        MOX_SetFrameBuffer(l->framebuffer_id);
        MOX_DisableAlphaBlend();
        if (!e) {
            MOX_ClearFrameBuffer(0xff000000);
            continue;
        }
        box_state();
        if (everypass || tests_depth(this, e))
            MOX_ClearFrameBuffer(0);
        else if (!replaces_framebuffer(this, e))
            MOX_ClearFrameBufferColour(0);
        drawn[i] = render_event(this, i, e);
        composed[i] = true;
    }

    MOX_SetFrameBuffer(framebuffer_id);
    postselected = false;
    // The compositions draw with the depth test off.
    clear_and_box(0xff102030, everypass);
    for (int i = 0; i < numlayers; ++i) {
        s_demolayer *l = &layer[i];
        s_effectevent *e = GetEffectEvent(l);
        if (!e) continue;
        const float blend = GetValue(l, VALUE_BLEND);
        MOX_EnableAlphaBlend(blend);
        if (!l->visible) continue;
        if (e->type == EFFECT_POSTPROCESSING) {
            // Without a usable shader the event is skipped: the composed picture stays
            // selected instead of an empty framebuffer being presented.
            if (event_program(this, e) < 0) continue;
            MOX_DisableRenderState(MOX_STATE_DEPTHTEST);
            HandleShader(i, e);
            MOX_SetFrameBuffer(postbuffer_id);
            // Cleared here, not only when it was the last frame's target: after frames without
            // post-processing it would still hold an old picture.
            MOX_ClearFrameBuffer(0);
            postselected = true;
        } else if (everypass || (composed[i] && blend != 0.0f)) {
            // Weight 0 blends to the pixels already there, and so does a transparent pixel:
            // outside what its event drew, the layer composes to no change.
            const drawn_area &a = drawn[i];
            const bool part = !everypass && !a.whole &&
                              MOX_framebuffers[l->framebuffer_id].width == MOX_FrameBuffer->width &&
                              MOX_framebuffers[l->framebuffer_id].height == MOX_FrameBuffer->height;
            if (part) {
                glScissor(a.x, a.y, a.w, a.h);
                glEnable(GL_SCISSOR_TEST);
            }
            MOX_DrawFrameBuffer(0, 0, renderwidth, renderheight, l->framebuffer_id);
            if (part) glDisable(GL_SCISSOR_TEST);
        }
    }
}

void c_demo::HandleShader(int layernr, s_effectevent *event) {
    const int program = event_program(this, event);
    if (program < 0 || !event->value) return;
    const s_demoresource *r = &resource[event->id];
    const int n = r->numparams - DEMO_BUILTINPARAMS > 0 ? r->numparams - DEMO_BUILTINPARAMS : 0;

    MOX_BindTextureChannel(MOX_FrameBuffer ? MOX_GetFrameBufferTexture(MOX_FrameBuffer->id) : 0, 4);
    for (int j = 3; j >= 0; --j) MOX_BindTextureChannel(channel_texture(this, event->value[j]), j);

    const float seconds =
        demomusic.samplerate ? (float)position / (float)demomusic.samplerate : 0.0f;
    MOX_SetShaderUniform2f(program, "resolution", (float)renderwidth, (float)renderheight);
    MOX_SetShaderUniform1f(program, "time", seconds);
    MOX_SetShaderUniform1f(program, "blend", GetValue(&layer[layernr], VALUE_BLEND));
    MOX_SetShaderUniform1f(program, "beatmultiplier", GetBeatMultiplier());
    MOX_SetShaderUniform1f(program, "effectvalue1", 0.0f);
    MOX_SetShaderUniform1f(program, "effectvalue2", 1.0f);
    for (int i = 0; i < n && DEMO_BUILTINPARAMS + i < DEMO_MAXVALUES; ++i)
        MOX_SetShaderUniform1f(program, r->param[DEMO_BUILTINPARAMS + i],
                               event->value[DEMO_BUILTINPARAMS + i]);
    MOX_SetShaderUniform1i(program, "texture0", 0);
    MOX_SetShaderUniform1i(program, "texture1", 1);
    MOX_SetShaderUniform1i(program, "texture2", 2);
    MOX_SetShaderUniform1i(program, "texture3", 3);
    MOX_SetShaderUniform1i(program, "prevPass", 4);

    // Installed with the editor shown too: its preview is the frame as presented.
    if (event->type == EFFECT_POSTPROCESSING) {
        MOX_SetPostShader(program);
        // Setting the uniforms left the program bound; the layers composed after this one
        // are drawn without it.
        MOX_UnbindShader();
        return;
    }
    MOX_BindShader(program);
    MOX_DrawQuad(0, 0, (float)renderwidth, (float)renderheight, 0, 0, 1, 1);
    MOX_UnbindShader();
}
