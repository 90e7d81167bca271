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
#include <string>
#include <vector>

#include "core/coredebug.h"
#include "demosystem/demosystem.h"
#include "demosystem/demosystem_grid.h"
#include "demosystem/demosystem_layout.h"
#include "demosystem/demosystem_reload.h"
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
constexpr int COLOR_LOOP = 0xff40d060;
constexpr int COLOR_LOOPOFF = 0xff707070;
// Value tracks in the curve view, by value type.
constexpr int COLOR_TRACK[5] = {(int)0xffc0c0c0, (int)0xff00ff00, (int)0xffffc040, (int)0xff40c0ff,
                                (int)0xffff60ff};
constexpr int COLOR_BEAT = 0xff505050;
constexpr int COLOR_STEP = 0xff383838;
constexpr int COLOR_HELPBACK = 0xf0101820;
// Message marks by log level: error, warning, anything else.
constexpr int COLOR_MESSAGE[3] = {(int)0xffff4040, (int)0xffffc040, (int)0xff40c040};
constexpr int COLOR_MESSAGEBOX = 0xc0000000;
// Waveform pixels in the bitmap's memory order 0xAABBGGRR: 0xff00ffff and white.
constexpr unsigned WAVE_BAR = 0xffffff00u;
constexpr unsigned WAVE_ZERO = 0xffffffffu;

// Design sizes (pixels of the 1920 x 1080 screen), scaled through the layout.
constexpr int PREVIEW_X = 384;
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
                                  "U=Undo  R/Y=Redo  ESC=Quit",
                                  "F1=All keys and mouse"};

// The help screen: '#' starts a heading.
const char *const HELP_SCREEN[] = {"#Play and view",
                                   "Space: pause / resume    Enter, 1: pause",
                                   "Left/Right held: scrub (nothing selected)",
                                   "Ctrl+Left/Right: previous / next marker",
                                   "Up/Down held: zoom    Ctrl+Up/Down: zoom by 1",
                                   "Shift+Up/Down: scroll the resource list",
                                   "Wheel: scroll in time    Ctrl+Wheel: zoom",
                                   "Click or drag on the waveform: seek",
                                   "Tab: hide / show the editor (nothing selected)",
                                   "#Select",
                                   "Click: select a marker, layer, event or key",
                                   "Shift+Click: add to / take from the selection",
                                   "Drag on a layer's empty part: box select",
                                   "Shift+Drag: box adds to the selection",
                                   "Right click, Space, Enter: select nothing",
                                   "Shift+Left/Right: previous / next entry",
                                   "#Edit",
                                   "Drag an event or key: move it (all selected)",
                                   "Drag an event's end: change its length",
                                   "Up/Down: choose a line  Left/Right: change",
                                   "Ctrl+Left/Right: snap to markers",
                                   "Tab: value key at the cursor (layer selected)",
                                   "Ctrl+Tab, Alt, C: transform key",
                                   "Delete, Backspace, 2: delete the selection",
                                   "Shift+Delete: delete all of that kind",
                                   "Ctrl+C copy  Ctrl+X cut  Ctrl+V paste",
                                   "Ctrl+D: duplicate after the selection",
                                   "U: undo    R, Y: redo",
                                   "#Markers",
                                   "Click the marker strip, Tab: add a marker",
                                   "Drag a marker: move it alone",
                                   "Left/Right held: move between neighbours",
                                   "Shift+Up/Down: change its kind",
                                   "Ctrl+Left/Right: move all markers",
                                   "#Layers",
                                   "Click the label: show / hide the layer",
                                   "H: show / hide the selected layer",
                                   "F2: rename (type, Enter keeps, Escape drops)",
                                   "Page Up/Down: move the layer up / down",
                                   "#Grid, loop and values",
                                   "G: grid of 1, 1/2, 1/4, 1/8, 1/3 beat, off (Shift: back)",
                                   "B: times as bars:beats or as seconds",
                                   "I / O: loop start / end here (Ctrl: at the mouse)",
                                   "L: loop on / off",
                                   "E: type the selected value (Enter sets, Escape drops)",
                                   "- / =: value -/+ 0.01    [ / ]: value -/+ 1",
                                   "K: next curve type of the selected keys (Shift: back)",
                                   "W: value tracks drawn as their curves",
                                   "Shaders and images saved in the folder reload live",
                                   "#Project",
                                   "Z: save    X: clear markers and events",
                                   "Shift+X: markers only  Alt+X: events only",
                                   "Escape: quit (asks once with unsaved edits)",
                                   "F1: this list"};

// Short names of resource types in the list; sounds and unknown types show none.
const char *resource_type_name(int type) {
    switch (type) {
        case RESOURCE_TEXTURE:
            return "Texture";
        case RESOURCE_SPRITE:
            return "Sprite";
        case RESOURCE_MESH:
            return "Mesh";
        case RESOURCE_SHADER:
            return "Shader";
        case RESOURCE_FUNCTION:
            return "Func";
        case RESOURCE_SPRITESHEET:
            return "Sheet";
        case RESOURCE_POSTSHADER:
            return "Post";
        default:
            return "";
    }
}

template <size_t N>
const char *table_name(const char *const (&table)[N], int i) {
    return i >= 0 && i < (int)N ? table[i] : "";
}

// Counts kept in range, whatever a project or a test left in them.
int bounded(int n, int cap) { return std::clamp(n, 0, cap); }

bool typed_id_ok(int id) { return id >= 0 && id < DEMO_MAXRESOURCES; }

// Size of the text drawn by text(): the layout's scale of the frame being drawn.
float textscale = 1.0f;

// Width of a line of text at the current text scale.
int text_width(const s_font &font, const char *line) {
    float w = 0;
    for (const char *p = line; *p; p++) {
        const int i = (int8_t)(uint8_t)((uint8_t)*p - 31);
        if (i >= 0 && i < MOX_FONTGLYPHS) w += (font.fontwidth[i] + font.spacing) * textscale;
    }
    return (int)w;
}

// Draws a line at the current text scale: at design size as the font layer draws it, else
// glyph by glyph, each scaled.
void draw_line(int x, int y, const s_font &font, const char *line) {
    if (textscale == 1.0f) {
        MOX_DrawText(x, y, font, "%s", line);
        return;
    }
    float cx = (float)x;
    for (const char *p = line; *p; p++) {
        const int i = (int8_t)(uint8_t)((uint8_t)*p - 31);
        // The glyphs the font layer draws: '\x1f' .. '|', the space only advancing.
        if (i < 0 || i > 93) continue;
        const float advance = (float)font.fontwidth[i] * textscale;
        if (i > 0 && font.fontwidth[i] > 0)
            MOX_DrawScaledSprite((int)cx, y, advance, (float)font.height * textscale,
                                 font.fontchar[i], 1);
        cx += advance + (i == 1 ? 0.0f : font.spacing * textscale);
    }
}

// printf-style text; nothing without a font.
__attribute__((format(printf, 4, 5))) void text(int x, int y, const s_font *font,
                                                const char *format, ...) {
    if (!font) return;
    char line[256];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    draw_line(x, y, *font, line);
}

// Row offset of a value key: 0.0 lies 56 design pixels, 1.0 lies 8 below the row's top.
// Values far outside 0..1 (or not numbers) are held where they still lie off the row.
int value_y(const s_guilayout &L, float value) {
    if (std::isnan(value)) value = 0.0f;
    return (int)std::lround((56 - (int)(std::clamp(value, -1000.0f, 1000.0f) * 48)) * L.scale);
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

s_guilayout c_demo::Layout() const {
    return GuiLayout(gui_width, gui_height, bounded(numlayers, DEMO_MAXLAYERS), renderwidth,
                     renderheight, gui_zoom, position);
}

void c_demo::ApplyLayout(const s_guilayout &L) {
    gui_layerheight = L.row;
    gui_waveformheight = L.waveform;
    gui_timelinex = L.timelinex;
    gui_timeliney = L.timeliney;
    gui_sliderx = L.sliderx;
    gui_detailsx = L.detailsx;
    gui_detailsy = L.detailsy;
    gui_resourcex = L.resourcex;
    gui_resourcey = L.resourcey;
}

void c_demo::DrawGUI() {
    const long long offset = (long long)Soundsystem_GetHeardOffset(demomusic);
    position = (int)std::min<long long>(offset, INT_MAX);
    const s_guilayout L = Layout();
    ApplyLayout(L);
    textscale = L.scale;
    // Without its framebuffer the editor would paint over whatever is current.
    if (gui_framebuffer_id < 0 || gui_framebuffer_id >= MOX_numframebuffers) return;

    const int preview = PresentPreview();
    MOX_SetFrameBuffer(gui_framebuffer_id);
    MOX_ClearFrameBuffer(COLOR_CLEAR);
    MOX_DisableAlphaBlend();
    MOX_DisableRenderState(MOX_STATE_ALPHATEST);
    MOX_DrawBox(0, 0, gui_width, gui_height, COLOR_BACKGROUND);

    if (L.previeww > 0 && L.previewh > 0)
        MOX_DrawFrameBuffer(L.previewx, L.previewy, L.previeww, L.previewh, preview);

    if (guifont2)
        text((gui_width - text_width(*guifont2, CREDIT_LINE)) / 2, 0, guifont2, "%s", CREDIT_LINE);
    // A star after the title while there are changes that are not saved.
    text(L.Px(4), 0, guifont1, "%s (%d,%d)%s", title, renderwidth, renderheight,
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
    text(gui_width - L.Px(PREVIEW_X), 0, guifont1, "%02d:%02d.%02d / %02d:%02d.%02d%s", minutes,
         seconds, hundredths, length / 60, length % 60, 0, silent ? " no music" : "");

    DrawSoundWave();
    MOX_DrawBox(0, L.timeliney, gui_width, L.blockheight, COLOR_BACKGROUND);
    MOX_DrawBox(0, L.timeliney + L.markerstrip, gui_width, L.blockheight - L.markerstrip,
                COLOR_BLACK);
    if (bmp_waveform.textureid)
        MOX_DrawScaledBitmap(L.timelinex, L.timeliney + L.markerstrip, (float)bmp_waveform.width,
                             (float)L.waveform, bmp_waveform, 1);

    DrawRuler();
    DrawTimeLine();
    DrawMarkers();
    DrawLoop();

    const int slider = L.timelinex + L.sliderx;
    MOX_DrawBox(slider - L.Px(2), L.timeliney, L.Px(4), L.blockheight, COLOR_POSITION);
    MOX_DrawBox(slider - L.Px(16), L.timeliney, L.Px(32), L.markerstrip, COLOR_POSITION);

    if (gui_drag.mode == DRAG_BOX && gui_drag.moved) {
        // The selection box being spanned, as a white outline.
        const int x0 = std::min(gui_drag.startx, gui_cursorx);
        const int y0 = std::min(gui_drag.starty, gui_cursory);
        const int w = std::abs(gui_cursorx - gui_drag.startx);
        const int h = std::abs(gui_cursory - gui_drag.starty);
        const int edge = L.Px(2);
        MOX_DrawBox(x0, y0, w, edge, COLOR_WHITE);
        MOX_DrawBox(x0, y0 + h - edge, w, edge, COLOR_WHITE);
        MOX_DrawBox(x0, y0, edge, h, COLOR_WHITE);
        MOX_DrawBox(x0 + w - edge, y0, edge, h, COLOR_WHITE);
    }

    DrawProperties(0);
    DrawResources();
    DrawMessages();
    if (gui_help) DrawHelp();
    DrawCursor();
}

void c_demo::DrawHelp() {
    const s_guilayout L = Layout();
    MOX_DrawBox(0, 0, gui_width, gui_height, COLOR_HELPBACK);
    text(L.Px(32), L.Px(24), guifont1, "Keys and mouse (F1 closes this list)");
    // Columns of lines, as many as the screen's height takes.
    const int top = L.Px(80), step = L.Px(34), columnwidth = L.Px(620);
    const int rows = std::max(1, (gui_height - top - L.Px(16)) / step);
    int n = 0;
    for (const char *line : HELP_SCREEN) {
        const int x = L.Px(32) + (n / rows) * columnwidth, y = top + (n % rows) * step;
        const bool heading = line[0] == '#';
        text(x, y, heading ? guifont1 : guifont2, "%s", heading ? line + 1 : line);
        n++;
    }
}

void c_demo::DrawMessages() {
    const s_guilayout L = Layout();
    // A shader that does not build keeps its compiler's lines over the preview until it does.
    const std::vector<std::string> failed = LiveReloadMessages(*this);
    if (!failed.empty()) {
        const int step = L.Px(MESSAGE_STEP);
        const int height = (int)failed.size() * step + L.Px(8);
        MOX_DrawBox(L.previewx, L.previewy, L.previeww, height, COLOR_MESSAGEBOX);
        MOX_DrawBox(L.previewx, L.previewy, L.Px(8), height, COLOR_MESSAGE[0]);
        int y = L.previewy + L.Px(4);
        for (const std::string &line : failed) {
            text(L.previewx + L.Px(16), y, guifont1, "%s", line.c_str());
            y += step;
        }
    }
    if (gui_typing) {
        // The value being typed, at the foot of the preview until Enter or Escape.
        const int y = L.previewy + L.previewh - L.Px(48);
        MOX_DrawBox(L.previewx, y, L.previeww, L.Px(44), COLOR_PICKED);
        text(L.previewx + L.Px(8), y + L.Px(6), guifont1,
             "Value: %s_   (Enter sets it, Escape drops it)", gui_entry);
    }
    s_guimessage shown[GUI_MAXMESSAGES];
    const int n = ShownMessages(shown, MOX_GetMillis());
    const int step = L.Px(MESSAGE_STEP);
    const int left = L.Px(PREVIEW_X);
    // Newest lowest, just above the marker numbers over the timeline.
    int y = L.timeliney - L.Px(16) - step * n;
    for (int i = 0; i < n; i++, y += step) {
        const int width = (int)strlen(shown[i].text) * L.Px(16) + L.Px(40);
        MOX_DrawBox(left, y, std::min(width, gui_width - 2 * left), step - L.Px(4),
                    COLOR_MESSAGEBOX);
        MOX_DrawBox(left + L.Px(4), y + L.Px(8), L.Px(16), L.Px(16),
                    COLOR_MESSAGE[std::clamp(shown[i].level, (int)LOG_ERROR, (int)LOG_PROGRESS)]);
        text(left + L.Px(28), y + L.Px(4), shown[i].level <= LOG_WARNING ? guifont1 : guifont2,
             "%s", shown[i].text);
    }
}

void c_demo::DrawSoundWave() {
    const int height = bmp_waveform.height;
    const int width = bmp_waveform.width;
    if (!bmp_waveform.data || width <= 0 || height <= 0) return;
    const s_guilayout L = Layout();
    const int centery = (int)(height * 0.6);
    const int scale = L.frames;
    const int nc = demomusic.numchannels;
    // Column 0 lies under the timeline's left edge. The start steps in whole pixels of time,
    // so the picture stays still between them.
    const long long left = L.TimeAt(L.timelinex);
    const long long start = left * nc / scale * scale;
    const bool zero_line = centery >= 0 && centery < height;

    // Written straight into the pixel buffer and uploaded once.
    unsigned *data = bmp_waveform.data;
    memset(data, 0, (size_t)width * height * sizeof *data);
    const double amplitude = height * 0.6 / 32768;
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
    const s_guilayout L = Layout();
    const int layers = bounded(numlayers, DEMO_MAXLAYERS);
    const int row = L.row;
    // Marks of a selection of several entries, by layer and kind, so that each entry is
    // looked up once however many are selected.
    const std::vector<s_guientry> selection = SelectedEntries();
    static std::vector<char> marks[DEMO_MAXLAYERS][EDIT_CAMERA + 1];
    if (selection.size() > 1) {
        for (auto &kinds : marks)
            for (auto &m : kinds) m.assign(DEMO_MAXKEYS, 0);
        for (const s_guientry &e : selection) marks[e.layer][e.kind][e.index] = 1;
    }
    for (int i = 0; i < layers; i++) {
        const int ssy = L.RowTop(i);
        s_demolayer &dl = layer[i];
        const s_font *font = dl.visible ? guifont1 : guifont2;
        const bool this_layer = gui_selected_layer == i;
        const int numevents = bounded(dl.numevents, DEMO_MAXEVENTS);
        const int numvalue = bounded(dl.numevents_value, DEMO_MAXKEYS);
        const int numtransform = bounded(dl.numevents_transform, DEMO_MAXKEYS);
        const int numcamera = bounded(dl.numevents_camera, DEMO_MAXKEYS);
        auto x_of = [&](long long t) { return L.TimeX(t); };
        auto chosen = [&](int kind, int n) {
            if (selection.size() > 1) return marks[i][kind][n] != 0;
            return gui_selected_layer == i && gui_selected_eventtype == kind &&
                   gui_selected_event == n;
        };

        MOX_DrawBox(L.timelinex + L.Px(4), ssy + L.Px(2), gui_width - L.timelinex + L.Px(8),
                    row - L.Px(4), COLOR_BACKGROUND);

        // Parent of the selected transform key, when it is one of this layer's.
        int selected_parent = -1;
        if (this_layer && gui_selected_eventtype == EDIT_TRANSFORM && gui_selected_event >= 0 &&
            gui_selected_event < numtransform)
            selected_parent = dl.event_transform[gui_selected_event].parent;

        const int o4 = L.Px(4), o8 = L.Px(8);
        for (int e = 0; e < numevents; e++) {
            const s_effectevent &ev = dl.event[e];
            const int sx = x_of(ev.t);
            const int eventwidth = (int)std::clamp(ev.length / L.frames, -(1 << 24), 1 << 24);
            if (!(L.timelinex - eventwidth < sx && sx < gui_width)) continue;
            MOX_DrawBox(sx + o4, ssy, eventwidth, row, COLOR_BLACK);
            if (chosen(EDIT_EFFECT, e)) MOX_DrawBox(sx, ssy, eventwidth - o4, row, COLOR_WHITE);
            if (selected_parent == e) MOX_DrawBox(sx, ssy, eventwidth - o4, row, COLOR_SELECTED);
            MOX_DrawBox(sx + o4, ssy + o4, eventwidth - o8, row - o8,
                        (int)FENTRO_COLOR_EVENT[((ev.type % 7) + 7) % 7]);
            const char *name = ev.id >= 0 && ev.id < bounded(numresources, DEMO_MAXRESOURCES)
                                   ? resource[ev.id].name
                                   : "";
            text(sx + o4, ssy + o4, font, "[%s]   %s", table_name(text_effecttype, ev.type), name);
        }

        // The value keys of a layer form one curve, whatever their type. Drawn in batches of
        // one colour: the highlight, shadow and curve lines, then the keys' rims and dots. In
        // the curve view each track is drawn instead as playback evaluates it.
        const int dot = L.Px(4), rim = L.Px(6);
        static std::vector<int> lines[3], rims, dots[2];
        for (auto &v : lines) v.clear();
        rims.clear();
        dots[0].clear();
        dots[1].clear();
        int lastkey = -1;  // the last key whose rim and dot are in the batch
        auto add_key = [&](int v, int sx, int y) {
            if (v <= lastkey) return;
            lastkey = v;
            rims.insert(rims.end(), {sx - rim, y - rim, 2 * rim, 2 * rim});
            dots[chosen(EDIT_VALUE, v) ? 1 : 0].insert(dots[chosen(EDIT_VALUE, v) ? 1 : 0].end(),
                                                       {sx - dot, y - dot, 2 * dot, 2 * dot});
        };
        if (gui_curveview) DrawValueCurves(i);
        for (int v = 0; v + 1 < numvalue && !gui_curveview; v++) {
            const s_valueevent &k1 = dl.event_value[v];
            const s_valueevent &k2 = dl.event_value[v + 1];
            const int sx = x_of(k1.t);
            const int sx2 = x_of(k2.t);
            if (!(L.timelinex < sx2 && sx < gui_width)) continue;
            const int y1 = ssy + value_y(L, k1.value);
            const int y2 = ssy + value_y(L, k2.value);
            lines[0].insert(lines[0].end(), {sx, y1 - 1, sx2, y2 - 1});
            lines[1].insert(lines[1].end(), {sx, y1 + 1, sx2, y2 + 1});
            lines[2].insert(lines[2].end(), {sx, y1, sx2, y2});
            add_key(v, sx, y1);
            add_key(v + 1, sx2, y2);
        }
        const int linecolour[3] = {COLOR_WHITE, COLOR_BLACK, COLOR_CURVE};
        for (int c = 0; c < 3; c++)
            MOX_DrawLines(lines[c].data(), (int)lines[c].size() / 4, linecolour[c]);
        MOX_DrawBoxes(rims.data(), (int)rims.size() / 4, COLOR_BLACK);
        MOX_DrawBoxes(dots[0].data(), (int)dots[0].size() / 4, COLOR_WHITE);
        MOX_DrawBoxes(dots[1].data(), (int)dots[1].size() / 4, COLOR_SELECTED);

        const int box = L.keybox;
        for (int c = 0; c < numcamera; c++) {
            const int sx = x_of(dl.event_camera[c].t);
            if (!(L.timelinex <= sx && sx < gui_width)) continue;
            MOX_DrawBox(sx, ssy + L.Px(8), box, row - L.Px(16), COLOR_BLACK);
            MOX_DrawBox(sx + L.Px(2), ssy + L.Px(10), box - L.Px(4), row - L.Px(20),
                        chosen(EDIT_CAMERA, c) ? COLOR_SELECTED : COLOR_CAMERA);
        }

        HoldTransformKeys(&dl);
        const int corner = L.Px(4), top = ssy + L.Px(24);
        for (int k = 0; k < numtransform; k++) {
            const s_transformevent &key = dl.event_transform[k];
            const int sx = x_of(key.t);
            if (!(L.timelinex <= sx && sx < gui_width)) continue;
            MOX_DrawBox(sx, top, box, box,
                        chosen(EDIT_TRANSFORM, k) ? COLOR_SELECTED : COLOR_TRANSFORM);
            MOX_DrawBox(sx, top, corner, corner, COLOR_BLACK);
            MOX_DrawBox(sx + box - corner, top, corner, corner, COLOR_BLACK);
            MOX_DrawBox(sx, top + box - corner, corner, corner, COLOR_BLACK);
            MOX_DrawBox(sx + box - corner, top + box - corner, corner, corner, COLOR_BLACK);
        }

        MOX_DrawBox(0, ssy, L.timelinex, row, this_layer ? COLOR_BACKGROUND : COLOR_BLACK);
        if (this_layer && gui_renaming) {
            // The name being typed, with a caret, over a lighter box.
            MOX_DrawBox(L.Px(2), ssy + L.Px(4), L.timelinex - L.Px(4), row - L.Px(8), COLOR_PICKED);
            text(L.Px(4), ssy + L.Px(8), guifont1, "[%d] %s_", i + 1, gui_typed.c_str());
        } else {
            text(L.Px(4), ssy + L.Px(8), font, "[%d] %s", i + 1, dl.name);
        }
    }
    text(L.Px(4), L.timeliney + L.markerstrip, guifont1, "Zoom: %.2f", gui_zoom);
    text(L.Px(4), L.timeliney + L.markerstrip + L.Px(40), guifont2, "Grid: %s",
         GridDivisionName(gui_snap));
    if (gui_loopend > gui_loopstart)
        text(L.Px(4), L.timeliney + L.markerstrip + L.Px(80), gui_looping ? guifont1 : guifont2,
             "Loop: %s", gui_looping ? "on" : "off");
}

void c_demo::DrawValueCurves(int layernr) {
    const s_guilayout L = Layout();
    s_demolayer &dl = layer[layernr];
    const int top = L.RowTop(layernr);
    const int numvalue = bounded(dl.numevents_value, DEMO_MAXKEYS);
    const int step = L.Px(2), dot = L.Px(4), rim = L.Px(6);
    auto y_of = [&](float v) { return std::clamp(top + value_y(L, v), top, top + L.row - 1); };
    for (int type = 0; type < DEMO_NUMVALUETYPES; type++) {
        bool used = false;
        for (int v = 0; v < numvalue && !used; v++) used = dl.event_value[v].type == type;
        if (!used) continue;
        const int colour = COLOR_TRACK[type % 5];
        static std::vector<int> segments;
        segments.clear();
        int px = L.timelinex, py = y_of(ValueAt(&dl, type, (int)L.TimeAt(px)));
        for (int x = px + step; x < gui_width + step; x += step) {
            const long long t = std::clamp<long long>(L.TimeAt(x), INT_MIN, INT_MAX);
            const int y = y_of(ValueAt(&dl, type, (int)t));
            segments.insert(segments.end(), {px, py, x, y});
            px = x;
            py = y;
        }
        MOX_DrawLines(segments.data(), (int)segments.size() / 4, colour);
        for (int v = 0; v < numvalue; v++) {
            const s_valueevent &k = dl.event_value[v];
            if (k.type != type) continue;
            const int sx = L.TimeX(k.t);
            if (sx < L.timelinex || sx >= gui_width) continue;
            const int y = y_of(k.value);
            const bool chosen = IsSelected(layernr, EDIT_VALUE, v);
            MOX_DrawBox(sx - rim, y - rim, 2 * rim, 2 * rim, COLOR_BLACK);
            MOX_DrawBox(sx - dot, y - dot, 2 * dot, 2 * dot, chosen ? COLOR_SELECTED : colour);
        }
    }
}

void c_demo::DrawLoop() {
    if (gui_loopend <= gui_loopstart) return;
    const s_guilayout L = Layout();
    const int from = std::max(L.TimeX(gui_loopstart), L.timelinex);
    const int to = std::min(L.TimeX(gui_loopend), gui_width);
    const int colour = gui_looping ? COLOR_LOOP : COLOR_LOOPOFF;
    const int top = L.timeliney + L.markerstrip;
    if (to > from) MOX_DrawBox(from, top, to - from, L.Px(6), colour);
    for (const int x : {L.TimeX(gui_loopstart), L.TimeX(gui_loopend)}) {
        if (x >= L.timelinex && x < gui_width)
            MOX_DrawBox(x - L.Px(1), top, L.Px(2), L.blockheight - L.markerstrip, colour);
    }
}

void c_demo::DrawRuler() {
    const s_guilayout L = Layout();
    const int scale = L.frames;
    const int rate = GridRate(*this);
    const double beat = GridBeatFrames(bpm, rate);
    if (beat <= 0) return;
    const double step = GridStepFrames(bpm, rate, gui_snap);
    const int top = L.timeliney + L.markerstrip;
    const int band = std::max(L.waveform, 0);
    // One pass per kind of line, finest first, so that bars end up on top.
    struct s_lines {
        double spacing;
        int height, colour;
    } kinds[3] = {{step, band / 8, COLOR_STEP},
                  {beat, band / 4, COLOR_BEAT},
                  {beat * GRID_BEATSPERBAR, band, COLOR_BAR}};
    const double first = (double)L.TimeAt(L.timelinex);
    const double last = (double)L.TimeAt(gui_width);
    for (const s_lines &k : kinds) {
        if (k.spacing <= 0 || k.spacing / scale < L.Px(RULER_MINGAP)) continue;
        for (double n = std::ceil(first / k.spacing); n * k.spacing <= last; n += 1) {
            const long long t = (long long)std::floor(n * k.spacing + 0.5);
            const int x = L.TimeX(t);
            if (x < L.timelinex || x >= gui_width) continue;
            MOX_DrawBox(x, top, k.colour == COLOR_BAR ? L.Px(2) : 1, k.height, k.colour);
            if (k.colour == COLOR_BAR) text(x + L.Px(4), top, guifont2, "%lld", (long long)n + 1);
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
    const s_guilayout L = Layout();
    if (gui_selected_markerarea > 0)
        MOX_DrawBox(L.timelinex, L.timeliney, gui_width - L.timelinex, L.markerstrip,
                    COLOR_MARKERAREA);
    const int count = bounded(nummarkers, DEMO_MAXMARKERS);
    for (int i = 0; i < count; i++) {
        const int sx = L.TimeX(marker[i].t);
        if (!(L.timelinex <= sx && sx < gui_width)) continue;
        if (i == gui_selected_marker)
            MOX_DrawBox(sx, L.timeliney, L.markerbox, L.markerstrip, COLOR_SELECTED);
        MOX_DrawBox(sx + L.Px(4), L.timeliney + L.Px(4), L.Px(16), L.markerstrip - L.Px(8),
                    (int)FENTRO_COLOR_MARKERTYPE[marker[i].type & 3]);
        text(sx + L.Px(30), L.timeliney - L.Px(12), guifont1, "%d", i);
    }
}

void c_demo::DrawCursor() {
    const s_guilayout L = Layout();
    if (gui_selected_resource >= 0) {
        MOX_DrawBox(gui_cursorx - L.Px(128), gui_cursory, L.Px(256), L.Px(48), COLOR_PICKED);
        if (gui_selected_resource < bounded(numresources, DEMO_MAXRESOURCES))
            text(gui_cursorx - L.Px(126), gui_cursory, guifont1, "%s",
                 resource[gui_selected_resource].name);
        return;
    }
    if (spr_guicursor)
        MOX_DrawScaledSprite(gui_cursorx, gui_cursory, spr_guicursor->width * L.scale,
                             spr_guicursor->height * L.scale, *spr_guicursor, 1);
    MOX_DrawBox(gui_cursorx, gui_cursory, L.Px(16), L.Px(16), COLOR_WHITE);
}

s_font *c_demo::SelectParamFont(int id) {
    return gui_selected_parameter == id ? guifont1 : guifont2;
}

void c_demo::DrawProperties(int) {
    // Times as bars:beats or seconds, as the editor is set to show them.
    auto TimeText = [this](long long t) {
        char out[48];
        GridFormat(*this, out, sizeof out, t);
        return std::string(out);
    };
    auto SpanText = [this](long long frames) {
        char out[48];
        GridFormatLength(*this, out, sizeof out, frames);
        return std::string(out);
    };
    const s_guilayout L = Layout();
    const int detailsx = L.detailsx, detailsy = L.detailsy;
    const int x = detailsx + L.Px(4);
    const int resources = bounded(numresources, DEMO_MAXRESOURCES);
    auto line_y = [&](int n) { return detailsy + L.Px(64) + L.linestep * n; };
    const float picturew = PICTURE_W * L.scale, pictureh = PICTURE_H * L.scale;

    if (gui_selected_resource >= 0) {
        text(detailsx, detailsy, guifont1, "Resource Properties:");
        if (gui_selected_resource >= resources) return;
        const s_demoresource &r = resource[gui_selected_resource];
        text(x, detailsy + L.Px(64), guifont2, "Name: %s", r.name);
        text(x, detailsy + L.Px(96), guifont2, "Filename: %s", r.filename);
        if (r.type == RESOURCE_SPRITE && typed_id_ok(r.id))
            MOX_DrawScaledSprite(x, detailsy + L.Px(128), picturew, pictureh, resource_sprite[r.id],
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
                text(detailsx, detailsy, guifont1, "Event %d - %s", n,
                     table_name(text_effecttype, e.type));
                const s_demoresource *d = e.id >= 0 && e.id < resources ? &resource[e.id] : nullptr;
                int top = 0;  // extra offset of the lines below a picture
                if (e.type == EFFECT_IMAGE) {
                    if (d && typed_id_ok(d->id)) {
                        if (d->type == RESOURCE_TEXTURE)
                            MOX_DrawScaledBitmap(x, line_y(0), picturew, pictureh,
                                                 resource_texture[d->id], 1);
                        else
                            MOX_DrawScaledSprite(x, line_y(0), picturew, pictureh,
                                                 resource_sprite[d->id], 1);
                    }
                    top = L.Px(PICTURE_H);
                }
                text(x, top + line_y(0), SelectParamFont(0), "Time: %s", TimeText(e.t).c_str());
                text(x, top + line_y(1), SelectParamFont(1), "Length: %s",
                     SpanText(e.length).c_str());
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
                text(detailsx, detailsy, guifont1, "Value Event: %d", n);
                text(x, line_y(0), SelectParamFont(0), "Time: %s", TimeText(v.t).c_str());
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
                text(detailsx, detailsy, guifont1, "Transform Event: %d", n);
                text(x, line_y(0), SelectParamFont(0), "Time: %s", TimeText(k.t).c_str());
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
                text(detailsx, detailsy, guifont1, "Camera Event: %d", n);
                text(x, line_y(0), SelectParamFont(0), "Time: %s", TimeText(c.t).c_str());
                const char *const labels[7] = {"FOV",      "Position X", "Position Y", "Position Z",
                                               "Target X", "Target Y",   "Target Z"};
                const float values[7] = {c.fov, c.x, c.y, c.z, c.targetx, c.targety, c.targetz};
                for (int i = 0; i < 7; i++)
                    text(x, line_y(i + 1), SelectParamFont(i + 1), "%s: %.2f", labels[i],
                         values[i]);
                return;
            }
            default:
                return;
        }
    }

    const int markers = bounded(nummarkers, DEMO_MAXMARKERS);
    if (gui_selected_marker >= 0 && gui_selected_marker < markers) {
        // A marker: its time as the play time shows it, and its kind with its colour.
        const s_marker &m = marker[gui_selected_marker];
        const uint64_t rate = gui_silentmusic || !HasMusic() ? SILENT_RATE : demomusic.samplerate;
        const uint64_t frames = (uint64_t)std::max(m.t, 0);
        text(detailsx, detailsy, guifont1, "Marker %d", gui_selected_marker);
        text(x, line_y(0), guifont2, "Time: %02d:%02d.%02d", (int)(frames / (rate * 60)),
             (int)(frames / rate % 60), (int)(frames * 100 / rate % 100));
        text(x, line_y(1), guifont2, "Kind: %d", m.type & 3);
        MOX_DrawBox(x + L.Px(160), line_y(1) + L.Px(2), L.Px(16), L.Px(24),
                    (int)FENTRO_COLOR_MARKERTYPE[m.type & 3]);
        return;
    }

    text(detailsx, detailsy, guifont1, "How to use:");
    // The lines close up where the timeline leaves less room than their usual spacing.
    const int count = (int)(sizeof HELP_LINES / sizeof *HELP_LINES);
    int y = detailsy + L.Px(48);
    const int room = (L.timeliney - L.Px(32) - y) / (count - 1);
    const int step = std::max(1, std::min(L.linestep, room));
    for (const char *line : HELP_LINES) {
        text(detailsx, y, guifont2, "%s", line);
        y += step;
    }
}

void c_demo::DrawResources() {
    const s_guilayout L = Layout();
    const int rx = L.resourcex;
    text(rx, L.resourcey, guifont1, "Resources:");
    const int resources = bounded(numresources, DEMO_MAXRESOURCES);
    for (int k = 0; k < L.listrows; k++) {
        const int i = gui_resourcestart + k;
        if (i >= resources) break;
        if (i < 0) continue;
        const s_demoresource &r = resource[i];
        const int y = L.listtop + L.listrow * k;
        if (r.loadOK == 0) MOX_DrawBox(rx, y + L.Px(24), L.Px(16), L.Px(16), COLOR_SELECTED);
        const s_font *font = i == gui_selected_resource ? guifont1 : guifont2;
        text(rx, y, font, "%02d", r.id);
        text(rx + L.Px(48), y, font, "%s", resource_type_name(r.type));
        text(rx + L.Px(180), y, font, "%s", r.name);
    }
}
