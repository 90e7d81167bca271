#include "support/production_media.h"

#include "gen/music.h"

namespace test_support {

const ResourceFile *GeneratedMedium(const std::string &name) {
    for (const ResourceFile &r : kResourceFiles)
        if (name == r.name) return &r;
    return nullptr;
}

std::vector<std::string> GeneratedFiles() {
    std::vector<std::string> files;
    for (const ResourceFile &r : kResourceFiles) files.push_back(r.file);
    files.push_back(kMusicFileName);
    return files;
}

const std::vector<SceneNeed> &SceneNeeds() {
    static const std::vector<SceneNeed> needs = {
        {"introbg", 0},    {"gimbard", 0},       {"presents", 0},  {"tvframe", 0}, {"intrologo", 0},
        {"boxblack", 0},   {"boxwhite", 0},      {"welcomebg", 0}, {"bee45", 0},   {"offertext", 0},
        {"location", 540}, {"particleblue", 63}, {"compobg", 0},   {"bars", 6},    {"bestdemo", 0},
        {"bestcompo", 0},  {"eventsbg", 0},      {"particle", 64}, {"whyaap", 0},  {"whytext", 0},
        {"whyenjoy", 0},   {"screenbg", 0},      {"screen", 0},    {"endlogo", 0}};
    return needs;
}

}  // namespace test_support
