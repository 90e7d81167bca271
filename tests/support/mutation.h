// Mutation harness for the parsers' tests: a seeded generator (the same seed gives the same
// mutants on every machine, so a failing mutant can be reproduced from its number) and the
// byte edits that every format's mutants share.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace test_support {

struct xorshift {
    uint64_t state;
    uint64_t operator()() {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    }
    size_t below(size_t n) { return n ? size_t((*this)() % n) : 0; }
};

// Stores the `width` low bytes of `v` little-endian at `at`, as far as the file reaches.
void PutLE(std::vector<uint8_t> &f, size_t at, uint32_t v, int width);

// A format's own edits at the edit's random position `at`: `field` sets a header field or
// count to a value at or near a limit; `extra`, when given, is one more kind of edit.
struct MutationEdits {
    std::function<void(std::vector<uint8_t> &f, size_t at, xorshift &rng)> field;
    std::function<void(std::vector<uint8_t> &f, size_t at, xorshift &rng)> extra;
    size_t maxrun = 6;  // longest run inserted or erased
};

// Applies one to three edits: a byte flipped, the file cut short, a field set, a run of equal
// bytes inserted, a run erased, or the format's extra edit.
void Mutate(std::vector<uint8_t> &f, xorshift &rng, const MutationEdits &edits);

}  // namespace test_support
