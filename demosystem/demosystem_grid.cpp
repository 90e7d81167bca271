// Beat grid: steps from the tempo, snapping and stepping along them, and the ways the editor
// writes times. Grid line k lies at k steps from time 0, rounded to the nearest frame, so a
// step that is not a whole number of frames (a third of a beat) does not drift.
#include "demosystem/demosystem_grid.h"

#include <climits>
#include <cmath>
#include <cstdio>

#include "demosystem/demosystem.h"

namespace {

// Steps per beat of each subdivision; 0 for none.
constexpr int STEPSPERBEAT[GRID_NUMDIVISIONS] = {0, 1, 2, 4, 8, 3};
const char *const DIVISIONNAMES[GRID_NUMDIVISIONS] = {"off", "1", "1/2", "1/4", "1/8", "1/3"};

int ClampTime(double t) {
    if (!(t == t)) return 0;
    if (t <= (double)INT_MIN) return INT_MIN;
    if (t >= (double)INT_MAX) return INT_MAX;
    return (int)t;
}

// Time of grid line k.
int LineTime(double k, double step) { return ClampTime(std::floor(k * step + 0.5)); }

}  // namespace

double GridBeatFrames(int bpm, int rate) {
    if (bpm <= 0 || rate <= 0) return 0;
    return (double)rate * 60.0 / bpm;
}

double GridStepFrames(int bpm, int rate, int division) {
    if (division <= GRID_OFF || division >= GRID_NUMDIVISIONS) return 0;
    const double step = GridBeatFrames(bpm, rate) / STEPSPERBEAT[division];
    return step >= 1.0 ? step : 0;
}

int GridSnapTime(int t, int bpm, int rate, int division) {
    const double step = GridStepFrames(bpm, rate, division);
    if (step <= 0) return t;
    return LineTime(std::floor(t / step + 0.5), step);
}

int GridNextTime(int t, int direction, int bpm, int rate, int division) {
    const double step = GridStepFrames(bpm, rate, division);
    if (step <= 0 || direction == 0) return t;
    double k = std::floor(t / step);
    if (direction > 0) {
        while (LineTime(k, step) <= t && LineTime(k, step) < INT_MAX) k += 1;
    } else {
        k += 1;
        while (LineTime(k, step) >= t && LineTime(k, step) > INT_MIN) k -= 1;
    }
    return LineTime(k, step);
}

int GridMoveTime(int t, double frames, int bpm, int rate, int division) {
    const double step = GridStepFrames(bpm, rate, division);
    const int moved = ClampTime((double)t + frames);
    if (step <= 0 || frames == 0) return moved;
    const int snapped = GridSnapTime(moved, bpm, rate, division);
    const bool stuck = frames > 0 ? snapped <= t : snapped >= t;
    return stuck ? GridNextTime(t, frames > 0 ? 1 : -1, bpm, rate, division) : snapped;
}

const char *GridDivisionName(int division) {
    return division >= 0 && division < GRID_NUMDIVISIONS ? DIVISIONNAMES[division] : "off";
}

int GridCycle(int division, int step) {
    const int n = GRID_NUMDIVISIONS;
    const int d = division >= 0 && division < n ? division : GRID_OFF;
    return ((d + step) % n + n) % n;
}

void GridFormatTime(char *out, size_t size, long long t, int bpm, int rate, bool barsbeats) {
    if (!out || size == 0) return;
    const bool negative = t < 0;
    const double frames = std::fabs((double)t);
    const double beat = GridBeatFrames(bpm, rate);
    if (barsbeats && beat > 0) {
        // Hundredths of a beat, counted as a whole so that rounding carries into the beat.
        const long long hundredths = (long long)std::floor(frames / beat * 100 + 0.5);
        const long long beats = hundredths / 100;
        snprintf(out, size, "%s%lld:%lld.%02lld", negative ? "-" : "", beats / GRID_BEATSPERBAR + 1,
                 beats % GRID_BEATSPERBAR + 1, hundredths % 100);
        return;
    }
    const int r = rate > 0 ? rate : GRID_DEFAULTRATE;
    snprintf(out, size, "%s%.3f s", negative ? "-" : "", frames / r);
}

void GridFormatSpan(char *out, size_t size, long long frames, int bpm, int rate, bool barsbeats) {
    if (!out || size == 0) return;
    const double beat = GridBeatFrames(bpm, rate);
    if (barsbeats && beat > 0) {
        snprintf(out, size, "%.2f beats", (double)frames / beat);
        return;
    }
    const int r = rate > 0 ? rate : GRID_DEFAULTRATE;
    snprintf(out, size, "%.3f s", (double)frames / r);
}

int GridRate(const c_demo &demo) {
    const uint32_t rate = demo.demomusic.samplerate;
    return demo.HasMusic() && rate > 0 && rate <= INT_MAX ? (int)rate : GRID_DEFAULTRATE;
}

int GridSnap(const c_demo &demo, int t) {
    return GridSnapTime(t, demo.bpm, GridRate(demo), demo.gui_snap);
}

int GridMove(const c_demo &demo, int t, double frames) {
    return GridMoveTime(t, frames, demo.bpm, GridRate(demo), demo.gui_snap);
}

void GridFormat(const c_demo &demo, char *out, size_t size, long long t) {
    GridFormatTime(out, size, t, demo.bpm, GridRate(demo), demo.gui_barsbeats);
}

void GridFormatLength(const c_demo &demo, char *out, size_t size, long long frames) {
    GridFormatSpan(out, size, frames, demo.bpm, GridRate(demo), demo.gui_barsbeats);
}
