// Loop region: setting its ends and sending the music back to its start. The jump is an
// ordinary seek, so the scenes restart at their event's start and catch up to the loop's
// start exactly as they do after any jump back.
#include "demosystem/demosystem_loop.h"

#include <algorithm>

#include "core/coredebug.h"
#include "coresound/coresound.h"
#include "demosystem/demosystem.h"
#include "demosystem/demosystem_grid.h"
#include "mox/mox.h"

namespace {

constexpr int STARTKEY = 'I', ENDKEY = 'O', LOOPKEY = 'L';

void Report(c_demo &d) {
    char from[48], to[48];
    GridFormat(d, from, sizeof from, d.gui_loopstart);
    GridFormat(d, to, sizeof to, d.gui_loopend);
    core_log(LOG_PROGRESS, "edit.loop", "- Loop %s to %s%s\n", from, to,
             d.gui_looping ? ", looping" : "");
}

}  // namespace

bool LoopValid(const c_demo &d) { return d.gui_loopend > d.gui_loopstart; }

bool HandleLoopKeys(c_demo &d, int pressed, int key, int cursortime) {
    if (pressed != STARTKEY && pressed != ENDKEY && pressed != LOOPKEY) return false;
    if (pressed == LOOPKEY) {
        if (!d.gui_looping && !LoopValid(d)) {
            core_log(LOG_WARNING, "edit.loop_unset",
                     "- No loop yet: I sets its start, O its end\n");
            return true;
        }
        d.gui_looping = !d.gui_looping;
        Report(d);
        return true;
    }
    const int at = (key & MOX_PAD_CTRL) ? cursortime : d.position;
    const int t = std::clamp(GridSnap(d, at), 0, std::max(d.TimelineEnd(), 0));
    if (pressed == STARTKEY) {
        d.gui_loopstart = t;
    } else {
        d.gui_loopend = t;
    }
    // Ends set in the other order still make a region.
    if (d.gui_loopend > 0 && d.gui_loopstart > d.gui_loopend) {
        std::swap(d.gui_loopstart, d.gui_loopend);
    }
    if (!LoopValid(d)) d.gui_looping = false;
    Report(d);
    return true;
}

void FollowLoop(c_demo &d) {
    if (!d.gui_looping || !LoopValid(d) || d.gui_paused) return;
    const uint64_t heard = Soundsystem_GetHeardOffset(d.demomusic);
    if (heard < (uint64_t)d.gui_loopend) return;
    Soundsystem_SetSoundOffset(&d.demomusic, (uint64_t)d.gui_loopstart);
    d.position = d.gui_loopstart;
}
