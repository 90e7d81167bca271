// Deterministic mutation runs over valid mesh files: every mutant is refused, leaving the
// mesh empty, or parses into tables in which every index the display lists follow lies
// inside its table; a share of them is loaded through the file layer, built and drawn.
#include "demosystem/c_mesh.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

#include "core/corefile.h"
#include "gl_context.h"
#include "log_capture.h"
#include "support/mutation.h"
#include "support/scratch.h"

// The largest array allocation since it was last cleared: the mesh tables are arrays.
static size_t largest_array = 0;

void *operator new[](size_t n) {
    if (n > largest_array) largest_array = n;
    if (void *p = malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void operator delete[](void *p) noexcept { free(p); }
void operator delete[](void *p, size_t) noexcept { free(p); }

namespace {

using namespace test_support;
using bytes_t = std::vector<unsigned char>;

struct meshfile {
    bytes_t b;
    void u16(unsigned v) { b.push_back(uint8_t(v)), b.push_back(uint8_t(v >> 8)); }
    void f32(float f) {
        uint32_t u;
        memcpy(&u, &f, 4);
        for (int i = 0; i < 4; ++i) b.push_back(uint8_t(u >> (8 * i)));
    }
};

// nv vertices, the given face counts per group, and channels of nt texture vertices each.
bytes_t mesh(int nv, const std::vector<int> &groups, int channels, int nt, xorshift &rng) {
    meshfile m;
    m.b = {'M', 'E', 'S', 'H'};
    m.u16(nv), m.u16((unsigned)groups.size()), m.u16(channels), m.u16(0);
    for (int i = 0; i < nv * 3; ++i) m.f32(float(rng.below(2000)) / 100 - 10);
    for (int faces : groups) {
        m.u16(faces), m.u16(rng.below(4));
        for (int i = 0; i < faces; ++i)
            m.u16(rng.below(nv)), m.u16(rng.below(nv)), m.u16(rng.below(nv)), m.u16(0);
    }
    for (int c = 0; c < channels; ++c) {
        m.u16(nt), m.u16(groups.empty() ? 0 : groups[0]);
        for (int i = 0; i < nt * 2; ++i) m.f32(float(rng.below(100)) / 100);
        for (int i = 0; i < (groups.empty() ? 0 : groups[0]) * 3; ++i) m.u16(rng.below(nt));
    }
    return m.b;
}

std::vector<bytes_t> valid_meshes() {
    xorshift rng{3};
    return {mesh(4, {2}, 1, 4, rng), mesh(6, {3, 2}, 2, 5, rng), mesh(3, {1, 1, 1}, 1, 1, rng),
            mesh(5, {}, 1, 2, rng), mesh(8, {4, 0, 3, 1, 1, 1, 1, 2}, 2, 8, rng)};
}

void mutate(bytes_t &f, xorshift &rng) {
    static const uint16_t limits[] = {0, 1, 2, 3, 7, 8, 9, 0x7FFF, 0x8000, 0xFFFE, 0xFFFF};
    MutationEdits edits;
    // A 16-bit count or index, in the header or anywhere after it.
    edits.field = [](bytes_t &b, size_t at, xorshift &r) {
        const size_t p = r.below(3) == 0 ? 4 + 2 * r.below(4) : at & ~size_t(1);
        const uint16_t v = limits[r.below(11)];
        if (p + 1 < b.size()) PutLE(b, p, v, 2);
    };
    Mutate(f, rng, edits);
}

// Every index the display lists follow lies inside its table.
void expect_indices_inside(const c_mesh &m, int round) {
    ASSERT_GE(m.numuvchannels, 1) << round;
    ASSERT_LE(m.numuvchannels, MESH_MAXUVCHANNELS) << round;
    ASSERT_GE(m.numfacegroups, 0) << round;
    ASSERT_LE(m.numfacegroups, MESH_MAXFACEGROUPS) << round;
    for (int c = 0; c < m.numuvchannels; ++c) ASSERT_NE(m.tvertex[c], nullptr) << round;
    for (int g = 0; g < m.numfacegroups; ++g) {
        if (m.numfaces[g] > 0) {
            ASSERT_NE(m.face[g], nullptr) << round;
        }
        for (int i = 0; i < m.numfaces[g]; ++i) {
            const s_face &f = m.face[g][i];
            for (uint16_t v : {f.a, f.b, f.c}) ASSERT_LT(v, m.numvertices) << round;
            if (g != 0) continue;
            for (uint16_t t : {f.ta, f.tb, f.tc}) ASSERT_LT(t, m.numtvertices[0]) << round;
            if (m.numuvchannels > 1) {
                for (uint16_t t : {f.ta2, f.tb2, f.tc2}) ASSERT_LT(t, m.numtvertices[1]) << round;
            }
        }
    }
}

void expect_empty(const c_mesh &m, int round) {
    EXPECT_EQ(m.vertex, nullptr) << round;
    EXPECT_EQ(m.numvertices, 0) << round;
    EXPECT_EQ(m.numfacegroups, 0) << round;
    EXPECT_EQ(m.numuvchannels, 0) << round;
    for (int g = 0; g < MESH_MAXFACEGROUPS; ++g) EXPECT_EQ(m.face[g], nullptr) << round;
    for (int c = 0; c < MESH_MAXUVCHANNELS; ++c) EXPECT_EQ(m.tvertex[c], nullptr) << round;
}

TEST(MeshMutations, EveryMutantParsesInsideItsTablesOrLeavesTheMeshEmpty) {
    const std::vector<bytes_t> valid = valid_meshes();
    xorshift rng{0xc0ffee};
    int parsed = 0, refused = 0;
    LogCapture quiet;
    for (int round = 0; round < 20000 && !HasFailure(); ++round) {
        bytes_t f = round < (int)valid.size() ? valid[round] : valid[rng.below(valid.size())];
        if (round >= (int)valid.size()) mutate(f, rng);
        c_mesh m;
        const char *why = nullptr;
        if (mesh_parse(&m, f.data(), (uint32_t)f.size(), &why)) {
            ++parsed;
            expect_indices_inside(m, round);
        } else {
            ++refused;
            ASSERT_TRUE(round >= (int)valid.size()) << why;
            ASSERT_NE(why, nullptr);
            expect_empty(m, round);
        }
        m.Remove();
    }
    EXPECT_GT(parsed, 1000);
    EXPECT_GT(refused, 5000);
}

// Found by the mutation run: counts were trusted until the bytes ran out, so a header that
// claims 65535 vertices, or a group of 65535 faces, over a few bytes allocated and walked the
// whole table before the refusal. Tables are now measured against the bytes left first, so
// nothing larger than the file is allocated.
TEST(MeshMutations, CountsBeyondTheFileAreRefusedBeforeTheirTables) {
    const bytes_t files[] = {
        {'M', 'E', 'S', 'H', 0xFF, 0xFF, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00},
        {'M', 'E', 'S', 'H', 0x00, 0x00, 0x08, 0x00, 0x01, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0x00,
         0x00},
        {'M', 'E', 'S', 'H', 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0x00,
         0x00},
    };
    for (const bytes_t &f : files) {
        c_mesh m;
        const char *why = nullptr;
        LogCapture quiet;
        largest_array = 0;
        EXPECT_FALSE(mesh_parse(&m, f.data(), (uint32_t)f.size(), &why));
        EXPECT_LE(largest_array, f.size());
        ASSERT_NE(why, nullptr);
        EXPECT_STREQ(why, "file shorter than its tables");
        expect_empty(m, 0);
    }
}

class MeshMutationsGL : public GLTest {
protected:
    void SetUp() override {
        GLTest::SetUp();
        ASSERT_EQ(corefile_mountimage(dir_.c_str(), 2), 1);
    }
    void TearDown() override { corefile_closeimage(); }
    const TempDir scratch_{"mesh_mutations"};
    const std::string dir_ = scratch_.str();
};

TEST_F(MeshMutationsGL, MutantsLoadedThroughTheFileLayerBuildAndDrawOrStayEmpty) {
    const std::vector<bytes_t> valid = valid_meshes();
    xorshift rng{0xfeed};
    int built = 0;
    for (int round = 0; round < 400 && !HasFailure(); ++round) {
        bytes_t f = valid[round % valid.size()];
        mutate(f, rng);
        const std::string name = "m" + std::to_string(round) + ".msh";
        ASSERT_TRUE(WriteFile(dir_ + "/" + name, f));
        c_mesh m;
        std::vector<char> fn(name.begin(), name.end());
        fn.push_back('\0');
        LogCapture log;
        m.Load(fn.data());
        if (m.numuvchannels) {
            ++built;
            expect_indices_inside(m, round);
            EXPECT_NE(m.displaylist_id, 0) << round;
            m.Draw();
        } else {
            EXPECT_TRUE(log.Has("demo.mesh_malformed")) << log.Text();
            expect_empty(m, round);
        }
        m.Remove();
    }
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    EXPECT_GT(built, 20);
}

}  // namespace
