// Seeded generator for the parsers' mutation tests: the same seed gives the same mutants on
// every machine, so a failing mutant can be reproduced from its number.
#pragma once
#include <cstddef>
#include <cstdint>

struct xorshift {
    uint64_t state;
    uint64_t operator()()
    {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    }
    size_t below(size_t n) { return n ? (size_t)((*this)() % n) : 0; }
};
