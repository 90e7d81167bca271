// Uses the demo engine through its installed headers: a demo object takes a marker and the
// file layer hashes a name. Exits 0 when both answer as their headers document.
#include <memory>

#include "core/coredebug.h"
#include "core/corefile.h"
#include "demosystem/demosystem.h"

int main() {
    auto demo = std::make_unique<c_demo>();
    demo->CreateMarker(44100, 1);
    const bool marked = demo->nummarkers == 1 && demo->marker[0].t == 44100;
    const bool hashed = corefile_gethash("abc") == 294;
    core_log(LOG_PROGRESS, "consumer.result", "consumer: marker %d, hash %d\n", marked, hashed);
    return marked && hashed ? 0 : 1;
}
