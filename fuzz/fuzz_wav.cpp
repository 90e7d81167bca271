// libFuzzer target for the WAV reader: any input, read through the file layer from a
// scratch directory, is refused (no samples kept) or yields whole frames of 8- or 16-bit
// samples that were all present in the file.
#include "coresound/coresound.h"
#include "fuzz_scratch.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fuzz_scratch::mount();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz_scratch::write("in.wav", data, size);
    s_sound sound{};
    if (!Soundsystem_LoadWAV("in.wav", &sound)) {
        if (sound.buffer || sound.size || sound.length) abort();
        return 0;
    }
    if (size < 44 || sound.size > size - 44) abort();
    if (sound.bits != 8 && sound.bits != 16) abort();
    if (sound.numchannels != 1 && sound.numchannels != 2) abort();
    if (sound.samplerate == 0) abort();
    const uint32_t width = sound.bits / 8u;
    if (sound.size % (width * sound.numchannels) != 0 || sound.length != sound.size / width)
        abort();
    if (sound.size && !sound.buffer) abort();
    const uint8_t *samples = static_cast<const uint8_t *>(sound.buffer);
    for (uint32_t i = 0; i < sound.size; ++i)
        if (samples[i] != data[44 + i]) abort();
    free(sound.buffer);
    return 0;
}
