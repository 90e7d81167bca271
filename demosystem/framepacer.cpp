#include "demosystem/framepacer.h"

#include <algorithm>

namespace {

// Kept on top of the budget for the small variations that no recent frame has shown yet.
constexpr double MARGIN = 0.002;

}  // namespace

double framepacer_budget(const s_framepacer &p) {
    double longest = 0, second = 0;
    for (int i = 0; i < p.count; i++) {
        const double d = p.drawn[i];
        if (d > longest) {
            second = longest;
            longest = d;
        } else if (d > second) {
            second = d;
        }
    }
    const double drawing = p.count > 1 ? second : longest;
    return std::min(drawing + MARGIN + p.swap, FRAMEPACER_MAXBUDGET);
}

double framepacer_swapat(const s_framepacer &p, double started) {
    return started + framepacer_budget(p) - p.swap;
}

void framepacer_record(s_framepacer *p, double started, double ready, double swapfrom,
                       double presented) {
    p->drawn[p->next] = std::clamp(ready - started, 0.0, FRAMEPACER_MAXBUDGET);
    p->next = (p->next + 1) % s_framepacer::WINDOW;
    p->count = std::min(p->count + 1, s_framepacer::WINDOW);
    const double swap = std::clamp(presented - swapfrom, 0.0, FRAMEPACER_MAXBUDGET);
    // The first swap sets the estimate; later ones move it gently, as swaps vary less.
    p->swap = p->count == 1 ? swap : p->swap + (swap - p->swap) / 8;
}
