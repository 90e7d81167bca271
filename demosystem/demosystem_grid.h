// Beat grid of the timeline: the project's tempo divides time into bars of four beats, and
// beats into steps of a chosen subdivision. Moves and new keys land on the steps; times are
// written as bars:beats or as seconds. Times are sample frames of the music.
#pragma once
#include <cstddef>

class c_demo;

// Subdivisions of a beat that the grid steps in, in the order the editor cycles them.
enum {
    GRID_OFF = 0,
    GRID_BEAT = 1,     // 1 beat
    GRID_HALF = 2,     // 1/2
    GRID_QUARTER = 3,  // 1/4
    GRID_EIGHTH = 4,   // 1/8
    GRID_THIRD = 5,    // 1/3
    GRID_NUMDIVISIONS = 6
};
constexpr int GRID_BEATSPERBAR = 4;
// Frames per second of a timeline without music.
constexpr int GRID_DEFAULTRATE = 44100;

// Frames of one beat at `bpm` for a music of `rate` frames per second; 0 without a usable
// tempo or rate.
double GridBeatFrames(int bpm, int rate);
// Frames of one grid step; 0 when the grid is off, the subdivision unknown or the tempo
// unusable (also when a step would be shorter than a frame).
double GridStepFrames(int bpm, int rate, int division);
// The grid line nearest to t (halfway rounds up); t itself when there is no grid. The result
// stays inside int's range.
int GridSnapTime(int t, int bpm, int rate, int division);
// The first grid line strictly after t (direction > 0) or strictly before it (direction < 0);
// t itself when there is no grid.
int GridNextTime(int t, int direction, int bpm, int rate, int division);
// Time t moved by `frames` and put on the grid; a move shorter than half a step still reaches
// the next line in its direction, so a held key never sticks. Without a grid: t + frames.
int GridMoveTime(int t, double frames, int bpm, int rate, int division);
// "1", "1/2", "1/4", "1/8", "1/3" or "off".
const char *GridDivisionName(int division);
// The subdivision after (step 1) or before (step -1) `division`, wrapping around.
int GridCycle(int division, int step);

// Time as "bar:beat.hundredths" (both from 1; "-" before negative times) or as seconds with
// three decimals and an "s". Without a tempo, bars:beats falls back to seconds.
void GridFormatTime(char *out, size_t size, long long t, int bpm, int rate, bool barsbeats);
// A length as beats with two decimals ("2.50 beats") or as seconds ("1.486 s").
void GridFormatSpan(char *out, size_t size, long long frames, int bpm, int rate, bool barsbeats);

// The editor's grid: the project's tempo, the music's rate and the subdivision chosen in the
// editor (gui_snap).
int GridRate(const c_demo &demo);
int GridSnap(const c_demo &demo, int t);
int GridMove(const c_demo &demo, int t, double frames);
void GridFormat(const c_demo &demo, char *out, size_t size, long long t);
void GridFormatLength(const c_demo &demo, char *out, size_t size, long long frames);
