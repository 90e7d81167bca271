// Heard-output clock: a linear model of output frames over monotonic time, pulled towards the
// device's reports.
#include "coresound/soundclock.h"

#include "coresound/audiodriver.h"

#include <algorithm>
#include <cmath>
#include <ctime>

namespace {

// Share of a report's difference from the prediction taken into the anchor.
constexpr double PULL = 1.0 / 8;

double predicted(const s_soundclock &c, double now) {
    return c.baseframe + (now - c.basetime) * c.rate;
}

}  // namespace

void soundclock_reset(s_soundclock *clock, uint32_t rate) {
    *clock = s_soundclock{};
    clock->rate = rate;
    clock->last = SOUNDCLOCK_NOTHING_HEARD;
}

void soundclock_report(s_soundclock *clock, double now, int64_t heard) {
    const double error = clock->synced ? double(heard) - predicted(*clock, now) : 0.0;
    if (!clock->synced || std::fabs(error) > double(AUDIODRIVER_BLOCKFRAMES)) {
        clock->baseframe = double(heard);
    } else {
        clock->baseframe = predicted(*clock, now) + error * PULL;
    }
    clock->basetime = now;
    clock->synced = 1;
}

int64_t soundclock_read(s_soundclock *clock, double now, int64_t limit) {
    if (!clock->synced) return clock->last;
    const int64_t frame = int64_t(std::floor(predicted(*clock, now)));
    clock->last = std::max(clock->last, std::min(frame, limit));
    return clock->last;
}

double soundclock_now() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}
