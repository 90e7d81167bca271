// libFuzzer target for the image table reader: any input, read as a stand-alone and as an
// appended image, is refused or yields entries that lie inside it.
#include "corefile/imageformat.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::vector<uint8_t> storage(data, data + size);
    storage.push_back(0);  // fmemopen refuses an empty buffer
    for (int appended = 0; appended < 2; ++appended) {
        FILE *fp = fmemopen(storage.data(), storage.size(), "rb");
        if (!fp) return 0;
        uint64_t start = 0, limit = 0;
        char why[256];
        s_coreimage t{};
        if (imageformat_locate(fp, size, appended, &start, &limit, why, sizeof why) &&
            imageformat_readtable(fp, start, limit, &t, why, sizeof why)) {
            if (t.romsize > limit) abort();
            for (uint32_t i = 0; i < t.numfiles; ++i)
                if (!t.names[i][0] || (uint64_t)t.offsets[i] + imageformat_entrysize(&t, i) > limit)
                    abort();
            imageformat_freetable(&t);
        }
        fclose(fp);
    }
    return 0;
}
