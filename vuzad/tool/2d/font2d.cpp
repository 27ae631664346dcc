// The font module: its pools, path and texture dictionary, font records with their code
// maps, string widths and the drawing of bitmap and outline text.
#include "font2d.h"

#include "brush2d.h"
#include "engine.h"
#include "font2d_local.h"
#include "freelist.h"
#include "growlist.h"
#include "memory.h"
#include "path2d.h"
#include "texture.h"
#include "toolkit2d.h"
#include "toolkit2d_local.h"
#include "vector.h"

#include <cstring>

namespace font2d
{
Module& Get()
{
    static Module module;
    return module;
}
} // namespace font2d

namespace
{

constexpr int32_t kFontsPerBlock = 8;
constexpr size_t kInitialPathSize = 81;
const char kDefaultPath[] = "fonts\\";

/// The code at a string position, and the position after it.
uint32_t NextCode(const Font2d* font, const uint8_t*& at)
{
    if (font->flags & kFont2dUnicode)
    {
        uint32_t code = uint32_t(at[0]) | uint32_t(at[1]) << 8;
        if (code)
            at += 2;
        return code;
    }
    uint32_t code = at[0];
    if (code)
        at += 1;
    return code;
}

} // namespace

// ---- Module -----------------------------------------------------------------------------------------

int32_t Toolkit2d::OpenFonts()
{
    font2d::Module& m = font2d::Get();
    m.fonts = FreeList::Create(int32_t(sizeof(Font2d)), kFontsPerBlock, 0, toolkit2d::kHint);
    m.path = static_cast<char*>(Memory::Allocate(kInitialPathSize, toolkit2d::kHint));
    m.dictionary = TextureDictionary::Create();
    if (!m.fonts || !m.path || !m.dictionary)
    {
        CloseFonts();
        return 0;
    }
    m.pathCapacity = kInitialPathSize;
    std::memcpy(m.path, kDefaultPath, sizeof kDefaultPath);
    for (int32_t k = 0; k < font2d::kQuadsPerBatch; ++k)
    {
        uint16_t b = uint16_t(4 * k);
        const uint16_t quad[6] = {b, uint16_t(b + 2), uint16_t(b + 3), b, uint16_t(b + 3), uint16_t(b + 1)};
        std::memcpy(&m.quadIndices[6 * k], quad, sizeof quad);
    }
    return 1;
}

void Toolkit2d::CloseFonts()
{
    font2d::Module& m = font2d::Get();
    if (m.dictionary)
        TextureDictionary::Destroy(m.dictionary);
    if (m.fonts)
        FreeList::Destroy(m.fonts);
    Memory::Free(m.path);
    Memory::Free(m.codes);
    m = font2d::Module();
}

const char* Font2d::SetPath(const char* path)
{
    font2d::Module& m = font2d::Get();
    if (!path || !m.path)
        return nullptr;
    size_t size = std::strlen(path) + 1;
    if (size > m.pathCapacity)
    {
        auto* grown = static_cast<char*>(Memory::Reallocate(m.path, size, toolkit2d::kHint | kMemoryHintResize));
        if (!grown)
            return nullptr;
        m.path = grown;
        m.pathCapacity = size;
    }
    std::memcpy(m.path, path, size);
    return m.path;
}

const char* Font2d::GetPath()
{
    return font2d::Get().path;
}

TextureDictionary* Font2d::GetTextureDictionary()
{
    return font2d::Get().dictionary;
}

Font2d* Font2d::Read(const char* name)
{
    return ReadMetrics(name);
}

// ---- Records ------------------------------------------------------------------------------------------

Font2d* Font2d::Create()
{
    Engine* engine = Engine::Current();
    font2d::Module& m = font2d::Get();
    if (!engine || !m.fonts)
        return nullptr;
    auto* font = static_cast<Font2d*>(engine->freeListFunctions.take(m.fonts, toolkit2d::kHint));
    if (!font)
        return nullptr;
    *font = {};
    font->glyphs = GrowList::Create(int32_t(sizeof(Font2dGlyph)), toolkit2d::kHint);
    if (!font->glyphs)
    {
        engine->freeListFunctions.giveBack(m.fonts, font);
        return nullptr;
    }
    font->kind = kFont2dOutline;
    font->height = 1.0f;
    for (int16_t& index : font->direct)
        index = -1;
    font->render = RenderBitmapString;
    return font;
}

int32_t Font2d::Destroy(Font2d* font)
{
    if (!font)
        return 0;
    for (int32_t i = 0; i < font->glyphs->count; ++i)
    {
        auto* glyph = static_cast<Font2dGlyph*>(GrowList::GetEntry(font->glyphs, i));
        Path2d::Destroy(glyph->outline);
    }
    GrowList::Destroy(font->glyphs);
    Memory::Free(font->range);
    for (Texture* texture : font->textures)
        if (texture)
            Texture::Destroy(texture);
    Engine::Current()->freeListFunctions.giveBack(font2d::Get().fonts, font);
    return 1;
}

const Font2dGlyph* Font2d::FindGlyph(const Font2d* font, uint32_t code)
{
    int32_t index = -1;
    if (code < 128)
        index = font->direct[code];
    else if (font->range && code >= uint32_t(font->rangeFirst) &&
             code - uint32_t(font->rangeFirst) < uint32_t(font->rangeCount))
        index = font->range[code - uint32_t(font->rangeFirst)];
    if (index < 0 || index >= font->numGlyphs)
        return nullptr;
    return static_cast<const Font2dGlyph*>(GrowList::GetEntry(font->glyphs, index));
}

// ---- Text ------------------------------------------------------------------------------------------------

float Font2d::GetStringWidth(const Font2d* font, const void* string, float height)
{
    if (!font || !string)
        return 0.0f;
    float width = 0.0f;
    const auto* at = static_cast<const uint8_t*>(string);
    for (uint32_t code = NextCode(font, at); code; code = NextCode(font, at))
        if (const Font2dGlyph* glyph = FindGlyph(font, code))
            width += glyph->width + font->gap;
    return width * height;
}

Font2d* Font2d::RenderString(Font2d* font, const void* string, float height, Vector2* anchor, Brush2d* brush)
{
    if (!font || !font->render)
        return nullptr;
    return font->render(font, string, height, anchor, brush);
}

namespace
{

/// Push, then anchor, scale to the height and down to the baseline in font units. False
/// when the stack is full: nothing is drawn then, so the caller's level stays its own.
bool PlaceString(const Font2d* font, float height, const Vector2* anchor)
{
    if (!Transform2d::Push())
        return false;
    Transform2d::Translate(anchor->x, anchor->y);
    Transform2d::Scale(height, height);
    Transform2d::Translate(0, -font->baseline);
    return true;
}

void SetGlyphTexture(const Texture* texture)
{
    Engine* engine = Engine::Current();
    DeviceSetRenderState set = engine ? engine->device.setRenderState : nullptr;
    if (!set)
        return;
    set(kRenderStateTextureFilter, intptr_t(texture ? texture->filterAddressing & kTextureFilterMask : 0));
    set(kRenderStateTextureRaster, reinterpret_cast<intptr_t>(texture ? texture->raster : nullptr));
}

} // namespace

Font2d* Font2d::RenderBitmapString(Font2d* font, const void* string, float height, Vector2* anchor, Brush2d* brush)
{
    if (!font)
        return nullptr;
    if (!string || !anchor || !brush || !Device2d::GetCamera())
        return font;
    toolkit2d::State& s = toolkit2d::Get();
    const uint16_t* quadIndices = font2d::Get().quadIndices;
    if (!PlaceString(font, height, anchor))
        return font;
    const Matrix* matrix = Device2d::GetMatrix();
    float z = s.layerDepth;
    float extent = GetStringWidth(font, string, 1.0f);
    float inverseExtent = extent > 0 ? 1.0f / extent : 0.0f;
    bool colours = brush->flags & kBrush2dColoursDiffer;
    uint32_t flat = Brush2d::ColourAt(brush, 0, 0);
    const uint32_t flags = kIm3dTextured | kIm3dNoClip;

    float x = 0.0f;
    int32_t quads = 0;
    const Texture* current = nullptr;
    bool textureSet = false;
    auto flush = [&]
    {
        toolkit2d::DrawBatch(4 * quads, matrix, flags, kIm3dTriList, quadIndices, 6 * quads);
        quads = 0;
    };
    const auto* at = static_cast<const uint8_t*>(string);
    for (uint32_t code = NextCode(font, at); code; code = NextCode(font, at))
    {
        const Font2dGlyph* glyph = FindGlyph(font, code);
        if (!glyph)
            continue;
        bool newTexture = !textureSet || glyph->texture != current;
        if ((newTexture && quads) || quads == font2d::kQuadsPerBatch)
            flush();
        if (newTexture)
        {
            SetGlyphTexture(glyph->texture);
            current = glyph->texture;
            textureSet = true;
        }
        Im3dVertex* v = &s.vertices[4 * quads++];
        float right = x + glyph->width;
        v[0] = {x, 0, z, 0, 0, 0, flat, glyph->uL, glyph->vB};
        v[1] = {x, 1, z, 0, 0, 0, flat, glyph->uL, glyph->vT};
        v[2] = {right, 0, z, 0, 0, 0, flat, glyph->uR, glyph->vB};
        v[3] = {right, 1, z, 0, 0, 0, flat, glyph->uR, glyph->vT};
        if (colours)
            for (int k = 0; k < 4; ++k)
                v[k].colour = Brush2d::ColourAt(brush, v[k].x * inverseExtent, v[k].y);
        x = right + font->gap;
    }
    flush();
    anchor->x += x * height;
    Transform2d::Pop();
    return font;
}

Font2d* Font2d::RenderOutlineString(Font2d* font, const void* string, float height, Vector2* anchor, Brush2d* brush)
{
    if (!font)
        return nullptr;
    if (!string || !anchor || !brush)
        return font;
    if (!PlaceString(font, height, anchor))
        return font;
    const auto* at = static_cast<const uint8_t*>(string);
    for (uint32_t code = NextCode(font, at); code; code = NextCode(font, at))
    {
        const Font2dGlyph* glyph = FindGlyph(font, code);
        if (!glyph || glyph->texture)
            continue;
        Path2d::Stroke(glyph->outline, brush);
        Transform2d::Translate(glyph->width + font->gap, 0);
    }
    Transform2d::Pop();
    return font;
}
