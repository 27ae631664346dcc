// Matrix and vector routines against double-precision references, including results written over an input.
#include "d3dx9.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace
{

D3DXMATRIX RandomMatrix(std::mt19937& random)
{
    std::uniform_real_distribution<float> value(-4.0f, 4.0f);
    D3DXMATRIX m;
    for (auto& row : m.m)
        for (float& x : row)
            x = value(random);
    return m;
}

void ReferenceProduct(const D3DXMATRIX& a, const D3DXMATRIX& b, double out[4][4])
{
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
        {
            out[i][j] = 0;
            for (int k = 0; k < 4; ++k)
                out[i][j] += double(a.m[i][k]) * double(b.m[k][j]);
        }
}

constexpr double kTolerance = 1e-5; // relative to the magnitudes of the random inputs (|x| <= 4)

TEST(D3DXMath, MatrixProductsMatchDoublePrecisionAndMayOverwriteAnInput)
{
    std::mt19937 random(7);
    for (int round = 0; round < 50; ++round)
    {
        D3DXMATRIX a = RandomMatrix(random), b = RandomMatrix(random);
        double reference[4][4];
        ReferenceProduct(a, b, reference);

        D3DXMATRIX product, transposed, inPlace = a;
        EXPECT_EQ(D3DXMatrixMultiply(&product, &a, &b), &product);
        D3DXMatrixMultiplyTranspose(&transposed, &a, &b);
        D3DXMatrixMultiply(&inPlace, &inPlace, &b);
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j)
            {
                double scale = 64.0 * kTolerance;
                EXPECT_NEAR(product.m[i][j], reference[i][j], scale);
                EXPECT_NEAR(transposed.m[j][i], reference[i][j], scale);
                EXPECT_EQ(inPlace.m[i][j], product.m[i][j]);
            }

        D3DXMATRIX t = a;
        D3DXMatrixTranspose(&t, &t);
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j)
                EXPECT_EQ(t.m[i][j], a.m[j][i]);
    }
}

TEST(D3DXMath, VectorTransformsMatchDoublePrecision)
{
    std::mt19937 random(11);
    std::uniform_real_distribution<float> value(-4.0f, 4.0f);
    for (int round = 0; round < 50; ++round)
    {
        D3DXMATRIX m = RandomMatrix(random);
        m._14 = value(random) * 0.1f;
        m._24 = value(random) * 0.1f;
        m._34 = value(random) * 0.1f;
        m._44 = 3.0f; // keeps w away from 0
        D3DXVECTOR3 v;
        v.x = value(random), v.y = value(random), v.z = value(random);
        double r[4];
        for (int j = 0; j < 4; ++j)
            r[j] = double(v.x) * m.m[0][j] + double(v.y) * m.m[1][j] + double(v.z) * m.m[2][j] + m.m[3][j];

        D3DXVECTOR4 full;
        D3DXVec3Transform(&full, &v, &m);
        EXPECT_NEAR(full.x, r[0], 1e-4);
        EXPECT_NEAR(full.w, r[3], 1e-4);

        D3DXVECTOR3 coord = v;
        D3DXVec3TransformCoord(&coord, &coord, &m);
        EXPECT_NEAR(coord.x, r[0] / r[3], 1e-4 * std::fabs(1.0 / r[3]) + 1e-4);
        EXPECT_NEAR(coord.z, r[2] / r[3], 1e-4 * std::fabs(1.0 / r[3]) + 1e-4);

        D3DXVECTOR3 normal = v;
        D3DXVec3TransformNormal(&normal, &normal, &m);
        EXPECT_NEAR(normal.y, r[1] - m.m[3][1], 1e-4);
        EXPECT_NEAR(normal.z, r[2] - m.m[3][2], 1e-4);
    }
}

} // namespace
