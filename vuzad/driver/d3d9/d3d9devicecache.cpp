// The Direct3D 9 device's state caches: stream, index, declaration and shader bindings, render
// targets, transforms, lights and the lighting material, each sent only on a change; shared
// vertex declarations; shader and index-buffer creation.
#include "d3d9driver_local.h"

#include "d3d9raster.h"
#include "d3d9renderstate.h"
#include "freelist.h"
#include "matrix.h"
#include "memory.h"

#include <climits>
#include <cstring>

namespace
{

constexpr uint32_t kCacheHint = 0x1040411;
constexpr DWORD kNumTransforms = 260;
constexpr int32_t kMatricesPerBlock = 15;
constexpr DWORD kNumTargets = 4;
constexpr int32_t kDeclarationGrowth = 16;

struct CachedMatrix
{
    float m[16];
};

constexpr CachedMatrix kIdentity = {{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};

struct CachedLight
{
    D3DLIGHT9 light;
    BOOL enabled;
};

struct Declaration
{
    IDirect3DVertexDeclaration9* declaration; ///< null once its last user released it
    UINT count;                               ///< elements, the end marker included
    D3DVERTEXELEMENT9* elements;
    /// References handed out and not yet given back. Counted here, not read from the object:
    /// the device's binding holds one more while the declaration is set.
    int32_t users;
};

struct MaterialInputs
{
    float ambient;
    float diffuse;
    uint32_t colour;
    uint32_t flags;
    float light[3];
};

struct CacheState
{
    D3D9BindingCache bindings;
    IDirect3DSurface9* targets[kNumTargets];
    IDirect3DSurface9* depth;
    FreeList* matrices;
    CachedMatrix* transforms[kNumTransforms];
    bool worldIsIdentity;
    CachedLight* lights;
    DWORD numLights;
    bool materialKnown;
    MaterialInputs materialInputs;
    D3DMATERIAL9 material;
    const float* ambientColour;
    Declaration* declarations;
    int32_t numDeclarations;
    int32_t declarationCapacity;
};

CacheState sCache;

IDirect3DDevice9* Device()
{
    return D3D9State().device;
}

bool SameMatrix(const CachedMatrix* a, const float* b)
{
    return std::memcmp(a->m, b, sizeof a->m) == 0;
}

CachedMatrix* TakeMatrix()
{
    if (!sCache.matrices)
        sCache.matrices = FreeList::Create(sizeof(CachedMatrix), kMatricesPerBlock, 16, kCacheHint);
    if (!sCache.matrices)
        return nullptr;
    return static_cast<CachedMatrix*>(FreeList::Alloc(sCache.matrices, kCacheHint));
}

void FreeTransforms()
{
    for (CachedMatrix*& slot : sCache.transforms)
    {
        if (slot && sCache.matrices)
            FreeList::Free(sCache.matrices, slot);
        slot = nullptr;
    }
}

bool SendTransform(DWORD transform, const CachedMatrix& matrix)
{
    IDirect3DDevice9* device = Device();
    D3DMATRIX m;
    std::memcpy(m.m, matrix.m, sizeof m.m);
    return device && SUCCEEDED(device->SetTransform(D3DTRANSFORMSTATETYPE(transform), &m));
}

// Light members compared the way the light's type uses them.
bool SameVector(const D3DVECTOR& a, const D3DVECTOR& b)
{
    return a.x == b.x && a.y == b.y && a.z == b.z;
}

bool SameInputs(const MaterialInputs& a, const MaterialInputs& b)
{
    return a.ambient == b.ambient && a.diffuse == b.diffuse && a.colour == b.colour && a.flags == b.flags &&
           a.light[0] == b.light[0] && a.light[1] == b.light[1] && a.light[2] == b.light[2];
}

// Elements up to and including the end marker; 0 when none ends the list within the
// longest declaration the device takes.
UINT CountElements(const D3DVERTEXELEMENT9* elements)
{
    for (UINT i = 0; i <= MAXD3DDECLLENGTH; ++i)
        if (elements[i].Type == D3DDECLTYPE_UNUSED)
            return i + 1;
    return 0;
}

Declaration* FindDeclaration(const D3DVERTEXELEMENT9* elements, UINT count)
{
    for (int32_t i = 0; i < sCache.numDeclarations; ++i)
    {
        Declaration& d = sCache.declarations[i];
        if (d.count == count && std::memcmp(d.elements, elements, count * sizeof *elements) == 0)
            return &d;
    }
    return nullptr;
}

Declaration* FindDeclaration(IDirect3DVertexDeclaration9* declaration)
{
    for (int32_t i = 0; i < sCache.numDeclarations; ++i)
        if (sCache.declarations[i].declaration == declaration)
            return &sCache.declarations[i];
    return nullptr;
}

} // namespace

// ---- Lifetime (device start, release before a Reset, stop) ----------------------------------------

void D3D9DeviceCachesStop()
{
    FreeTransforms();
    if (sCache.matrices)
        FreeList::Destroy(sCache.matrices);
    sCache.matrices = nullptr;
    Memory::Free(sCache.lights);
    sCache.lights = nullptr;
    sCache.numLights = 0;
    for (int32_t i = 0; i < sCache.numDeclarations; ++i)
    {
        Declaration& d = sCache.declarations[i];
        // Every user's reference goes: the device is about to be released.
        for (; d.declaration && d.users > 0; --d.users)
            if (d.declaration->Release() == 0)
                d.declaration = nullptr;
        Memory::Free(d.elements);
    }
    Memory::Free(sCache.declarations);
    sCache.declarations = nullptr;
    sCache.numDeclarations = sCache.declarationCapacity = 0;
    sCache.materialKnown = false;
}

void D3D9DeviceCachesStart()
{
    D3D9Device::ForgetTargets();
    D3D9Device::ForgetBindings();
    D3D9Device::ResetTransformCache();
    Memory::Free(sCache.lights);
    sCache.lights = nullptr;
    sCache.numLights = 0;
    sCache.materialKnown = false;
}

// ---- Bindings ----------------------------------------------------------------------------------------------

D3D9BindingCache* D3D9Device::GetBindings()
{
    return &sCache.bindings;
}

void D3D9Device::ForgetBindings()
{
    D3D9BindingCache& b = sCache.bindings;
    b.declaration = Unknown<IDirect3DVertexDeclaration9>();
    b.vertexShader = Unknown<IDirect3DVertexShader9>();
    b.pixelShader = Unknown<IDirect3DPixelShader9>();
    b.indices = Unknown<IDirect3DIndexBuffer9>();
    b.vertexFormat = 0xFFFFFFFF;
    for (D3D9StreamRecord& stream : b.streams)
        stream = {Unknown<IDirect3DVertexBuffer9>(), 0, 0};
}

int32_t D3D9Device::SetStreamSource(UINT stream, IDirect3DVertexBuffer9* buffer, UINT offset, UINT stride)
{
    if (stream >= 4 || !Device())
        return 0;
    D3D9StreamRecord& record = sCache.bindings.streams[stream];
    if (record.buffer == buffer && record.offset == offset && record.stride == stride)
        return 1;
    if (FAILED(Device()->SetStreamSource(stream, buffer, offset, stride)))
    {
        record.buffer = Unknown<IDirect3DVertexBuffer9>();
        return 0;
    }
    record = {buffer, offset, stride};
    return 1;
}

int32_t D3D9Device::SetStreams(const D3D9StreamDescriptor* descriptor, int32_t useOffsets)
{
    int32_t result = 1;
    for (UINT i = 0; i < 2; ++i)
    {
        const D3D9StreamDescriptor::Stream& s = descriptor->streams[i];
        const D3D9StreamRecord& record = sCache.bindings.streams[i];
        if (!s.buffer)
        {
            if (record.buffer)
                result &= SetStreamSource(i, nullptr, 0, 0);
            continue;
        }
        result &= SetStreamSource(i, s.buffer, useOffsets ? s.offset : 0, s.stride);
    }
    return result;
}

int32_t D3D9Device::SetIndices(IDirect3DIndexBuffer9* indices)
{
    if (!Device())
        return 0;
    if (sCache.bindings.indices == indices)
        return 1;
    if (FAILED(Device()->SetIndices(indices)))
    {
        sCache.bindings.indices = Unknown<IDirect3DIndexBuffer9>();
        return 0;
    }
    sCache.bindings.indices = indices;
    return 1;
}

int32_t D3D9Device::SetVertexDeclaration(IDirect3DVertexDeclaration9* declaration)
{
    if (!Device())
        return 0;
    sCache.bindings.vertexFormat = 0xFFFFFFFF;
    if (sCache.bindings.declaration == declaration)
        return 1;
    if (FAILED(Device()->SetVertexDeclaration(declaration)))
    {
        sCache.bindings.declaration = Unknown<IDirect3DVertexDeclaration9>();
        return 0;
    }
    sCache.bindings.declaration = declaration;
    return 1;
}

int32_t D3D9Device::SetVertexShader(IDirect3DVertexShader9* shader)
{
    if (!Device())
        return 0;
    if (sCache.bindings.vertexShader == shader)
        return 1;
    if (FAILED(Device()->SetVertexShader(shader)))
    {
        sCache.bindings.vertexShader = Unknown<IDirect3DVertexShader9>();
        return 0;
    }
    sCache.bindings.vertexShader = shader;
    return 1;
}

int32_t D3D9Device::SetPixelShader(IDirect3DPixelShader9* shader)
{
    if (!Device())
        return 0;
    if (sCache.bindings.pixelShader == shader)
        return 1;
    if (FAILED(Device()->SetPixelShader(shader)))
    {
        sCache.bindings.pixelShader = Unknown<IDirect3DPixelShader9>();
        return 0;
    }
    sCache.bindings.pixelShader = shader;
    return 1;
}

// ---- Render targets --------------------------------------------------------------------------------------------

int32_t D3D9Device::SetRenderTargetSurface(DWORD index, IDirect3DSurface9* surface)
{
    if (index >= kNumTargets || !Device())
        return 0;
    if (sCache.targets[index] == surface)
        return 1;
    if (FAILED(Device()->SetRenderTarget(index, surface)))
        return 0;
    sCache.targets[index] = surface;
    return 1;
}

int32_t D3D9Device::SetDepthStencilSurface(IDirect3DSurface9* surface)
{
    if (!Device())
        return 0;
    if (sCache.depth == surface)
        return 1;
    if (FAILED(Device()->SetDepthStencilSurface(surface)))
        return 0;
    sCache.depth = surface;
    return 1;
}

int32_t D3D9Device::SetRenderTarget(DWORD index, Raster* raster)
{
    if (!raster)
        return SetRenderTargetSurface(index, nullptr);
    Raster* top = raster->parent ? raster->parent : raster;
    D3D9RasterExtension* ext = D3D9Raster::Extension(top);
    if (top->type != kRasterTypeCameraTexture || !ext->object)
        return 0;
    IDirect3DSurface9* surface = nullptr;
    HRESULT result;
    if (ext->cube & 0x0F)
        result = static_cast<IDirect3DCubeTexture9*>(ext->object)
                     ->GetCubeMapSurface(D3DCUBEMAP_FACES(ext->cube >> 4), 0, &surface);
    else
        result = static_cast<IDirect3DTexture9*>(ext->object)->GetSurfaceLevel(0, &surface);
    if (FAILED(result) || !surface)
        return 0;
    int32_t bound = SetRenderTargetSurface(index, surface);
    // The binding holds the surface; the cache compares the pointer only.
    surface->Release();
    return bound;
}

void D3D9Device::ForgetTargets()
{
    for (IDirect3DSurface9*& target : sCache.targets)
        target = nullptr;
    sCache.depth = nullptr;
}

// ---- Transforms ----------------------------------------------------------------------------------------------------

int32_t D3D9Device::SetTransform(DWORD transform, const float* matrix16)
{
    if (transform >= kNumTransforms)
        return 0;
    const float* m = matrix16 ? matrix16 : kIdentity.m;
    CachedMatrix*& slot = sCache.transforms[transform];
    if (slot && SameMatrix(slot, m))
        return 1;
    if (!slot && !(slot = TakeMatrix()))
        return 0;
    std::memcpy(slot->m, m, sizeof slot->m);
    if (transform == D3DTS_WORLD)
        sCache.worldIsIdentity = false;
    return SendTransform(transform, *slot) ? 1 : 0;
}

int32_t D3D9Device::GetTransform(DWORD transform, float* matrix16)
{
    if (transform >= kNumTransforms)
        return 0;
    const CachedMatrix* slot = sCache.transforms[transform];
    std::memcpy(matrix16, slot ? slot->m : kIdentity.m, sizeof kIdentity.m);
    return 1;
}

int32_t D3D9Device::SetWorldTransform(const Matrix* matrix)
{
    CachedMatrix*& slot = sCache.transforms[D3DTS_WORLD];
    if (!slot && !(slot = TakeMatrix()))
        return 0;
    if (!matrix || (matrix->flags & kMatrixIdentity))
    {
        if (sCache.worldIsIdentity)
            return 1;
        *slot = kIdentity;
        sCache.worldIsIdentity = true;
        return SendTransform(D3DTS_WORLD, *slot) ? 1 : 0;
    }
    const CachedMatrix wide = {{matrix->right.x, matrix->right.y, matrix->right.z, 0.0f, matrix->up.x, matrix->up.y,
                                matrix->up.z, 0.0f, matrix->at.x, matrix->at.y, matrix->at.z, 0.0f, matrix->pos.x,
                                matrix->pos.y, matrix->pos.z, 1.0f}};
    if (!sCache.worldIsIdentity && SameMatrix(slot, wide.m))
        return 1;
    *slot = wide;
    sCache.worldIsIdentity = false;
    return SendTransform(D3DTS_WORLD, *slot) ? 1 : 0;
}

void D3D9Device::ResetTransformCache()
{
    FreeTransforms();
    if (CachedMatrix* world = TakeMatrix())
    {
        *world = kIdentity;
        sCache.transforms[D3DTS_WORLD] = world;
    }
    sCache.worldIsIdentity = false;
}

// ---- Lights ----------------------------------------------------------------------------------------------------------

bool D3D9Device::LightsEqual(const D3DLIGHT9* a, const D3DLIGHT9* b)
{
    if (a->Type != b->Type || a->Diffuse.r != b->Diffuse.r || a->Diffuse.g != b->Diffuse.g ||
        a->Diffuse.b != b->Diffuse.b)
        return false;
    switch (a->Type)
    {
    case D3DLIGHT_POINT:
        return SameVector(a->Position, b->Position) && a->Range == b->Range;
    case D3DLIGHT_SPOT:
        return SameVector(a->Position, b->Position) && SameVector(a->Direction, b->Direction) &&
               a->Range == b->Range && a->Theta == b->Theta && a->Phi == b->Phi;
    case D3DLIGHT_DIRECTIONAL:
        return SameVector(a->Direction, b->Direction);
    default:
        return true;
    }
}

int32_t D3D9Device::SetLight(DWORD index, const D3DLIGHT9* light)
{
    IDirect3DDevice9* device = Device();
    if (!device || index >= 0x10000)
        return 0;
    if (index >= sCache.numLights)
    {
        auto* grown = static_cast<CachedLight*>(
            Memory::Reallocate(sCache.lights, size_t(index + 1) * sizeof(CachedLight), kCacheHint));
        if (!grown)
            return 0;
        for (DWORD i = sCache.numLights; i <= index; ++i)
            grown[i] = CachedLight{};
        sCache.lights = grown;
        sCache.numLights = index + 1;
    }
    else if (LightsEqual(&sCache.lights[index].light, light))
    {
        return 1;
    }
    sCache.lights[index].light = *light;
    return SUCCEEDED(device->SetLight(index, light)) ? 1 : 0;
}

int32_t D3D9Device::EnableLight(DWORD index, BOOL enable)
{
    if (index >= sCache.numLights || !Device())
        return 1;
    CachedLight& cached = sCache.lights[index];
    BOOL flag = enable ? TRUE : FALSE;
    if (cached.enabled == flag)
        return 1;
    cached.enabled = flag;
    return SUCCEEDED(Device()->LightEnable(index, flag)) ? 1 : 0;
}

int32_t D3D9Device::RestoreLights()
{
    IDirect3DDevice9* device = Device();
    if (!device)
        return 0;
    int32_t result = 1;
    for (DWORD i = 0; i < sCache.numLights; ++i)
    {
        device->SetLight(i, &sCache.lights[i].light);
        result = SUCCEEDED(device->LightEnable(i, sCache.lights[i].enabled)) ? 1 : 0;
    }
    return result;
}

DWORD D3D9Device::NumCachedLights()
{
    return sCache.numLights;
}

// ---- Lighting material ------------------------------------------------------------------------------------------

void D3D9Device::ForgetMaterial()
{
    sCache.materialKnown = false;
}

void D3D9Device::SetAmbientColourSource(const float* rgb)
{
    sCache.ambientColour = rgb;
}

int32_t D3D9Device::SetSurfaceProperties(const D3D9SurfaceProperties* properties, const Rgba* colour, uint32_t flags)
{
    IDirect3DDevice9* device = Device();
    if (!device)
        return 0;
    static constexpr float kBlack[3] = {0, 0, 0};
    const float* l = sCache.ambientColour ? sCache.ambientColour : kBlack;
    MaterialInputs inputs = {properties->ambient,
                             properties->diffuse,
                             uint32_t(colour->red) | uint32_t(colour->green) << 8 | uint32_t(colour->blue) << 16 |
                                 uint32_t(colour->alpha) << 24,
                             flags & (kD3D9MaterialVertexColours | kD3D9MaterialModulate),
                             {l[0], l[1], l[2]}};
    if (sCache.materialKnown && SameInputs(inputs, sCache.materialInputs))
        return 1;
    sCache.materialInputs = inputs;
    sCache.materialKnown = true;

    const float a = properties->ambient;
    const float d = properties->diffuse;
    const bool vertexColours = flags & kD3D9MaterialVertexColours;
    D3DMATERIAL9 m{};
    m.Specular = {0, 0, 0, 1.0f};
    m.Power = 0;
    m.Ambient.a = 1.0f;
    m.Emissive.a = 1.0f;
    const bool white = colour->red == 255 && colour->green == 255 && colour->blue == 255 && colour->alpha == 255;
    if ((flags & kD3D9MaterialModulate) && !white)
    {
        const float r = colour->red, g = colour->green, b = colour->blue;
        m.Diffuse = {r * d / 255.0f, g * d / 255.0f, b * d / 255.0f, colour->alpha / 255.0f};
        const D3DCOLORVALUE lit = {r * l[0] * a / 255.0f, g * l[1] * a / 255.0f, b * l[2] * a / 255.0f, 1.0f};
        if (vertexColours)
        {
            D3D9RenderState::SetRenderState(
                D3DRS_AMBIENT, D3DCOLOR_ARGB(colour->alpha, colour->red, colour->green, colour->blue));
            D3D9RenderState::SetRenderState(D3DRS_COLORVERTEX, TRUE);
            D3D9RenderState::SetRenderState(D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_COLOR1);
            D3D9RenderState::SetRenderState(D3DRS_EMISSIVEMATERIALSOURCE, D3DMCS_MATERIAL);
            m.Ambient = {0, 0, 0, 1.0f};
            m.Emissive = lit;
        }
        else
        {
            D3D9RenderState::SetRenderState(D3DRS_AMBIENT, 0xFFFFFFFF);
            D3D9RenderState::SetRenderState(D3DRS_COLORVERTEX, FALSE);
            D3D9RenderState::SetRenderState(D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_MATERIAL);
            D3D9RenderState::SetRenderState(D3DRS_EMISSIVEMATERIALSOURCE, D3DMCS_MATERIAL);
            m.Ambient = lit;
            m.Emissive = {0, 0, 0, 1.0f};
        }
    }
    else
    {
        m.Diffuse = {d, d, d, 1.0f};
        D3D9RenderState::SetRenderState(D3DRS_AMBIENT, 0xFFFFFFFF);
        D3D9RenderState::SetRenderState(D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_MATERIAL);
        D3D9RenderState::SetRenderState(D3DRS_COLORVERTEX, vertexColours);
        D3D9RenderState::SetRenderState(D3DRS_EMISSIVEMATERIALSOURCE, vertexColours ? D3DMCS_COLOR1 : D3DMCS_MATERIAL);
        if (!vertexColours)
            m.Emissive = {0, 0, 0, 1.0f};
        m.Ambient = a == 1.0f ? D3DCOLORVALUE{l[0], l[1], l[2], 1.0f}
                              : D3DCOLORVALUE{l[0] * a, l[1] * a, l[2] * a, 1.0f};
    }
    sCache.material = m;
    return SUCCEEDED(device->SetMaterial(&m)) ? 1 : 0;
}

// ---- Declarations, shaders, index buffers -------------------------------------------------------------------------

int32_t D3D9Device::CreateVertexDeclaration(const D3DVERTEXELEMENT9* elements, IDirect3DVertexDeclaration9** out)
{
    *out = nullptr;
    IDirect3DDevice9* device = Device();
    if (!device || !elements)
        return 0;
    UINT count = CountElements(elements);
    if (count == 0)
        return 0;
    if (Declaration* shared = FindDeclaration(elements, count))
    {
        if (shared->declaration)
            shared->declaration->AddRef();
        else if (FAILED(device->CreateVertexDeclaration(shared->elements, &shared->declaration)))
            return 0;
        ++shared->users;
        *out = shared->declaration;
        return 1;
    }
    if (sCache.numDeclarations == sCache.declarationCapacity)
    {
        int32_t capacity = sCache.declarationCapacity + kDeclarationGrowth;
        auto* grown = static_cast<Declaration*>(
            Memory::Reallocate(sCache.declarations, size_t(capacity) * sizeof(Declaration), kCacheHint));
        if (!grown)
            return 0;
        sCache.declarations = grown;
        sCache.declarationCapacity = capacity;
    }
    auto* copy = static_cast<D3DVERTEXELEMENT9*>(Memory::Allocate(count * sizeof *elements, kCacheHint));
    if (!copy)
        return 0;
    IDirect3DVertexDeclaration9* declaration = nullptr;
    if (FAILED(device->CreateVertexDeclaration(elements, &declaration)) || !declaration)
    {
        Memory::Free(copy);
        return 0;
    }
    std::memcpy(copy, elements, count * sizeof *elements);
    sCache.declarations[sCache.numDeclarations++] = {declaration, count, copy, 1};
    *out = declaration;
    return 1;
}

ULONG D3D9Device::DestroyVertexDeclaration(IDirect3DVertexDeclaration9* declaration)
{
    if (!declaration)
        return 0;
    Declaration* entry = FindDeclaration(declaration);
    ULONG left = declaration->Release();
    // The entry and its elements stay for a later request of the same list. Once its last
    // user is gone the entry lets go of the object even while the device still has it set:
    // the binding's own reference frees it.
    if (entry && --entry->users <= 0)
    {
        entry->users = 0;
        entry->declaration = nullptr;
    }
    return left;
}

int32_t D3D9Device::CreateVertexShader(const DWORD* function, IDirect3DVertexShader9** out)
{
    *out = nullptr;
    if (!Device() || FAILED(Device()->CreateVertexShader(function, out)) || !*out)
        return 0;
    // A new shader may take the address of one released since it was bound.
    sCache.bindings.vertexShader = Unknown<IDirect3DVertexShader9>();
    return 1;
}

int32_t D3D9Device::CreatePixelShader(const DWORD* function, IDirect3DPixelShader9** out)
{
    *out = nullptr;
    return Device() && SUCCEEDED(Device()->CreatePixelShader(function, out)) && *out ? 1 : 0;
}

int32_t D3D9Device::CreateIndexBuffer(UINT count, IDirect3DIndexBuffer9** out)
{
    *out = nullptr;
    if (!Device() || count == 0 || count > UINT_MAX / 2)
        return 0;
    return SUCCEEDED(Device()->CreateIndexBuffer(count * 2, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_MANAGED, out,
                                                 nullptr)) &&
                   *out
               ? 1
               : 0;
}

ULONG D3D9Device::ReleaseObject(IUnknownD3D* object)
{
    return object ? object->Release() : 0;
}
