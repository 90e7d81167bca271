// Undo history of the timeline editor: states that share unchanged tables, recorded once a
// frame, restored into the demo's fixed tables.
#include "demosystem/demosystem_undo.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

int Bounded(int n, int capacity) { return std::clamp(n, 0, capacity); }

s_effectcopy CopyOf(const s_effectevent &e) {
    s_effectcopy c{};
    c.t = e.t;
    c.length = e.length;
    c.type = e.type;
    c.id = e.id;
    c.numvalues = e.numvalues;
    if (e.value) memcpy(c.value, e.value, sizeof c.value);
    return c;
}

// The records compared byte by byte: none of them has padding, and a float that changed in
// any bit (even 0.0 to -0.0) is a change.
template <typename T>
bool SameEntries(const std::vector<T> &stored, const T *live, int n) {
    return (int)stored.size() == n &&
           (n == 0 || memcmp(stored.data(), live, sizeof(T) * (size_t)n) == 0);
}

bool SameEvents(const std::vector<s_effectcopy> &stored, const s_demolayer &l, int n) {
    if ((int)stored.size() != n) return false;
    for (int i = 0; i < n; i++) {
        const s_effectcopy c = CopyOf(l.event[i]);
        if (memcmp(&c, &stored[i], sizeof c) != 0) return false;
    }
    return true;
}

// The stored table when the live one equals it, else a new copy of the live one.
template <typename T>
shared_table<T> Table(const shared_table<T> &stored, const T *live, int n) {
    if (stored && SameEntries(*stored, live, n)) return stored;
    return std::make_shared<const std::vector<T>>(live, live + n);
}

shared_table<s_effectcopy> EventTable(const shared_table<s_effectcopy> &stored,
                                      const s_demolayer &l, int n) {
    if (stored && SameEvents(*stored, l, n)) return stored;
    auto copy = std::make_shared<std::vector<s_effectcopy>>();
    copy->reserve(n);
    for (int i = 0; i < n; i++) copy->push_back(CopyOf(l.event[i]));
    return copy;
}

s_editselection SelectionOf(const c_demo &d) {
    return {d.gui_selected_layer,  d.gui_selected_eventtype,  d.gui_selected_event,
            d.gui_selected_marker, d.gui_selected_markerarea, d.gui_selected_parameter};
}

void Select(c_demo *d, const s_editselection &s) {
    d->gui_selected_layer = s.layer;
    d->gui_selected_eventtype = s.eventtype;
    d->gui_selected_event = s.event;
    d->gui_selected_marker = s.marker;
    d->gui_selected_markerarea = s.markerarea;
    d->gui_selected_parameter = s.parameter;
}

// The demo's tables as a state; tables equal to those of `like` are shared with it.
s_editstate Capture(const c_demo &d, const s_editstate *like) {
    s_editstate s{};
    s.markers =
        Table(like ? like->markers : nullptr, d.marker, Bounded(d.nummarkers, DEMO_MAXMARKERS));
    const int layers = Bounded(d.numlayers, DEMO_MAXLAYERS);
    for (int i = 0; i < layers; i++) {
        const s_demolayer &l = d.layer[i];
        s.events[i] =
            EventTable(like ? like->events[i] : nullptr, l, Bounded(l.numevents, DEMO_MAXEVENTS));
        s.values[i] = Table(like ? like->values[i] : nullptr, l.event_value,
                            Bounded(l.numevents_value, DEMO_MAXKEYS));
        s.transforms[i] = Table(like ? like->transforms[i] : nullptr, l.event_transform,
                                Bounded(l.numevents_transform, DEMO_MAXKEYS));
        s.cameras[i] = Table(like ? like->cameras[i] : nullptr, l.event_camera,
                             Bounded(l.numevents_camera, DEMO_MAXKEYS));
        s.names[i].assign(l.name, strnlen(l.name, sizeof l.name));
        s.visible[i] = l.visible;
    }
    return s;
}

template <typename T>
bool SameTable(const shared_table<T> &a, const shared_table<T> &b) {
    if (a == b) return true;
    if (!a || !b) return (!a || a->empty()) && (!b || b->empty());
    return a->size() == b->size() &&
           (a->empty() || memcmp(a->data(), b->data(), sizeof(T) * a->size()) == 0);
}

bool SameData(const s_editstate &a, const s_editstate &b) {
    if (!SameTable(a.markers, b.markers)) return false;
    for (int i = 0; i < DEMO_MAXLAYERS; i++) {
        if (!SameTable(a.events[i], b.events[i]) || !SameTable(a.values[i], b.values[i]) ||
            !SameTable(a.transforms[i], b.transforms[i]) ||
            !SameTable(a.cameras[i], b.cameras[i]) || a.names[i] != b.names[i] ||
            a.visible[i] != b.visible[i])
            return false;
    }
    return true;
}

template <typename T>
int Restore(const shared_table<T> &table, T *live) {
    if (!table) return 0;
    std::copy(table->begin(), table->end(), live);
    return (int)table->size();
}

void RestoreEvents(const shared_table<s_effectcopy> &table, s_demolayer *l) {
    const int old = Bounded(l->numevents, DEMO_MAXEVENTS);
    const int n = table ? (int)table->size() : 0;
    for (int i = 0; i < n; i++) {
        const s_effectcopy &c = (*table)[i];
        s_effectevent &e = l->event[i];
        // Slots below the count own a value block; the ones above hold none.
        if (i >= old || !e.value) e.value = new float[DEMO_MAXVALUES];
        e.t = c.t;
        e.length = c.length;
        e.type = c.type;
        e.id = c.id;
        e.numvalues = c.numvalues;
        memcpy(e.value, c.value, sizeof c.value);
    }
    for (int i = n; i < old; i++) {
        delete[] l->event[i].value;
        l->event[i].value = nullptr;
    }
    l->numevents = n;
}

void Apply(const s_editstate &s, c_demo *d) {
    d->nummarkers = Restore(s.markers, d->marker);
    const int layers = Bounded(d->numlayers, DEMO_MAXLAYERS);
    for (int i = 0; i < layers; i++) {
        s_demolayer &l = d->layer[i];
        RestoreEvents(s.events[i], &l);
        l.numevents_value = Restore(s.values[i], l.event_value);
        l.numevents_transform = Restore(s.transforms[i], l.event_transform);
        l.numevents_camera = Restore(s.cameras[i], l.event_camera);
        snprintf(l.name, sizeof l.name, "%s", s.names[i].c_str());
        l.visible = s.visible[i];
    }
}

}  // namespace

void EditHistoryReset(s_edithistory *history, const c_demo &demo) {
    history->states.clear();
    history->states.push_back(Capture(demo, nullptr));
    history->states[0].before = history->states[0].after = SelectionOf(demo);
    history->current = 0;
    history->saved = 0;
    history->lastselection = SelectionOf(demo);
}

bool EditHistoryRecord(s_edithistory *history, const c_demo &demo, uint32_t gesture) {
    if (history->states.empty()) EditHistoryReset(history, demo);
    const s_editselection selection = SelectionOf(demo);
    const s_editselection before = history->lastselection;
    history->lastselection = selection;
    auto &states = history->states;
    const size_t current = history->current;
    s_editstate next = Capture(demo, &states[current]);
    if (SameData(next, states[current])) return false;

    const bool extend =
        current > 0 && current + 1 == states.size() && states[current].gesture == gesture;
    next.gesture = gesture;
    next.after = selection;
    if (extend) {
        next.before = states[current].before;
        states[current] = std::move(next);
        if (history->saved == (long)current) history->saved = -1;
        return true;
    }
    next.before = before;
    states.resize(current + 1);
    if (history->saved > (long)current) history->saved = -1;
    states.push_back(std::move(next));
    if (states.size() > (size_t)EDITHISTORY_MAXSTEPS + 1) {
        states.erase(states.begin());
        history->saved = history->saved > 0 ? history->saved - 1 : -1;
    }
    history->current = states.size() - 1;
    return true;
}

bool EditHistoryUndo(s_edithistory *history, c_demo *demo) {
    if (history->current == 0 || history->states.empty()) return false;
    const s_editselection selection = history->states[history->current].before;
    history->current--;
    Apply(history->states[history->current], demo);
    Select(demo, selection);
    history->lastselection = selection;
    return true;
}

bool EditHistoryRedo(s_edithistory *history, c_demo *demo) {
    if (history->current + 1 >= history->states.size()) return false;
    history->current++;
    const s_editstate &s = history->states[history->current];
    Apply(s, demo);
    Select(demo, s.after);
    history->lastselection = s.after;
    return true;
}

int EditHistoryUndoSteps(const s_edithistory &history) { return (int)history.current; }

int EditHistoryRedoSteps(const s_edithistory &history) {
    return history.states.empty() ? 0 : (int)(history.states.size() - 1 - history.current);
}

void EditHistoryMarkSaved(s_edithistory *history) { history->saved = (long)history->current; }

bool EditHistoryUnsaved(const s_edithistory &history) {
    if (history.states.empty()) return false;
    if (history.saved < 0) return true;
    return !SameData(history.states[history.current], history.states[(size_t)history.saved]);
}
