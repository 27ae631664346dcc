// Reading fonts from "<name>.met" files along the font path: the listed bitmap format, the
// scanned bitmap format whose glyph cells are found by separator pixels in the texture, and
// the outline format. Every line is read into a 256-byte buffer; every count, code and
// UTF-8 sequence is checked before it is used.
#include "font2d.h"

#include "engine.h"
#include "filesystem.h"
#include "font2d_local.h"
#include "growlist.h"
#include "image.h"
#include "memory.h"
#include "path2d.h"
#include "raster.h"
#include "texture.h"
#include "toolkit2d_local.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace
{

constexpr int32_t kLineSize = 256;
constexpr int32_t kMaxSections = 4;

struct Reader
{
    Font2d* font;
    const FileFunctions* files;
    void* file;
    std::string folder; // where the file was found
    char line[kLineSize];

    /// The next line with a CRLF end read as LF; false at the end of the file.
    bool ReadLine()
    {
        if (!files->gets(line, kLineSize, file))
            return false;
        size_t length = std::strlen(line);
        if (length >= 2 && line[length - 2] == '\r' && line[length - 1] == '\n')
        {
            line[length - 2] = '\n';
            line[length - 1] = '\0';
        }
        return true;
    }
};

// ---- Glyphs and codes ----------------------------------------------------------------------------

bool GrowCodes(int32_t index)
{
    font2d::Module& m = font2d::Get();
    if (index < m.codeCapacity)
        return true;
    // Glyphs of codes below 128 take no entry, so the index may lie well past the table.
    int32_t capacity = (index / 32 + 1) * 32;
    auto* grown = static_cast<int32_t*>(
        Memory::Reallocate(m.codes, size_t(capacity) * sizeof(int32_t), toolkit2d::kHint | kMemoryHintResize));
    if (!grown)
        return false;
    for (int32_t i = m.codeCapacity; i < capacity; ++i)
        grown[i] = -1;
    m.codes = grown;
    m.codeCapacity = capacity;
    return true;
}

void ResetCodes()
{
    font2d::Module& m = font2d::Get();
    for (int32_t i = 0; i < m.codeCapacity; ++i)
        m.codes[i] = -1;
}

/// A new zeroed glyph registered for the code (a later glyph of a code replaces an earlier
/// one), or null when the font cannot hold another.
Font2dGlyph* AddGlyph(Font2d* font, uint32_t code)
{
    int32_t index = font->glyphs->count;
    if (index >= font2d::kMaxGlyphs || (code >= 128 && !GrowCodes(index)))
        return nullptr;
    auto* glyph = static_cast<Font2dGlyph*>(GrowList::AddEntry(font->glyphs, toolkit2d::kHint));
    if (!glyph)
        return nullptr;
    *glyph = {};
    if (code < 128)
        font->direct[code] = int16_t(index);
    else
    {
        font->flags |= kFont2dUnicode;
        font2d::Get().codes[index] = int32_t(code);
    }
    return glyph;
}

/// The range map over the glyphs' codes of 128 or more; false when it cannot be allocated.
bool BuildCodeMap(Font2d* font)
{
    const font2d::Module& m = font2d::Get();
    int32_t low = 0, high = -1;
    int32_t listed = font->numGlyphs < m.codeCapacity ? font->numGlyphs : m.codeCapacity;
    for (int32_t i = 0; i < listed; ++i)
    {
        int32_t code = m.codes[i];
        if (code <= 0)
            continue;
        if (high < 0 || code < low)
            low = code;
        if (code > high)
            high = code;
    }
    if (high < 0)
        return true;
    int32_t count = high - low + 1;
    auto* map = static_cast<int16_t*>(Memory::Allocate(size_t(count) * sizeof(int16_t), toolkit2d::kHint));
    if (!map)
        return false;
    for (int32_t i = 0; i < count; ++i)
        map[i] = -1;
    for (int32_t i = 0; i < listed; ++i)
        if (m.codes[i] > 0)
            map[m.codes[i] - low] = int16_t(i);
    font->rangeFirst = low;
    font->rangeCount = count;
    font->range = map;
    return true;
}

bool Finish(Font2d* font)
{
    font->numGlyphs = font->glyphs->count;
    return BuildCodeMap(font);
}

// ---- Text parsing ----------------------------------------------------------------------------------

/// Decodes one UTF-8 sequence of text[0 .. length): lead bytes of 1 to 6 bytes, continuation
/// bytes 10xxxxxx inside the text. False for anything else or a value above 0xFFFF.
bool DecodeUtf8(const uint8_t* text, size_t length, uint32_t* value, size_t* used)
{
    if (length == 0)
        return false;
    uint8_t lead = text[0];
    size_t n;
    uint32_t code;
    if (lead < 0x80)
        n = 1, code = lead;
    else if ((lead & 0xE0) == 0xC0)
        n = 2, code = lead & 0x1F;
    else if ((lead & 0xF0) == 0xE0)
        n = 3, code = lead & 0x0F;
    else if ((lead & 0xF8) == 0xF0)
        n = 4, code = lead & 0x07;
    else if ((lead & 0xFC) == 0xF8)
        n = 5, code = lead & 0x03;
    else if ((lead & 0xFE) == 0xFC)
        n = 6, code = lead & 0x01;
    else
        return false;
    if (n > length)
        return false;
    for (size_t i = 1; i < n; ++i)
    {
        if ((text[i] & 0xC0) != 0x80)
            return false;
        code = code << 6 | (text[i] & 0x3F);
    }
    if (code > 0xFFFF)
        return false;
    *value = code;
    *used = n;
    return true;
}

/// Up to two words of at most 255 characters; the number of words.
int32_t ScanNames(const char* line, char* texture, char* mask)
{
    texture[0] = mask[0] = '\0';
    int result = std::sscanf(line, "%255s %255s", texture, mask);
    return result < 0 ? 0 : result;
}

/// count integers in the C library's %i forms (decimal, 0 octal, 0x hexadecimal); false
/// when fewer are there or one leaves the 32-bit range.
bool ScanIntegers(const char* line, int64_t* values, int32_t count)
{
    const char* at = line;
    for (int32_t i = 0; i < count; ++i)
    {
        char* end = nullptr;
        long long value = std::strtoll(at, &end, 0);
        if (end == at || value < INT32_MIN || value > INT32_MAX)
            return false;
        values[i] = value;
        at = end;
    }
    return true;
}

/// Before each texture read the image search path is the font path.
Texture* ReadTexture(const char* name, const char* mask)
{
    Image::SetPath(font2d::Get().path);
    Texture* texture = Texture::Read(name, mask && mask[0] ? mask : nullptr);
    if (texture && !texture->raster)
    {
        Texture::Destroy(texture);
        return nullptr;
    }
    return texture;
}

// ---- "METRICS1": listed glyph boxes ------------------------------------------------------------------

/// Whether "m" + the texture name exists in the folder the font came from, as named or with
/// a registered image extension.
bool MaskExists(const Reader& reader, const char* texture)
{
    std::string name = reader.folder + "m" + texture;
    if (reader.files->exists && reader.files->exists(name.c_str()))
        return true;
    Image::SetPath(reader.folder.c_str());
    std::string bare = std::string("m") + texture;
    return Image::FindFileExtension(bare.c_str()) != nullptr;
}

bool ReadBitmapMetrics(Reader& reader)
{
    Font2d* font = reader.font;
    font->kind = kFont2dBitmap;
    char textureName[kLineSize], maskName[kLineSize];
    if (!reader.ReadLine())
        return false;
    int32_t words = ScanNames(reader.line, textureName, maskName);
    if (words != 1 && words != 2)
        return false;
    std::string mask;
    if (words == 2)
        mask = maskName;
    else if (MaskExists(reader, textureName))
        mask = std::string("m") + textureName;
    Texture* texture = ReadTexture(textureName, mask.c_str());
    if (!texture)
        return false;
    font->textures[0] = texture;
    float width = float(texture->raster->width), height = float(texture->raster->height);

    int baseline = 0;
    if (reader.ReadLine() && std::sscanf(reader.line, "%d", &baseline) != 1)
        baseline = 0;
    int64_t boxHeight = 0;
    while (reader.ReadLine())
    {
        int64_t v[5];
        if (!ScanIntegers(reader.line, v, 5))
            continue;
        int64_t code = v[0], l = v[1], t = v[2], r = v[3], b = v[4];
        if (code < 0 || code > 0xFFFF || b == t) // a box without height has no width per height
            return false;
        Font2dGlyph* glyph = AddGlyph(font, uint32_t(code));
        if (!glyph)
            return false;
        glyph->texture = texture;
        glyph->textureIndex = 0;
        glyph->uL = (float(l) + 0.5f) / width;
        glyph->vT = (float(t) + 0.5f) / height;
        glyph->uR = (float(r) + 0.5f) / width;
        glyph->vB = (float(b) + 0.5f) / height;
        glyph->width = float(r - l) / float(b - t);
        boxHeight = b - t;
    }
    font->gap = 0;
    // Without glyph lines there is no box to measure: height 1, baseline 0.
    font->height = boxHeight ? float(boxHeight) : 1.0f;
    font->baseline = boxHeight ? float(baseline) / float(boxHeight) : 0.0f;
    return Finish(font);
}

// ---- "METRICS2": glyph cells found by separator pixels -----------------------------------------------

/// Characters spread over lines; the buffer keeps the current line, and once more than half
/// of it is consumed the unread rest moves to its start with the next line after it, so a
/// sequence cut by the line read is whole again.
struct CharacterStream
{
    Reader& reader;
    char text[kLineSize] = {};
    size_t length = 0;
    size_t position = 0;
    bool loaded = false;

    enum Result
    {
        kCharacter,
        kEnd,
        kInvalid
    };

    bool Load()
    {
        if (!reader.ReadLine())
            return false;
        std::memcpy(text, reader.line, kLineSize);
        length = std::strlen(text);
        position = 0;
        loaded = true;
        return true;
    }

    void Refill()
    {
        size_t rest = length - position;
        if (rest && text[length - 1] == '\n')
            --rest;
        std::memmove(text, text + position, rest);
        text[rest] = '\0';
        position = 0;
        length = rest;
        if (int32_t room = kLineSize - int32_t(rest); room > 1 && reader.files->gets(text + rest, room, reader.file))
        {
            length = std::strlen(text);
            if (length >= 2 && text[length - 2] == '\r' && text[length - 1] == '\n')
            {
                text[length - 2] = '\n';
                text[--length] = '\0';
            }
        }
    }

    Result Next(uint32_t* code)
    {
        while (!loaded || position >= length || text[position] == '\n')
            if (!Load())
                return kEnd;
        if (position > 127)
            Refill();
        size_t used = 0;
        if (!DecodeUtf8(reinterpret_cast<const uint8_t*>(text) + position, length - position, code, &used))
            return kInvalid;
        position += used;
        return kCharacter;
    }
};

bool SamePixel(const Image* image, int32_t x, int32_t y, const uint8_t* colour)
{
    return std::memcmp(image->pixels + size_t(y) * size_t(image->stride) + size_t(x) * 4, colour, 4) == 0;
}

bool ScanSection(Reader& reader, const Image* image, Texture* texture, int32_t section, int32_t baseline)
{
    Font2d* font = reader.font;
    int32_t width = image->width, height = image->height;
    uint8_t separator[4];
    std::memcpy(separator, image->pixels, 4);
    int32_t pitch = 0;
    for (int32_t row = 1; row < height && !pitch; ++row)
        if (SamePixel(image, 0, row, separator))
            pitch = row;
    // A cell is framed by a separator row and column and a border pixel: with a pitch of 3
    // or less no glyph has height.
    if (pitch <= 3)
        return false;
    float w = float(width), h = float(height);
    CharacterStream characters{reader};
    for (int32_t y = 0; y < height; y += pitch)
    {
        int32_t left = 0;
        for (int32_t x = 1; x < width; ++x)
        {
            if (!SamePixel(image, x, y, separator))
                continue;
            if (x - left == 1)
                break;
            uint32_t code = 0;
            CharacterStream::Result result = characters.Next(&code);
            if (result == CharacterStream::kInvalid)
                return false;
            if (result == CharacterStream::kEnd)
                return true; // the text ran out: the remaining cells have no characters
            Font2dGlyph* glyph = AddGlyph(font, code);
            if (!glyph)
                return false;
            glyph->texture = texture;
            glyph->textureIndex = uint8_t(section);
            glyph->uL = (float(left) + 2.5f) / w;
            glyph->vT = (float(y) + 2.5f) / h;
            glyph->uR = (float(x) - 0.5f) / w;
            glyph->vB = (float(y + pitch) - 0.5f) / h;
            glyph->width = float(x - left - 3) / float(pitch - 3);
            left = x;
        }
    }
    font->gap = 0;
    font->height = float(pitch - 3);
    font->baseline = float(baseline) / float(pitch - 3);
    return true;
}

bool ReadScannedMetrics(Reader& reader)
{
    Font2d* font = reader.font;
    font->kind = kFont2dBitmap;
    Image* image = nullptr;
    bool ok = true;
    for (int32_t section = 0; section < kMaxSections && ok; ++section)
    {
        char textureName[kLineSize], maskName[kLineSize];
        if (!reader.ReadLine())
            break;
        int32_t words = ScanNames(reader.line, textureName, maskName);
        if (words != 1 && words != 2)
            break;
        Texture* texture = ReadTexture(textureName, words == 2 ? maskName : nullptr);
        if (!texture)
        {
            ok = false;
            break;
        }
        if (font->textures[section])
            Texture::Destroy(font->textures[section]);
        font->textures[section] = texture;
        Raster* raster = texture->raster;
        if (image && (image->width != raster->width || image->height != raster->height))
        {
            Image::Destroy(image);
            image = nullptr;
        }
        if (!image)
        {
            image = Image::Create(raster->width, raster->height, 32);
            if (image && !Image::AllocatePixels(image))
            {
                Image::Destroy(image);
                image = nullptr;
            }
        }
        if (!image || !Image::SetFromRaster(image, raster) || image->width < 1 || image->height < 1)
        {
            ok = false;
            break;
        }
        int baseline = 0;
        if (reader.ReadLine() && std::sscanf(reader.line, "%d", &baseline) != 1)
            baseline = 0;
        ok = ScanSection(reader, image, texture, section, baseline);
    }
    if (image)
        Image::Destroy(image);
    return ok && Finish(font);
}

// ---- "METRICS3": outline glyphs -----------------------------------------------------------------------

bool Finite(const float* values, int32_t count)
{
    for (int32_t i = 0; i < count; ++i)
        if (!std::isfinite(values[i]))
            return false;
    return true;
}

bool ReadOutlineMetrics(Reader& reader)
{
    Font2d* font = reader.font;
    font->kind = kFont2dOutline;
    font->height = 1.0f;
    font->baseline = 0;
    font->gap = 0;
    font->render = Font2d::RenderOutlineString;
    if (!reader.ReadLine() || reader.line[0] == '\n' || reader.line[0] == '\0')
        return Finish(font); // no name: an outline font without glyphs

    uint32_t code = 0;
    Path2d* path = nullptr;
    float advance = 0;
    bool ok = true;
    while (ok && reader.ReadLine())
    {
        const char* line = reader.line;
        float v[6];
        if (code == 0)
        {
            size_t length = std::strlen(line);
            size_t used = 0;
            if (length > 1 && line[1] != '\n')
                ok = DecodeUtf8(reinterpret_cast<const uint8_t*>(line) + 1, length - 1, &code, &used);
        }
        else if (std::strcmp(line, "begin\n") == 0)
        {
            Path2d::Destroy(path);
            path = Path2d::Create();
            ok = path != nullptr;
        }
        else if (std::strcmp(line, "end\n") == 0)
        {
            Font2dGlyph* glyph = AddGlyph(font, code);
            if (!glyph)
            {
                ok = false;
                break;
            }
            glyph->outline = path ? Path2d::Unlock(Path2d::RemoveLoneMoves(path)) : nullptr;
            glyph->width = advance;
            path = nullptr;
            code = 0;
        }
        else if (!path)
            continue;
        else if (std::sscanf(line, "moveto %f %f", &v[0], &v[1]) == 2 && Finite(v, 2))
        {
            Path2d::MoveTo(path, v[0], v[1]);
            advance = v[0];
        }
        else if (std::sscanf(line, "lineto %f %f", &v[0], &v[1]) == 2 && Finite(v, 2))
        {
            Path2d::LineTo(path, v[0], v[1]);
            advance = v[0];
        }
        else if (std::sscanf(line, "curveto %f %f %f %f %f %f", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]) == 6 &&
                 Finite(v, 6))
        {
            Path2d::CurveTo(path, v[0], v[1], v[2], v[3], v[4], v[5]);
            advance = v[0];
        }
        else if (std::strcmp(line, "closepath\n") == 0)
            Path2d::ClosePath(path);
    }
    Path2d::Destroy(path);
    return ok && Finish(font);
}

bool OpenAlongPath(Reader& reader, const char* name)
{
    const char* path = font2d::Get().path;
    const char* start = path;
    for (const char* at = path;; ++at)
    {
        if (*at != ';' && *at != '\0')
            continue;
        reader.folder.assign(start, size_t(at - start));
        std::string candidate = reader.folder + name + ".met";
        reader.file = reader.files->open(candidate.c_str(), "r");
        if (reader.file || *at == '\0')
            return reader.file != nullptr;
        start = at + 1;
    }
}

} // namespace

Font2d* Font2d::ReadMetrics(const char* name)
{
    const FileFunctions* files = FileSystem::GetFunctions();
    if (!name || !files || !files->exists || !files->gets || !files->open || !files->close || !font2d::Get().path)
        return nullptr;
    Font2d* font = Create();
    if (!font)
        return nullptr;
    Reader reader{font, files, nullptr, {}, {}};
    bool ok = false;
    if (OpenAlongPath(reader, name))
    {
        TextureDictionary* previous = TextureDictionary::GetCurrent();
        TextureDictionary::SetCurrent(font2d::Get().dictionary);
        if (reader.ReadLine())
        {
            if (std::strcmp(reader.line, "METRICS1\n") == 0)
                ok = ReadBitmapMetrics(reader);
            else if (std::strcmp(reader.line, "METRICS2\n") == 0)
                ok = ReadScannedMetrics(reader);
            else if (std::strcmp(reader.line, "METRICS3\n") == 0)
                ok = ReadOutlineMetrics(reader);
        }
        TextureDictionary::SetCurrent(previous);
        files->close(reader.file);
    }
    ResetCodes();
    if (ok)
        return font;
    Destroy(font);
    return nullptr;
}
