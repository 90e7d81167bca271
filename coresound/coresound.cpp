// Sound system and mixer.
//
// Sharing between the main thread and the audio thread: one lock, g_soundlock, guards the
// list of playing sounds (active_sounds, numactive), the volumes and the accumulator in
// `soundsystem`, and the playing fields of every listed sound (active, offset, stepsize, loop,
// type and the volumes). The mixer holds it for a whole block (tens of microseconds); the
// Soundsystem_ operations hold it only while they read or change those fields, so the main
// thread never waits longer than one block's mixing. The mixer never touches a sound that is
// not listed, so loading or creating a sound needs the lock only to unlist the record first.
// A stream's refill callback runs on the audio thread with the lock held.
//
// Heard positions: the mixer counts the output frames it has mixed and notes, per sound, where
// each stretch of its audio starts in that count (the sound's runs). The driver reports which
// output frame is being heard; a sound's heard position is its run at that frame. Both the
// count and the clock are guarded by g_soundlock.
#include "core/coredebug.h"
#include "coresound/coresound.h"

#include "coresound/audiodriver.h"
#include "coresound/soundclock.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "samples are read as native 16-bit");

s_soundsystem soundsystem;
s_sound *active_sounds[SOUNDSYSTEM_MAXACTIVE];

namespace {

std::mutex g_soundlock;
using Lock = std::lock_guard<std::mutex>;

int64_t g_mixed;       // output frames mixed since Soundsystem_Init
s_soundclock g_clock;  // output frame being heard
double g_ahead;        // seconds after the call that heard positions are given for (program thread)

uint8_t clamp255(int v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); }

// Without an output rate (sound system not initialised) there is no step to give.
uint32_t stepsize_for(uint32_t samplerate, uint32_t numchannels) {
    if (soundsystem.samplerate == 0) return 0;
    return (samplerate * 256u * numchannels) / soundsystem.samplerate;
}

bool is_listed(const s_sound *sound) {
    for (int i = 0; i < soundsystem.numactive; i++)
        if (active_sounds[i] == sound) return true;
    return false;
}

void unlist(const s_sound *sound) {
    for (int i = 0; i < soundsystem.numactive; i++) {
        if (active_sounds[i] != sound) continue;
        for (int j = i + 1; j < soundsystem.numactive; j++) active_sounds[j - 1] = active_sounds[j];
        soundsystem.numactive--;
        active_sounds[soundsystem.numactive] = nullptr;
        return;
    }
}

// The sound's offset within run r at output frame h: wrapped for a looping sound or a stream,
// held at the last sample value for a sound that ends.
uint64_t run_offset(const s_sound &s, const s_soundrun &r, int64_t h) {
    if (r.step == 0 || h <= r.from) return r.offset;
    uint64_t o = r.offset + uint64_t(h - r.from) * r.step;
    const uint64_t end = uint64_t(s.length) << 8;
    if (o >= end && end) o = (s.loop || s.callback) ? o % end : end - 1;
    return o;
}

// Forgets the sound's history: it stands at its offset until the mixer plays it from there.
void restart_runs(s_sound *sound) {
    sound->runs[0] = {INT64_MIN, sound->offset, 0};
    sound->numruns = 1;
    sound->silentfrom = INT64_MIN;
}

// Called by the mixer for every listed sound at the start of a block: a new run begins unless
// the sound goes on exactly as its latest run said.
void note_run(s_sound *s, uint32_t step) {
    if (s->numruns > 0) {
        const s_soundrun &last = s->runs[s->numruns - 1];
        if (last.step == step && run_offset(*s, last, g_mixed) == s->offset) return;
    }
    if (s->numruns == SOUND_MAXRUNS) {
        std::copy(s->runs + 1, s->runs + SOUND_MAXRUNS, s->runs);
        s->numruns--;
    }
    s->runs[s->numruns++] = {g_mixed, s->offset, step};
}

bool played_to_end(const s_sound &s) { return s.numruns > 0 && s.silentfrom != INT64_MIN; }

// The sound's frame heard at output frame h. A sound the mixer does not play (never started, or
// stopped on purpose) is heard where its offset stands.
uint64_t heard_frames(const s_sound &s, int64_t h) {
    if (s.numchannels == 0) return 0;
    if (s.numruns <= 0 || (!is_listed(&s) && !played_to_end(s)))
        return (s.offset >> 8) / s.numchannels;
    int i = std::min(s.numruns, SOUND_MAXRUNS) - 1;
    while (i > 0 && s.runs[i].from > h) i--;
    const uint64_t o = run_offset(s, s.runs[i], h);
    const uint64_t frames = s.length / s.numchannels;
    return std::min((o >> 8) / s.numchannels, frames ? frames - 1 : 0);
}

void stop_locked(s_sound *sound) {
    sound->offset = 0;
    sound->active = 0;
    unlist(sound);
}

void play_locked(s_sound *sound, int loop) {
    sound->active = 1;
    sound->offset = 0;
    restart_runs(sound);
    if (loop) sound->loop = 1;
    if (!is_listed(sound) && soundsystem.numactive < SOUNDSYSTEM_MAXACTIVE)
        active_sounds[soundsystem.numactive++] = sound;
}

// Playing defaults shared by loaded sounds and streams.
void set_playing_defaults(s_sound *sound) {
    sound->offset = 0;
    sound->stepsize = stepsize_for(sound->samplerate, sound->numchannels);
    sound->volume = 255;
    sound->leftvolume = sound->rightvolume = sound->panning = 128;
    sound->active = 0;
}

// Capitalised extension of name from its last "." (not a leading one), at most 19 characters.
void upcase_sound(const char *name, char *ext) {
    ext[0] = 0;
    const char *dot = name ? std::strrchr(name, '.') : nullptr;
    if (!dot || dot == name) return;
    size_t n = 0;
    for (; n < 19 && dot[n]; n++)
        ext[n] = static_cast<char>(std::toupper(static_cast<unsigned char>(dot[n])));
    ext[n] = 0;
}

// Signed 16-bit value of sample i.
inline int32_t sample_at(const uint8_t *buffer, uint64_t i) { return (buffer[i] - 128) * 256; }
inline int32_t sample_at(const int16_t *buffer, uint64_t i) { return buffer[i]; }

struct Gains {
    int32_t mono, left, right;
};

// Adds n output frames of one sound into acc, starting at position offset. Src is the source's
// channel count, Out the output's. A stereo source gives its left value to the left side and
// its right value to the right (their average on mono output).
template <typename T, int Src, int Out>
void mix_span(const s_sound &s, int32_t *acc, uint64_t offset, uint32_t n, const Gains &g) {
    const T *buffer = static_cast<const T *>(s.buffer);
    const uint64_t last = s.length - 1;
    auto add = [&](int32_t *a, int32_t l, int32_t r) {
        if constexpr (Out == 2) {
            a[0] += l * g.left;
            a[1] += r * g.right;
        } else {
            a[0] += (Src == 2 ? (l + r) / 2 : l) * g.mono;
        }
    };
    // Same rate as the output: every frame advances by exactly one source frame, so the reads
    // are consecutive (and the loop vectorises).
    if (s.stepsize == 256u * Src && (Src == 1 || s.length % 2 == 0)) {
        const T *p = buffer + ((offset >> 8) / Src) * Src;
        for (uint32_t k = 0; k < n; k++) {
            int32_t l = sample_at(p, uint64_t(k) * Src);
            int32_t r = Src == 2 ? sample_at(p, uint64_t(k) * Src + 1) : l;
            add(acc + k * Out, l, r);
        }
        return;
    }
    for (uint32_t k = 0; k < n; k++, offset += s.stepsize) {
        uint64_t i = offset >> 8;
        int32_t l, r;
        if constexpr (Src == 2) {
            uint64_t f = (i / 2) * 2;
            l = sample_at(buffer, f);
            r = sample_at(buffer, std::min(f + 1, last));
        } else {
            l = r = sample_at(buffer, i);
        }
        add(acc + k * Out, l, r);
    }
}

template <typename T>
void mix_span_for(const s_sound &s, int32_t *acc, uint32_t n, const Gains &g) {
    bool stereo_out = soundsystem.channels == 2;
    if (s.numchannels == 2) {
        if (stereo_out)
            mix_span<T, 2, 2>(s, acc, s.offset, n, g);
        else
            mix_span<T, 2, 1>(s, acc, s.offset, n, g);
    } else {
        if (stereo_out)
            mix_span<T, 1, 2>(s, acc, s.offset, n, g);
        else
            mix_span<T, 1, 1>(s, acc, s.offset, n, g);
    }
}

// At the end of the data: refill a stream, or wrap a looping sound keeping the fractional
// remainder. False when the sound ends.
bool wrap(s_sound *s, uint64_t end) {
    if (s->callback)
        s->callback(s->buffer, s->size);
    else if (!s->loop)
        return false;
    s->offset -= end;
    if (s->offset >= end) s->offset %= end;  // a step longer than the whole sound
    return true;
}

// Mixes `frames` output frames of one sound into the accumulator, counting in `done` the frames
// it played. False when the sound has ended (or has nothing to play) and must be stopped.
bool mix_sound(s_sound *s, uint32_t frames, uint32_t &done) {
    done = 0;
    if (!s->buffer || s->length == 0 || (s->bits != 8 && s->bits != 16) ||
        (s->numchannels != 1 && s->numchannels != 2))
        return false;
    const uint64_t end = uint64_t(s->length) << 8;
    const uint32_t group = (s->type == 1 ? soundsystem.musicvolume : soundsystem.effectvolume) *
                           uint32_t(soundsystem.mastervolume);
    const Gains g = {int32_t((s->volume * group) >> 16), int32_t((s->leftvolume * group) >> 16),
                     int32_t((s->rightvolume * group) >> 16)};
    const int out = soundsystem.channels == 2 ? 2 : 1;
    while (done < frames) {
        if (s->offset >= end && !wrap(s, end)) return false;
        uint32_t n = frames - done;
        if (s->stepsize)
            n = uint32_t(std::min<uint64_t>(n, (end - s->offset + s->stepsize - 1) / s->stepsize));
        int32_t *acc = soundsystem.outputbuffer + size_t(done) * out;
        if (s->bits == 8)
            mix_span_for<uint8_t>(*s, acc, n, g);
        else
            mix_span_for<int16_t>(*s, acc, n, g);
        s->offset += uint64_t(n) * s->stepsize;
        done += n;
        if (s->offset >= end && !wrap(s, end)) return false;
    }
    return true;
}

// Mixes up to bufferlength frames into the accumulator and converts them into out.
void mix_block(uint8_t *out, uint32_t frames) {
    std::memset(soundsystem.outputbuffer, 0, soundsystem.buffersize);
    for (int i = 0; i < soundsystem.numactive;) {
        s_sound *s = active_sounds[i];
        if (!s->active) {
            note_run(s, 0);
            i++;
            continue;
        }
        note_run(s, s->stepsize);
        uint32_t played = 0;
        if (mix_sound(s, frames, played)) {
            i++;
        } else {
            s->silentfrom = g_mixed + played;
            stop_locked(s);  // the next sound moves down to index i
        }
    }
    g_mixed += frames;
    const uint32_t values = frames * (soundsystem.channels == 2 ? 2 : 1);
    const int32_t *acc = soundsystem.outputbuffer;
    if (soundsystem.bits == 16) {
        int16_t *o = reinterpret_cast<int16_t *>(out);
        for (uint32_t i = 0; i < values; i++)
            o[i] = int16_t(std::clamp(acc[i] >> 8, -32767, 32767));
    } else {
        for (uint32_t i = 0; i < values; i++)
            out[i] = uint8_t((std::clamp(acc[i] >> 8, -32767, 32767) >> 8) + 128);
    }
}

}  // namespace

int Soundsystem_Init(uint32_t samplerate, int bits, int channels) {
    if (soundsystem.outputbuffer) Soundsystem_CloseAudio();
    {
        Lock lock(g_soundlock);
        soundsystem.samplerate = samplerate;
        soundsystem.bits = uint16_t(bits);
        soundsystem.channels = channels == 2 ? 2 : 1;
        soundsystem.numsounds = 0;
        soundsystem.numactive = 0;
        soundsystem.mastervolume = soundsystem.musicvolume = soundsystem.effectvolume = 255;
        soundsystem.bufferlength = AUDIODRIVER_BLOCKFRAMES;
        // The accumulator is in place before the driver starts calling the mixer.
        soundsystem.buffersize = soundsystem.channels * soundsystem.bufferlength * 4;
        soundsystem.outputbuffer = static_cast<int32_t *>(std::calloc(soundsystem.buffersize, 1));
        g_mixed = 0;
        soundclock_reset(&g_clock, samplerate);
    }
    // The device runs at the rate every step size is computed against.
    audiodriver_init(samplerate, 16, AUDIODRIVER_BLOCKFRAMES,
                     channels == 2 ? AUDIODRIVER_STEREO : 0);
    core_log(LOG_PROGRESS, "sound.buffer_length", "soundsystem bufferlength = %d\n",
             int(soundsystem.bufferlength));
    return 1;
}

void Soundsystem_CloseAudio() {
    audiodriver_close();
    Lock lock(g_soundlock);
    std::free(soundsystem.outputbuffer);
    soundsystem.outputbuffer = nullptr;
}

void Soundsystem_SetMasterVolume(int v) {
    Lock lock(g_soundlock);
    soundsystem.mastervolume = clamp255(v);
}

void Soundsystem_SetMusicVolume(int v) {
    Lock lock(g_soundlock);
    soundsystem.musicvolume = clamp255(v);
}

void Soundsystem_SetEffectVolume(int v) {
    Lock lock(g_soundlock);
    soundsystem.effectvolume = clamp255(v);
}

void Soundsystem_SetVolume(s_sound *sound, int v) {
    Lock lock(g_soundlock);
    uint8_t volume = clamp255(v);
    sound->volume = volume;
    sound->leftvolume = uint8_t(((255 - sound->panning) * volume) >> 8);
    sound->rightvolume = uint8_t((sound->panning * volume) >> 8);
}

void Soundsystem_SetPanning(s_sound *sound, int p) {
    Lock lock(g_soundlock);
    uint8_t panning = clamp255(p);
    sound->panning = panning;
    sound->leftvolume = uint8_t(((255 - panning) * sound->volume) >> 8);
    sound->rightvolume = uint8_t((panning * sound->volume) >> 8);
}

void Soundsystem_SetFrequency(s_sound *sound, uint32_t hz) {
    Lock lock(g_soundlock);
    sound->stepsize = stepsize_for(hz, sound->numchannels);
}

int Soundsystem_LoadSound(const char *name, s_sound *sound) {
    core_log(LOG_PROGRESS, "sound.loading", "Loading sound %s\n", name ? name : "");
    {
        Lock lock(g_soundlock);
        unlist(sound);
    }
    std::memset(sound, 0, sizeof(*sound));
    char ext[20];
    upcase_sound(name, ext);
    int loaded = std::strcmp(ext, ".WAV") == 0 ? Soundsystem_LoadWAV(name, sound) : 0;
    set_playing_defaults(sound);  // not a stream, not looping, an effect until played as music
    soundsystem.numsounds++;
    return loaded;
}

int Soundsystem_SaveSound(const char *name, s_sound *sound) {
    return Soundsystem_SaveWAV(name, sound);
}

int Soundsystem_CreateSoundStream(s_sound *sound, SNDCALLBACK callback, uint32_t samplerate,
                                  int bits, int numchannels, uint32_t streamlength) {
    {
        Lock lock(g_soundlock);
        unlist(sound);
    }
    std::memset(sound, 0, sizeof(*sound));
    sound->numchannels = uint16_t(numchannels);
    sound->samplerate = samplerate;
    sound->bits = uint16_t(bits);
    // length counts sample values of every channel, as for a loaded sound.
    uint64_t values = uint64_t(streamlength) * uint32_t(std::max(numchannels, 0));
    uint64_t bytes = values * uint32_t(std::max(bits / 8, 0));
    bool valid =
        (bits == 8 || bits == 16) && (numchannels == 1 || numchannels == 2) && bytes <= UINT32_MAX;
    if (valid && bytes) sound->buffer = std::calloc(size_t(bytes), 1);
    if (!valid || (bytes && !sound->buffer)) {
        core_log(LOG_ERROR, "sound.stream_refused",
                 "Cannot create sound stream: %d bits, %d channels, %u frames\n", bits, numchannels,
                 streamlength);
        values = bytes = 0;
    }
    sound->length = uint32_t(values);
    sound->size = uint32_t(bytes);
    sound->streaming = 1;
    sound->streamlength = streamlength;
    sound->streamsize = sound->size;
    sound->streampos = 0;
    sound->callback = callback;
    sound->loop = 1;
    set_playing_defaults(sound);
    soundsystem.numsounds++;
    return sound->buffer != nullptr;
}

void Soundsystem_PlaySound(s_sound *sound, int loop) {
    Lock lock(g_soundlock);
    play_locked(sound, loop);
}

void Soundsystem_PlayMusic(s_sound *sound, int loop) {
    Lock lock(g_soundlock);
    sound->type = 1;
    play_locked(sound, loop);
}

void Soundsystem_PauseSound(s_sound *sound) {
    Lock lock(g_soundlock);
    sound->active = 0;
}

void Soundsystem_ResumeSound(s_sound *sound) {
    Lock lock(g_soundlock);
    sound->active = 1;
}

void Soundsystem_StopSound(s_sound *sound) {
    Lock lock(g_soundlock);
    stop_locked(sound);
    restart_runs(sound);
}

void Soundsystem_StopMusic(s_sound *sound) { Soundsystem_StopSound(sound); }

void Soundsystem_DeleteSound(s_sound *sound) {
    Lock lock(g_soundlock);
    stop_locked(sound);
    restart_runs(sound);
    std::free(sound->buffer);
    // Nothing may read the released samples if the record is played again.
    sound->buffer = nullptr;
    sound->size = sound->length = 0;
    if (soundsystem.numsounds > 0) soundsystem.numsounds--;
}

void Soundsystem_SetSoundOffset(s_sound *sound, uint64_t frames) {
    Lock lock(g_soundlock);
    uint64_t total = sound->numchannels ? sound->length / sound->numchannels : 0;
    if (frames >= total) frames = total ? total - 1 : 0;
    sound->offset = frames * 256 * sound->numchannels;
    restart_runs(sound);
}

uint64_t Soundsystem_GetSoundOffset(const s_sound &sound) {
    Lock lock(g_soundlock);
    return sound.numchannels ? (sound.offset >> 8) / sound.numchannels : 0;
}

int Soundsystem_IsActive(const s_sound &sound) {
    Lock lock(g_soundlock);
    return sound.active;
}

uint64_t Soundsystem_GetHeardOffset(const s_sound &sound) {
    return Soundsystem_GetHeardOffsetAt(sound, soundclock_now() + g_ahead);
}

uint64_t Soundsystem_GetHeardOffsetAt(const s_sound &sound, double now) {
    Lock lock(g_soundlock);
    return heard_frames(sound, soundclock_read(&g_clock, now, g_mixed));
}

int Soundsystem_IsHeard(const s_sound &sound) {
    return Soundsystem_IsHeardAt(sound, soundclock_now() + g_ahead);
}

void Soundsystem_SetHeardAhead(double seconds) { g_ahead = std::clamp(seconds, 0.0, 1.0); }

int Soundsystem_IsHeardAt(const s_sound &sound, double now) {
    Lock lock(g_soundlock);
    if (sound.active) return 1;
    return played_to_end(sound) && soundclock_read(&g_clock, now, g_mixed) < sound.silentfrom;
}

void audiodriver_heard(int64_t frame, double now) {
    Lock lock(g_soundlock);
    soundclock_report(&g_clock, now, frame);
}

void audiodriver_stopped() {
    Lock lock(g_soundlock);
    g_mixed = 0;
    soundclock_reset(&g_clock, soundsystem.samplerate);
}

int32_t *Soundsystem_GetOutputBuffer() { return soundsystem.outputbuffer; }

float Soundsystem_DetectFrequency(float hz) {
    Lock lock(g_soundlock);
    if (!soundsystem.outputbuffer || soundsystem.samplerate == 0) return 0.0f;
    const double c = 2.0 * std::cos(6.283185307179586 * hz / soundsystem.samplerate);
    double q1 = 0.0, q2 = 0.0;
    for (uint32_t i = 0; i < soundsystem.bufferlength; i++) {
        double q0 = c * q1 + soundsystem.outputbuffer[i] / 32767.0 - q2;
        q2 = q1;
        q1 = q0;
    }
    return float(q2 * q2 + q1 * q1 - c * q1 * q2);
}

void audiodriver_mixbuffers(void *block, uint32_t bytes, int) {
    Lock lock(g_soundlock);
    uint8_t *out = static_cast<uint8_t *>(block);
    const uint32_t width = soundsystem.bits == 16 ? 2 : 1;
    const uint32_t framebytes = width * (soundsystem.channels == 2 ? 2 : 1);
    uint32_t frames = bytes / framebytes;
    std::memset(out + size_t(frames) * framebytes, 0, bytes - frames * framebytes);
    // A block longer than the accumulator is mixed in accumulator-sized pieces.
    const uint32_t accframes = soundsystem.buffersize / (4 * (soundsystem.channels == 2 ? 2 : 1));
    const uint32_t piece = std::min(soundsystem.bufferlength, accframes);
    if (!soundsystem.outputbuffer || piece == 0) {
        std::memset(out, width == 1 ? 0x80 : 0, size_t(frames) * framebytes);
        return;
    }
    while (frames > 0) {
        uint32_t n = std::min(frames, piece);
        mix_block(out, n);
        out += size_t(n) * framebytes;
        frames -= n;
    }
}
