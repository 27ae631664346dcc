// Vertex formats of our Direct3D 9 layer: how OpenGL reads each declaration type, FVF codes as declarations,
// and declarations reduced to the attribute layout drawing binds.
#define GL_GLEXT_PROTOTYPES 1
#include "d3d9pipeline_local.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>

namespace d3d9
{

const DeclTypeInfo& declType(BYTE type)
{
    // D3DCOLOR is A<<24|R<<16|G<<8|B, so its bytes are B, G, R, A: OpenGL's BGRA size swizzles them back.
    // UDEC3 and DEC3N carry three components in a packed word; the programs force their w to 1.
    static const DeclTypeInfo table[] = {
        {1, 4, GL_FLOAT, 1, false},                            // FLOAT1
        {2, 8, GL_FLOAT, 2, false},                            // FLOAT2
        {3, 12, GL_FLOAT, 3, false},                           // FLOAT3
        {4, 16, GL_FLOAT, 4, false},                           // FLOAT4
        {4, 4, GL_UNSIGNED_BYTE, GL_BGRA, true},               // D3DCOLOR
        {4, 4, GL_UNSIGNED_BYTE, 4, false},                    // UBYTE4
        {2, 4, GL_SHORT, 2, false},                            // SHORT2
        {4, 8, GL_SHORT, 4, false},                            // SHORT4
        {4, 4, GL_UNSIGNED_BYTE, 4, true},                     // UBYTE4N
        {2, 4, GL_SHORT, 2, true},                             // SHORT2N
        {4, 8, GL_SHORT, 4, true},                             // SHORT4N
        {2, 4, GL_UNSIGNED_SHORT, 2, true},                    // USHORT2N
        {4, 8, GL_UNSIGNED_SHORT, 4, true},                    // USHORT4N
        {3, 4, GL_UNSIGNED_INT_2_10_10_10_REV, 4, false},      // UDEC3
        {3, 4, GL_INT_2_10_10_10_REV, 4, true},                // DEC3N
        {2, 4, GL_HALF_FLOAT, 2, false},                       // FLOAT16_2
        {4, 8, GL_HALF_FLOAT, 4, false},                       // FLOAT16_4
        {0, 0, 0, 0, false},                                   // UNUSED
    };
    return table[type <= BYTE(D3DDECLTYPE_UNUSED) ? type : BYTE(D3DDECLTYPE_UNUSED)];
}

int attributeForUsage(BYTE usage, BYTE usageIndex)
{
    switch (usage)
    {
    case D3DDECLUSAGE_POSITION:
        return usageIndex == 0 ? AttrPosition : usageIndex == 1 ? AttrPosition1 : -1;
    case D3DDECLUSAGE_BLENDWEIGHT:
        return usageIndex == 0 ? AttrBlendWeight : -1;
    case D3DDECLUSAGE_BLENDINDICES:
        return usageIndex == 0 ? AttrBlendIndices : -1;
    case D3DDECLUSAGE_NORMAL:
        return usageIndex == 0 ? AttrNormal : usageIndex == 1 ? AttrNormal1 : -1;
    case D3DDECLUSAGE_PSIZE:
        return usageIndex == 0 ? AttrPointSize : -1;
    case D3DDECLUSAGE_COLOR:
        return usageIndex < 2 ? AttrDiffuse + usageIndex : -1;
    case D3DDECLUSAGE_TEXCOORD:
        return usageIndex < 8 ? AttrTexCoord0 + usageIndex : -1;
    case D3DDECLUSAGE_TANGENT:
        return usageIndex == 0 ? AttrTangent : -1;
    default:
        return -1; // binormals and the rest are read by no program of ours
    }
}

namespace
{

int attributeFor(const D3DVERTEXELEMENT9& element, bool* pretransformed)
{
    if (element.Usage == D3DDECLUSAGE_POSITIONT)
    {
        *pretransformed = true;
        return element.UsageIndex == 0 ? AttrPosition : -1;
    }
    return attributeForUsage(element.Usage, element.UsageIndex);
}

} // namespace

bool buildLayout(const D3DVERTEXELEMENT9* elements, VertexLayout& out)
{
    out = VertexLayout{};
    for (UINT i = 0; i < MAXD3DDECLLENGTH; ++i)
    {
        const D3DVERTEXELEMENT9& element = elements[i];
        if (element.Stream == 0xFF)
            break;
        bool pretransformed = false;
        int attribute = attributeFor(element, &pretransformed);
        if (attribute < 0 || element.Stream >= 16 || element.Type >= D3DDECLTYPE_UNUSED ||
            out.components[size_t(attribute)] != 0)
            continue;
        if (attribute == AttrPosition)
            out.pretransformed = pretransformed;
        out.elements[out.count++] = {element.Stream, element.Offset, element.Type, uint8_t(attribute)};
        out.components[size_t(attribute)] = declType(element.Type).components;
        out.streamMask |= uint16_t(1u << element.Stream);
        out.streamExtent[element.Stream] =
            std::max<uint32_t>(out.streamExtent[element.Stream], element.Offset + declType(element.Type).bytes);
    }
    return out.components[AttrPosition] != 0;
}

bool fvfToElements(DWORD fvf, std::vector<D3DVERTEXELEMENT9>& out, UINT* stride)
{
    constexpr DWORD known = D3DFVF_POSITION_MASK | D3DFVF_NORMAL | D3DFVF_PSIZE | D3DFVF_DIFFUSE | D3DFVF_SPECULAR |
                            D3DFVF_TEXCOUNT_MASK | D3DFVF_LASTBETA_UBYTE4 | D3DFVF_LASTBETA_D3DCOLOR | 0xFFFF0000u;
    out.clear();
    if (fvf & ~known)
        return false;
    WORD offset = 0;
    auto add = [&](BYTE type, BYTE usage, BYTE index)
    {
        out.push_back({0, offset, type, D3DDECLMETHOD_DEFAULT, usage, index});
        offset = WORD(offset + declType(type).bytes);
    };
    DWORD position = fvf & D3DFVF_POSITION_MASK;
    if (position == D3DFVF_XYZRHW)
        add(D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_POSITIONT, 0);
    else if (position == D3DFVF_XYZW)
        add(D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_POSITION, 0);
    else if (position >= D3DFVF_XYZ && position <= D3DFVF_XYZB5 && (position & 1) == 0)
    {
        add(D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0);
        // XYZB1 (0x006) to XYZB5 (0x00E) carry one to five betas.
        int betas = position == D3DFVF_XYZ ? 0 : int(position - D3DFVF_XYZB1) / 2 + 1;
        bool lastIndices = betas > 0 && (fvf & (D3DFVF_LASTBETA_UBYTE4 | D3DFVF_LASTBETA_D3DCOLOR));
        int weights = betas - (lastIndices ? 1 : 0);
        if (weights > 0)
            add(BYTE(D3DDECLTYPE_FLOAT1 + std::min(weights, 4) - 1), D3DDECLUSAGE_BLENDWEIGHT, 0);
        if (weights > 4)
            offset = WORD(offset + 4); // a fifth weight has no element of its own
        if (lastIndices)
            add((fvf & D3DFVF_LASTBETA_UBYTE4) ? D3DDECLTYPE_UBYTE4 : D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_BLENDINDICES,
                0);
    }
    else
        return false;
    if (fvf & D3DFVF_NORMAL)
        add(D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_NORMAL, 0);
    if (fvf & D3DFVF_PSIZE)
        add(D3DDECLTYPE_FLOAT1, D3DDECLUSAGE_PSIZE, 0);
    if (fvf & D3DFVF_DIFFUSE)
        add(D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 0);
    if (fvf & D3DFVF_SPECULAR)
        add(D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 1);
    DWORD sets = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
    if (sets > 8)
        return false;
    static const BYTE sizeTypes[4] = {D3DDECLTYPE_FLOAT2, D3DDECLTYPE_FLOAT3, D3DDECLTYPE_FLOAT4, D3DDECLTYPE_FLOAT1};
    for (DWORD set = 0; set < sets; ++set)
        add(sizeTypes[(fvf >> (set * 2 + 16)) & 3], D3DDECLUSAGE_TEXCOORD, BYTE(set));
    out.push_back(D3DDECL_END());
    *stride = offset;
    return true;
}

} // namespace d3d9
