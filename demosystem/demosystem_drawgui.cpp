// Editor drawing: the editor screen in its own framebuffer, with the demo's picture as a
// preview, the timeline block (marker strip, waveform, one row per layer with its events and
// keys), the properties panel, the resource list and the cursor. Every index read from the
// tables is checked before use, and a missing font draws no text. Program thread only.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "core/coredebug.h"
#include "demosystem/demosystem.h"
#include "demosystem/demosystem_grid.h"
#include "mox/mox.h"

namespace {

// Effect events by type modulo 7, markers by type AND 3 (0xAARRGGBB).
constexpr unsigned FENTRO_COLOR_EVENT[7] = {0xff303030, 0xff203050, 0xff302050, 0xff305020,
                                            0xff502030, 0xff205030, 0xff503020};
constexpr unsigned FENTRO_COLOR_MARKERTYPE[4] = {0xffffffff, 0xff80ff80, 0xff8080ff, 0xff80ffff};

constexpr int COLOR_CLEAR = 0xff101010;  // 0xAABBGGRR, grey: same in both orders
constexpr int COLOR_BACKGROUND = 0xff202020;
constexpr int COLOR_BLACK = 0xff000000;
constexpr int COLOR_WHITE = 0xffffffff;
constexpr int COLOR_POSITION = 0xff4040ff;
constexpr int COLOR_MARKERAREA = 0xff402020;
constexpr int COLOR_SELECTED = 0xffff0000;
constexpr int COLOR_CURVE = 0xff00ff00;
constexpr int COLOR_CAMERA = 0xffffff00;
constexpr int COLOR_TRANSFORM = 0xff2080ff;
constexpr int COLOR_PICKED = 0xff405060;
constexpr int COLOR_BAR = 0xffa0a0a0;
constexpr int COLOR_BEAT = 0xff505050;
constexpr int COLOR_STEP = 0xff383838;
// Message marks by log level: error, warning, anything else.
constexpr int COLOR_MESSAGE[3] = {(int)0xffff4040, (int)0xffffc040, (int)0xff40c040};
constexpr int COLOR_MESSAGEBOX = 0xc0000000;
// Waveform pixels in the bitmap's memory order 0xAABBGGRR: 0xff00ffff and white.
constexpr unsigned WAVE_BAR = 0xffffff00u;
constexpr unsigned WAVE_ZERO = 0xffffffffu;

constexpr int ROW = 64;  // layer row height
constexpr int MARKERSTRIP = 32;
constexpr int PREVIEW_X = 384, PREVIEW_Y = 64;
constexpr int LINE_STEP = 40;  // properties and help lines
constexpr int LIST_ROWS = 16, LIST_STEP = 32;
constexpr int PICTURE_W = 320, PICTURE_H = 240;
constexpr int MESSAGE_STEP = 36;  // on-screen message lines, upwards from the timeline
constexpr int SILENT_RATE = 44100;
constexpr int RULER_MINGAP = 4;  // grid lines closer than this many pixels are left out

const char *const CREDIT_LINE = "FENTRO v0.2b - timeline editor";

const char *const HELP_LINES[] = {"L/R=Move Item/Position",
                                  "U/D=Change Item/Zoom",
                                  "+CTRL to Snap",
                                  "+SHIFT to switch selection",
                                  "",
                                  "SPACE=Resume/Pause",
                                  "ENTER/RMB=Cancel",
                                  "TAB=Add Item",
                                  "BACK/DEL=Delete Item",
                                  "Z=Save Project",
                                  "X=Clear Project",
                                  "U=Undo  R/Y=Redo  ESC=Quit"};

// Short names of resource types in the list; sounds and unknown types show none.
const char *resource_type_name(int type) {
    switch (type) {
        case RESOURCE_TEXTURE: return "Texture";
        case RESOURCE_SPRITE: return "Sprite";
        case RESOURCE_MESH: return "Mesh";
        case RESOURCE_SHADER: return "Shader";
        case RESOURCE_FUNCTION: return "Func";
        case RESOURCE_SPRITESHEET: return "Sheet";
        case RESOURCE_POSTSHADER: return "Post";
        default: return "";
    }
}

template <size_t N>
const char *table_name(const char *const (&table)[N], int i) {
    return i >= 0 && i < (int)N ? table[i] : "";
}

// Counts kept in range, whatever a project or a test left in them.
int bounded(int n, int cap) { return std::clamp(n, 0, cap); }

bool typed_id_ok(int id) { return id >= 0 && id < DEMO_MAXRESOURCES; }

// printf-style text; nothing without a font.
__attribute__((format(printf, 4, 5))) void text(int x, int y, const s_font *font,
                                                const char *format, ...) {
    if (!font) return;
    char line[256];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    MOX_DrawText(x, y, *font, "%s", line);
}

// x of time t on the timeline. Done in 64 bits and held far outside the screen, so that
// extreme times neither overflow nor reach the drawing calls as huge coordinates.
int time_x(long long t, int position, int scale, int timelinex) {
    const long long x = timelinex + (t - position) / scale;
    return (int)std::clamp(x, -(1LL << 24), 1LL << 24);
}

// Row offset of a value key: 0.0 lies 56 pixels, 1.0 lies 8 pixels below the row's top.
// Values far outside 0..1 (or not numbers) are held where they still lie off the row.
int value_y(float value) {
    if (std::isnan(value)) value = 0.0f;
    return 56 - (int)(std::clamp(value, -1000.0f, 1000.0f) * 48);
}

// Sample value of the music at index i, 16-bit range; 0 outside the buffer.
int music_sample(const s_sound &music, long long i) {
    if (!music.buffer || i <= 0) return 0;
    const int bytes = music.bits == 8 ? 1 : 2;
    const long long count = std::min<long long>(music.length, music.size / bytes);
    if (i >= count) return 0;
    if (bytes == 1) return (((const uint8_t *)music.buffer)[i] - 128) * 256;
    return ((const int16_t *)music.buffer)[i];
}

}  // namespace

// Presents the frame HandleDemo left, as the player would to the window (through the
// presentation shader a post-processing event installed), into the preview framebuffer, and
// returns the framebuffer to show as the preview. Without a preview framebuffer (the table was
// full, or framebuffer objects are missing) the composed frame is shown as it is. The editor
// screen itself is presented without the shader.
int c_demo::PresentPreview() {
    const int shown = ShownBuffer();
    const int target = gui_previewbuffer_id;
    const bool usable = MOX_framebuffers_enabled && target > 0 && target < MOX_numframebuffers &&
                        shown >= 0 && shown < MOX_numframebuffers && target != shown &&
                        MOX_framebuffers[target].width == MOX_video.width &&
                        MOX_framebuffers[target].height == MOX_video.height;
    if (usable) {
        MOX_SetFrameBuffer(shown);
        MOX_SetPresentTarget(target);
        MOX_SwapBuffers();
        MOX_SetPresentTarget(-1);
    }
    MOX_SetPostShader(-1);
    return usable ? target : framebuffer_id;
}

void c_demo::DrawGUI() {
    const long long offset = (long long)Soundsystem_GetHeardOffset(demomusic);
    position = (int)std::min<long long>(offset, INT_MAX);
    const int layers = bounded(numlayers, DEMO_MAXLAYERS);
    const int blockheight = (layers + 2) * ROW + MARKERSTRIP;
    gui_timeliney = gui_height - blockheight;
    // Without its framebuffer the editor would paint over whatever is current.
    if (gui_framebuffer_id < 0 || gui_framebuffer_id >= MOX_numframebuffers) return;

    const int preview = PresentPreview();
    MOX_SetFrameBuffer(gui_framebuffer_id);
    MOX_ClearFrameBuffer(COLOR_CLEAR);
    MOX_DisableAlphaBlend();
    MOX_DisableRenderState(MOX_STATE_ALPHATEST);
    MOX_DrawBox(0, 0, gui_width, gui_height, COLOR_BACKGROUND);

    const int previewwidth = gui_width - 2 * PREVIEW_X;
    if (previewwidth > 0 && renderwidth > 0 && renderheight > 0) {
        // Held below 2^24 pixels: the render size comes from the project file.
        const float height = (float)previewwidth * (float)renderheight / (float)renderwidth;
        const int previewheight = (int)std::min(height, (float)(1 << 24));
        MOX_DrawFrameBuffer(PREVIEW_X, PREVIEW_Y, previewwidth, previewheight, preview);
    }

    if (guifont2) MOX_DrawCenteredText(0, *guifont2, "%s", CREDIT_LINE);
    // A star after the title while there are changes that are not saved.
    text(4, 0, guifont1, "%s (%d,%d)%s", title, renderwidth, renderheight,
         Unsaved() ? " *" : "");

    // Play time: the music's rate turns frames into minutes, seconds and hundredths; without
    // music the timeline runs at the usual rate for the project's length.
    const bool silent = gui_silentmusic || !HasMusic();
    const uint64_t rate = silent ? SILENT_RATE : demomusic.samplerate;
    const uint64_t frames = (uint64_t)std::max(position, 0);
    const int minutes = (int)(frames / (rate * 60));
    const int seconds = (int)(frames / rate % 60);
    const int hundredths = (int)(frames * 100 / rate % 100);
    const int length = silent ? (int)(TimelineEnd() / rate) : duration;
    text(gui_width - PREVIEW_X, 0, guifont1, "%02d:%02d.%02d / %02d:%02d.%02d%s", minutes,
         seconds, hundredths, length / 60, length % 60, 0, silent ? " no music" : "");

    DrawSoundWave();
    MOX_DrawBox(0, gui_timeliney, gui_width, blockheight, COLOR_BACKGROUND);
    MOX_DrawBox(0, gui_timeliney + MARKERSTRIP, gui_width, blockheight - MARKERSTRIP, COLOR_BLACK);
    if (bmp_waveform.textureid)
        MOX_DrawBitmap(gui_timelinex, gui_timeliney + MARKERSTRIP, bmp_waveform);

    DrawRuler();
    DrawTimeLine();
    DrawMarkers();

    const int slider = gui_timelinex + gui_sliderx;
    MOX_DrawBox(slider - 2, gui_timeliney, 4, blockheight, COLOR_POSITION);
    MOX_DrawBox(slider - 16, gui_timeliney, 32, 32, COLOR_POSITION);

    DrawProperties(0);
    DrawResources();
    DrawMessages();
    DrawCursor();
}

void c_demo::DrawMessages() {
    s_guimessage shown[GUI_MAXMESSAGES];
    const int n = ShownMessages(shown, MOX_GetMillis());
    // Newest lowest, just above the marker numbers over the timeline.
    int y = gui_timeliney - 16 - MESSAGE_STEP * n;
    for (int i = 0; i < n; i++, y += MESSAGE_STEP) {
        const int width = (int)strlen(shown[i].text) * 16 + 40;
        MOX_DrawBox(PREVIEW_X, y, std::min(width, gui_width - 2 * PREVIEW_X), MESSAGE_STEP - 4,
                    COLOR_MESSAGEBOX);
        MOX_DrawBox(PREVIEW_X + 4, y + 8, 16, 16,
                    COLOR_MESSAGE[std::clamp(shown[i].level, (int)LOG_ERROR, (int)LOG_PROGRESS)]);
        text(PREVIEW_X + 28, y + 4, shown[i].level <= LOG_WARNING ? guifont1 : guifont2, "%s",
             shown[i].text);
    }
}

void c_demo::DrawSoundWave() {
    const int height = bmp_waveform.height;
    const int width = bmp_waveform.width;
    if (!bmp_waveform.data || width <= 0 || height <= 0) return;
    const int centery = (int)(gui_waveformheight * 0.6);
    const int scale = std::max(1, (int)(gui_zoom * 64));
    const int nc = demomusic.numchannels;
    // The start steps in whole pixels of time, so the picture stays still between them.
    const long long start = (long long)position * nc / scale * scale;
    const bool zero_line = centery >= 0 && centery < height;

    // Written straight into the pixel buffer and uploaded once.
    unsigned *data = bmp_waveform.data;
    memset(data, 0, (size_t)width * height * sizeof *data);
    const double amplitude = gui_waveformheight * 0.6 / 32768;
    long long soundoffset = start;
    const long long step = (long long)scale * nc;
    for (int x = 0; x < width; x++) {
        const int sample =
            soundoffset < demomusic.length ? music_sample(demomusic, soundoffset) : 0;
        soundoffset += step;
        const int y = (int)(centery + sample * amplitude);
        const int from = std::max(0, std::min(y, centery));
        const int to = std::min(height, std::max(y, centery));
        for (int row = from; row < to; row++) data[(size_t)row * width + x] = WAVE_BAR;
        if (zero_line) data[(size_t)centery * width + x] = WAVE_ZERO;
    }
    MOX_UpdateBitmap(bmp_waveform);
}

void c_demo::DrawTimeLine() {
    const int scale = std::max(1, (int)(gui_zoom * 64));
    const int layers = bounded(numlayers, DEMO_MAXLAYERS);
    int ssy = gui_height - ROW;
    for (int i = 0; i < layers; i++, ssy -= ROW) {
        s_demolayer &dl = layer[i];
        const s_font *font = dl.visible ? guifont1 : guifont2;
        const bool this_layer = gui_selected_layer == i;
        const int numevents = bounded(dl.numevents, DEMO_MAXEVENTS);
        const int numvalue = bounded(dl.numevents_value, DEMO_MAXKEYS);
        const int numtransform = bounded(dl.numevents_transform, DEMO_MAXKEYS);
        const int numcamera = bounded(dl.numevents_camera, DEMO_MAXKEYS);
        auto x_of = [&](long long t) { return time_x(t, position, scale, gui_timelinex); };

        MOX_DrawBox(gui_timelinex + 4, ssy + 2, gui_width - gui_timelinex + 8, 60,
                    COLOR_BACKGROUND);

        // Parent of the selected transform key, when it is one of this layer's.
        int selected_parent = -1;
        if (this_layer && gui_selected_eventtype == EDIT_TRANSFORM && gui_selected_event >= 0 &&
            gui_selected_event < numtransform)
            selected_parent = dl.event_transform[gui_selected_event].parent;

        for (int e = 0; e < numevents; e++) {
            const s_effectevent &ev = dl.event[e];
            const int sx = x_of(ev.t);
            const int eventwidth = (int)std::clamp(ev.length / scale, -(1 << 24), 1 << 24);
            if (!(gui_timelinex - eventwidth < sx && sx < gui_width)) continue;
            MOX_DrawBox(sx + 4, ssy, eventwidth, ROW, COLOR_BLACK);
            if (this_layer && gui_selected_eventtype == EDIT_EFFECT && gui_selected_event == e)
                MOX_DrawBox(sx, ssy, eventwidth - 4, ROW, COLOR_WHITE);
            if (selected_parent == e) MOX_DrawBox(sx, ssy, eventwidth - 4, ROW, COLOR_SELECTED);
            MOX_DrawBox(sx + 4, ssy + 4, eventwidth - 8, 56,
                        (int)FENTRO_COLOR_EVENT[((ev.type % 7) + 7) % 7]);
            const char *name = ev.id >= 0 && ev.id < bounded(numresources, DEMO_MAXRESOURCES)
                                   ? resource[ev.id].name
                                   : "";
            text(sx + 4, ssy + 4, font, "[%s]   %s", table_name(text_effecttype, ev.type), name);
        }

        // The value keys of a layer form one curve, whatever their type.
        for (int v = 0; v + 1 < numvalue; v++) {
            const s_valueevent &k1 = dl.event_value[v];
            const s_valueevent &k2 = dl.event_value[v + 1];
            const int sx = x_of(k1.t);
            const int sx2 = x_of(k2.t);
            if (!(gui_timelinex < sx2 && sx < gui_width)) continue;
            const int y1 = ssy + value_y(k1.value);
            const int y2 = ssy + value_y(k2.value);
            MOX_DrawLine(sx, y1 - 1, sx2, y2 - 1, COLOR_WHITE);
            MOX_DrawLine(sx, y1 + 1, sx2, y2 + 1, COLOR_BLACK);
            MOX_DrawLine(sx, y1, sx2, y2, COLOR_CURVE);
            MOX_DrawBox(sx - 6, y1 - 6, 12, 12, COLOR_BLACK);
            MOX_DrawBox(sx2 - 6, y2 - 6, 12, 12, COLOR_BLACK);
            const bool value_selected = this_layer && gui_selected_eventtype == EDIT_VALUE;
            MOX_DrawBox(sx - 4, y1 - 4, 8, 8,
                        value_selected && gui_selected_event == v ? COLOR_SELECTED : COLOR_WHITE);
            MOX_DrawBox(
                sx2 - 4, y2 - 4, 8, 8,
                value_selected && gui_selected_event == v + 1 ? COLOR_SELECTED : COLOR_WHITE);
        }

        for (int c = 0; c < numcamera; c++) {
            const int sx = x_of(dl.event_camera[c].t);
            if (!(gui_timelinex <= sx && sx < gui_width)) continue;
            const bool selected =
                this_layer && gui_selected_eventtype == EDIT_CAMERA && gui_selected_event == c;
            MOX_DrawBox(sx, ssy + 8, 16, 48, COLOR_BLACK);
            MOX_DrawBox(sx + 2, ssy + 10, 12, 44, selected ? COLOR_SELECTED : COLOR_CAMERA);
        }

        HoldTransformKeys(&dl);
        for (int k = 0; k < numtransform; k++) {
            const s_transformevent &key = dl.event_transform[k];
            const int sx = x_of(key.t);
            if (!(gui_timelinex <= sx && sx < gui_width)) continue;
            const bool selected =
                this_layer && gui_selected_eventtype == EDIT_TRANSFORM && gui_selected_event == k;
            MOX_DrawBox(sx, ssy + 24, 16, 16, selected ? COLOR_SELECTED : COLOR_TRANSFORM);
            MOX_DrawBox(sx, ssy + 24, 4, 4, COLOR_BLACK);
            MOX_DrawBox(sx + 12, ssy + 24, 4, 4, COLOR_BLACK);
            MOX_DrawBox(sx, ssy + 36, 4, 4, COLOR_BLACK);
            MOX_DrawBox(sx + 12, ssy + 36, 4, 4, COLOR_BLACK);
        }

        MOX_DrawBox(0, ssy, gui_timelinex, ROW, this_layer ? COLOR_BACKGROUND : COLOR_BLACK);
        text(4, ssy + 8, font, "[%d] %s", i + 1, dl.name);
    }
    text(4, gui_timeliney + MARKERSTRIP, guifont1, "Zoom: %.2f", gui_zoom);
    text(4, gui_timeliney + MARKERSTRIP + 40, guifont2, "Grid: %s", GridDivisionName(gui_snap));
}

void c_demo::DrawRuler() {
    const int scale = std::max(1, (int)(gui_zoom * 64));
    const int rate = GridRate(*this);
    const double beat = GridBeatFrames(bpm, rate);
    if (beat <= 0) return;
    const double step = GridStepFrames(bpm, rate, gui_snap);
    const int top = gui_timeliney + MARKERSTRIP;
    const int band = std::max(gui_waveformheight, 0);
    // One pass per kind of line, finest first, so that bars end up on top.
    struct s_lines {
        double spacing;
        int height, colour;
    } kinds[3] = {{step, band / 8, COLOR_STEP},
                  {beat, band / 4, COLOR_BEAT},
                  {beat * GRID_BEATSPERBAR, band, COLOR_BAR}};
    const double first = position;
    const double last = position + (double)(gui_width - gui_timelinex) * scale;
    for (const s_lines &k : kinds) {
        if (k.spacing <= 0 || k.spacing / scale < RULER_MINGAP) continue;
        for (double n = std::ceil(first / k.spacing); n * k.spacing <= last; n += 1) {
            const long long t = (long long)std::floor(n * k.spacing + 0.5);
            const int x = time_x(t, position, scale, gui_timelinex);
            if (x < gui_timelinex || x >= gui_width) continue;
            MOX_DrawBox(x, top, k.colour == COLOR_BAR ? 2 : 1, k.height, k.colour);
            if (k.colour == COLOR_BAR)
                text(x + 4, top, guifont2, "%lld", (long long)n + 1);
        }
    }
}

void c_demo::HoldTransformKeys(s_demolayer *dl) {
    const int numevents = bounded(dl->numevents, DEMO_MAXEVENTS);
    for (int k = 0; k < bounded(dl->numevents_transform, DEMO_MAXKEYS); k++) {
        s_transformevent &key = dl->event_transform[k];
        // A key stays inside its parent effect event (a parent that is no event of the layer
        // holds nothing).
        if (key.parent < 0 || key.parent >= numevents) continue;
        const s_effectevent &p = dl->event[key.parent];
        const long long end = (long long)p.t + p.length;
        if (key.t < p.t) key.t = p.t;
        if (key.t > end) key.t = (int)std::clamp<long long>(end, INT_MIN, INT_MAX);
    }
}

void c_demo::DrawMarkers() {
    const int scale = std::max(1, (int)(gui_zoom * 64));
    if (gui_selected_markerarea > 0)
        MOX_DrawBox(gui_timelinex, gui_timeliney, gui_width - gui_timelinex, MARKERSTRIP,
                    COLOR_MARKERAREA);
    const int count = bounded(nummarkers, DEMO_MAXMARKERS);
    for (int i = 0; i < count; i++) {
        const int sx = time_x(marker[i].t, position, scale, gui_timelinex);
        if (!(gui_timelinex <= sx && sx < gui_width)) continue;
        if (i == gui_selected_marker)
            MOX_DrawBox(sx, gui_timeliney, 24, MARKERSTRIP, COLOR_SELECTED);
        MOX_DrawBox(sx + 4, gui_timeliney + 4, 16, 24,
                    (int)FENTRO_COLOR_MARKERTYPE[marker[i].type & 3]);
        text(sx + 30, gui_timeliney - 12, guifont1, "%d", i);
    }
}

void c_demo::DrawCursor() {
    if (gui_selected_resource >= 0) {
        MOX_DrawBox(gui_cursorx - 128, gui_cursory, 256, 48, COLOR_PICKED);
        if (gui_selected_resource < bounded(numresources, DEMO_MAXRESOURCES))
            text(gui_cursorx - 126, gui_cursory, guifont1, "%s",
                 resource[gui_selected_resource].name);
        return;
    }
    if (spr_guicursor) MOX_DrawSprite(gui_cursorx, gui_cursory, *spr_guicursor);
    MOX_DrawBox(gui_cursorx, gui_cursory, 16, 16, COLOR_WHITE);
}

s_font *c_demo::SelectParamFont(int id) {
    return gui_selected_parameter == id ? guifont1 : guifont2;
}

void c_demo::DrawProperties(int) {
    const int x = gui_detailsx + 4;
    const int resources = bounded(numresources, DEMO_MAXRESOURCES);
    auto line_y = [&](int n) { return gui_detailsy + 64 + LINE_STEP * n; };

    if (gui_selected_resource >= 0) {
        text(gui_detailsx, gui_detailsy, guifont1, "Resource Properties:");
        if (gui_selected_resource >= resources) return;
        const s_demoresource &r = resource[gui_selected_resource];
        text(x, gui_detailsy + 64, guifont2, "Name: %s", r.name);
        text(x, gui_detailsy + 96, guifont2, "Filename: %s", r.filename);
        if (r.type == RESOURCE_SPRITE && typed_id_ok(r.id))
            MOX_DrawScaledSprite(x, gui_detailsy + 128, PICTURE_W, PICTURE_H, resource_sprite[r.id],
                                 1);
        return;
    }

    if (gui_selected_eventtype != 0) {
        // A selection left behind by an emptied table has nothing to show.
        if (gui_selected_layer < 0 || gui_selected_layer >= bounded(numlayers, DEMO_MAXLAYERS))
            return;
        s_demolayer &dl = layer[gui_selected_layer];
        const int n = gui_selected_event;
        switch (gui_selected_eventtype) {
            case EDIT_EFFECT: {
                if (n < 0 || n >= bounded(dl.numevents, DEMO_MAXEVENTS)) return;
                s_effectevent &e = dl.event[n];
                text(gui_detailsx, gui_detailsy, guifont1, "Event %d - %s", n,
                     table_name(text_effecttype, e.type));
                const s_demoresource *d = e.id >= 0 && e.id < resources ? &resource[e.id] : nullptr;
                int top = 0;  // extra offset of the lines below a picture
                if (e.type == EFFECT_IMAGE) {
                    if (d && typed_id_ok(d->id)) {
                        if (d->type == RESOURCE_TEXTURE)
                            MOX_DrawScaledBitmap(x, line_y(0), PICTURE_W, PICTURE_H,
                                                 resource_texture[d->id], 1);
                        else
                            MOX_DrawScaledSprite(x, line_y(0), PICTURE_W, PICTURE_H,
                                                 resource_sprite[d->id], 1);
                    }
                    top = PICTURE_H;
                }
                text(x, top + line_y(0), SelectParamFont(0), "Time: %d", e.t);
                text(x, top + line_y(1), SelectParamFont(1), "Length: %d", e.length);
                const int values = PanelValueLines(e);
                if (values == 0) return;
                // The event carries as many values as its descriptor names.
                e.numvalues = values;
                for (int i = 0; i < values; i++) {
                    const char *param = d->param[i] ? d->param[i] : "";
                    const float v = e.value[i];
                    if (i < DEMO_BUILTINPARAMS) {
                        // The first four values name resources by index.
                        const char *name =
                            v >= 0.0f && v < (float)resources ? resource[(int)v].name : "";
                        text(x, top + line_y(i + 2), SelectParamFont(i + 2), "%s: %s", param, name);
                    } else {
                        text(x, top + line_y(i + 2), SelectParamFont(i + 2), "%s: %.2f", param, v);
                    }
                }
                return;
            }
            case EDIT_VALUE: {
                if (n < 0 || n >= bounded(dl.numevents_value, DEMO_MAXKEYS)) return;
                const s_valueevent &v = dl.event_value[n];
                text(gui_detailsx, gui_detailsy, guifont1, "Value Event: %d", n);
                text(x, line_y(0), SelectParamFont(0), "Time: %d", v.t);
                text(x, line_y(1), SelectParamFont(1), "Type: %s",
                     table_name(text_valuetype, v.type));
                text(x, line_y(2), SelectParamFont(2), "Curvetype: %s",
                     table_name(text_curvetype, v.curvetype));
                text(x, line_y(3), SelectParamFont(3), "Value %.2f", v.value);
                return;
            }
            case EDIT_TRANSFORM: {
                if (n < 0 || n >= bounded(dl.numevents_transform, DEMO_MAXKEYS)) return;
                const s_transformevent &k = dl.event_transform[n];
                text(gui_detailsx, gui_detailsy, guifont1, "Transform Event: %d", n);
                text(x, line_y(0), SelectParamFont(0), "Time: %d", k.t);
                text(x, line_y(1), SelectParamFont(1), "Curvetype: %s",
                     table_name(text_curvetype, k.curvetype));
                const char *const labels[9] = {"Transform X", "Transform Y", "Transform Z",
                                               "Rotate X",    "Rotate Y",    "Rotate Z",
                                               "Scale X",     "Scale Y",     "Scale Z"};
                const float values[9] = {k.x,    k.y,      k.z,      k.rotx,  k.roty,
                                         k.rotz, k.scalex, k.scaley, k.scalez};
                for (int i = 0; i < 9; i++)
                    text(x, line_y(i + 2), SelectParamFont(i + 2), "%s: %.2f", labels[i],
                         values[i]);
                text(x, line_y(11), SelectParamFont(11), "Parent: %d", k.parent);
                return;
            }
            case EDIT_CAMERA: {
                if (n < 0 || n >= bounded(dl.numevents_camera, DEMO_MAXKEYS)) return;
                const s_cameraevent &c = dl.event_camera[n];
                text(gui_detailsx, gui_detailsy, guifont1, "Camera Event: %d", n);
                text(x, line_y(0), SelectParamFont(0), "Time: %d", c.t);
                const char *const labels[7] = {"FOV",      "Position X", "Position Y", "Position Z",
                                               "Target X", "Target Y",   "Target Z"};
                const float values[7] = {c.fov, c.x, c.y, c.z, c.targetx, c.targety, c.targetz};
                for (int i = 0; i < 7; i++)
                    text(x, line_y(i + 1), SelectParamFont(i + 1), "%s: %.2f", labels[i],
                         values[i]);
                return;
            }
            default: return;
        }
    }

    text(gui_detailsx, gui_detailsy, guifont1, "How to use:");
    int y = gui_detailsy + 48;
    for (const char *line : HELP_LINES) {
        text(gui_detailsx, y, guifont2, "%s", line);
        y += LINE_STEP;
    }
}

void c_demo::DrawResources() {
    text(gui_resourcex, gui_resourcey, guifont1, "Resources:");
    const int resources = bounded(numresources, DEMO_MAXRESOURCES);
    for (int k = 0; k < LIST_ROWS; k++) {
        const int i = gui_resourcestart + k;
        if (i >= resources) break;
        if (i < 0) continue;
        const s_demoresource &r = resource[i];
        const int y = gui_resourcey + 64 + LIST_STEP * k;
        if (r.loadOK == 0) MOX_DrawBox(gui_resourcex, y + 24, 16, 16, COLOR_SELECTED);
        const s_font *font = i == gui_selected_resource ? guifont1 : guifont2;
        text(gui_resourcex, y, font, "%02d", r.id);
        text(gui_resourcex + 48, y, font, "%s", resource_type_name(r.type));
        text(gui_resourcex + 180, y, font, "%s", r.name);
    }
}
