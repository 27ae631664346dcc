// Square roots and inverse square roots from two 4096-entry lookup tables.
#pragma once

#include <cstdint>

struct Math
{
    static constexpr int32_t kTableEntries = 4096;

    /// Table square root of a non-negative real (0 for 0); relative error below 1.3e-4,
    /// exact for values on a table point (1, 2, 4, 9, 0.25, 100 ...). A negative or
    /// non-finite argument gives a meaningless result. Outside a started engine it reads
    /// default tables of the same values, so matrix and vector arithmetic works there too.
    static float Sqrt(float value);
    /// Table inverse square root; 0 for 0.
    static float InvSqrt(float value);

    /// Fills two tables of kTableEntries words.
    static void BuildSqrtTables(uint32_t* sqrtTable, uint32_t* invSqrtTable);
    /// The tables Sqrt and InvSqrt read: set by the vector module when it opens, null
    /// (the defaults) when it closes.
    static void SetTables(const uint32_t* sqrtTable, const uint32_t* invSqrtTable);
    static float SqrtFromTable(const uint32_t* sqrtTable, float value);
    static float InvSqrtFromTable(const uint32_t* invSqrtTable, float value);
};
