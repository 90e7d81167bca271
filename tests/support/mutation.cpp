#include "support/mutation.h"

#include <algorithm>

namespace test_support {

void PutLE(std::vector<uint8_t> &f, size_t at, uint32_t v, int width) {
    for (int i = 0; i < width && at + i < f.size(); ++i) f[at + i] = uint8_t(v >> (8 * i));
}

void Mutate(std::vector<uint8_t> &f, xorshift &rng, const MutationEdits &edits) {
    const int count = 1 + int(rng.below(3));
    for (int m = 0; m < count; ++m) {
        const size_t at = rng.below(f.size() + 1);
        switch (rng.below(edits.extra ? 6 : 5)) {
            case 0:
                if (at < f.size()) f[at] ^= uint8_t(1 + rng.below(255));
                break;
            case 1:
                f.resize(at);
                break;
            case 2:
                edits.field(f, at, rng);
                break;
            case 3:
                f.insert(f.begin() + ptrdiff_t(at), 1 + rng.below(edits.maxrun), uint8_t(rng()));
                break;
            case 4:
                if (at < f.size())
                    f.erase(f.begin() + ptrdiff_t(at),
                            f.begin() +
                                ptrdiff_t(std::min(f.size(), at + 1 + rng.below(edits.maxrun))));
                break;
            default:
                edits.extra(f, at, rng);
                break;
        }
    }
}

}  // namespace test_support
