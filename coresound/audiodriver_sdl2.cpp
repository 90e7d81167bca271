// Audio output driver over SDL2, the only file of the sound system that includes SDL.
//
// Four blocks of 2048 frames form a queue in front of the device. SDL's audio thread asks for
// bytes; they are taken from the oldest queued block, and a block that has been taken entirely
// is refilled by the mixer at once and queued again behind the other three. So the mixer, and
// every sound position, runs ahead of what is heard by the queued blocks. When no device can be
// opened, a timing thread takes the blocks at the device's pace and discards them, so positions
// still advance and sounds still end.
//
// Each time frames are taken, the driver tells the sound system which mixed frame starts to be
// heard: the frames taken so far, less the block the device has just taken (SDL's obtained
// buffer, which it plays from now on) and less the four silent blocks queued before the first
// mixed one.
//
// g_driverlock guards the queue; it is held by whichever thread takes blocks (SDL's audio
// thread or the timing thread) and by the push interface on the main thread. The mixer takes
// the sound system's own lock inside it, never the other way round.
#include "coresound/audiodriver.h"

#include "core/coredebug.h"
#include "coresound/coresound.h"
#include "coresound/soundclock.h"

#include <SDL.h>

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <thread>

namespace {

struct s_blockheader {
    uint8_t *data;
    uint32_t length;
    bool queued;  // mixed or submitted, not yet taken by the device
};

SDL_AudioDeviceID g_wo;
SDL_AudioSpec g_wf;
uint32_t g_sample_size;
uint32_t g_buffer_size;
std::unique_ptr<uint8_t[]> g_audio_buffer;
std::array<s_blockheader, AUDIODRIVER_NUMBLOCKS> g_hdr;
int g_cur_buf;        // block to refill next
int g_play_buf;       // oldest queued block: the device takes it next
uint32_t g_play_pos;  // bytes of g_play_buf already taken
int g_waveout_opened;
int g_buffer_waiting;
bool g_pushmode;  // blocks come from audiodriver_submitbuffer, not from the mixer
uint8_t g_silence;
bool g_sdl_audio_inited;
int64_t g_taken;          // frames handed to the device (or discarded by the timing thread)
uint32_t g_devicebuffer;  // frames the device plays after taking them
std::mutex g_driverlock;

std::thread g_timer;
std::mutex g_timerlock;
std::condition_variable g_timerwake;
bool g_timer_stop;

using Lock = std::lock_guard<std::mutex>;

// Refills the block just taken, queues it again and moves on to the next.
void fillnextbuffer() {
    s_blockheader &h = g_hdr[g_cur_buf];
    if (!h.data) return;
    h.queued = true;
    audiodriver_mixbuffers(h.data, h.length, 0);
    g_cur_buf = (g_cur_buf + 1) % AUDIODRIVER_NUMBLOCKS;
}

// Hands len bytes of the queue to the device (dst null: discards them). With the queue empty
// (push interface running late) the device gets silence.
void take(uint8_t *dst, uint32_t len) {
    while (len > 0) {
        s_blockheader &h = g_hdr[g_play_buf];
        if (!h.data || !h.queued) {
            if (dst) std::memset(dst, g_silence, len);
            return;
        }
        uint32_t n = std::min(len, h.length - g_play_pos);
        if (dst) {
            std::memcpy(dst, h.data + g_play_pos, n);
            dst += n;
        }
        g_play_pos += n;
        len -= n;
        if (g_play_pos == h.length) {
            h.queued = false;
            g_play_pos = 0;
            g_play_buf = (g_play_buf + 1) % AUDIODRIVER_NUMBLOCKS;
            if (!g_pushmode) fillnextbuffer();
        }
    }
}

// Takes len bytes for the device at monotonic time now and reports what is heard from then on.
void take_and_report(uint8_t *dst, uint32_t len, double now) {
    take(dst, len);
    g_taken += len / g_sample_size;
    const int64_t queued = int64_t(AUDIODRIVER_NUMBLOCKS) * AUDIODRIVER_BLOCKFRAMES;
    audiodriver_heard(g_taken - g_devicebuffer - queued, now);
}

void SDLCALL device_callback(void *, Uint8 *stream, int len) {
    const double now = soundclock_now();
    Lock lock(g_driverlock);
    take_and_report(stream, len > 0 ? uint32_t(len) : 0, now);
}

// Stands in for a missing device: takes one block per block length of real time.
void timer_main(uint32_t samplerate) {
    using clock = std::chrono::steady_clock;
    const auto period = std::chrono::duration_cast<clock::duration>(
        std::chrono::duration<double>(double(AUDIODRIVER_BLOCKFRAMES) / samplerate));
    auto next = clock::now();
    std::unique_lock<std::mutex> wait(g_timerlock);
    for (;;) {
        next += period;
        if (g_timerwake.wait_until(wait, next, [] { return g_timer_stop; })) return;
        wait.unlock();
        {
            const double now = soundclock_now();
            Lock lock(g_driverlock);
            take_and_report(nullptr, g_buffer_size, now);
        }
        wait.lock();
    }
}

}  // namespace

int audiodriver_init(uint32_t samplerate, int bits, uint32_t, int flags) {
    if (samplerate == 0) return 1;
    audiodriver_close();  // one device per process
    const int channels = (flags & AUDIODRIVER_STEREO) ? 2 : 1;
    soundsystem.bits = uint16_t(bits);
    soundsystem.channels = uint16_t(channels);
    if (bits != 8 && bits != 16) return 0;

    g_sample_size = uint32_t(bits / 8 * channels);
    g_buffer_size = g_sample_size * AUDIODRIVER_BLOCKFRAMES;
    // Set before any device thread exists: the mixer reads it.
    soundsystem.bufferlength = g_buffer_size / g_sample_size;
    core_log(LOG_PROGRESS, "sound.buffer_size", "sample size: %d\nbuffer size: %d\n",
             int(g_sample_size), int(g_buffer_size));
    g_audio_buffer.reset(new (std::nothrow) uint8_t[AUDIODRIVER_NUMBLOCKS * g_buffer_size]);
    if (!g_audio_buffer) {
        audiodriver_close();
        return 0;
    }
    g_silence = bits == 8 ? 0x80 : 0;
    std::memset(g_audio_buffer.get(), g_silence, AUDIODRIVER_NUMBLOCKS * g_buffer_size);

    core_log(LOG_PROGRESS, "sound.device_opening", "open waveout\n");
    SDL_AudioSpec want{};
    want.freq = int(samplerate);
    want.format = bits == 16 ? AUDIO_S16LSB : AUDIO_U8;
    want.channels = Uint8(channels);
    want.samples = Uint16(AUDIODRIVER_BLOCKFRAMES);
    want.callback = device_callback;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) == 0) {
        g_sdl_audio_inited = true;
        // SDL converts whatever the hardware wants into this exact format.
        g_wo = SDL_OpenAudioDevice(nullptr, 0, &want, &g_wf, 0);
    }
    if (g_wo) {
        core_log(LOG_PROGRESS, "sound.device_open", "AUDIO: opening audio device succesful!\n");
        g_waveout_opened = 1;
    } else {
        core_log(LOG_WARNING, "sound.no_device",
                 "AUDIO: no audio device (%s); sound keeps time without output\n", SDL_GetError());
    }

    core_log(LOG_PROGRESS, "sound.buffers_open", "open wav-buffers\n");
    for (int i = 0; i < AUDIODRIVER_NUMBLOCKS; i++)
        g_hdr[i] = {g_audio_buffer.get() + size_t(i) * g_buffer_size, g_buffer_size, true};
    g_cur_buf = g_play_buf = 0;
    g_play_pos = 0;
    g_taken = 0;
    g_devicebuffer = g_wo ? g_wf.samples : AUDIODRIVER_BLOCKFRAMES;
    g_buffer_waiting = 0;
    g_pushmode = false;
    core_log(LOG_PROGRESS, "sound.driver_ready", "audiodriver inited\n");

    if (g_wo) {
        SDL_PauseAudioDevice(g_wo, 0);
    } else {
        g_timer_stop = false;
        g_timer = std::thread(timer_main, samplerate);
    }
    return 1;
}

void audiodriver_close() {
    if (g_wo) {
        SDL_CloseAudioDevice(g_wo);  // returns once the callback has finished
        g_wo = 0;
    }
    if (g_timer.joinable()) {
        {
            Lock lock(g_timerlock);
            g_timer_stop = true;
        }
        g_timerwake.notify_all();
        g_timer.join();
    }
    if (g_sdl_audio_inited) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        g_sdl_audio_inited = false;
    }
    audiodriver_stopped();
    Lock lock(g_driverlock);
    g_hdr = {};
    g_audio_buffer.reset();
    g_waveout_opened = 0;
    g_buffer_waiting = 0;
    g_pushmode = false;
}

int audiodriver_hasdevice() { return g_waveout_opened; }

int audiodriver_getbuffer(void **pointer, uint32_t *bytes) {
    Lock lock(g_driverlock);
    s_blockheader &h = g_hdr[g_cur_buf];
    if (!h.data) return 0;
    g_pushmode = true;
    if (h.queued) return 0;
    if (pointer) *pointer = h.data;
    if (bytes) *bytes = h.length;
    g_buffer_waiting = 1;
    return 1;
}

void audiodriver_submitbuffer() {
    Lock lock(g_driverlock);
    if (!g_buffer_waiting) return;
    g_hdr[g_cur_buf].queued = true;
    g_buffer_waiting = 0;
    g_cur_buf = (g_cur_buf + 1) % AUDIODRIVER_NUMBLOCKS;
}
