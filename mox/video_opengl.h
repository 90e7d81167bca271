// Shared between the video, framebuffer and shader files of the video layer.
#pragma once

// True when a GL context is ready; otherwise prints that `function` needs video.
bool mox_videocheck(const char *function);

// Reports a framebuffer or shader id outside its table (quiet after the first few).
void mox_badid(const char *function, int id);

// Framebuffer objects can be used: the extension and every entry point were loaded.
bool mox_fboapi();

// Frees the GL objects and buffers of every framebuffer (re-initialisation).
void mox_releaseframebuffers();
