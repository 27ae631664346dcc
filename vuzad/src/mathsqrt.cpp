// Square-root tables: built from the roots of 2048 reals in [1, 2) and 2048 in [2, 4),
// looked up on the argument's bit pattern.
#include "mathsqrt.h"

#include <bit>
#include <cmath>

namespace
{

const uint32_t* sSqrtTable = nullptr;
const uint32_t* sInvSqrtTable = nullptr;

// The table holds the root's bits less the exponent bits that the lookup adds back from
// the argument's own exponent (halved).
constexpr uint32_t kBiasOdd = 0x1FC00000;
constexpr uint32_t kBiasEven = 0x20000000;

uint32_t Bits(float f)
{
    return std::bit_cast<uint32_t>(f);
}

// Roots are computed in double and rounded once to a 32-bit real.
float RootOf(float x)
{
    return float(std::sqrt(double(x)));
}
float InverseRootOf(float x)
{
    return float(1.0 / std::sqrt(double(x)));
}

// The tables a started engine would build, for callers outside its life (the
// framework's matrices, tools); built on first use.
struct DefaultTables
{
    uint32_t sqrt[Math::kTableEntries];
    uint32_t invSqrt[Math::kTableEntries];
    DefaultTables() { Math::BuildSqrtTables(sqrt, invSqrt); }
};

const DefaultTables& Defaults()
{
    static const DefaultTables tables;
    return tables;
}

} // namespace

void Math::BuildSqrtTables(uint32_t* sqrtTable, uint32_t* invSqrtTable)
{
    for (uint32_t i = 0; i < 2048; ++i)
    {
        float x = std::bit_cast<float>(0x3F800000u + i * 0x1000u); // [1, 2)
        float y = std::bit_cast<float>(0x40000000u + i * 0x1000u); // [2, 4)
        sqrtTable[2048 + i] = Bits(RootOf(x)) - kBiasOdd;
        sqrtTable[i] = Bits(RootOf(y)) - kBiasEven;
        invSqrtTable[2048 + i] = Bits(InverseRootOf(x)) - kBiasEven;
        invSqrtTable[i] = Bits(InverseRootOf(y)) - kBiasOdd;
    }
}

void Math::SetTables(const uint32_t* sqrtTable, const uint32_t* invSqrtTable)
{
    sSqrtTable = sqrtTable;
    sInvSqrtTable = invSqrtTable;
}

float Math::SqrtFromTable(const uint32_t* table, float value)
{
    uint32_t b = Bits(value);
    if (b == 0)
        return 0.0f;
    b += 0x800; // to the nearest table point; a carry into the exponent is right
    return std::bit_cast<float>(table[(b >> 12) & 0xFFF] + ((b >> 1) & 0x3FC00000u));
}

float Math::InvSqrtFromTable(const uint32_t* table, float value)
{
    uint32_t b = Bits(value);
    if (b == 0)
        return 0.0f;
    b += 0x800;
    return std::bit_cast<float>(table[(b >> 12) & 0xFFF] + ((~b >> 1) & 0x3FC00000u));
}

float Math::Sqrt(float value)
{
    return SqrtFromTable(sSqrtTable ? sSqrtTable : Defaults().sqrt, value);
}

float Math::InvSqrt(float value)
{
    return InvSqrtFromTable(sInvSqrtTable ? sInvSqrtTable : Defaults().invSqrt, value);
}
