// Sound system: a small software mixer. Sounds are caller-owned records; up to 16 of them play
// at once and are mixed a block of 2048 output frames at a time on the audio thread (the output
// driver's callback), with per-sound volume and panning, music and effect volumes and a master
// volume, resampled by a 56.8 fixed-point step without interpolation.
//
// Threads: the main thread loads, starts, pauses, seeks and reads positions while the audio
// thread mixes. Every Soundsystem_ function below that touches a playing sound takes the sound
// system's lock, and so does the mixer for the whole of a block; read positions and the active
// flag of a sound that may be playing through Soundsystem_GetSoundOffset and
// Soundsystem_IsActive, not from the record's fields.
#pragma once
#include <cstdint>

// A stretch of a sound's audio in the output: from output frame `from` on (counted in frames
// mixed since Soundsystem_Init), the sound plays on from `offset` by `step` per output frame,
// or stands at `offset` when `step` is 0.
struct s_soundrun {
    int64_t from;
    uint64_t offset;
    uint32_t step;
};

constexpr int SOUND_MAXRUNS = 8;

// Refills a stream's buffer (pointer, size in bytes); called on the audio thread with the sound
// system's lock held, so it must not call Soundsystem_ functions. The result is not used.
typedef int (*SNDCALLBACK)(void *buffer, uint32_t size);

// A sound. The caller allocates the record; the sound system fills it and owns only `buffer`.
struct s_sound {
    int32_t id;             // not set by the sound system (cleared on load)
    uint16_t active;        // 1 while playing, 0 when paused or stopped
    uint16_t numchannels;   // 1 or 2 (interleaved)
    uint16_t bits;          // 8 (unsigned samples) or 16 (signed little-endian samples)
    uint32_t size;          // bytes of sample data in buffer
    uint32_t length;        // sample values in buffer (frames x channels)
    uint32_t samplerate;    // frames per second of the data
    uint64_t offset;        // index of the next sample value x 256 (8 fractional bits)
    uint32_t stepsize;      // added to offset per output frame
    uint32_t loop;          // 1: start again at the end
    uint32_t type;          // 1: music (music volume), anything else: effect (effect volume)
    uint8_t volume;         // 0-255, mono output
    uint8_t leftvolume;     // 0-255, stereo output
    uint8_t rightvolume;    // 0-255, stereo output
    uint8_t panning;        // 0 (left) to 255 (right)
    uint32_t streaming;     // 1 for a stream made by Soundsystem_CreateSoundStream
    uint32_t streamlength;  // stream length as given at creation
    uint32_t streamsize;    // bytes of the stream buffer
    uint32_t streampos;     // 0 at creation, otherwise unused
    SNDCALLBACK callback;   // refill function of a stream, or null
    void *buffer;           // sample data, allocated by the sound system
    // Kept by the sound system for the heard position: the latest runs, oldest first, enough to
    // cover the audio queued between the mixer and the listener. Zero runs: none recorded yet.
    s_soundrun runs[SOUND_MAXRUNS];
    int numruns;
    int64_t silentfrom;  // output frame after the last one of a sound that played to its end
};

struct s_soundsystem {
    uint32_t samplerate;    // output rate; every step size is computed against it
    uint16_t channels;      // output channels: 2 or 1
    uint16_t bits;          // output sample width: 16 once the driver is open
    uint32_t bufferlength;  // frames per output block: 2048
    uint32_t buffersize;    // bytes of the accumulator: channels x bufferlength x 4
    uint16_t mastervolume;  // 0-255
    uint16_t musicvolume;   // 0-255
    uint16_t effectvolume;  // 0-255
    int32_t *outputbuffer;  // the mix accumulator, channels x bufferlength values
    int numsounds;          // sounds loaded or created and not yet deleted (informational)
    int numactive;          // entries used in active_sounds
};

enum SAMPLE_RATE { KHZ_8 = 8192, KHZ_11 = 11025, KHZ_22 = 22050, KHZ_44 = 44100 };

constexpr int SOUNDSYSTEM_MAXACTIVE = 16;

extern s_soundsystem soundsystem;
// The first numactive entries are in use, in the order the sounds were started.
extern s_sound *active_sounds[SOUNDSYSTEM_MAXACTIVE];

// Opens the output at 44100 Hz, 16-bit, 2048-frame blocks, stereo when channels is 2. Without
// an audio device the mixer is still driven at the device's pace, silently. Returns 1.
int Soundsystem_Init(uint32_t samplerate, int bits, int channels);
// Stops the output (and the mixing) and releases the accumulator.
void Soundsystem_CloseAudio();

// Each clamps v to 0-255.
void Soundsystem_SetMasterVolume(int v);
void Soundsystem_SetMusicVolume(int v);
void Soundsystem_SetEffectVolume(int v);
void Soundsystem_SetVolume(s_sound *sound, int v);
void Soundsystem_SetPanning(s_sound *sound, int p);
// stepsize = hz x 256 x numchannels / output samplerate.
void Soundsystem_SetFrequency(s_sound *sound, uint32_t hz);

// Loads a ".WAV" file (any case) into the record; any other name leaves an empty sound.
// Returns 1 when samples were loaded, else 0.
int Soundsystem_LoadSound(const char *name, s_sound *sound);
int Soundsystem_SaveSound(const char *name, s_sound *sound);
// A looping stream of streamlength frames whose buffer the callback refills at each end.
int Soundsystem_CreateSoundStream(s_sound *sound, SNDCALLBACK callback, uint32_t samplerate,
                                  int bits, int numchannels, uint32_t streamlength);

// Starts from offset 0; a nonzero loop sets the loop flag, zero leaves it as it was.
void Soundsystem_PlaySound(s_sound *sound, int loop);
// Marks the sound as music, then as Soundsystem_PlaySound.
void Soundsystem_PlayMusic(s_sound *sound, int loop);
// Keep the sound's place in the list and its position.
void Soundsystem_PauseSound(s_sound *sound);
void Soundsystem_ResumeSound(s_sound *sound);
// Rewind to 0, clear active and remove the sound from the list.
void Soundsystem_StopSound(s_sound *sound);
void Soundsystem_StopMusic(s_sound *sound);
// Stops the sound and releases its buffer.
void Soundsystem_DeleteSound(s_sound *sound);

// Seeks to a frame; a frame at or past the end is held at the last frame.
void Soundsystem_SetSoundOffset(s_sound *sound, uint64_t frames);
// The play position in frames (0 for an empty sound).
uint64_t Soundsystem_GetSoundOffset(const s_sound &sound);
// The active flag, read safely while the audio thread may be stopping the sound.
int Soundsystem_IsActive(const s_sound &sound);

// The heard position in frames: the frame of the sound that is reaching the listener now, behind
// Soundsystem_GetSoundOffset by the audio queued at the output (see soundclock.h for the
// estimate). It moves smoothly between the device's callbacks, never goes back while the sound
// plays on, and never passes the mixer's offset. Seeking, starting and stopping take effect at
// once: the position stands at the new frame until the audio mixed from there is heard. Pausing
// lets the queued audio play out and then stands at the frame where mixing stopped; resuming
// goes on from that frame. A sound that played to its end stands at its last frame. Program
// thread.
uint64_t Soundsystem_GetHeardOffset(const s_sound &sound);
// As above, at monotonic time `now` (soundclock_now()).
uint64_t Soundsystem_GetHeardOffsetAt(const s_sound &sound, double now);
// Makes Soundsystem_GetHeardOffset and Soundsystem_IsHeard answer for `seconds` after the moment
// they are called (0 to 1; 0 at start): a program whose picture reaches the screen that long
// after it read the position sets it, so that the picture meets the sound. Program thread.
void Soundsystem_SetHeardAhead(double seconds);
// 1 while the sound plays, or while the end of what it played is still on its way to the
// listener (at monotonic time `now` for the second form). Program thread.
int Soundsystem_IsHeard(const s_sound &sound);
int Soundsystem_IsHeardAt(const s_sound &sound, double now);

// The accumulator of the last mixed block (rewritten by the audio thread at every block).
int32_t *Soundsystem_GetOutputBuffer();
// Goertzel energy of frequency hz in the last mixed block.
float Soundsystem_DetectFrequency(float hz);

// WAV files: canonical 44-byte-header PCM, 8-bit unsigned or 16-bit signed, mono or stereo.
// LoadWAV fills numchannels, samplerate, bits, size, length and buffer and returns 1, or prints
// why it rejects the file and returns 0. SaveWAV writes through the file layer (a mounted
// directory) and returns 1 when the file was written.
int Soundsystem_LoadWAV(const char *name, s_sound *sound);
int Soundsystem_SaveWAV(const char *name, s_sound *sound);

// The output device says that output frame `frame` (counted in frames mixed since
// Soundsystem_Init; negative while the silence queued before the first mixed block plays)
// reaches the listener at monotonic time `now`. Called by the output driver on the audio
// thread, or by a test standing in for it.
void audiodriver_heard(int64_t frame, double now);
// The output has stopped: nothing more is mixed or reported until a device starts again, and
// frames are counted from 0 again from then on. Called by the output driver.
void audiodriver_stopped();

// Mixes every playing sound into an output block of `bytes` bytes (16-bit signed or 8-bit
// unsigned samples, as soundsystem.bits says). Called by the output driver on the audio thread.
void audiodriver_mixbuffers(void *block, uint32_t bytes, int unused);
