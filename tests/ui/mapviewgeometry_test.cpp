// The map screen's arithmetic: zoom limits and steps, the texture window, world to map, the hero's margin,
// marker numbers and the arrows' search over entries with and without markers.
#include "mapviewgeometry.h"

#include <gtest/gtest.h>

#include <cmath>

namespace
{

TEST(MapViewGeometry, ZoomStepsAndStaysWithinLimits)
{
    float zoom = 1.0f;
    for (int i = 0; i < 100; ++i)
        zoom = MapZoomFrame(zoom, true, false);
    EXPECT_NEAR(zoom, std::pow(1.001, 100), 1e-4);
    EXPECT_NEAR(zoom, 1.105f, 1e-3);
    EXPECT_FLOAT_EQ(MapZoomFrame(1.0f, false, true), 1.0f);
    EXPECT_FLOAT_EQ(MapZoomFrame(7.5f, true, false), 7.5f);
    EXPECT_FLOAT_EQ(MapZoomFrame(NAN, false, false), 1.0f);
}

TEST(MapViewGeometry, TextureWindowFollowsZoomAndPan)
{
    struct Case
    {
        float zoom, panX, panY;
        float u0, v0, u2, v2;
    };
    const Case cases[] = {
        {1.0f, 0.0f, 0.0f, 0.0f, 1.0f, 1.0f, 0.0f},         {2.0f, 0.0f, 0.0f, 0.25f, 0.75f, 0.75f, 0.25f},
        {4.0f, 0.0f, 0.0f, 0.375f, 0.625f, 0.625f, 0.375f}, {1.0f, 0.1f, -0.2f, -0.1f, 1.2f, 0.9f, 0.2f},
        {2.0f, 0.2f, 0.0f, 0.1f, 0.75f, 0.6f, 0.25f},
    };
    for (const Case& c : cases)
    {
        MapUv uv[4];
        MapTexCoords(kMapBaseUvs, c.zoom, c.panX, c.panY, uv);
        EXPECT_NEAR(uv[0].u, c.u0, 1e-6) << c.zoom;
        EXPECT_NEAR(uv[0].v, c.v0, 1e-6) << c.zoom;
        EXPECT_NEAR(uv[2].u, c.u2, 1e-6) << c.zoom;
        EXPECT_NEAR(uv[2].v, c.v2, 1e-6) << c.zoom;
        EXPECT_NEAR(uv[1].u, uv[2].u, 1e-6);
        EXPECT_NEAR(uv[3].v, uv[2].v, 1e-6);
    }
}

TEST(MapViewGeometry, WorldToMapAndHeroMargin)
{
    // The world origin is the texture's centre: at zoom 1 over the whole texture, the map's centre.
    MapUv centre = MapWorldToMap(0.0f, 0.0f, 1.0f, 0.0f, 1.0f);
    EXPECT_NEAR(centre.u, 0.375f, 1e-6);
    EXPECT_NEAR(centre.v, 0.25f, 1e-6);
    // 25000 units to the east is the right edge; 25000 to the north the top.
    MapUv corner = MapWorldToMap(25000.0f, 25000.0f, 1.0f, 0.0f, 1.0f);
    EXPECT_NEAR(corner.u, 0.75f, 1e-5);
    EXPECT_NEAR(corner.v, 0.0f, 1e-5);

    EXPECT_TRUE(MapHeroInside(0.375f, 0.25f));
    EXPECT_FALSE(MapHeroInside(0.02f, 0.25f));
    EXPECT_TRUE(MapHeroInside(0.03f, 0.25f));
    EXPECT_FALSE(MapHeroInside(0.375f, 0.48f));
    EXPECT_FALSE(MapHeroInside(0.74f, 0.25f));
}

TEST(MapViewGeometry, MarkerNumbersCountSecondariesAfterMains)
{
    EXPECT_EQ(MapMarkerText(5, 1, 3), "2");
    EXPECT_EQ(MapMarkerText(2, 0, 3), "2");
    EXPECT_EQ(MapMarkerText(5, 2, 3), "5");
}

TEST(MapViewGeometry, ArrowsSkipHiddenMarkersAndStopAtMissingOnes)
{
    using M = MapEntryMark;
    const M noSecond[] = {M::kVisible, M::kNone, M::kVisible};
    EXPECT_EQ(MapScrollTarget(noSecond, 3, 0, 1), 0);
    EXPECT_EQ(MapScrollTarget(noSecond, 3, 2, -1), 2);
    const M hiddenSecond[] = {M::kVisible, M::kHidden, M::kVisible};
    EXPECT_EQ(MapScrollTarget(hiddenSecond, 3, 0, 1), 2);
    EXPECT_EQ(MapScrollTarget(hiddenSecond, 3, 2, -1), 0);
    const M allHidden[] = {M::kVisible, M::kHidden, M::kHidden};
    EXPECT_EQ(MapScrollTarget(allHidden, 3, 0, 1), 0);
    EXPECT_EQ(MapScrollTarget(allHidden, 3, 2, 1), 2);
    EXPECT_EQ(MapScrollTarget(allHidden, 0, 0, 1), 0);
}

TEST(MapViewGeometry, HighlightIsCutAtTheMapEdges)
{
    struct Case
    {
        MapQuad quad;
        bool drawn;
        MapQuad expected;
    };
    const Case cases[] = {
        // Inside: untouched.
        {{0.1f, 0.1f, 0.2f, 0.2f, 0, 1, 1, 0}, true, {0.1f, 0.1f, 0.2f, 0.2f, 0, 1, 1, 0}},
        // Across the left edge by a quarter: u starts a quarter in.
        {{-0.025f, 0.1f, 0.075f, 0.2f, 0, 1, 1, 0}, true, {0, 0.1f, 0.075f, 0.2f, 0.25f, 1, 1, 0}},
        // Across the right and the top edges by half.
        {{0.7f, 0.45f, 0.8f, 0.55f, 0, 1, 1, 0}, true, {0.7f, 0.45f, 0.75f, 0.5f, 0, 0.5f, 1, 0.5f}},
        // Across the bottom edge.
        {{0.3f, -0.05f, 0.4f, 0.05f, 0, 1, 1, 0}, true, {0.3f, 0, 0.4f, 0.05f, 0, 1, 0.5f, 0}},
        // Wholly outside, and empty.
        {{0.8f, 0.1f, 0.9f, 0.2f, 0, 1, 1, 0}, false, {}},
        {{0.1f, -0.2f, 0.2f, -0.1f, 0, 1, 1, 0}, false, {}},
        {{0.2f, 0.1f, 0.2f, 0.2f, 0, 1, 1, 0}, false, {}},
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i)
    {
        const Case& c = cases[i];
        MapQuad out;
        ASSERT_EQ(MapClipQuad(c.quad, &out), c.drawn) << i;
        if (!c.drawn)
            continue;
        const float got[] = {out.left, out.bottom, out.right, out.top, out.uLeft, out.uRight, out.vBottom, out.vTop};
        const MapQuad& e = c.expected;
        const float want[] = {e.left, e.bottom, e.right, e.top, e.uLeft, e.uRight, e.vBottom, e.vTop};
        for (int k = 0; k < 8; ++k)
            EXPECT_NEAR(got[k], want[k], 1e-5) << i << " field " << k;
    }
}

TEST(MapViewGeometry, RecentringOnAMarker)
{
    MapPanState view = {2.0f, 0.3f, -0.4f};
    MapRecentre(&view, nullptr); // no marker record at all: nothing moves
    EXPECT_FLOAT_EQ(view.zoom, 2.0f);
    EXPECT_FLOAT_EQ(view.panX, 0.3f);
    EXPECT_FLOAT_EQ(view.panY, -0.4f);

    const float origin[] = {0.0f, 0.0f};
    MapRecentre(&view, origin);
    EXPECT_FLOAT_EQ(view.zoom, 3.0f);
    EXPECT_NEAR(view.panX, 0.0f, 1e-6);
    EXPECT_NEAR(view.panY, 0.0f, 1e-6);

    const float east[] = {10000.0f, -10000.0f};
    MapRecentre(&view, east);
    EXPECT_NEAR(view.panX, 0.5f - 0.7f, 1e-5);
    EXPECT_NEAR(view.panY, 0.7f - 0.5f, 1e-5);

    const float far[] = {-1.0e9f, 1.0e9f};
    MapRecentre(&view, far);
    EXPECT_FLOAT_EQ(view.panX, 1.5f);
    EXPECT_FLOAT_EQ(view.panY, -1.5f);
}

} // namespace
