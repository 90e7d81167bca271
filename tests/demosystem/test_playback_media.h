// Media for the playback and player tests, built in code: scratch folders, TGA images, WAV
// music and project texts.
#pragma once
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace playback_media {

namespace fs = std::filesystem;

// A scratch folder below the system's temporary folder, removed with everything in it.
struct ScratchDir {
    fs::path path;
    ScratchDir() {
        std::string templ = (fs::temp_directory_path() / "fentro_playback_XXXXXX").string();
        if (mkdtemp(templ.data())) path = templ;
    }
    ~ScratchDir() {
        std::error_code ec;
        if (!path.empty()) fs::remove_all(path, ec);
    }
    ScratchDir(const ScratchDir &) = delete;
    ScratchDir &operator=(const ScratchDir &) = delete;
    fs::path operator/(const std::string &name) const { return path / name; }
};

inline void WriteFile(const fs::path &path, const std::string &bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary).write(bytes.data(), (std::streamsize)bytes.size());
}

inline void Put16(std::string &s, uint32_t v) {
    s += (char)(v & 0xff);
    s += (char)(v >> 8 & 0xff);
}

inline void Put32(std::string &s, uint32_t v) {
    Put16(s, v);
    Put16(s, v >> 16);
}

// An uncompressed 32-bit top-left TGA of 0xAARRGGBB pixels given row by row.
inline std::string Tga(int width, int height, const std::vector<uint32_t> &argb) {
    std::string t(18, '\0');
    t[2] = 2;
    t[12] = (char)(width & 0xff);
    t[13] = (char)(width >> 8);
    t[14] = (char)(height & 0xff);
    t[15] = (char)(height >> 8);
    t[16] = 32;
    t[17] = 0x28;
    for (uint32_t p : argb) Put32(t, p);
    return t;
}

inline std::string SolidTga(int width, int height, uint32_t argb) {
    return Tga(width, height, std::vector<uint32_t>((size_t)width * height, argb));
}

// Canonical PCM WAV, 8-bit mono silence of `frames` sample frames at `rate`.
inline std::string SilentWav(uint32_t frames, uint32_t rate = 44100) {
    std::string w = "RIFF";
    Put32(w, 36 + frames);
    w += "WAVEfmt ";
    Put32(w, 16);
    Put16(w, 1);     // PCM
    Put16(w, 1);     // mono
    Put32(w, rate);
    Put32(w, rate);  // bytes per second
    Put16(w, 1);     // block alignment
    Put16(w, 8);     // bits
    w += "data";
    Put32(w, frames);
    w.append(frames, (char)0x80);
    return w;
}

}  // namespace playback_media
