// Frame pacing for the player: decides how long after its start each frame appears, so that a
// frame shows the music position heard at the moment it appears and consecutive frames move
// on by exactly the time between them.
//
// Without a display's vertical blank to present on (a software renderer, Xvfb, a compositor
// that ignores the swap interval), a frame appears whenever its drawing ends; drawing times
// vary by several milliseconds from frame to frame, and a picture that shows the position for
// the predicted moment lands early or late by that much. The pacer instead fixes a budget that
// nearly every recent frame fits into, positions the frame at its start plus the budget, and
// holds the finished frame until then. The cost is a frame rate set by the slower recent
// frames instead of the average one.
//
// Main thread only; a plain record with no resources.
#pragma once

#include <array>

struct s_framepacer {
    // The drawing times (seconds from a frame's start until its picture is finished) of the
    // latest frames, a ring of WINDOW entries; count says how many are valid.
    static constexpr int WINDOW = 90;
    std::array<double, WINDOW> drawn{};
    int count = 0;
    int next = 0;
    // Smoothed time from the start of a swap to its return.
    double swap = 0;
};

// Longest budget: a frame that cannot be drawn in this time is shown when it is ready.
constexpr double FRAMEPACER_MAXBUDGET = 0.2;

// Seconds from a frame's start to the moment it should appear: the second-longest recent
// drawing time (one stray frame does not slow the rest), a margin, and the swap's own time.
double framepacer_budget(const s_framepacer &p);
// The moment the swap of a frame that started at `started` should begin.
double framepacer_swapat(const s_framepacer &p, double started);
// Records a frame that started at `started`, was finished at `ready`, was swapped from
// `swapfrom` (the later of `ready` and the held moment) and had appeared at `presented`.
void framepacer_record(s_framepacer *p, double started, double ready, double swapfrom,
                       double presented);
