// The cache of generated vertex shaders: 256 entries sorted by descriptor, the most recently
// used one tried first, the oldest-stamped one evicted when the cache is full.
#include "vertexshader.h"

#include "d3d9device.h"
#include "engine.h"
#include "vertexshader_local.h"

#include <cstring>

namespace
{

struct Entry
{
    uint32_t key;
    uint32_t stamp;
    IDirect3DVertexShader9* shader;
    VertexShaderRegisters registers;
};

struct Cache
{
    Entry entries[VertexShaderCache::kSize];
    int32_t count;
    int32_t recent; ///< index of the most recently used entry, -1 for none
};

Cache sCache{{}, 0, -1};

uint32_t Stamp()
{
    Engine* engine = Engine::Current();
    return engine ? engine->renderFrame : 0;
}

// Declaration types a 1.x vertex shader cannot read: UBYTE4N, SHORT2N, SHORT4N, USHORT2N, USHORT4N.
constexpr DWORD kNormalisedDeclTypes = 0x02 | 0x04 | 0x08 | 0x10 | 0x20;

} // namespace

void VertexShaderCache::ReadCaps(D3DCAPS9* caps)
{
    VertexShaderSettings& s = VsSettings();
    DWORD version = caps->VertexShaderVersion & 0xFFFF;
    if (version >= 0x0300 || (version >= 0x0200 && caps->VS20Caps.DynamicFlowControlDepth > 0))
        s.model = kVsModel2x;
    else if (version >= 0x0200)
        s.model = kVsModel20;
    else if (version >= 0x0100)
    {
        s.model = kVsModel11;
        caps->DeclTypes &= ~kNormalisedDeclTypes;
    }
    else
        s.model = kVsModelNone;
    s.constantCount = caps->MaxVertexShaderConst < 256 ? int32_t(caps->MaxVertexShaderConst) : 256;
    s.wFog = (caps->RasterCaps & D3DPRASTERCAPS_WFOG) != 0;
    std::memset(s.effectCounts, 0, sizeof(s.effectCounts));
    const uint8_t counts[12] = {0, 2, 2, 4, 0, 0, 2, 2, 0, 2, 4, 6};
    std::memcpy(s.effectCounts, counts, sizeof(counts));
}

void VertexShaderCache::Open()
{
    sCache.count = 0;
    sCache.recent = -1;
    if (D3DCAPS9* caps = D3D9Device::GetCapsForUpdate())
        ReadCaps(caps);
}

void VertexShaderCache::Close()
{
    for (int32_t i = 0; i < sCache.count; ++i)
    {
        if (sCache.entries[i].shader)
            D3D9Device::ReleaseObject(sCache.entries[i].shader);
    }
    sCache.count = 0;
    sCache.recent = -1;
}

IDirect3DVertexShader9* VertexShaderCache::Find(const VertexShaderDescriptor* descriptor,
                                                VertexShaderRegisters* registers)
{
    const uint32_t key = descriptor->Key();
    Cache& c = sCache;
    int32_t hit = -1;
    int32_t low = 0;
    if (c.recent >= 0 && c.entries[c.recent].key == key)
        hit = c.recent;
    else
    {
        int32_t high = c.count - 1;
        while (low <= high)
        {
            int32_t count = high - low + 1;
            int32_t mid = low + (count + 1) / 2 - 1;
            if (c.entries[mid].key == key)
            {
                hit = mid;
                break;
            }
            if (key < c.entries[mid].key)
                high = mid - 1;
            else
                low = mid + 1;
        }
    }
    if (hit >= 0)
    {
        Entry& e = c.entries[hit];
        c.recent = hit;
        e.stamp = Stamp();
        *registers = e.registers;
        return e.shader;
    }

    Entry fresh{key, Stamp(), nullptr, {}};
    fresh.shader = VertexShader::Generate(descriptor, &fresh.registers);
    *registers = fresh.registers;
    if (c.count == kSize)
    {
        int32_t oldest = 0;
        for (int32_t i = 1; i < c.count; ++i)
        {
            if (c.entries[i].stamp < c.entries[oldest].stamp)
                oldest = i;
        }
        if (c.entries[oldest].shader)
            D3D9Device::ReleaseObject(c.entries[oldest].shader);
        std::memmove(&c.entries[oldest], &c.entries[oldest + 1], sizeof(Entry) * size_t(c.count - oldest - 1));
        --c.count;
        if (low > oldest)
            --low;
    }
    std::memmove(&c.entries[low + 1], &c.entries[low], sizeof(Entry) * size_t(c.count - low));
    c.entries[low] = fresh;
    ++c.count;
    c.recent = low;
    return fresh.shader;
}

IDirect3DVertexShader9* VertexShaderCache::Lookup(void*, const VertexShaderDescriptor* descriptor,
                                                  VertexShaderRegisters* registers)
{
    return Find(descriptor, registers);
}

int32_t VertexShaderCache::GetShaderModel()
{
    return VsSettings().model;
}

int32_t VertexShaderCache::GetConstantCount()
{
    return VsSettings().constantCount;
}

bool VertexShaderCache::HasWFog()
{
    return VsSettings().wFog;
}

int32_t VertexShaderCache::GetCount()
{
    return sCache.count;
}

uint32_t VertexShaderCache::GetKey(int32_t index)
{
    return index >= 0 && index < sCache.count ? sCache.entries[index].key : 0;
}
