// Undo history of the timeline editor. Each state is a copy of what the editor can change (the
// markers, every layer's name, visibility and four tables, effect events with their values)
// together with the selection; a table that did not change is shared with the state before it, so a
// step costs only the tables it touched. The editor records once a frame: a difference from the
// current state becomes a new step, or, while a held key goes on changing the same thing, extends
// the step it began.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "demosystem/demosystem.h"

// Steps kept before the oldest ones are forgotten.
constexpr int EDITHISTORY_MAXSTEPS = 2000;

// An effect event with its value block copied in.
struct s_effectcopy {
    int t, length, type, id, numvalues;
    float value[DEMO_MAXVALUES];
};

struct s_editselection {
    int layer, eventtype, event, marker, markerarea, parameter;
};

template <typename T>
using shared_table = std::shared_ptr<const std::vector<T>>;

struct s_editstate {
    shared_table<s_marker> markers;
    shared_table<s_effectcopy> events[DEMO_MAXLAYERS];
    shared_table<s_valueevent> values[DEMO_MAXLAYERS];
    shared_table<s_transformevent> transforms[DEMO_MAXLAYERS];
    shared_table<s_cameraevent> cameras[DEMO_MAXLAYERS];
    std::string names[DEMO_MAXLAYERS];
    bool visible[DEMO_MAXLAYERS];
    s_editselection before;  // where the editor was when the step began (undo goes back there)
    s_editselection after;   // and when it was last extended (redo comes back there)
    uint32_t gesture;        // the input gesture that made the step
};

struct s_edithistory {
    std::vector<s_editstate> states;  // states[0] is the base, each later one a step
    size_t current = 0;               // the state the demo shows
    long saved = -1;                  // the state last saved or loaded, -1 none
    s_editselection lastselection{};  // the selection at the last record
};

// Starts a new history whose base (and saved state) is what the demo holds now.
void EditHistoryReset(s_edithistory *history, const c_demo &demo);
// Records the demo after a frame's input. A difference from the current state drops the steps
// that were undone and becomes a new step, unless the current step was made by the same
// `gesture` (a key held since), which it then extends. Returns true when something changed.
bool EditHistoryRecord(s_edithistory *history, const c_demo &demo, uint32_t gesture);
// Puts the demo back one step, or forward one undone step; false when there is none.
bool EditHistoryUndo(s_edithistory *history, c_demo *demo);
bool EditHistoryRedo(s_edithistory *history, c_demo *demo);
int EditHistoryUndoSteps(const s_edithistory &history);
int EditHistoryRedoSteps(const s_edithistory &history);
// The current state is now what the project file holds.
void EditHistoryMarkSaved(s_edithistory *history);
// True when the demo's tables differ from the state last saved or loaded.
bool EditHistoryUnsaved(const s_edithistory &history);
