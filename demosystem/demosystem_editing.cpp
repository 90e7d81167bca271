// Timeline editor: a selection of several events and keys, the mouse's drags (entries and an
// effect event's end in time, a marker alone, the play position along the waveform, a box
// that selects) and wheel, the clipboard (copy, cut, paste, duplicate) and the layer commands
// (order, name). Changes go into the tables like every other command: the input step then
// keeps the tables in time order, the selection following its entries, and records the frame
// for undo.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "core/coredebug.h"
#include "demosystem/demosystem.h"
#include "demosystem/demosystem_grid.h"
#include "demosystem/demosystem_layout.h"
#include "mox/mox.h"

namespace {

constexpr int DRAGTHRESHOLD = 3;    // design pixels the cursor moves before a drag acts
constexpr int ENDGRIP = 8;          // design pixels left of an event's end that grip the end
constexpr int WHEELSTEP = 64;       // design pixels of time one notch of the wheel scrolls
constexpr float WHEELZOOM = 1.25f;  // zoom factor of one notch with Ctrl
constexpr float MINZOOM = 1.0f, MAXZOOM = 4096.0f;
constexpr int MAXNAME = 48;  // characters of a typed layer name

bool Same(const s_guientry &a, const s_guientry &b) {
    return a.layer == b.layer && a.kind == b.kind && a.index == b.index;
}

bool Contains(const std::vector<s_guientry> &list, const s_guientry &e) {
    return std::any_of(list.begin(), list.end(), [&](const s_guientry &x) { return Same(x, e); });
}

int Layers(const c_demo &d) { return std::clamp(d.numlayers, 0, DEMO_MAXLAYERS); }

bool Valid(const c_demo &d, const s_guientry &e) {
    return e.layer >= 0 && e.layer < Layers(d) && e.index >= 0 &&
           e.index < EditEntryCount(d.layer[e.layer], e.kind);
}

int Markers(const c_demo &d) { return std::clamp(d.nummarkers, 0, DEMO_MAXMARKERS); }

int Clamped(long long t) { return (int)std::clamp<long long>(t, 0, INT_MAX); }

}  // namespace

std::vector<s_guientry> c_demo::SelectedEntries() const {
    std::vector<s_guientry> out;
    const s_guientry primary{gui_selected_layer, gui_selected_eventtype, gui_selected_event, 0, 0};
    if (!Valid(*this, primary)) return out;
    out.push_back(primary);
    if (!Contains(gui_selection, primary)) return out;
    for (const s_guientry &e : gui_selection)
        if (!Same(e, primary) && Valid(*this, e) && !Contains(out, e)) out.push_back(e);
    return out;
}

bool c_demo::IsSelected(int l, int kind, int n) const {
    if (gui_selected_layer == l && gui_selected_eventtype == kind && gui_selected_event == n)
        return true;
    const s_guientry e{l, kind, n, 0, 0};
    const s_guientry primary{gui_selected_layer, gui_selected_eventtype, gui_selected_event, 0, 0};
    return Contains(gui_selection, e) && Contains(gui_selection, primary);
}

// Onto the beat grid at the chosen subdivision; unchanged while the grid is off.
int c_demo::SnapTime(int t) { return GridSnap(*this, t); }

void c_demo::BeginDrag(const s_guilayout &L, bool shift) {
    gui_drag = s_guidrag{};
    gui_drag.startx = gui_cursorx;
    gui_drag.starty = gui_cursory;
    const int x = gui_cursorx, y = gui_cursory;
    if (y < L.timeliney || x <= L.timelinex) return;
    if (gui_selected_marker >= 0 && gui_selected_marker < Markers(*this)) {
        gui_drag.mode = DRAG_MARKER;
        gui_drag.anchor = marker[gui_selected_marker].t;
        return;
    }
    const int wavetop = L.timeliney + L.markerstrip;
    if (y >= wavetop && y < wavetop + L.waveform) {
        // The time under the press becomes the play position; moving on scrubs from there.
        gui_drag.mode = DRAG_SEEK;
        gui_drag.anchor = (int)std::clamp<long long>(L.TimeAt(x), 0, TimelineEnd());
        Soundsystem_SetSoundOffset(&demomusic, (uint64_t)gui_drag.anchor);
        position = gui_drag.anchor;
        return;
    }
    if (gui_selected_layer < 0 || gui_selected_layer >= Layers(*this)) return;
    if (gui_selected_eventtype == 0) {
        gui_drag.mode = DRAG_BOX;
        return;
    }
    std::vector<s_guientry> entries = SelectedEntries();
    if (entries.empty() || shift) return;
    s_guientry &primary = entries[0];
    s_demolayer &pl = layer[primary.layer];
    if (primary.kind == EDIT_EFFECT) {
        // Near its end, the press takes the event's end rather than the event.
        const s_effectevent &e = pl.event[primary.index];
        const int endx = L.TimeX((long long)e.t + e.length);
        const int startx = L.TimeX(e.t);
        if (x >= endx - L.Px(ENDGRIP) && x > (startx + endx) / 2) {
            gui_drag.mode = DRAG_LENGTH;
            gui_drag.anchor = Clamped((long long)e.t + e.length);
            primary.t0 = e.t;
            primary.length0 = e.length;
            gui_drag.entries = {primary};
            return;
        }
    }
    gui_drag.mode = DRAG_ENTRIES;
    gui_drag.anchor = EditEntryTime(pl, primary.kind, primary.index);
    // Effect events take their transform keys along.
    const size_t selected = entries.size();
    for (size_t i = 0; i < selected; i++) {
        const s_guientry e = entries[i];
        if (e.kind != EDIT_EFFECT) continue;
        const s_demolayer &l = layer[e.layer];
        for (int k = 0; k < EditEntryCount(l, EDIT_TRANSFORM); k++) {
            const s_guientry key{e.layer, EDIT_TRANSFORM, k, 0, 0};
            if (l.event_transform[k].parent == e.index && !Contains(entries, key))
                entries.push_back(key);
        }
    }
    for (s_guientry &e : entries) e.t0 = EditEntryTime(layer[e.layer], e.kind, e.index);
    gui_drag.entries = std::move(entries);
}

void c_demo::UpdateDrag(const s_guilayout &L, bool) {
    s_guidrag &g = gui_drag;
    if (g.mode == DRAG_NONE) return;
    const int dx = gui_cursorx - g.startx, dy = gui_cursory - g.starty;
    if (!g.moved && std::abs(dx) < L.Px(DRAGTHRESHOLD) && std::abs(dy) < L.Px(DRAGTHRESHOLD))
        return;
    g.moved = true;
    const long long delta = (long long)dx * L.frames;
    switch (g.mode) {
        case DRAG_ENTRIES: {
            const long long d = (long long)SnapTime(Clamped(g.anchor + delta)) - g.anchor;
            for (const s_guientry &e : g.entries)
                if (Valid(*this, e))
                    EditEntryTime(layer[e.layer], e.kind, e.index) = Clamped(e.t0 + d);
            break;
        }
        case DRAG_LENGTH: {
            const s_guientry &e = g.entries[0];
            if (!Valid(*this, e)) break;
            // At least one pixel of the event stays.
            const long long end = std::max<long long>(SnapTime(Clamped(g.anchor + delta)),
                                                      (long long)e.t0 + L.frames);
            layer[e.layer].event[e.index].length = (int)std::min<long long>(end - e.t0, INT_MAX);
            break;
        }
        case DRAG_MARKER:
            if (gui_selected_marker >= 0 && gui_selected_marker < Markers(*this))
                marker[gui_selected_marker].t = SnapTime(Clamped(g.anchor + delta));
            break;
        case DRAG_SEEK: {
            const int t = (int)std::clamp<long long>(g.anchor + delta, 0, TimelineEnd());
            Soundsystem_SetSoundOffset(&demomusic, (uint64_t)t);
            position = t;
            break;
        }
        default:
            break;
    }
}

void c_demo::EndDrag(const s_guilayout &L, bool shift) {
    s_guidrag g = std::move(gui_drag);
    gui_drag = s_guidrag{};
    if (g.mode != DRAG_BOX || !g.moved) return;
    // Everything drawn inside the box's rows and times: effect events by their span, keys by
    // their box.
    const int x0 = std::min(g.startx, gui_cursorx), x1 = std::max(g.startx, gui_cursorx);
    const int y0 = std::min(g.starty, gui_cursory), y1 = std::max(g.starty, gui_cursory);
    std::vector<s_guientry> picked = shift ? SelectedEntries() : std::vector<s_guientry>{};
    const size_t before = picked.size();
    for (int i = 0; i < Layers(*this); i++) {
        const int top = L.RowTop(i);
        if (top + L.row <= y0 || top > y1) continue;
        const s_demolayer &l = layer[i];
        for (int kind = EDIT_EFFECT; kind <= EDIT_CAMERA; kind++) {
            for (int n = 0; n < EditEntryCount(l, kind); n++) {
                const long long t = EditEntryTime(layer[i], kind, n);
                const long long end = kind == EDIT_EFFECT ? t + l.event[n].length : t;
                const int from = L.TimeX(t) - (kind == EDIT_VALUE ? L.keybox : 0);
                const int to = kind == EDIT_EFFECT ? L.TimeX(end) : L.TimeX(t) + L.keybox;
                if (to < x0 || from > x1) continue;
                const s_guientry e{i, kind, n, 0, 0};
                if (!Contains(picked, e)) picked.push_back(e);
            }
        }
    }
    if (picked.size() == before) return;
    const s_guientry primary = picked[0];
    gui_selected_layer = primary.layer;
    gui_selected_eventtype = primary.kind;
    gui_selected_event = primary.index;
    gui_selected_parameter = 0;
    gui_selection = std::move(picked);
    core_log(LOG_DEBUG, "edit.box_selected", "- %d entries selected\n", (int)gui_selection.size());
}

void c_demo::HandleWheel(int notches, bool ctrl) {
    if (!notches) return;
    if (ctrl) {
        // Up zooms in (fewer frames a pixel), down out.
        const float z = gui_zoom * std::pow(WHEELZOOM, (float)-notches);
        gui_zoom = std::clamp(std::isnan(z) ? gui_zoom : z, MINZOOM, MAXZOOM);
        return;
    }
    const s_guilayout L = Layout();
    const long long t = (long long)position - (long long)notches * L.Px(WHEELSTEP) * L.frames;
    const int to = (int)std::clamp<long long>(t, 0, TimelineEnd());
    Soundsystem_SetSoundOffset(&demomusic, (uint64_t)to);
    position = to;
}

bool c_demo::CopySelection() {
    const std::vector<s_guientry> entries = SelectedEntries();
    if (entries.empty()) return false;
    s_guiclipboard c{};
    const int base = entries[0].layer;
    long long first = LLONG_MAX, last = LLONG_MIN;
    for (const s_guientry &e : entries) {
        s_demolayer &l = layer[e.layer];
        const long long t = EditEntryTime(l, e.kind, e.index);
        first = std::min(first, t);
        last = std::max(last, e.kind == EDIT_EFFECT ? t + l.event[e.index].length : t);
    }
    for (const s_guientry &e : entries) {
        s_demolayer &l = layer[e.layer];
        const int rel = (int)(EditEntryTime(l, e.kind, e.index) - first);
        const int dl = e.layer - base;
        switch (e.kind) {
            case EDIT_EFFECT: {
                const s_effectevent &ev = l.event[e.index];
                s_guiclipboard::effect c1{};
                c1.layer = dl;
                c1.t = rel;
                c1.length = ev.length;
                c1.type = ev.type;
                c1.id = ev.id;
                c1.numvalues = std::clamp(ev.numvalues, 0, DEMO_MAXVALUES);
                if (ev.value) memcpy(c1.value, ev.value, sizeof c1.value);
                c.effects.push_back(c1);
                break;
            }
            case EDIT_VALUE: {
                s_valueevent v = l.event_value[e.index];
                v.t = rel;
                c.values.push_back({dl, v});
                break;
            }
            case EDIT_TRANSFORM: {
                s_transformevent k = l.event_transform[e.index];
                k.t = rel;
                c.transforms.push_back({dl, k});
                break;
            }
            default: {
                s_cameraevent k = l.event_camera[e.index];
                k.t = rel;
                c.cameras.push_back({dl, k});
                break;
            }
        }
    }
    c.span = (int)std::min<long long>(last - first, INT_MAX);
    c.origin = base;
    c.first = (int)first;
    gui_clipboard = std::move(c);
    core_log(LOG_PROGRESS, "edit.copied", "- Copied %d entries\n", (int)entries.size());
    return true;
}

bool c_demo::DeleteSelection() {
    std::vector<s_guientry> entries = SelectedEntries();
    if (entries.empty()) return false;
    // From the end of each table, so the indexes still to go stay where they are; effect
    // events last, as deleting one takes its transform keys out of their table.
    std::sort(entries.begin(), entries.end(), [](const s_guientry &a, const s_guientry &b) {
        if (a.layer != b.layer) return a.layer < b.layer;
        if (a.kind != b.kind) return a.kind > b.kind;
        return a.index > b.index;
    });
    for (const s_guientry &e : entries) DeleteEvent(&layer[e.layer], e.index, e.kind);
    ClearSelection();
    gui_selection.clear();
    return true;
}

bool c_demo::CutSelection() { return CopySelection() && DeleteSelection(); }

bool c_demo::PasteClipboard(int at) {
    const s_guiclipboard &c = gui_clipboard;
    if (c.Empty()) return false;
    const int base = gui_selected_layer >= 0 && gui_selected_layer < Layers(*this)
                         ? gui_selected_layer
                         : c.origin;
    std::vector<s_guientry> made;
    int skipped = 0;
    auto target = [&](int dl) -> s_demolayer * {
        const int l = base + dl;
        return l >= 0 && l < Layers(*this) ? &layer[l] : nullptr;
    };
    auto when = [&](int rel) { return Clamped((long long)at + rel); };
    for (const s_guiclipboard::effect &e : c.effects) {
        s_demolayer *l = target(e.layer);
        if (!l || EditEntryCount(*l, EDIT_EFFECT) >= DEMO_MAXEVENTS) {
            skipped++;
            continue;
        }
        CreateEventA(l, when(e.t), e.length, e.type, e.id, e.numvalues, e.value);
        made.push_back({(int)(l - layer), EDIT_EFFECT, l->numevents - 1, 0, 0});
    }
    for (const auto &v : c.values) {
        s_demolayer *l = target(v.first);
        if (!l || EditEntryCount(*l, EDIT_VALUE) >= DEMO_MAXKEYS) {
            skipped++;
            continue;
        }
        CreateEventValue(l, when(v.second.t), v.second.type, v.second.curvetype, v.second.value);
        made.push_back({(int)(l - layer), EDIT_VALUE, l->numevents_value - 1, 0, 0});
    }
    for (const auto &k : c.cameras) {
        s_demolayer *l = target(k.first);
        if (!l || EditEntryCount(*l, EDIT_CAMERA) >= DEMO_MAXKEYS) {
            skipped++;
            continue;
        }
        const s_cameraevent &ck = k.second;
        CreateEventCamera(l, when(ck.t), ck.fov, ck.x, ck.y, ck.z, ck.targetx, ck.targety,
                          ck.targetz);
        made.push_back({(int)(l - layer), EDIT_CAMERA, l->numevents_camera - 1, 0, 0});
    }
    // The events are in order before the transform keys look for their parent: the last
    // event that starts at or before the key.
    auto select = [&] {
        if (made.empty()) return;
        gui_selected_layer = made[0].layer;
        gui_selected_eventtype = made[0].kind;
        gui_selected_event = made[0].index;
        gui_selected_parameter = 0;
        gui_selected_marker = -1;
        gui_selected_markerarea = 0;
        gui_selection = made;
    };
    select();
    KeepTablesInOrder();
    made = SelectedEntries();
    for (const auto &k : c.transforms) {
        s_demolayer *l = target(k.first);
        if (!l || EditEntryCount(*l, EDIT_TRANSFORM) >= DEMO_MAXKEYS) {
            skipped++;
            continue;
        }
        const s_transformevent &tk = k.second;
        const int t = when(tk.t);
        int parent = 0;
        for (int i = 0; i < EditEntryCount(*l, EDIT_EFFECT); i++)
            if (l->event[i].t <= t) parent = i;
        CreateEventTransform(l, t, tk.curvetype, parent, tk.x, tk.y, tk.z, tk.rotx, tk.roty,
                             tk.rotz, tk.scalex, tk.scaley, tk.scalez);
        made.push_back({(int)(l - layer), EDIT_TRANSFORM, l->numevents_transform - 1, 0, 0});
    }
    select();
    KeepTablesInOrder();
    if (skipped > 0) {
        core_log(LOG_WARNING, "edit.paste_dropped",
                 "- Paste: %d entries found no layer or no room and were left out\n", skipped);
    }
    return !made.empty();
}

bool c_demo::DuplicateSelection() {
    const s_guiclipboard kept = gui_clipboard;
    bool done = false;
    if (CopySelection()) {
        // Right after the selection's end, on the layers it came from.
        const long long at = (long long)gui_clipboard.first + gui_clipboard.span;
        gui_selected_layer = gui_clipboard.origin;
        done = PasteClipboard((int)std::min<long long>(at, INT_MAX));
    }
    gui_clipboard = kept;
    return done;
}

bool c_demo::MoveLayer(int direction) {
    const int i = gui_selected_layer, j = i + direction;
    if (i < 0 || i >= Layers(*this) || j < 0 || j >= Layers(*this)) return false;
    // A layer is too large for the stack of the program thread.
    auto held = std::make_unique<s_demolayer>(layer[i]);
    layer[i] = layer[j];
    layer[j] = *held;
    gui_selected_layer = j;
    for (s_guientry &e : gui_selection) {
        if (e.layer == i)
            e.layer = j;
        else if (e.layer == j)
            e.layer = i;
    }
    return true;
}

void c_demo::HandleRename(int pressed, bool shift) {
    if (!gui_renaming) return;
    const bool valid = gui_selected_layer >= 0 && gui_selected_layer < Layers(*this);
    if (!valid || pressed == MOX_VK_ESCAPE) {
        gui_renaming = false;
        return;
    }
    s_demolayer &l = layer[gui_selected_layer];
    if (pressed == MOX_VK_RETURN) {
        snprintf(l.name, sizeof l.name, "%s", gui_typed.c_str());
        gui_renaming = false;
        return;
    }
    if (pressed == MOX_VK_BACK) {
        if (!gui_typed.empty()) gui_typed.pop_back();
        return;
    }
    if ((int)gui_typed.size() >= MAXNAME) return;
    char c = 0;
    if (pressed >= 'A' && pressed <= 'Z')
        c = (char)(shift ? pressed : pressed - 'A' + 'a');
    else if (pressed >= '0' && pressed <= '9')
        c = (char)pressed;
    else if (pressed == MOX_VK_SPACE)
        c = ' ';
    else if (pressed == 0xBD)
        c = shift ? '_' : '-';
    else if (pressed == 0xBE)
        c = '.';
    if (c) gui_typed += c;
}
