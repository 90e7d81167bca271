// Audio output driver: one output device at 16 bits, fed with blocks of 2048 frames from a
// queue of four. Each time the device has taken the oldest block, that block is refilled by the
// mixer (audiodriver_mixbuffers) on the audio thread and queued again, so sound positions run
// ahead of what is heard by the queued blocks. Without a device a timing thread mixes into a
// discarded block at the device's pace.
#pragma once
#include <cstdint>

constexpr uint32_t AUDIODRIVER_BLOCKFRAMES = 2048;
constexpr int AUDIODRIVER_NUMBLOCKS = 4;
constexpr int AUDIODRIVER_STEREO = 2;  // flags bit: two output channels

// Opens the device (blockframes is ignored: blocks are always 2048 frames) and sets
// soundsystem.bits, .channels and .bufferlength. Returns 1 on success and at once when
// samplerate is 0; 0 for a sample width other than 8 or 16, or when no block memory could be
// had. When no device opens, the timing thread takes over and the result is 1.
int audiodriver_init(uint32_t samplerate, int bits, uint32_t blockframes, int flags);
// Stops the output (after it returns no more mixing happens) and releases the blocks.
void audiodriver_close();
// 1 while a device (not the timing thread) plays the output.
int audiodriver_hasdevice();

// Push interface. The first audiodriver_getbuffer hands the blocks over to the caller: from
// then on the driver no longer mixes, it plays the blocks submitted. getbuffer stores the next
// free block's start and size through the non-null arguments and returns 1, or returns 0 while
// all four blocks are still queued; submitbuffer queues that block.
int audiodriver_getbuffer(void **pointer, uint32_t *bytes);
void audiodriver_submitbuffer();
