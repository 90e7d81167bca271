// Editing values by number: the value of the selected properties line typed in or stepped,
// and the curve types of the selected keys. The changes go into the tables like any other
// edit, so the editor's history records them.
#include "demosystem/demosystem_values.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "core/coredebug.h"
#include "demosystem/demosystem.h"
#include "mox/mox.h"

namespace {

constexpr int ENTRYKEY = 'E', CURVEKEY = 'K', CURVEVIEWKEY = 'W';
// Virtual keys of the punctuation used.
constexpr int VK_MINUS = 0xBD, VK_EQUALS = 0xBB, VK_OPENBRACKET = 0xDB, VK_CLOSEBRACKET = 0xDD;
constexpr int VK_PERIOD = 0xBE, VK_PADMINUS = 0x6D, VK_PADPLUS = 0x6B, VK_PADPERIOD = 0x6E;
constexpr int VK_PAD0 = 0x60, VK_PAD9 = 0x69;

float s_transformevent::*const FIELDS[9] = {
    &s_transformevent::x,      &s_transformevent::y,      &s_transformevent::z,
    &s_transformevent::rotx,   &s_transformevent::roty,   &s_transformevent::rotz,
    &s_transformevent::scalex, &s_transformevent::scaley, &s_transformevent::scalez};

s_demolayer *SelectedLayer(c_demo &d) {
    const int n = d.gui_selected_layer;
    return n >= 0 && n < std::clamp(d.numlayers, 0, DEMO_MAXLAYERS) ? &d.layer[n] : nullptr;
}

// Steps land on whole hundredths (or on what a typed value had), not on float drift.
float Stepped(float v, float step) {
    const double r = std::round(((double)v + step) * 10000.0) / 10000.0;
    return (float)r;
}

// Gives every selected value and transform key the curve type `step` places after its own.
bool ChangeCurves(c_demo &d, int step) {
    bool changed = false;
    for (const s_guientry &e : d.SelectedEntries()) {
        s_demolayer &l = d.layer[e.layer];
        if (e.kind == EDIT_VALUE) {
            l.event_value[e.index].curvetype = CycleCurve(l.event_value[e.index].curvetype, step);
            changed = true;
        } else if (e.kind == EDIT_TRANSFORM) {
            s_transformevent &k = l.event_transform[e.index];
            k.curvetype = CycleCurve(k.curvetype, step);
            changed = true;
        }
    }
    return changed;
}

}  // namespace

int CycleCurve(int type, int step) {
    const int n = DEMO_NUMCURVETYPES;
    const int t = type >= 0 && type < n ? type : CURVE_LINEAR;
    return ((t + step) % n + n) % n;
}

bool ParseTypedValue(const char *text, float *value) {
    if (!text || !*text) return false;
    char *end = nullptr;
    const double v = strtod(text, &end);
    if (!end || *end != '\0' || !std::isfinite(v) || std::fabs(v) > 3.0e38) return false;
    *value = (float)v;
    return true;
}

float *EditableValue(c_demo &d) {
    s_demolayer *l = SelectedLayer(d);
    if (!l) return nullptr;
    const int n = d.gui_selected_event;
    const int line = d.gui_selected_parameter;
    switch (d.gui_selected_eventtype) {
        case EDIT_VALUE:
            if (n < 0 || n >= std::clamp(l->numevents_value, 0, DEMO_MAXKEYS)) return nullptr;
            return &l->event_value[n].value;
        case EDIT_TRANSFORM:
            if (n < 0 || n >= std::clamp(l->numevents_transform, 0, DEMO_MAXKEYS)) return nullptr;
            if (line < 2 || line > 10) return nullptr;
            return &(l->event_transform[n].*FIELDS[line - 2]);
        case EDIT_EFFECT: {
            if (n < 0 || n >= std::clamp(l->numevents, 0, DEMO_MAXEVENTS)) return nullptr;
            s_effectevent &e = l->event[n];
            const int i = line - 2;
            if (i < 0 || !e.value || i >= e.numvalues || i >= d.PanelValueLines(e)) return nullptr;
            return &e.value[i];
        }
        default:
            return nullptr;
    }
}

bool HandleValueKeys(c_demo &d, int pressed, int key) {
    if (pressed <= 0) return false;
    const bool shift = key & MOX_PAD_SHIFT;
    if (pressed == CURVEVIEWKEY) {
        d.gui_curveview = !d.gui_curveview;
        return true;
    }
    if (pressed == CURVEKEY) {
        if (!ChangeCurves(d, shift ? -1 : 1)) {
            core_log(LOG_PROGRESS, "edit.curve_none",
                     "- Curve types: select a value or transform key first\n");
        }
        return true;
    }
    float step = 0;
    if (pressed == VK_MINUS || pressed == VK_PADMINUS) step = -VALUE_FINESTEP;
    if (pressed == VK_EQUALS || pressed == VK_PADPLUS) step = VALUE_FINESTEP;
    if (pressed == VK_OPENBRACKET) step = -VALUE_COARSESTEP;
    if (pressed == VK_CLOSEBRACKET) step = VALUE_COARSESTEP;
    if (pressed != ENTRYKEY && step == 0) return false;
    float *v = EditableValue(d);
    if (!v) {
        core_log(LOG_PROGRESS, "edit.value_none",
                 "- Values: select a key, or a value line of an event, first\n");
        return true;
    }
    if (step != 0) {
        *v = Stepped(*v, step);
    } else {
        d.gui_typing = true;
        d.gui_entry[0] = '\0';
    }
    return true;
}

void HandleValueEntry(c_demo &d, int pressed) {
    if (!d.gui_typing || pressed <= 0) return;
    float *v = EditableValue(d);
    if (!v || pressed == MOX_VK_ESCAPE) {
        d.gui_typing = false;
        return;
    }
    char *text = d.gui_entry;
    const size_t n = strnlen(text, sizeof d.gui_entry);
    if (pressed == MOX_VK_RETURN) {
        float typed = 0;
        if (!ParseTypedValue(text, &typed)) {
            core_log(LOG_WARNING, "edit.value_invalid",
                     "- \"%s\" is no number: go on typing, or Escape\n", text);
            return;
        }
        *v = typed;
        d.gui_typing = false;
        return;
    }
    if (pressed == MOX_VK_BACK) {
        if (n > 0) text[n - 1] = '\0';
        return;
    }
    char c = 0;
    if (pressed >= '0' && pressed <= '9')
        c = (char)pressed;
    else if (pressed >= VK_PAD0 && pressed <= VK_PAD9)
        c = (char)('0' + pressed - VK_PAD0);
    else if (pressed == VK_PERIOD || pressed == VK_PADPERIOD)
        c = '.';
    else if (pressed == VK_MINUS || pressed == VK_PADMINUS)
        c = '-';
    if (c && n + 1 < sizeof d.gui_entry && (int)n < VALUE_MAXTYPED) {
        text[n] = c;
        text[n + 1] = '\0';
    }
}
