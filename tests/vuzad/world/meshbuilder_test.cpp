// Tests of mesh building: material order, the list reorder and the strip builder, whose
// strips must draw exactly the triangles they were given with their winding.
#include "geometry.h"
#include "worldfixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>

namespace
{

using Triple = std::array<uint16_t, 3>;

/// Rotated so the smallest index comes first, which keeps the winding.
Triple Canonical(Triple t)
{
    while (t[0] > t[1] || t[0] > t[2])
        t = {t[1], t[2], t[0]};
    return t;
}

std::vector<Triple> ExpandStrip(const std::vector<uint16_t>& strip)
{
    std::vector<Triple> out;
    for (size_t i = 0; i + 2 < strip.size(); ++i)
    {
        Triple t =
            (i % 2 == 0) ? Triple{strip[i], strip[i + 1], strip[i + 2]} : Triple{strip[i + 1], strip[i], strip[i + 2]};
        if (t[0] == t[1] || t[1] == t[2] || t[0] == t[2])
            continue;
        out.push_back(Canonical(t));
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<uint16_t> Grid(int w, int h)
{
    std::vector<uint16_t> tris;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
        {
            uint16_t a = uint16_t(y * (w + 1) + x), b = uint16_t(a + 1), c = uint16_t(a + w + 1), d = uint16_t(c + 1);
            tris.insert(tris.end(), {a, b, c, b, d, c});
        }
    return tris;
}

class MeshBuilding : public WorldFixture
{
protected:
    Geometry* Build(uint32_t format, const std::vector<std::array<int, 4>>& tris, std::vector<Material*> materials)
    {
        Geometry* g = Geometry::Create(16, int32_t(tris.size()), format);
        for (size_t i = 0; i < tris.size(); ++i)
        {
            Triangle* t = &g->triangles[i];
            Geometry::SetTriangleVertices(g, t, uint16_t(tris[i][0]), uint16_t(tris[i][1]), uint16_t(tris[i][2]));
            Geometry::SetTriangleMaterial(g, t, materials[size_t(tris[i][3])]);
        }
        return g;
    }
};

/// The strip mesh of the triangles (three indices each) under one material.
std::vector<uint16_t> Strip(const std::vector<uint16_t>& tris)
{
    Material* m = Material::Create();
    auto n = int32_t(tris.size() / 3);
    Geometry* g = Geometry::Create(65535, n, kGeometryPositions | kGeometryTriStrip);
    for (int32_t i = 0; i < n; ++i)
    {
        Geometry::SetTriangleVertices(g, &g->triangles[i], tris[3 * size_t(i)], tris[3 * size_t(i) + 1],
                                      tris[3 * size_t(i) + 2]);
        Geometry::SetTriangleMaterial(g, &g->triangles[i], m);
    }
    std::vector<uint16_t> out;
    if (Geometry::Unlock(g) && g->meshHeader->numMeshes == 1)
    {
        const Mesh& mesh = MeshHeader::Meshes(g->meshHeader)[0];
        out.assign(mesh.indices, mesh.indices + mesh.numIndices);
        EXPECT_EQ(g->meshHeader->flags, 1u);
        EXPECT_EQ(g->meshHeader->totalIndices, mesh.numIndices);
    }
    Geometry::Destroy(g);
    Material::Destroy(m);
    return out;
}

TEST_F(MeshBuilding, StripExpansionEqualsTheInputTriangles)
{
    const std::pair<int, int> sizes[] = {{1, 1}, {2, 1}, {4, 3}, {10, 10}, {31, 7}};
    for (auto [w, h] : sizes)
    {
        std::vector<uint16_t> tris = Grid(w, h);
        std::vector<Triple> expected;
        for (size_t i = 0; i < tris.size(); i += 3)
            expected.push_back(Canonical({tris[i], tris[i + 1], tris[i + 2]}));
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(ExpandStrip(Strip(tris)), expected) << w << " x " << h;
    }
}

TEST_F(MeshBuilding, SeparateTrianglesKeepTheirStoredOrder)
{
    EXPECT_EQ(Strip({4, 2, 9}), (std::vector<uint16_t>{4, 2, 9}));
    // Two triangles sharing only a vertex are joined without losing either.
    EXPECT_EQ(ExpandStrip(Strip({0, 1, 2, 2, 3, 4})), (std::vector<Triple>{{0, 1, 2}, {2, 3, 4}}));
}

TEST_F(MeshBuilding, ListMeshesAreReorderedSoNeighboursShareNoVertex)
{
    Material* m = Material::Create();
    Geometry* g = Build(kGeometryPositions, {{0, 1, 2, 0}, {2, 3, 4, 0}, {5, 6, 7, 0}}, {m});
    ASSERT_EQ(Geometry::Unlock(g), g);
    MeshHeader* header = g->meshHeader;
    ASSERT_EQ(header->numMeshes, 1);
    EXPECT_EQ(header->totalIndices, 9u);
    const Mesh& mesh = MeshHeader::Meshes(header)[0];
    std::vector<uint16_t> got(mesh.indices, mesh.indices + mesh.numIndices);
    EXPECT_EQ(got, (std::vector<uint16_t>{0, 1, 2, 5, 6, 7, 2, 3, 4}));
    Geometry::Destroy(g);
    Material::Destroy(m);
}

TEST_F(MeshBuilding, OpaqueMeshesComeBeforeTranslucentOnes)
{
    Material* glass = Material::Create();
    glass->colour.alpha = 128;
    Material* stone = Material::Create();
    for (uint32_t strip : {0u, kGeometryTriStrip})
    {
        Geometry* g = Build(kGeometryPositions | strip, {{0, 1, 2, 0}, {3, 4, 5, 1}, {6, 7, 8, 0}}, {glass, stone});
        ASSERT_EQ(Geometry::Unlock(g), g);
        ASSERT_EQ(g->meshHeader->numMeshes, 2);
        EXPECT_EQ(g->meshHeader->flags, strip);
        EXPECT_EQ(MeshHeader::Meshes(g->meshHeader)[0].material, stone);
        EXPECT_EQ(MeshHeader::Meshes(g->meshHeader)[1].material, glass);
        Geometry::Destroy(g);
    }
    Material::Destroy(glass);
    Material::Destroy(stone);
}

TEST_F(MeshBuilding, TrianglesWithoutMaterialAreNotDrawn)
{
    Material* m = Material::Create();
    Geometry* g = Build(kGeometryPositions, {{0, 1, 2, 0}, {3, 4, 5, 0}}, {m});
    Geometry::SetTriangleMaterial(g, &g->triangles[1], nullptr);
    ASSERT_EQ(Geometry::Unlock(g), g);
    EXPECT_EQ(g->meshHeader->totalIndices, 3u);
    Geometry::Destroy(g);
    Material::Destroy(m);
}

TEST_F(MeshBuilding, LockingTrianglesRebuildsTheHeaderWithANewSerial)
{
    Material* m = Material::Create();
    Geometry* g = Build(kGeometryPositions, {{0, 1, 2, 0}}, {m});
    Geometry::Unlock(g);
    uint16_t serial = g->meshHeader->serialNumber;
    Geometry::Lock(g, kGeometryLockPositions);
    EXPECT_NE(g->meshHeader, nullptr);
    Geometry::Lock(g, kGeometryLockTriangles);
    EXPECT_EQ(g->meshHeader, nullptr);
    Geometry::Unlock(g);
    EXPECT_NE(g->meshHeader->serialNumber, serial);
    EXPECT_EQ(g->lockedSinceInstance, kGeometryLockPositions | kGeometryLockTriangles);
    Geometry::Destroy(g);
    Material::Destroy(m);

    Geometry* empty = Geometry::Create(3, 0, kGeometryPositions);
    Geometry::Unlock(empty);
    EXPECT_EQ(empty->meshHeader, MeshHeader::Empty());
    Geometry::Destroy(empty);
    EXPECT_EQ(MeshHeader::Empty()->numMeshes, 0);
}

} // namespace
