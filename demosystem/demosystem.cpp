// Demo data model: set-up, lookup, the loading operations that append records and the
// editing operations that keep every table in time order.
#include "demosystem/demosystem.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>

#include "core/coredebug.h"
#include "mox/corevideo.h"

namespace {

// Number of entries of a table whose t is strictly below pos: the insertion point that
// puts a new entry after all earlier ones and before any entry with the same time.
template <typename T>
int InsertionPoint(const T *table, int count, int pos) {
    int k = 0;
    for (int i = 0; i < count; i++) {
        if (table[i].t < pos) k++;
    }
    return k;
}

// Opens slot k of a table holding count entries: entries k.. move up one place.
template <typename T>
void OpenSlot(T *table, int count, int k) {
    for (int i = count; i > k; i--) table[i] = table[i - 1];
}

// Removes entry n (the last one when n is past the end); returns the new count.
template <typename T>
int RemoveEntry(T *table, int count, int n) {
    if (n > count - 1) n = count - 1;
    for (int i = n; i < count - 1; i++) table[i] = table[i + 1];
    return count - 1;
}

float *NewValueBlock() {
    float *block = new float[DEMO_MAXVALUES];
    for (int i = 0; i < DEMO_MAXVALUES; i++) block[i] = 0.0f;
    return block;
}

void ReleaseEffectEvents(s_demolayer *dlayer) {
    for (int i = 0; i < dlayer->numevents; i++) {
        delete[] dlayer->event[i].value;
        dlayer->event[i].value = nullptr;
    }
    dlayer->numevents = 0;
}

void CopyName(char *dest, const char *src) { snprintf(dest, DEMO_NAMESIZE, "%s", src ? src : ""); }

void PrintEffectEvents(const s_demolayer *dlayer) {
    for (int i = 0; i < dlayer->numevents; i++) {
        const s_effectevent &e = dlayer->event[i];
        core_log(LOG_DEBUG, "demo.event_list", "%d - %d-%d:%d type: %d, values:%d\n", i, e.t,
                 e.length, e.id, e.type, e.numvalues);
    }
}

}  // namespace

void c_demo::Init(int width, int height, int dtype) {
    renderwidth = width;
    renderheight = height;
    demotype = dtype;
    // The value blocks of the previous production's events belong to nobody after this.
    for (int i = 0; i < numlayers && i < DEMO_MAXLAYERS; i++) ReleaseEffectEvents(&layer[i]);
    duration = 0;
    numlayers = 0;
    numresources = 0;
    nummarkers = 0;
    position = 0;
    bpm = 125;
    framebuffer_id = MOX_CreateFrameBuffer(width, height, 3);
}

void c_demo::Release() {
    for (int i = 0; i < numlayers && i < DEMO_MAXLAYERS; i++) {
        ReleaseEffectEvents(&layer[i]);
        layer[i].numevents_value = 0;
        layer[i].numevents_transform = 0;
        layer[i].numevents_camera = 0;
    }
    numlayers = 0;

    // A shader text is shared by the descriptors of one id and its shader record.
    std::set<char *> texts;
    for (s_demoresource &r : resource) {
        if ((r.type == RESOURCE_SHADER || r.type == RESOURCE_POSTSHADER) && r.datapointer) {
            texts.insert(static_cast<char *>(r.datapointer));
        }
        for (char *&p : r.param) {
            delete[] p;
            p = nullptr;
        }
        r.numparams = 0;
        r.datapointer = nullptr;
        r.loadOK = 0;
    }
    numresources = 0;
    for (s_demoshader &sh : resource_shader) {
        if (sh.ff) texts.insert(sh.ff);
        sh.ff = nullptr;
    }
    for (char *text : texts) delete[] text;

    MOX_UnlistGraphics(this, sizeof *this);
    for (int i = 0; i < DEMO_MAXRESOURCES; i++) {
        s_spritesheet &sheet = resource_spritesheet[i];
        if (sheet.sprite) MOX_UnlistGraphics(sheet.sprite, sizeof *sheet.sprite * sheet.numsprites);
        delete[] sheet.sprite;
        sheet.sprite = nullptr;
        sheet.numsprites = 0;
        MOX_DeleteBitmap(&sheet.spritesheet);
        MOX_DeleteBitmap(&resource_texture[i]);
        // A loaded sprite's image is a record of the core library's sprite table.
        if (resource_sprite[i].bitmap) MOX_DeleteBitmap(resource_sprite[i].bitmap);
        resource_sprite[i] = s_sprite{};
    }
    MOX_DeleteBitmap(&bmp_waveform);
    gui_reload.reset();  // nothing is left to reload into
    if (demomusic.buffer) Soundsystem_DeleteSound(&demomusic);
    demomusic = s_sound{};
    nummarkers = 0;
}

void c_demo::CreateLayer(int width, int height, const char *name) {
    if (numlayers < 0 || numlayers >= DEMO_MAXLAYERS) return;
    s_demolayer &l = layer[numlayers];
    CopyName(l.name, name);
    l.framebuffer_id = MOX_CreateFrameBuffer(width, height, 3);
    l.width = width;
    l.height = height;
    l.visible = true;
    l.numevents = 0;
    l.numevents_value = 0;
    l.numevents_transform = 0;
    l.numevents_camera = 0;
    numlayers++;
}

s_effectevent *c_demo::GetEffectEvent(s_demolayer *dlayer) {
    if (!dlayer) return nullptr;
    for (int i = 0; i < dlayer->numevents; i++) {
        s_effectevent &e = dlayer->event[i];
        // 64-bit end so that a huge length cannot wrap.
        if (e.t <= position && position < (long long)e.t + e.length) return &e;
    }
    return nullptr;
}

void c_demo::CreateMarker(int t, int type) {
    if (nummarkers < 0 || nummarkers >= DEMO_MAXMARKERS) return;
    marker[nummarkers].t = t;
    marker[nummarkers].type = type;
    nummarkers++;
}

void c_demo::CreateEventA(s_demolayer *dlayer, int t, int length, int type, int id, int numvalues,
                          const float *values) {
    if (!dlayer || dlayer->numevents < 0 || dlayer->numevents >= DEMO_MAXEVENTS) return;
    if (numvalues < 0) numvalues = 0;
    if (numvalues > DEMO_MAXVALUES) numvalues = DEMO_MAXVALUES;
    if (!values) numvalues = 0;
    int n = dlayer->numevents;
    s_effectevent &e = dlayer->event[n];
    e.t = t;
    e.length = length;
    e.type = type;
    e.id = id;
    e.numvalues = numvalues;
    e.value = NewValueBlock();
    for (int i = 0; i < numvalues; i++) e.value[i] = values[i];
    std::string listed;
    char one[32];
    for (int i = 0; i < numvalues; i++) {
        snprintf(one, sizeof one, "%.2f,", e.value[i]);
        listed += one;
    }
    core_log(LOG_PROGRESS, "demo.event_added", "Add Event %d: %d,%d,%d,%d\n%s\n", n, t, length, id,
             numvalues, listed.c_str());
    dlayer->numevents++;
}

void c_demo::CreateEventValue(s_demolayer *dlayer, int t, int type, int curvetype, float value) {
    if (!dlayer || dlayer->numevents_value < 0 || dlayer->numevents_value >= DEMO_MAXKEYS) {
        return;
    }
    dlayer->event_value[dlayer->numevents_value++] = {t, type, curvetype, value};
}

void c_demo::CreateEventTransform(s_demolayer *dlayer, int t, int curvetype, int parent, float x,
                                  float y, float z, float rotx, float roty, float rotz,
                                  float scalex, float scaley, float scalez) {
    core_log(LOG_PROGRESS, "demo.transform_added",
             "- Create Transform event: %f,%f,%f, parent:%d\n", x, y, z, parent);
    if (!dlayer || dlayer->numevents_transform < 0 || dlayer->numevents_transform >= DEMO_MAXKEYS) {
        return;
    }
    dlayer->event_transform[dlayer->numevents_transform++] = {
        t, curvetype, parent, x, y, z, rotx, roty, rotz, scalex, scaley, scalez};
}

void c_demo::CreateEventCamera(s_demolayer *dlayer, int t, float fov, float x, float y, float z,
                               float targetx, float targety, float targetz) {
    if (!dlayer || dlayer->numevents_camera < 0 || dlayer->numevents_camera >= DEMO_MAXKEYS) {
        return;
    }
    dlayer->event_camera[dlayer->numevents_camera++] = {t, fov, x, y, z, targetx, targety, targetz};
}

void c_demo::ClearTimeline() {
    for (int i = 0; i < numlayers && i < DEMO_MAXLAYERS; i++) {
        ReleaseEffectEvents(&layer[i]);
        layer[i].numevents_value = 0;
        layer[i].numevents_transform = 0;
        layer[i].numevents_camera = 0;
    }
}

void c_demo::ClearMarkers() {
    nummarkers = 0;
    marker[0].t = 0;
    marker[0].type = 0;
}

void c_demo::MoveMarkers(int delta) {
    for (int i = 0; i < nummarkers; i++) {
        long long t = (long long)marker[i].t + delta;
        if (t < 0) t = 0;
        if (t > INT_MAX) t = INT_MAX;
        marker[i].t = (int)t;
    }
}

void c_demo::AddMarker(int pos, int type) {
    if (nummarkers < 0 || nummarkers >= DEMO_MAXMARKERS) return;
    int k = InsertionPoint(marker, nummarkers, pos);
    core_log(LOG_DEBUG, "demo.marker_position", "markerpos: %d\n", k);
    OpenSlot(marker, nummarkers, k);
    marker[k].t = pos;
    marker[k].type = type;
    nummarkers++;
}

void c_demo::DeleteMarker(int n) {
    if (nummarkers <= 0 || n < 0) return;
    nummarkers = RemoveEntry(marker, nummarkers, n);
}

void c_demo::AddEvent(s_demolayer *dlayer, int pos, int resourceid) {
    if (!dlayer || dlayer->numevents < 0 || dlayer->numevents >= DEMO_MAXEVENTS) return;
    if (resourceid < 0 || resourceid >= numresources || resourceid >= DEMO_MAXRESOURCES) {
        return;
    }
    const s_demoresource &r = resource[resourceid];
    PrintEffectEvents(dlayer);
    int k = InsertionPoint(dlayer->event, dlayer->numevents, pos);
    core_log(LOG_DEBUG, "demo.event_position", "eventpos: %d\n", k);
    OpenSlot(dlayer->event, dlayer->numevents, k);
    s_effectevent &e = dlayer->event[k];
    e.t = pos;
    // The event refers to the descriptor by its place in the resource table, as playback
    // and the editor read it.
    e.id = resourceid;
    e.length = 65536;
    e.numvalues = r.numparams;
    e.value = NewValueBlock();
    e.type = SelectResourceEffect(&e, r.type);
    dlayer->numevents++;
    PrintEffectEvents(dlayer);
    core_log(LOG_DEBUG, "demo.event_count", "num events: %d\n", dlayer->numevents);
}

void c_demo::AddEventValue(s_demolayer *dlayer, int pos, int type, int curvetype, float value) {
    if (!dlayer || dlayer->numevents_value < 0 || dlayer->numevents_value >= DEMO_MAXKEYS) {
        return;
    }
    int k = InsertionPoint(dlayer->event_value, dlayer->numevents_value, pos);
    core_log(LOG_DEBUG, "demo.event_position", "eventpos: %d\n", k);
    OpenSlot(dlayer->event_value, dlayer->numevents_value, k);
    dlayer->event_value[k] = {pos, type, curvetype, value};
    dlayer->numevents_value++;
    gui_selected_event = k;
    gui_selected_eventtype = EDIT_VALUE;
}

void c_demo::AddEventTransform(s_demolayer *dlayer, int pos, int curvetype, float x, float y,
                               float z, float rotx, float roty, float rotz, float scalex,
                               float scaley, float scalez) {
    if (!dlayer || dlayer->numevents_transform < 0 || dlayer->numevents_transform >= DEMO_MAXKEYS) {
        return;
    }
    // The parent is the last effect event that starts before pos, or 0.
    int p = InsertionPoint(dlayer->event, dlayer->numevents, pos);
    core_log(LOG_DEBUG, "demo.parent_position", "parentpos: %d\n", p);
    if (p > 0) p--;
    int k = InsertionPoint(dlayer->event_transform, dlayer->numevents_transform, pos);
    core_log(LOG_DEBUG, "demo.event_position", "eventpos: %d, numevents: %d\n", k,
             dlayer->numevents_transform);
    OpenSlot(dlayer->event_transform, dlayer->numevents_transform, k);
    dlayer->event_transform[k] = {pos,  curvetype, p,    x,      y,      z,
                                  rotx, roty,      rotz, scalex, scaley, scalez};
    dlayer->numevents_transform++;
    gui_selected_event = k;
    gui_selected_eventtype = EDIT_TRANSFORM;
}

int EditEntryCount(const s_demolayer &l, int kind) {
    switch (kind) {
        case EDIT_EFFECT:
            return std::clamp(l.numevents, 0, DEMO_MAXEVENTS);
        case EDIT_VALUE:
            return std::clamp(l.numevents_value, 0, DEMO_MAXKEYS);
        case EDIT_TRANSFORM:
            return std::clamp(l.numevents_transform, 0, DEMO_MAXKEYS);
        case EDIT_CAMERA:
            return std::clamp(l.numevents_camera, 0, DEMO_MAXKEYS);
        default:
            return 0;
    }
}

int &EditEntryTime(s_demolayer &l, int kind, int n) {
    switch (kind) {
        case EDIT_EFFECT:
            return l.event[n].t;
        case EDIT_VALUE:
            return l.event_value[n].t;
        case EDIT_TRANSFORM:
            return l.event_transform[n].t;
        default:
            return l.event_camera[n].t;
    }
}

void c_demo::DeleteEvent(s_demolayer *dlayer, int eventnr, int eventtype) {
    if (!dlayer || eventnr < 0) return;
    switch (eventtype) {
        case EDIT_EFFECT: {
            int count = dlayer->numevents;
            if (count <= 0) return;
            int n = eventnr > count - 1 ? count - 1 : eventnr;
            delete[] dlayer->event[n].value;
            dlayer->numevents = RemoveEntry(dlayer->event, count, n);
            // The slot past the end still holds a copy of the moved last event's pointer.
            dlayer->event[count - 1].value = nullptr;
            // The event's transform keys go with it; later events' keys follow their event.
            int kept = 0;
            for (int k = 0; k < dlayer->numevents_transform; k++) {
                s_transformevent key = dlayer->event_transform[k];
                if (key.parent == n) continue;
                if (key.parent > n) key.parent--;
                dlayer->event_transform[kept++] = key;
            }
            dlayer->numevents_transform = kept;
            break;
        }
        case EDIT_VALUE:
            if (dlayer->numevents_value <= 0) return;
            dlayer->numevents_value =
                RemoveEntry(dlayer->event_value, dlayer->numevents_value, eventnr);
            break;
        case EDIT_TRANSFORM:
            if (dlayer->numevents_transform <= 0) return;
            dlayer->numevents_transform =
                RemoveEntry(dlayer->event_transform, dlayer->numevents_transform, eventnr);
            break;
        case EDIT_CAMERA:
            if (dlayer->numevents_camera <= 0) return;
            dlayer->numevents_camera =
                RemoveEntry(dlayer->event_camera, dlayer->numevents_camera, eventnr);
            break;
        default:
            break;
    }
}
