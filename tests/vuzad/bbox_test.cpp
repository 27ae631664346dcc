// Tests of bounding boxes.
#include "bbox.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{

TEST(BBoxTest, CalculateTakesTheExtremesOfEveryCoordinate)
{
    BBox box;
    Vector one = {1, 2, 3};
    ASSERT_EQ(BBox::Calculate(&box, &one, 1), &box);
    EXPECT_EQ(box.sup.x, 1);
    EXPECT_EQ(box.inf.z, 3);

    Vector two[] = {{0, 0, 0}, {-1, 5, 2}};
    BBox::Calculate(&box, two, 2);
    EXPECT_EQ((std::vector<float>{box.sup.x, box.sup.y, box.sup.z}), (std::vector<float>{0, 5, 2}));
    EXPECT_EQ((std::vector<float>{box.inf.x, box.inf.y, box.inf.z}), (std::vector<float>{-1, 0, 0}));
    EXPECT_EQ(BBox::Calculate(&box, two, 0), nullptr);
}

} // namespace
