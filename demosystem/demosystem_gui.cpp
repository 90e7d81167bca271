// Timeline editor: its set-up, the per-frame entry, the selection, every keyboard and mouse
// command of the overlay, and the editing of the selected event's or key's parameter lines.
// Edits go straight into the tables that playback reads, so each one shows in the next frame.
// Every index that comes from the project file or the mouse is checked against its table
// before it is used, and no command adds to a full table.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "core/coredebug.h"
#include "core/corefile.h"
#include "demosystem/demosystem.h"
#include "demosystem/demosystem_grid.h"
#include "demosystem/demosystem_layout.h"
#include "demosystem/demosystem_loop.h"
#include "demosystem/demosystem_reload.h"
#include "demosystem/demosystem_values.h"
#include "demosystem/demosystem_undo.h"
#include "mox/mox.h"

int gui_consolelevel = LOG_PROGRESS;

namespace {

constexpr int ROWHEIGHT = 64;           // a layer row at design size
constexpr int MARKERSTRIP = 32;         // the marker strip at design size
constexpr int LABELHALF = 128;          // half the width of a picked resource's label (design)
constexpr int LASTKEYBOUND = 99999999;  // how far the last value key may move forward
constexpr int MARKERBACKOFF = 8192;     // Ctrl+Left looks for markers this far behind
constexpr int MARKERSHIFT = 512;        // Ctrl+Left/Right move every marker this far
constexpr int MINLENGTH = 8192;         // an end snapped backwards keeps this much length
constexpr int TRANSFORMLINES = 10;      // last parameter line of a transform key

constexpr int MESSAGEMILLIS = 8000;  // how long a message stays on the screen
constexpr int SILENTSECONDS = 60;    // least length of the timeline without music
constexpr int SILENTRATE = 44100;
// Undo and redo keys (virtual keys), read beside the key word.
constexpr int UNDOKEY = 'U', REDOKEY = 'R', REDOKEY2 = 'Y';
// Grid keys: the next subdivision (Shift: the one before), bars:beats or seconds.
constexpr int GRIDKEY = 'G', TIMEFORMATKEY = 'B';

constexpr char PROJECTFILE[] = "demo.fentro";
constexpr char BACKUPFILE[] = "backup.fentro";

// Converts with truncation toward zero, holding values outside int's range at its ends.
int ClampToInt(double v) {
    if (v != v) return 0;
    if (v <= (double)INT_MIN) return INT_MIN;
    if (v >= (double)INT_MAX) return INT_MAX;
    return (int)v;
}

// t moved by d frames, the sum taken in single precision and truncated.
int MoveTime(int t, float d) { return ClampToInt((float)t + d); }

// A time moved by a held arrow: onto the beat grid while snapping is on.
int MoveOnGrid(const c_demo &demo, int t, float d) {
    return demo.gui_snap != GRID_OFF ? GridMove(demo, t, d) : MoveTime(t, d);
}

// The next or previous of four types (curve types, marker types), for any stored value.
int CycleOfFour(int type, int delta) { return (int)(((unsigned)type + (unsigned)delta) & 3u); }

// The sound system takes unsigned frame counts: a negative time means the start.
uint64_t FrameOffset(int t) { return t < 0 ? 0 : (uint64_t)t; }

// The selected layer, or null when none is selected or the index is not a layer in use.
s_demolayer *SelectedLayer(c_demo &d) {
    const int n = d.gui_selected_layer;
    if (n < 0 || n >= d.numlayers || n >= DEMO_MAXLAYERS) return nullptr;
    return &d.layer[n];
}

// The selected event or key still exists: its index lies inside its table on the layer.
bool SelectedEntryValid(c_demo &d) {
    const s_demolayer *l = SelectedLayer(d);
    if (!l) return false;
    const int kind = d.gui_selected_eventtype;
    const int n = d.gui_selected_event;
    return n >= 0 && n < EditEntryCount(*l, kind);
}

int MarkerCount(const c_demo &d) {
    if (d.nummarkers < 0) return 0;
    return d.nummarkers < DEMO_MAXMARKERS ? d.nummarkers : DEMO_MAXMARKERS;
}

// Time of the first marker after pos; false when there is none.
bool NextMarker(const c_demo &d, int pos, int *t) {
    for (int i = 0; i < MarkerCount(d); i++) {
        if (d.marker[i].t > pos) {
            *t = d.marker[i].t;
            return true;
        }
    }
    return false;
}

// The newest stamped copies of distinct saves that are kept.
constexpr int KEPTSAVES = 10;

// Name of the stamped copy of a save made now: backup-YYYYMMDD-HHMMSS.fentro.
std::string StampedBackupName() {
    const time_t now = time(nullptr);
    struct tm local {};
    localtime_r(&now, &local);
    char name[64];
    strftime(name, sizeof name, "backup-%Y%m%d-%H%M%S.fentro", &local);
    return name;
}

bool IsStampedBackup(const std::string &name) {
    static const char pattern[] = "backup-########-######.fentro";
    if (name.size() != sizeof pattern - 1) return false;
    for (size_t i = 0; i < name.size(); i++) {
        const bool digit = name[i] >= '0' && name[i] <= '9';
        if (pattern[i] == '#' ? !digit : name[i] != pattern[i]) return false;
    }
    return true;
}

// Removes the oldest stamped copies beyond the newest KEPTSAVES; their names sort by time.
void PruneStampedBackups() {
    namespace fs = std::filesystem;
    const char *root = static_cast<const char *>(corefile_image.source);
    if (!root) return;
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(root, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (IsStampedBackup(name)) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    for (size_t i = 0; i + KEPTSAVES < names.size(); i++)
        fs::remove(fs::path(root) / names[i], error);
}

// Sorts a table by time, entries of equal time keeping their order; *selected (when given and
// inside the table) follows its entry. Returns the new index of every old entry, or nothing
// when the table was in order already.
template <typename T>
std::vector<int> SortByTime(T *table, int n, int *selected) {
    auto earlier = [](const T &a, const T &b) { return a.t < b.t; };
    if (n < 2 || std::is_sorted(table, table + n, earlier)) return {};
    std::vector<int> order(n);
    for (int i = 0; i < n; i++) order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return table[a].t < table[b].t; });
    const std::vector<T> copy(table, table + n);
    std::vector<int> moved(n);
    for (int k = 0; k < n; k++) {
        table[k] = copy[order[k]];
        moved[order[k]] = k;
    }
    if (selected && *selected >= 0 && *selected < n) *selected = moved[*selected];
    return moved;
}

std::mutex messagelock;

// The nine floats of a transform key by parameter line 2..10.
float s_transformevent::*const TRANSFORMFIELDS[9] = {
    &s_transformevent::x,      &s_transformevent::y,      &s_transformevent::z,
    &s_transformevent::rotx,   &s_transformevent::roty,   &s_transformevent::rotz,
    &s_transformevent::scalex, &s_transformevent::scaley, &s_transformevent::scalez};

}  // namespace

bool c_demo::SaveProject() {
    const std::string text = ProjectText();
    std::string old;
    const bool existed = corefile_mounttype == MOUNT_DIR && ReadTextFile(PROJECTFILE, &old);
    if (existed && old == text) {
        core_log(LOG_PROGRESS, "edit.save_unchanged", "- Save: no changes, %s left as it is\n",
                 PROJECTFILE);
        return true;
    }
    if (existed && !corefile_savebuffer(BACKUPFILE, old.data(), (uint32_t)old.size())) {
        core_log(LOG_WARNING, "edit.backup_failed", "- Save: %s could not be written\n",
                 BACKUPFILE);
    }
    if (!Save(PROJECTFILE)) return false;
    const std::string stamped = StampedBackupName();
    if (corefile_savebuffer(stamped.c_str(), text.data(), (uint32_t)text.size())) {
        PruneStampedBackups();
    } else {
        core_log(LOG_WARNING, "edit.backup_failed", "- Save: %s could not be written\n",
                 stamped.c_str());
    }
    core_log(LOG_PROGRESS, "edit.saved", "- Saved %s\n", PROJECTFILE);
    return true;
}

void c_demo::InitGUI(int width, int height, s_font *font1, s_font *font2, s_sprite *cursor) {
    gui_width = width;
    gui_height = height;
    gui_layerheight = ROWHEIGHT;
    gui_waveformheight = 128;
    gui_timelinex = 192;
    gui_timeliney = height - MARKERSTRIP;
    gui_sliderx = 0;
    gui_detailsx = 1540;
    gui_detailsy = 48;
    gui_resourcex = 4;
    gui_resourcey = 48;
    gui_resourcestart = 0;
    gui_mousebutton = 0;
    gui_selected_resource = -1;
    gui_selected_markerarea = 0;
    gui_selected_marker = -1;
    gui_selected_layer = -1;
    gui_selected_event = -1;
    gui_selected_eventtype = 0;
    gui_selected_parameter = 0;
    gui_zoom = 8.0f;
    gui_snap = GRID_OFF;
    gui_barsbeats = true;
    gui_loopstart = gui_loopend = 0;
    gui_looping = false;
    gui_curveview = false;
    gui_typing = false;
    gui_entry[0] = '\0';
    gui_paused = false;
    gui_visible = true;
    guifont1 = font1;
    guifont2 = font2;
    spr_guicursor = cursor;
    // The places of a screen of this size; the timeline block's top waits for the first
    // drawing, which knows the layers.
    ApplyLayout(Layout());
    gui_timeliney = height - MARKERSTRIP;
    gui_windowwidth = MOX_video.width;
    gui_windowheight = MOX_video.height;
    MOX_CreateBitmap(gui_width, gui_waveformheight, &bmp_waveform);
    gui_framebuffer_id = MOX_CreateFrameBuffer(gui_width, gui_height, MOX_FRAMEBUFFER_LINEAR);
    // The presentation pass draws at the window's size.
    gui_previewbuffer_id =
        MOX_CreateFrameBuffer(MOX_video.width, MOX_video.height, MOX_FRAMEBUFFER_LINEAR);
    MOX_SetTitle("FENTRO v0.2b");
    gui_gesture = 0;
    gui_quitasked = false;
    gui_quit = false;
    gui_selection.clear();
    gui_drag = s_guidrag{};
    gui_wheel = mox_mouse_z;
    gui_help = false;
    gui_renaming = false;

    // What did not load is said once on the screen. Without music a silent one of the
    // project's length keeps the clock: play, pause, scrubbing and jumps work as with music.
    gui_silentmusic = false;
    if (!HasMusic()) {
        const int end = TimelineEnd();
        core_log(LOG_WARNING, "edit.music_missing",
                 "- Editor: music %s is missing, the timeline runs silent for %d s\n",
                 musicfilename[0] ? musicfilename : "(none)", end / SILENTRATE);
        if (Soundsystem_CreateSoundStream(&demomusic, nullptr, SILENTRATE, 16, 1, (uint32_t)end)) {
            demomusic.loop = 0;
            gui_silentmusic = true;
            Soundsystem_PlayMusic(&demomusic, 0);
        }
    }
    int failed = 0;
    const char *firstfailed = "";
    for (int i = 0; i < numresources && i < DEMO_MAXRESOURCES; i++) {
        if (resource[i].loadOK) continue;
        if (!failed++) firstfailed = resource[i].name;
    }
    if (failed > 0) {
        core_log(LOG_WARNING, "edit.resources_missing",
                 "- Editor: %d resource%s did not load (first: %s), marked red in the list\n",
                 failed, failed == 1 ? "" : "s", firstfailed);
    }

    // Shaders and images saved into the production's folder replace the ones in use.
    LiveReloadStart(this);

    KeepTablesInOrder();
    gui_history = std::make_shared<s_edithistory>();
    EditHistoryReset(gui_history.get(), *this);
}

bool c_demo::Undo() {
    if (!gui_history || !EditHistoryUndo(gui_history.get(), this)) return false;
    core_log(LOG_PROGRESS, "edit.undo", "- Undo (%d more)\n", EditHistoryUndoSteps(*gui_history));
    return true;
}

bool c_demo::Redo() {
    if (!gui_history || !EditHistoryRedo(gui_history.get(), this)) return false;
    core_log(LOG_PROGRESS, "edit.redo", "- Redo (%d more)\n", EditHistoryRedoSteps(*gui_history));
    return true;
}

bool c_demo::Unsaved() const { return gui_history && EditHistoryUnsaved(*gui_history); }

void c_demo::KeepTablesInOrder() {
    const int layers = std::clamp(numlayers, 0, DEMO_MAXLAYERS);
    for (int i = 0; i < layers; i++) {
        s_demolayer &l = layer[i];
        auto selected = [&](int kind) {
            return gui_selected_layer == i && gui_selected_eventtype == kind ? &gui_selected_event
                                                                             : nullptr;
        };
        // The selection of several entries and a drag's entries follow theirs.
        auto follow = [&](int kind, const std::vector<int> &moved) {
            if (moved.empty()) return;
            for (std::vector<s_guientry> *list : {&gui_selection, &gui_drag.entries}) {
                for (s_guientry &e : *list) {
                    if (e.layer == i && e.kind == kind && e.index >= 0 &&
                        e.index < (int)moved.size())
                        e.index = moved[e.index];
                }
            }
        };
        const int numevents = EditEntryCount(l, EDIT_EFFECT);
        const std::vector<int> moved = SortByTime(l.event, numevents, selected(EDIT_EFFECT));
        follow(EDIT_EFFECT, moved);
        const int numtransform = EditEntryCount(l, EDIT_TRANSFORM);
        if (!moved.empty()) {
            for (int k = 0; k < numtransform; k++) {
                int &parent = l.event_transform[k].parent;
                if (parent >= 0 && parent < numevents) parent = moved[parent];
            }
        }
        HoldTransformKeys(&l);
        follow(EDIT_TRANSFORM,
               SortByTime(l.event_transform, numtransform, selected(EDIT_TRANSFORM)));
        follow(EDIT_VALUE,
               SortByTime(l.event_value, EditEntryCount(l, EDIT_VALUE), selected(EDIT_VALUE)));
        follow(EDIT_CAMERA,
               SortByTime(l.event_camera, EditEntryCount(l, EDIT_CAMERA), selected(EDIT_CAMERA)));
    }
    SortByTime(marker, MarkerCount(*this), &gui_selected_marker);
}

int c_demo::PanelValueLines(const s_effectevent &e) {
    if (e.type != EFFECT_SHADER && e.type != EFFECT_FUNCTION) return 0;
    if (!e.value || e.id < 0 || e.id >= std::clamp(numresources, 0, DEMO_MAXRESOURCES)) return 0;
    return std::clamp(resource[e.id].numparams, 0, DEMO_MAXVALUES);
}

bool c_demo::HasMusic() const {
    const s_sound &m = demomusic;
    return m.buffer && m.numchannels > 0 && m.samplerate > 0 && m.length > 0;
}

int c_demo::TimelineEnd() {
    if (HasMusic()) {
        return (int)std::min<uint64_t>(demomusic.length / demomusic.numchannels, INT_MAX);
    }
    // Without music: the end of the last event or key, and at least a minute.
    long long end = (long long)SILENTSECONDS * SILENTRATE;
    for (int i = 0; i < MarkerCount(*this); i++) end = std::max<long long>(end, marker[i].t);
    for (int i = 0; i < std::clamp(numlayers, 0, DEMO_MAXLAYERS); i++) {
        const s_demolayer &l = layer[i];
        for (int k = 0; k < EditEntryCount(l, EDIT_EFFECT); k++) {
            end = std::max(end, (long long)l.event[k].t + l.event[k].length);
        }
        for (int kind = EDIT_VALUE; kind <= EDIT_CAMERA; kind++) {
            for (int k = 0; k < EditEntryCount(l, kind); k++) {
                end = std::max<long long>(end, EditEntryTime(l, kind, k));
            }
        }
    }
    return (int)std::min<long long>(end, INT_MAX);
}

void c_demo::GuiMessage(int level, const char *id, const char *text) {
    std::lock_guard<std::mutex> hold(messagelock);
    if (gui_nummessages < 0 || gui_nummessages > GUI_MAXMESSAGES) gui_nummessages = 0;
    if (gui_nummessages == GUI_MAXMESSAGES) {
        std::copy(gui_messages + 1, gui_messages + GUI_MAXMESSAGES, gui_messages);
        gui_nummessages--;
    }
    s_guimessage &m = gui_messages[gui_nummessages++];
    m.level = level;
    snprintf(m.id, sizeof m.id, "%s", id ? id : "");
    // One line: the console's leading "- " and line end are left out.
    const char *from = text ? text : "";
    if (from[0] == '-' && from[1] == ' ') from += 2;
    snprintf(m.text, sizeof m.text, "%.*s", (int)strcspn(from, "\r\n"), from);
    m.shownsince = 0;
}

int c_demo::ShownMessages(s_guimessage *out, uint32_t now) {
    std::lock_guard<std::mutex> hold(messagelock);
    if (gui_nummessages < 0 || gui_nummessages > GUI_MAXMESSAGES) gui_nummessages = 0;
    int kept = 0;
    for (int i = 0; i < gui_nummessages; i++) {
        s_guimessage &m = gui_messages[i];
        if (m.shownsince == 0) m.shownsince = now ? now : 1;
        if (now - m.shownsince >= (uint32_t)MESSAGEMILLIS) continue;
        gui_messages[kept] = m;
        out[kept++] = m;
    }
    gui_nummessages = kept;
    return kept;
}

void GuiLogSink(int level, const char *id, const char *text, void *user) {
    if (level <= gui_consolelevel) core_consolesink(level, id, text, nullptr);
    const bool own = id && strncmp(id, "edit.", 5) == 0;
    if (user && (level <= LOG_WARNING || (own && level <= LOG_PROGRESS))) {
        static_cast<c_demo *>(user)->GuiMessage(level, id, text);
    }
}

bool c_demo::ResizeGUI(int width, int height) {
    if (width <= 0 || height <= 0) return false;
    gui_windowwidth = width;
    gui_windowheight = height;
    // Without a preview framebuffer of the window's size the preview shows the composed
    // frame as it is; the editor's own framebuffer must follow.
    if (gui_previewbuffer_id > 0) MOX_ResizeFrameBuffer(gui_previewbuffer_id, width, height);
    if (!MOX_ResizeFrameBuffer(gui_framebuffer_id, width, height)) {
        core_log(LOG_WARNING, "edit.resize_failed",
                 "- Editor: the screen could not follow the window to %dx%d\n", width, height);
        return false;
    }
    gui_width = width;
    gui_height = height;
    const s_guilayout layout = Layout();
    ApplyLayout(layout);
    // The waveform band: a column per screen pixel, as high as the band.
    MOX_DeleteBitmap(&bmp_waveform);
    MOX_CreateBitmap(gui_width, layout.waveform, &bmp_waveform);
    gui_resourcestart =
        std::clamp(gui_resourcestart, 0, std::max(0, numresources - layout.listrows));
    core_log(LOG_DEBUG, "edit.resized", "- Editor screen %dx%d\n", width, height);
    return true;
}

void c_demo::UpdateGUI() {
    // A window the user resized: the editor screen takes its new size.
    if (gui_windowwidth > 0 && gui_windowheight > 0 &&
        (MOX_video.width != gui_windowwidth || MOX_video.height != gui_windowheight)) {
        ResizeGUI(MOX_video.width, MOX_video.height);
    }
    LiveReloadPoll(this, MOX_GetMillis());
    FollowLoop(*this);
    if (gui_visible) {
        DrawGUI();
        HandleGUI();
        return;
    }
    // Hidden: the frame HandleDemo left for presentation (after a post-processing event, the
    // layers composed past it) fills the current render target, unless that target is the
    // frame itself (a framebuffer's texture cannot be drawn into itself).
    const int shown = ShownBuffer();
    if (!MOX_FrameBuffer || MOX_FrameBuffer->id != shown) {
        MOX_DrawFrameBuffer(0, 0, MOX_video.width, MOX_video.height, shown);
    }
    int key = 0, keytrig = 0;
    MOX_GetKeys(&key, &keytrig);
    if (keytrig & MOX_PAD_TAB) gui_visible = true;
    HandleQuit(keytrig);
}

void c_demo::HandleQuit(int keytrig) {
    if (!(keytrig & MOX_PAD_ESC)) return;
    if (Unsaved() && !gui_quitasked) {
        gui_quitasked = true;
        core_log(LOG_WARNING, "edit.quit_unsaved",
                 "- Unsaved changes: Escape again quits without saving, Z saves\n");
        return;
    }
    gui_quit = true;
}

void c_demo::ClearSelection() {
    gui_selected_markerarea = 0;
    gui_selected_marker = -1;
    gui_selected_layer = -1;
    gui_selected_event = -1;
    gui_selected_eventtype = 0;
    gui_selected_parameter = 0;
}

int c_demo::GetPreviousMarkerPosition(int currentpos) {
    int t = 0;
    for (int i = 0; i < MarkerCount(*this); i++) {
        if (marker[i].t < currentpos) t = marker[i].t;
    }
    return t;
}

int c_demo::GetNextMarkerPosition(int currentpos) {
    int t = 0;
    return NextMarker(*this, currentpos, &t) ? t : 0;
}

int c_demo::GetSelectedEvent(s_demolayer *dlayer, int *type, int pos, int sy) {
    *type = 0;
    if (!dlayer) return -1;
    const s_guilayout L = Layout();
    const long long box = (long long)L.keybox * L.frames;
    const int keytop = L.Px(24), keybottom = L.Px(40);
    const long long p = pos;
    for (int i = 0; i < dlayer->numevents_camera && i < DEMO_MAXKEYS; i++) {
        const long long t = dlayer->event_camera[i].t;
        if (t <= p && p < t + box) {
            *type = EDIT_CAMERA;
            return i;
        }
    }
    for (int i = 0; i < dlayer->numevents_transform && i < DEMO_MAXKEYS; i++) {
        const long long t = dlayer->event_transform[i].t;
        if (t <= p && p < t + box && keytop < sy && sy < keybottom) {
            *type = EDIT_TRANSFORM;
            return i;
        }
    }
    for (int i = 0; i < dlayer->numevents_value && i < DEMO_MAXKEYS; i++) {
        const long long t = dlayer->event_value[i].t;
        if (t - box <= p && p < t + box) {
            *type = EDIT_VALUE;
            return i;
        }
    }
    for (int i = 0; i < dlayer->numevents && i < DEMO_MAXEVENTS; i++) {
        const long long t = dlayer->event[i].t;
        if (t <= p && p < t + dlayer->event[i].length) {
            *type = EDIT_EFFECT;
            return i;
        }
    }
    return -1;
}

void c_demo::Reselect(std::vector<s_guientry> before, bool shift) {
    const s_guientry hit{gui_selected_layer, gui_selected_eventtype, gui_selected_event, 0, 0};
    const bool found = gui_selected_eventtype != 0 && gui_selected_event >= 0;
    auto same = [&](const s_guientry &e) {
        return e.layer == hit.layer && e.kind == hit.kind && e.index == hit.index;
    };
    const auto at = std::find_if(before.begin(), before.end(), same);
    auto make = [&](std::vector<s_guientry> entries) {
        if (entries.empty()) {
            gui_selection.clear();
            return;
        }
        gui_selected_layer = entries[0].layer;
        gui_selected_eventtype = entries[0].kind;
        gui_selected_event = entries[0].index;
        gui_selection = std::move(entries);
    };
    if (shift) {
        // Shift adds the entry to the selection, or takes a selected one out of it.
        if (!found) {
            make(std::move(before));
        } else if (at != before.end()) {
            before.erase(at);
            if (before.empty()) gui_selected_eventtype = 0, gui_selected_event = -1;
            make(std::move(before));
        } else {
            before.insert(before.begin(), hit);
            make(std::move(before));
        }
        return;
    }
    // A press on an entry of a selection of several keeps them all, to be dragged together.
    if (found && at != before.end() && before.size() > 1) {
        std::iter_swap(before.begin(), at);
        make(std::move(before));
        return;
    }
    gui_selection.clear();
}

void c_demo::HandleLayerKeys(int pressed) {
    if (pressed == MOX_VK_F1) gui_help = !gui_help;
    s_demolayer *l = SelectedLayer(*this);
    if (!l) return;
    if (pressed == MOX_VK_F1 + 1) {
        gui_renaming = true;
        gui_typed.assign(l->name, strnlen(l->name, sizeof l->name));
    } else if (pressed == 'H') {
        l->visible = !l->visible;
    } else if (pressed == MOX_VK_PRIOR || pressed == MOX_VK_NEXT) {
        // Page Up moves the layer a row up the screen: one place later in the order.
        MoveLayer(pressed == MOX_VK_PRIOR ? 1 : -1);
    }
}

void c_demo::HandleGUI() {
    int key = 0, keytrig = 0;
    MOX_GetKeys(&key, &keytrig);
    // Undo and redo are letters outside the key word: the key code says which was pressed.
    int code = 0, codetrig = 0;
    MOX_GetKeycode(&code, &codetrig);
    const int pressed = codetrig && code ? mox_keycodetovk(code) : 0;

    gui_oldmousebutton = gui_mousebutton;
    // In a mouse mode without a position the driver leaves the outputs alone: the cursor then
    // stays where the driver last put it.
    int mx = mox_mouse_x, my = mox_mouse_y;
    MOX_GetMouse(&mx, &my, &gui_mousebutton);
    const int mousetrigger = gui_mousebutton ^ gui_oldmousebutton;
    gui_cursorx = MOX_video.width > 0 ? (int)((long long)gui_width * mx / MOX_video.width) : mx;
    gui_cursory = MOX_video.height > 0 ? (int)((long long)gui_height * my / MOX_video.height) : my;
    int wheel = gui_wheel, wheeldirection = 0;
    MOX_GetMouseWheel(&wheel, &wheeldirection);
    const int notches = wheel - gui_wheel;
    gui_wheel = wheel;
    // A key held on from the last frame continues its gesture, and so does a drag with the
    // left button; anything pressed starts one.
    const bool dragging = gui_drag.mode != DRAG_NONE && (gui_mousebutton & 1);
    if (keytrig || mousetrigger || pressed > 0 || notches || (!key && !dragging)) gui_gesture++;

    // Every key pressed since the last frame, in order: typing may be quicker than frames.
    int presses[MOX_MAXPRESSES];
    const int numpresses = MOX_TakeKeyPresses(presses, MOX_MAXPRESSES);
    const bool ctrl = key & MOX_PAD_CTRL;
    if (gui_renaming) {
        // Typing a layer's name: the keys are letters until Enter or Escape.
        for (int i = 0; i < numpresses && gui_renaming; i++)
            HandleRename(presses[i] & 0xff, (presses[i] & MOX_PRESS_SHIFT) != 0);
    } else if (gui_typing) {
        // Typing a value: digits and the like until Enter or Escape.
        for (int i = 0; i < numpresses && gui_typing; i++)
            HandleValueEntry(*this, presses[i] & 0xff);
    } else if (pressed == UNDOKEY || pressed == REDOKEY || pressed == REDOKEY2) {
        if (keytrig & ~MOX_PAD_ESC) gui_quitasked = false;
        HandleQuit(keytrig);
        if (pressed == UNDOKEY ? Undo() : Redo()) {
            gui_selection.clear();
            gui_drag = s_guidrag{};
        }
    } else {
        if (keytrig & ~MOX_PAD_ESC) gui_quitasked = false;
        HandleQuit(keytrig);
        if (pressed == GRIDKEY) {
            gui_snap = GridCycle(gui_snap, (key & MOX_PAD_SHIFT) ? -1 : 1);
            core_log(LOG_PROGRESS, "edit.grid", "- Grid: %s\n", GridDivisionName(gui_snap));
        } else if (pressed == TIMEFORMATKEY) {
            gui_barsbeats = !gui_barsbeats;
        } else if (!ctrl || pressed == 'I' || pressed == 'O') {
            const int cursortime = ClampToInt((double)Layout().TimeAt(gui_cursorx));
            if (!HandleLoopKeys(*this, pressed, key, cursortime))
                HandleValueKeys(*this, pressed, key);
        }
        int trig = keytrig;
        if (ctrl && (pressed == 'C' || pressed == 'X' || pressed == 'V' || pressed == 'D')) {
            // Ctrl with C, X, V or D is the clipboard's, not the letters' own commands.
            trig &= ~(MOX_PAD_ALT | MOX_PAD_X);
            if (pressed == 'C') CopySelection();
            if (pressed == 'X') CutSelection();
            if (pressed == 'V') PasteClipboard(position);
            if (pressed == 'D') DuplicateSelection();
        }
        HandleLayerKeys(pressed);
        HandleCommands(key, trig, mousetrigger);
        HandleWheel(notches, ctrl);
    }

    // The selected line is one the panel shows; a shader or function event carries as many
    // values as its descriptor names.
    if (SelectedEntryValid(*this)) {
        s_demolayer *l = SelectedLayer(*this);
        int last = 0;
        if (gui_selected_eventtype == EDIT_EFFECT) {
            s_effectevent &e = l->event[gui_selected_event];
            const int values = PanelValueLines(e);
            if (values > 0) e.numvalues = values;
            last = 1 + values;
        } else if (gui_selected_eventtype == EDIT_TRANSFORM) {
            last = TRANSFORMLINES;
        }
        gui_selected_parameter = std::clamp(gui_selected_parameter, 0, last);
    }
    KeepTablesInOrder();
    if (gui_history) EditHistoryRecord(gui_history.get(), *this, gui_gesture);
}

void c_demo::HandleCommands(int key, int keytrig, int mousetrigger) {
    const s_guilayout L = Layout();
    const int scale = L.frames;
    const int cursortime = ClampToInt((double)L.TimeAt(gui_cursorx));
    // Keys and events are added inside the timeline, wherever the cursor is.
    auto ontimeline = [&](double t) { return (int)std::clamp<double>(t, 0, TimelineEnd()); };

    const bool shift = key & MOX_PAD_SHIFT;
    const bool leftpressed = (mousetrigger & 1) && (gui_mousebutton & 1);
    if (mousetrigger) {
        if (gui_mousebutton & 2) {
            gui_selected_resource = -1;
            ClearSelection();
            gui_drag = s_guidrag{};
        }
        if (gui_mousebutton & 1) {
            std::vector<s_guientry> before = SelectedEntries();
            bool rowmiss = false;  // the press fell on a layer row's timeline, on no entry
            ClearSelection();
            if (gui_cursory >= L.timeliney) {
                if (gui_cursory < L.timeliney + L.markerstrip) {
                    const long long box = (long long)L.markerbox * scale;
                    for (int i = 0; i < MarkerCount(*this); i++) {
                        const long long t = marker[i].t;
                        if (t < cursortime && cursortime < t + box) gui_selected_marker = i;
                    }
                    gui_selected_markerarea = 1;
                }
                for (int i = 0; i < numlayers && i < DEMO_MAXLAYERS; i++) {
                    const int sy = L.RowTop(i);
                    if (!(sy < gui_cursory && gui_cursory < sy + L.row)) continue;
                    gui_selected_layer = i;
                    s_demolayer *l = &layer[i];
                    if (gui_cursorx <= L.timelinex) {
                        l->visible = !l->visible;
                    } else if (gui_selected_resource >= 0) {
                        // The new event starts at the left edge of the label that follows
                        // the cursor; a full layer or a stale pick places nothing.
                        if (gui_selected_resource < numresources && l->numevents >= 0 &&
                            l->numevents < DEMO_MAXEVENTS) {
                            const int at = ClampToInt((double)cursortime - L.Px(LABELHALF) * scale);
                            AddEvent(l, ontimeline(GridSnap(*this, at)), gui_selected_resource);
                            gui_selected_resource = -1;
                        }
                    } else {
                        gui_selected_event = GetSelectedEvent(l, &gui_selected_eventtype,
                                                              cursortime, gui_cursory - sy);
                        rowmiss = gui_selected_eventtype == 0;
                        Reselect(std::move(before), shift);
                    }
                }
            } else if (L.resourcex < gui_cursorx && gui_cursorx < L.resourcex + L.listwidth &&
                       gui_cursory > L.resourcey) {
                for (int k = 0; k < L.listrows; k++) {
                    const int ry = L.listtop + L.listrow * k;
                    const int r = gui_resourcestart + k;
                    if (ry <= gui_cursory && gui_cursory < ry + L.listrow && r >= 0 &&
                        r < numresources) {
                        gui_selected_resource = r;
                    }
                }
            }
            if (leftpressed) BeginDrag(L, shift);
            // Shift and a box add to the selection.
            if (leftpressed && rowmiss && shift) gui_drag.mode = DRAG_BOX;
        }
    }
    if (!leftpressed && gui_drag.mode != DRAG_NONE) {
        if (gui_mousebutton & 1) {
            UpdateDrag(L, key & MOX_PAD_CTRL);
        } else {
            EndDrag(L, shift);
        }
    }

    if (keytrig & MOX_PAD_SPACE) {
        ClearSelection();
        gui_selected_resource = -1;
        if (!gui_paused) {
            Soundsystem_PauseSound(&demomusic);
            gui_paused = true;
        } else {
            Soundsystem_ResumeSound(&demomusic);
            gui_paused = false;
        }
    }
    if (keytrig & MOX_PAD_ENTER) {
        ClearSelection();
        gui_selected_resource = -1;
        Soundsystem_PauseSound(&demomusic);
        gui_paused = true;
    }
    if ((keytrig & MOX_PAD_Z) && SaveProject() && gui_history) {
        EditHistoryMarkSaved(gui_history.get());
    }
    if (keytrig & MOX_PAD_X) {
        if (key & MOX_PAD_SHIFT) {
            ClearMarkers();
        } else if (key & MOX_PAD_ALT) {
            ClearTimeline();
        } else {
            ClearMarkers();
            ClearTimeline();
        }
        // What was selected may no longer exist.
        ClearSelection();
    }

    s_demolayer *sel = SelectedLayer(*this);
    const bool layerselected = gui_selected_layer >= 0;
    auto addtransformkey = [&] {
        if (sel && sel->numevents_transform >= 0 && sel->numevents_transform < DEMO_MAXKEYS) {
            AddEventTransform(sel, ontimeline(GridSnap(*this, cursortime)), CURVE_SMOOTH, 0, 0, 0,
                              0, 0, 0, 1, 1, 1);
        }
    };
    if (keytrig & MOX_PAD_TAB) {
        core_log(LOG_DEBUG, "edit.special_key", "SPECIALKEY\n");
        if (layerselected) {
            if (key & MOX_PAD_CTRL) {
                addtransformkey();
            } else if (sel && sel->numevents_value >= 0 && sel->numevents_value < DEMO_MAXKEYS) {
                AddEventValue(sel, ontimeline(GridSnap(*this, cursortime)), VALUE_BLEND,
                              CURVE_LINEAR, 0.5f);
            }
        } else if (gui_selected_markerarea > 0) {
            if (MarkerCount(*this) < DEMO_MAXMARKERS) AddMarker(position, 0);
        } else {
            gui_visible = false;
        }
    }
    if (keytrig & MOX_PAD_ALT) addtransformkey();
    if ((keytrig & MOX_PAD_BACKSPACE) && gui_selected_eventtype != 0) {
        if (SelectedEntries().size() > 1 && !(key & MOX_PAD_SHIFT)) {
            DeleteSelection();
        } else if (SelectedEntryValid(*this)) {
            const int kind = gui_selected_eventtype;
            if (key & MOX_PAD_SHIFT) {
                const int n = EditEntryCount(*sel, kind);
                for (int i = 0; i < n; i++) DeleteEvent(sel, i, kind);
            } else {
                DeleteEvent(sel, gui_selected_event, kind);
            }
        }
        ClearSelection();
    }

    if (gui_selected_eventtype == 0) {
        if (gui_selected_marker >= 0) {
            HandleMarkers(key, keytrig);
        } else {
            HandleNavigation(key, keytrig);
        }
        return;
    }
    // A selection whose entry is gone acts on nothing.
    if (!SelectedEntryValid(*this)) return;

    const bool ctrl = key & MOX_PAD_CTRL;
    const float d = gui_zoom * 512;
    const int kind = gui_selected_eventtype;
    // Shift+Left/Right step through the entries of the selected kind and jump to each; the
    // music's play state stays as it is.
    auto step = [&] {
        const int count = EditEntryCount(*sel, kind);
        if (keytrig & MOX_PAD_LEFT) {
            if (gui_selected_event > 0) gui_selected_event--;
            position = EditEntryTime(*sel, kind, gui_selected_event);
            if (position < 0) position = 0;
            Soundsystem_SetSoundOffset(&demomusic, FrameOffset(position));
            gui_paused = true;
        }
        if (keytrig & MOX_PAD_RIGHT) {
            if (gui_selected_event < count - 1) gui_selected_event++;
            position = EditEntryTime(*sel, kind, gui_selected_event);
            if (position < 0) position = 0;
            Soundsystem_SetSoundOffset(&demomusic, FrameOffset(position));
            gui_paused = true;
        }
    };

    switch (kind) {
        case EDIT_CAMERA: {
            s_cameraevent &c = sel->event_camera[gui_selected_event];
            if (shift) {
                step();
            } else if (ctrl) {
                if (keytrig & MOX_PAD_LEFT) c.t = GetPreviousMarkerPosition(c.t);
                if (keytrig & MOX_PAD_RIGHT) c.t = GetNextMarkerPosition(c.t);
            } else {
                if (key & MOX_PAD_LEFT) c.t = MoveOnGrid(*this, c.t, -d);
                if (key & MOX_PAD_RIGHT) c.t = MoveOnGrid(*this, c.t, d);
            }
            break;
        }
        case EDIT_TRANSFORM: {
            if (shift) {
                step();
                break;
            }
            if ((keytrig & MOX_PAD_UP) && gui_selected_parameter > 0) gui_selected_parameter--;
            if ((keytrig & MOX_PAD_DOWN) && gui_selected_parameter < TRANSFORMLINES) {
                gui_selected_parameter++;
            }
            s_transformevent *k = &sel->event_transform[gui_selected_event];
            const int p = k->parent;
            s_effectevent *parent =
                p >= 0 && p < sel->numevents && p < DEMO_MAXEVENTS ? &sel->event[p] : nullptr;
            HandleTransformParameter(k, parent, key, keytrig);
            break;
        }
        case EDIT_VALUE: {
            const int n = gui_selected_event;
            s_valueevent &v = sel->event_value[n];
            if (shift) {
                step();
            } else if (ctrl) {
                if (keytrig & MOX_PAD_UP) v.value = 1.0f;
                if (keytrig & MOX_PAD_DOWN) v.value = 0.0f;
                if (keytrig & MOX_PAD_LEFT) v.t = GetPreviousMarkerPosition(v.t);
                if (keytrig & MOX_PAD_RIGHT) v.t = GetNextMarkerPosition(v.t);
            } else {
                if (key & MOX_PAD_LEFT) {
                    const int tprevious = n > 0 ? sel->event_value[n - 1].t : 0;
                    v.t = MoveOnGrid(*this, v.t, -d);
                    if (v.t < tprevious) v.t = tprevious;
                }
                if (key & MOX_PAD_RIGHT) {
                    const int tnext = n < EditEntryCount(*sel, EDIT_VALUE) - 1
                                          ? sel->event_value[n + 1].t
                                          : LASTKEYBOUND;
                    v.t = MoveOnGrid(*this, v.t, d);
                    if (v.t > tnext) v.t = tnext;
                }
                if ((key & MOX_PAD_UP) && v.value < 1.0f) v.value += 0.05f;
                if ((key & MOX_PAD_DOWN) && v.value > 0.0f) v.value -= 0.05f;
            }
            break;
        }
        case EDIT_EFFECT: {
            s_effectevent *e = &sel->event[gui_selected_event];
            if (shift) {
                const int nres =
                    numresources < DEMO_MAXRESOURCES ? numresources : DEMO_MAXRESOURCES;
                if ((keytrig & MOX_PAD_UP) && nres > 0) {
                    e->id = e->id >= 0 && e->id < nres - 1 ? e->id + 1 : 0;
                    e->type = SelectResourceEffect(e, resource[e->id].type);
                }
                if ((keytrig & MOX_PAD_DOWN) && nres > 0) {
                    e->id = e->id > 0 && e->id < nres ? e->id - 1 : nres - 1;
                    e->type = SelectResourceEffect(e, resource[e->id].type);
                }
                step();
                break;
            }
            if ((keytrig & MOX_PAD_UP) && gui_selected_parameter > 0) gui_selected_parameter--;
            if ((keytrig & MOX_PAD_DOWN) && gui_selected_parameter < 1 + PanelValueLines(*e)) {
                gui_selected_parameter++;
            }
            HandleEffectParameter(e, key, keytrig);
            break;
        }
        default:
            break;
    }
}

void c_demo::HandleMarkers(int key, int keytrig) {
    const int n = MarkerCount(*this);
    int m = gui_selected_marker;
    if (m < 0 || m >= n) return;
    if (keytrig & MOX_PAD_BACKSPACE) {
        DeleteMarker(m);
        ClearSelection();
        return;
    }
    if (key & MOX_PAD_SHIFT) {
        if (keytrig & MOX_PAD_UP) marker[m].type = CycleOfFour(marker[m].type, 1);
        if (keytrig & MOX_PAD_DOWN) marker[m].type = CycleOfFour(marker[m].type, -1);
        if ((keytrig & MOX_PAD_LEFT) && m > 0) {
            gui_selected_marker = --m;
            Soundsystem_SetSoundOffset(&demomusic, FrameOffset(marker[m].t));
        }
        if ((keytrig & MOX_PAD_RIGHT) && m < n - 1) {
            gui_selected_marker = ++m;
            Soundsystem_SetSoundOffset(&demomusic, FrameOffset(marker[m].t));
        }
    } else if (key & MOX_PAD_CTRL) {
        if (keytrig & MOX_PAD_LEFT) MoveMarkers(-MARKERSHIFT);
        if (keytrig & MOX_PAD_RIGHT) MoveMarkers(MARKERSHIFT);
    } else {
        const float d = gui_zoom * 512;
        s_marker &mk = marker[m];
        if (key & MOX_PAD_LEFT) {
            const int lower = m > 0 ? marker[m - 1].t : 0;
            mk.t = MoveTime(mk.t, -d);
            if (mk.t < lower) mk.t = lower;
        }
        if (key & MOX_PAD_RIGHT) {
            // The last marker is bounded by its own time, so it does not move forward.
            const int upper = m < n - 1 ? marker[m + 1].t : mk.t;
            mk.t = MoveTime(mk.t, d);
            if (mk.t > upper) mk.t = upper;
        }
    }
}

void c_demo::HandleNavigation(int key, int keytrig) {
    if (key & MOX_PAD_SHIFT) {
        if ((keytrig & MOX_PAD_UP) && gui_resourcestart >= 1) gui_resourcestart--;
        if ((keytrig & MOX_PAD_DOWN) && gui_resourcestart < numresources - Layout().listrows) {
            gui_resourcestart++;
        }
    } else if (key & MOX_PAD_CTRL) {
        if (keytrig & MOX_PAD_LEFT) {
            const int from = ClampToInt((double)position - MARKERBACKOFF);
            Soundsystem_SetSoundOffset(&demomusic, FrameOffset(GetPreviousMarkerPosition(from)));
            gui_paused = true;
        }
        if (keytrig & MOX_PAD_RIGHT) {
            Soundsystem_SetSoundOffset(&demomusic, FrameOffset(GetNextMarkerPosition(position)));
            gui_paused = true;
        }
        if (keytrig & MOX_PAD_UP) gui_zoom += 1.0f;
        // Never below 1.0, so the timeline's scale stays well above zero.
        if ((keytrig & MOX_PAD_DOWN) && gui_zoom > 1.0f) {
            gui_zoom = gui_zoom - 1.0f < 1.0f ? 1.0f : gui_zoom - 1.0f;
        }
    } else {
        if (key & (MOX_PAD_LEFT | MOX_PAD_RIGHT)) {
            const float o = (float)Soundsystem_GetHeardOffset(demomusic);
            if (key & MOX_PAD_LEFT) {
                const int t = ClampToInt(o - gui_zoom * 1024);
                Soundsystem_SetSoundOffset(&demomusic, FrameOffset(t));
                Soundsystem_PauseSound(&demomusic);
                gui_paused = true;
            }
            if (key & MOX_PAD_RIGHT) {
                const int t = ClampToInt(o + gui_zoom * 1024);
                Soundsystem_SetSoundOffset(&demomusic, FrameOffset(t));
                Soundsystem_PauseSound(&demomusic);
                gui_paused = true;
            }
        }
        if (key & MOX_PAD_UP) gui_zoom = (float)((double)gui_zoom + 0.1);
        if ((key & MOX_PAD_DOWN) && gui_zoom > 1.0f) gui_zoom = (float)((double)gui_zoom - 0.1);
    }
}

// Parameter lines: 0 time, 1 length, 2 + i value i of an effect event.
void c_demo::HandleEffectParameter(s_effectevent *evt, int key, int keytrig) {
    if (!evt) return;
    const bool ctrl = key & MOX_PAD_CTRL;
    const float d = gui_zoom * 512;
    const int line = gui_selected_parameter;
    if (line == 0) {
        if (ctrl) {
            if (keytrig & MOX_PAD_LEFT) evt->t = GetPreviousMarkerPosition(evt->t);
            if (keytrig & MOX_PAD_RIGHT) evt->t = GetNextMarkerPosition(evt->t);
        } else {
            if (key & MOX_PAD_LEFT) evt->t = MoveOnGrid(*this, evt->t, -d);
            if (key & MOX_PAD_RIGHT) evt->t = MoveOnGrid(*this, evt->t, d);
        }
    } else if (line == 1) {
        if (ctrl) {
            // Without a marker after the end the length stays as it is.
            int next = 0;
            const int end = ClampToInt((double)evt->t + evt->length);
            if ((keytrig & MOX_PAD_RIGHT) && NextMarker(*this, end, &next)) {
                evt->length = ClampToInt((double)next - evt->t);
            }
            if (keytrig & MOX_PAD_LEFT) {
                const int lastend = ClampToInt((double)evt->t + evt->length - 1);
                double e = GetPreviousMarkerPosition(lastend);
                if (e < (double)evt->t + MINLENGTH) e = (double)evt->t + MINLENGTH;
                evt->length = ClampToInt(e - evt->t);
            }
        } else {
            // With snapping on, the event's end moves along the grid.
            auto moveend = [&](float by) {
                if (gui_snap == GRID_OFF) return MoveTime(evt->length, by);
                const int end = ClampToInt((double)evt->t + evt->length);
                return ClampToInt((double)GridMove(*this, end, by) - evt->t);
            };
            if (key & MOX_PAD_RIGHT) evt->length = moveend(d);
            if (key & MOX_PAD_LEFT) {
                evt->length = moveend(-d);
                if (evt->length < 0) evt->length = 0;
            }
        }
    } else if (line >= 2) {
        // Only values in use are edited: the rest of the block stays 0.
        const int i = line - 2;
        if (i >= evt->numvalues || i >= PanelValueLines(*evt)) return;
        float &v = evt->value[i];
        if ((keytrig & MOX_PAD_LEFT) && v > 0) v -= 1.0f;
        if (keytrig & MOX_PAD_RIGHT) v += 1.0f;
    }
}

// Parameter lines: 0 time, 1 curve type, 2..10 the nine floats of a transform key.
void c_demo::HandleTransformParameter(s_transformevent *evt, s_effectevent *, int key,
                                      int keytrig) {
    if (!evt) return;
    const bool ctrl = key & MOX_PAD_CTRL;
    const int line = gui_selected_parameter;
    if (line == 0) {
        const float d = gui_zoom * 512;
        if (ctrl) {
            if (keytrig & MOX_PAD_LEFT) evt->t = GetPreviousMarkerPosition(evt->t);
            if (keytrig & MOX_PAD_RIGHT) evt->t = GetNextMarkerPosition(evt->t);
        } else {
            if (key & MOX_PAD_LEFT) evt->t = MoveOnGrid(*this, evt->t, -d);
            if (key & MOX_PAD_RIGHT) evt->t = MoveOnGrid(*this, evt->t, d);
        }
    } else if (line == 1) {
        // The arrows cycle through the first four curve types.
        if (keytrig & MOX_PAD_LEFT) evt->curvetype = CycleOfFour(evt->curvetype, -1);
        if (keytrig & MOX_PAD_RIGHT) evt->curvetype = CycleOfFour(evt->curvetype, 1);
    } else if (line >= 2 && line <= TRANSFORMLINES) {
        const bool rotation = line >= 5 && line <= 7;
        const float changevalue = rotation ? 1.0f : 0.01f;
        const float snapvalue = rotation ? 90.0f : 1.0f;
        float &f = evt->*TRANSFORMFIELDS[line - 2];
        if (ctrl) {
            if (keytrig & MOX_PAD_LEFT) f -= snapvalue;
            if (keytrig & MOX_PAD_RIGHT) f += snapvalue;
        } else {
            if (key & MOX_PAD_LEFT) f -= changevalue;
            if (key & MOX_PAD_RIGHT) f += changevalue;
        }
    }
}
