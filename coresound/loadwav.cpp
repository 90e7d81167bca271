// WAV files in the canonical 44-byte-header PCM layout, read and written through the file
// layer. Every field is looked for at its fixed offset; chunks are not walked.
#include "core/coredebug.h"
#include "core/corefile.h"
#include "coresound/coresound.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

namespace {

constexpr uint32_t WAV_HEADER = 44;

uint16_t get16(const uint8_t *p) { return uint16_t(p[0] | p[1] << 8); }

void put16(uint8_t *p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

void put32(uint8_t *p, uint32_t v) {
    put16(p, v);
    put16(p + 2, v >> 16);
}

bool tag(const uint8_t *p, const char *text) {
    return std::memcmp(p, text, std::strlen(text)) == 0;
}

}  // namespace

int Soundsystem_LoadWAV(const char *name, s_sound *sound) {
    s_corefile file{};
    if (!corefile_open(name, &file, 0)) {
        core_log(LOG_ERROR, "sound.wav_missing", "Cannot open WAV file %s\n", name);
        return 0;
    }
    // The header is read first and the samples straight into their own buffer, so the file
    // is neither held twice nor copied.
    struct Closer {
        s_corefile *file;
        ~Closer() { corefile_close(file); }
    } closer{&file};
    const uint32_t filesize = corefile_fsize(&file);
    uint8_t d[WAV_HEADER] = {};
    corefile_read(d, 1, std::min(filesize, WAV_HEADER), &file);

    // Either tag is enough to go on.
    if (filesize < 12 || (!tag(d, "RIFF") && !tag(d + 8, "WAVE"))) {
        core_log(LOG_ERROR, "sound.wav_not_riff", "No WAV file: %s\n", name);
        return 0;
    }
    if (filesize < 15 || !tag(d + 12, "fmt")) {
        core_log(LOG_ERROR, "sound.wav_no_fmt", "No fmt chunk at the start of WAV file %s\n", name);
        return 0;
    }
    if (filesize < WAV_HEADER) {
        core_log(LOG_ERROR, "sound.wav_short_header",
                 "WAV file %s is shorter than its header (%u bytes)\n", name, filesize);
        return 0;
    }
    sound->numchannels = get16(d + 22);
    sound->samplerate = getint(d + 24);
    sound->bits = get16(d + 34);
    if (get16(d + 20) != 1) {
        core_log(LOG_ERROR, "sound.wav_not_pcm", "Not PCM signed: %s\n", name);
        return 0;
    }
    if (sound->bits != 8 && sound->bits != 16) {
        core_log(LOG_ERROR, "sound.wav_bad_width",
                 "Unsupported WAV sample width in %s: %d bits (8 or 16 only)\n", name, sound->bits);
        return 0;
    }
    if (sound->numchannels != 1 && sound->numchannels != 2) {
        core_log(LOG_ERROR, "sound.wav_bad_channels",
                 "Unsupported WAV channel count in %s: %d (1 or 2 only)\n", name,
                 sound->numchannels);
        return 0;
    }
    if (sound->samplerate == 0) {
        core_log(LOG_ERROR, "sound.wav_zero_rate", "WAV file %s has a sample rate of 0\n", name);
        return 0;
    }
    if (!tag(d + 36, "data")) {
        core_log(LOG_ERROR, "sound.wav_no_data",
                 "No data chunk right after the fmt chunk of WAV file %s\n", name);
        return 0;
    }

    uint32_t size = getint(d + 40);
    const uint32_t available = filesize - WAV_HEADER;
    if (size > available) {
        core_log(LOG_WARNING, "sound.wav_cut_short",
                 "WAV file %s is cut short: %u of %u data bytes present\n", name, available, size);
        size = available;
    }
    // Whole frames only, so the mixer never reads half a frame.
    const uint32_t width = sound->bits / 8u;
    const uint32_t framebytes = width * sound->numchannels;
    size -= size % framebytes;
    void *buffer = size ? std::malloc(size) : nullptr;
    if (size && !buffer) {
        core_log(LOG_ERROR, "sound.wav_no_memory",
                 "Out of memory for the samples of WAV file %s (%u bytes)\n", name, size);
        return 0;
    }
    if (size) corefile_read(buffer, 1, size, &file);
    sound->buffer = buffer;
    sound->size = size;
    sound->length = size / width;
    return 1;
}

int Soundsystem_SaveWAV(const char *name, s_sound *sound) {
    const uint32_t width = sound->bits / 8u;
    uint64_t bytes = sound->buffer ? uint64_t(sound->length) * width : 0;
    if (bytes > sound->size) bytes = sound->size;
    if (bytes > UINT32_MAX - WAV_HEADER) bytes = UINT32_MAX - WAV_HEADER;
    const uint32_t databytes = uint32_t(bytes);
    const uint32_t total = WAV_HEADER + databytes;
    std::unique_ptr<uint8_t[]> out(new (std::nothrow) uint8_t[total]);
    if (!out) {
        core_log(LOG_ERROR, "sound.wav_write_no_memory",
                 "Out of memory writing WAV file %s (%u bytes)\n", name, total);
        return 0;
    }
    uint8_t *h = out.get();
    const uint32_t blockalign = sound->numchannels * width;
    std::memcpy(h, "RIFF", 4);
    put32(h + 4, databytes + 36);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    put32(h + 16, 16);
    put16(h + 20, 1);
    put16(h + 22, sound->numchannels);
    put32(h + 24, sound->samplerate);
    put32(h + 28, blockalign * sound->samplerate);
    put16(h + 32, blockalign);
    put16(h + 34, sound->bits);
    std::memcpy(h + 36, "data", 4);
    put32(h + 40, databytes);
    if (databytes) std::memcpy(h + WAV_HEADER, sound->buffer, databytes);
    return corefile_savebuffer(name, out.get(), total);
}
