// Owning pointer to a demo object that releases what the object loaded before deleting it,
// as a program does at its end.
#pragma once
#include <memory>

#include "demosystem/demosystem.h"

namespace test_support {

struct DemoRelease {
    void operator()(c_demo *demo) const {
        demo->Release();
        delete demo;
    }
};
using DemoPtr = std::unique_ptr<c_demo, DemoRelease>;

// A zero-initialised demo object.
inline DemoPtr NewDemo() { return DemoPtr(new c_demo()); }

}  // namespace test_support
