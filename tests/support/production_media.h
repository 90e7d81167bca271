// The built-in production's media as the generator writes them (its table, gen/resources.h),
// and the names the invitation's scenes look up among them.
#pragma once
#include <string>
#include <vector>

#include "gen/resources.h"

namespace test_support {

// The generator's entry for `name`, or nullptr when it makes no such image.
const ResourceFile *GeneratedMedium(const std::string &name);

// Every file the generator writes: the images of its table and the music.
std::vector<std::string> GeneratedFiles();

// A name a scene looks up; `frames` is how many cells of a sprite sheet it steps through
// (0 for a texture or a sprite). The kind each must have is the generator's.
struct SceneNeed {
    const char *name;
    int frames;
};
const std::vector<SceneNeed> &SceneNeeds();

}  // namespace test_support
