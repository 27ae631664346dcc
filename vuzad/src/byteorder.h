// Little-endian loads and stores: every engine file format is little-endian whatever the
// host, and is read and written a value at a time, never as a copied record.
#pragma once

#include <cstdint>

struct ByteOrder
{
    static uint32_t Load32(const uint8_t* p)
    {
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    }
    static uint16_t Load16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
    static void Store32(uint8_t* p, uint32_t value)
    {
        p[0] = uint8_t(value);
        p[1] = uint8_t(value >> 8);
        p[2] = uint8_t(value >> 16);
        p[3] = uint8_t(value >> 24);
    }
};
