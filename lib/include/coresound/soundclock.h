// Heard-output clock: which output frame is reaching the listener at a given moment, as a
// smooth function of the monotonic clock.
//
// The output device reports, at each of its callbacks, the output frame that starts to be heard
// at that moment: the frames it has taken in total, minus what is still buffered in front of the
// listener. The audio driver's estimate of that buffer is the block the device has just taken
// (SDL's obtained buffer; the timing thread that stands in for a missing device takes a block
// per block length, so the same holds there); SDL 2 reports no further latency of the system's
// sound server or hardware, so none is added, and on a real sound card the picture can lead the
// sound by that amount (typically 10 to 40 ms).
//
// Between reports the clock runs at the nominal rate from its last anchor. Each report moves the
// anchor an eighth of the way towards the reported frame, so callback jitter of a few
// milliseconds shows as steps far below a frame's duration, while a device that runs slow or fast
// is followed; a report more than a block away from the prediction (a stalled device, a restart)
// is taken as it is. Reads never go back and never pass a limit the caller gives (what has been
// mixed).
//
// Plain record, no locking: the sound system guards its one clock with its own lock.
#pragma once
#include <cstdint>

struct s_soundclock {
    uint32_t rate;     // output frames per second
    int synced;        // 1 once a report has arrived
    double basetime;   // monotonic seconds of the anchor
    double baseframe;  // output frame heard at basetime
    int64_t last;      // the last frame read
};

// Before the first report a read gives this: earlier than any frame.
constexpr int64_t SOUNDCLOCK_NOTHING_HEARD = INT64_MIN / 2;

void soundclock_reset(s_soundclock *clock, uint32_t rate);
// The device says that output frame `heard` reaches the listener at monotonic time `now`.
void soundclock_report(s_soundclock *clock, double now, int64_t heard);
// The output frame heard at `now`: at least the last one read, at most `limit`.
int64_t soundclock_read(s_soundclock *clock, double now, int64_t limit);
// CLOCK_MONOTONIC in seconds.
double soundclock_now();
