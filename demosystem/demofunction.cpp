// The scene framework's small helpers: the effect table lookup, the scenes' own random
// sequences and the tick count of a time.
#include "demosystem/demofunction.h"

#include <algorithm>

c_demofunction *EffectScene(const s_effecttable &table, int id) {
    return table.entry && id >= 0 && id < table.count ? table.entry[id] : nullptr;
}

void SceneSeed(s_scenerandom *r, uint64_t seed) { r->state = seed; }

int SceneRandom(s_scenerandom *r) {
    // 64-bit linear congruential step (Knuth's MMIX constants); the high bits are the
    // well-mixed ones.
    r->state = r->state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<int>(r->state >> 33);
}

long long SceneTicksAt(long long time, int rate) {
    if (time < 0 || rate <= 0) return 0;
    return std::min(time * SCENE_TICKS_PER_SECOND / rate + 1, SCENE_MAX_TICKS);
}
