#include "framecheck.h"

#include <gtest/gtest.h>

namespace
{

constexpr uint32_t kLeft = 0xFF102030u, kRight = 0xFF405060u, kDrawn = 0xFF0000FFu;

// A picture 6 pixels wide that changes colour at x = 3: only the pixels whose samples straddle the
// change may come from the drawn frame; every other one must hold the picture's colour, or a frame
// check built on the reference would pass whatever was drawn.
TEST(FrameCheck, AnEdgeTolerantReferenceTakesFromTheFrameOnlyThePixelsAtAColourChange)
{
    const auto picture = [](float x, float) { return x < 3.0f ? kLeft : kRight; };
    const std::vector<uint32_t> drawn(12, kDrawn);
    const struct
    {
        std::vector<float> offsets;
        std::vector<uint32_t> actual;
        std::vector<uint32_t> row;
    } cases[] = {
        {{-1.0f, 0.0f, 1.0f}, drawn, {kLeft, kLeft, kDrawn, kDrawn, kRight, kRight}},
        {{-0.4f, 0.4f}, drawn, {kLeft, kLeft, kLeft, kRight, kRight, kRight}},
        {{-1.5f, 0.0f, 1.5f}, drawn, {kLeft, kDrawn, kDrawn, kDrawn, kRight, kRight}},
        {{-1.0f, 0.0f, 1.0f}, {}, {kLeft, kLeft, kLeft, kRight, kRight, kRight}}, // nothing drawn
    };
    for (const auto& c : cases)
    {
        const std::vector<uint32_t> reference = framecheck::EdgeTolerantReference(6, 2, c.actual, picture, c.offsets);
        ASSERT_EQ(reference.size(), 12u);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 6; ++x)
                EXPECT_EQ(reference[size_t(y) * 6 + size_t(x)], c.row[size_t(x)])
                    << "offsets " << c.offsets.size() << " from " << c.offsets[0] << ", actual " << c.actual.size()
                    << ", pixel " << x << "," << y;
    }
}

} // namespace
