// Frame pacing, on a simulated player loop: drawing times that vary from frame to frame (and
// now and then a much slower frame) must still give pictures that move on by the time between
// their appearances, which is what the position shown in each frame is computed for.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "demosystem/framepacer.h"
#include "support/mutation.h"

namespace {

struct s_frame {
    double position;  // the moment the frame's picture is computed for
    double presented;
};

// Runs `frames` frames whose drawing takes drawtime(i) seconds and whose swap takes `swap`.
template <typename F>
std::vector<s_frame> RunLoop(s_framepacer *pacer, int frames, double swap, F drawtime) {
    std::vector<s_frame> out;
    double now = 100;
    for (int i = 0; i < frames; i++) {
        const double started = now;
        const double budget = framepacer_budget(*pacer);
        const double ready = started + drawtime(i);
        const double swapat = framepacer_swapat(*pacer, started);
        const double swapfrom = std::max(ready, swapat);
        now = swapfrom + swap;
        framepacer_record(pacer, started, ready, swapfrom, now);
        out.push_back({started + budget, now});
    }
    return out;
}

// 95th percentile of |dposition - dtime| in milliseconds, after the first `skip` frames.
double P95Deviation(const std::vector<s_frame> &f, size_t skip) {
    std::vector<double> d;
    for (size_t i = skip + 1; i < f.size(); i++)
        d.push_back(1000 * std::fabs((f[i].position - f[i - 1].position) -
                                     (f[i].presented - f[i - 1].presented)));
    std::sort(d.begin(), d.end());
    return d[d.size() * 95 / 100];
}

TEST(FramePacer, JitteryDrawingStillMovesByTheTimeBetweenFrames) {
    test_support::xorshift rng{12345};
    s_framepacer pacer;
    // 28 to 36 ms of drawing, and one frame in 150 three times as slow.
    const auto frames = RunLoop(&pacer, 1200, 0.0015, [&](int i) {
        return i % 150 == 149 ? 0.1 : 0.028 + 0.008 * double(rng.below(1000)) / 1000;
    });
    EXPECT_LT(P95Deviation(frames, 10), 2.0);
    // Each frame appears at the moment its position was computed for, except late ones.
    int late = 0;
    for (size_t i = 10; i < frames.size(); i++)
        if (frames[i].presented - frames[i].position > 0.002) late++;
    EXPECT_LT(late, 1200 / 50);
}

TEST(FramePacer, BudgetFollowsTheRecentFramesWithinBounds) {
    s_framepacer pacer;
    EXPECT_LT(framepacer_budget(pacer), 0.01);
    // One stray slow frame among steady ones does not set the budget...
    RunLoop(&pacer, 20, 0.001, [](int i) { return i == 5 ? 0.09 : 0.02; });
    EXPECT_LT(framepacer_budget(pacer), 0.03);
    // ...a slower stretch does, and the budget comes back once it has passed the window.
    RunLoop(&pacer, 10, 0.001, [](int) { return 0.05; });
    EXPECT_GT(framepacer_budget(pacer), 0.05);
    RunLoop(&pacer, s_framepacer::WINDOW, 0.001, [](int) { return 0.02; });
    EXPECT_LT(framepacer_budget(pacer), 0.03);
    // Frames slower than the longest budget are not waited for beyond it.
    RunLoop(&pacer, 10, 0.001, [](int) { return 5.0; });
    EXPECT_LE(framepacer_budget(pacer), FRAMEPACER_MAXBUDGET);
}

}  // namespace
