// Textures and texture dictionaries: named, reference-counted bindings of a raster to a
// filter and addressing word, the dictionaries texture reads look in and loaded textures
// go to, the loader that makes textures from image files (with their mip levels), and the
// texture's stream form as materials store it (names, not pixels).
#pragma once

#include "linklist.h"
#include "plugin.h"

#include <cstddef>
#include <cstdint>

struct Image;
struct Raster;
struct Stream;
struct TextureDictionary;

/// Names kept in a texture: at most 31 characters and the terminator.
constexpr int32_t kTextureNameSize = 32;
/// File names the loader composes: at most 255 characters of the caller's name, with room
/// behind them for a registered extension (at most 19 characters) and a level suffix.
constexpr int32_t kTextureFileNameLength = 255;
constexpr int32_t kTextureFileNameSize = 280;

// Filter/address word: bits 0-7 filter mode, bits 8-11 address U, bits 12-15 address V.
constexpr uint32_t kTextureFilterMask = 0xFF;
constexpr uint32_t kTextureAddressUShift = 8;
constexpr uint32_t kTextureAddressVShift = 12;
/// Filter mode 1 (nearest), wrapped addressing in U and V.
constexpr uint32_t kTextureDefaultFilterAddressing = 0x1101;

struct Texture;

/// Called for each texture of a dictionary; null stops the walk.
using TextureCallback = Texture* (*)(Texture* texture, void* data);
/// The module's find step: a texture of the name (no reference taken), or null.
using TextureFindFunction = Texture* (*)(const char* name);
/// The module's load step: a new texture (reference count 1, no dictionary), or null.
using TextureReadFunction = Texture* (*)(const char* name, const char* maskName);

struct Texture
{
    Raster* raster;                ///< destroyed with the texture
    TextureDictionary* dictionary; ///< the dictionary holding it, or null
    ListLink dictionaryLink;       ///< in the dictionary's texture list
    char name[kTextureNameSize];
    char maskName[kTextureNameSize];
    uint32_t filterAddressing; ///< see kTextureDefaultFilterAddressing
    int32_t refCount;          ///< others add 1 to take a reference; Destroy gives one back
    // Plug-in data follows.

    static Texture* FromLink(ListLink* link)
    {
        return reinterpret_cast<Texture*>(reinterpret_cast<char*>(link) - offsetof(Texture, dictionaryLink));
    }

    // ---- Objects from the texture free list --------------------------------------------------

    /// Word 0x1101, no dictionary, empty names, count 1; null when no entry can be had or a
    /// plug-in constructor fails (the raster stays the caller's then).
    static Texture* Create(Raster* raster);
    /// Releases one reference; the last one takes the texture out of its dictionary and
    /// destroys its raster. 1.
    static int32_t Destroy(Texture* texture);
    /// Names of 32 characters or more keep their first 31 and report 0x8000001E.
    static Texture* SetName(Texture* texture, const char* name);
    static Texture* SetMaskName(Texture* texture, const char* maskName);
    /// With a raster the device binds it (the texture, or null when it refuses); null only
    /// clears the field (the old raster stays the caller's).
    static Texture* SetRaster(Texture* texture, Raster* raster);

    // ---- Finding and loading ------------------------------------------------------------------------

    /// The texture of the name from the dictionaries, with a new reference, or else a new
    /// one loaded from the image files (moved into the current dictionary when there is
    /// one). Null and core code 22 when neither finds it. The mask plays no part in finding.
    static Texture* Read(const char* name, const char* maskName);
    /// In the current dictionary, or without one in every dictionary, newest first.
    static Texture* DefaultFind(const char* name);
    /// Loads the image (and mask) file found along the image path into a raster of the size
    /// and format the device chooses; with the module's mipmapping flag also the levels,
    /// from the files name + "m" + the level's hex digit, or by the device's generation.
    /// A new texture (count 1, no dictionary), or null with everything made destroyed.
    static Texture* DefaultRead(const char* name, const char* maskName);
    /// The image of name (and mask) fitted to a raster: width and height 0 ask the device
    /// (flags: the raster creation wishes), which also fills depth and format; non-zero
    /// ones are the size wanted. 4- and 8-bit files come back palettised. Names past 257
    /// characters (255 and a level suffix) are cut and report 0x8000001E. Null on failure
    /// (0x80000009 when the device has no format for it).
    static Image* ReadImageForRaster(const char* name, const char* maskName, uint32_t rasterFlags, int32_t* width,
                                     int32_t* height, int32_t* depth, uint32_t* format);
    /// Levels 1-15 append "m" and the level's lower-case hex digit to the name, and to the
    /// mask when it is not empty; level 0 and levels from 16 change nothing. Both buffers
    /// hold kTextureFileNameSize bytes; a suffix that would not fit is not appended and
    /// reports 0x8000001E. 1.
    static int32_t MipLevelName(char* name, char* maskName, int32_t level, uint32_t rasterFlags);
    /// Rebuilds levels 1 and below of a raster with mipmaps from level 0 (image: level 0
    /// as the caller has it, or null to read it from the raster). Non-zero on success.
    static int32_t GenerateMipLevels(Raster* raster, Image* image);
    /// The device's entry to GenerateMipLevels: 1 or 0.
    static int32_t CallMipGenerator(Raster* raster, void* image);

    // ---- The module's mipmapping flags (the loader reads them at each load) ---------------

    static int32_t SetMipmapping(int32_t enable);
    static int32_t GetMipmapping();
    static int32_t SetAutoMipmapping(int32_t enable);
    static int32_t GetAutoMipmapping();

    // ---- Stream form (chunk 6): the word, the two names and the plug-in data -------------------

    /// Body size of the texture's chunk.
    static int32_t StreamGetSize(const Texture* texture);
    /// The texture, or null when a write fails.
    static const Texture* StreamWrite(const Texture* texture, Stream* stream);
    /// The stream stands inside a texture chunk. The named texture (found or loaded) with a
    /// reference for the caller, or null (its extension chunk skipped).
    static Texture* StreamRead(Stream* stream);

    // ---- Plug-ins (before Engine::Open) ------------------------------------------------------------

    static int32_t RegisterPlugin(int32_t size, int32_t pluginId, PluginConstructor constructor,
                                  PluginDestructor destructor, PluginCopy copy);
    static int32_t RegisterPluginStream(int32_t pluginId, PluginStreamRead read, PluginStreamWrite write,
                                        PluginStreamSize size);
    static int32_t GetPluginOffset(int32_t pluginId);
    static PluginRegistry* Registry();

    // ---- The texture module (engine-level module 0x408) -------------------------------------------

    static constexpr int32_t kPluginId = 0x408;
    static const int32_t kModuleBlockSize;
    /// Also makes one dictionary and makes it current.
    static void* OpenModule(void* engine, int32_t offset, int32_t size);
    /// Destroys that dictionary (with its textures) when it still exists.
    static void* CloseModule(void* engine, int32_t offset, int32_t size);
};

struct TextureDictionary
{
    uint8_t type; ///< 6
    uint8_t subType;
    uint8_t flags;
    uint8_t privateFlags;
    ListLink textures; ///< newest first
    ListLink link;     ///< in the module's list of dictionaries, newest first
    // Plug-in data follows.

    static constexpr uint8_t kObjectType = 6;

    /// A new, empty dictionary, or null.
    static TextureDictionary* Create();
    /// No longer current if it was; every texture leaves it and loses one reference (a
    /// texture still referenced elsewhere lives on without a dictionary). 1.
    static int32_t Destroy(TextureDictionary* dictionary);
    /// Takes the texture out of its old dictionary and puts it at the head of this one.
    static void AddTexture(TextureDictionary* dictionary, Texture* texture);
    /// The newest texture of the name (a-z fold to upper case), or null.
    static Texture* FindTexture(TextureDictionary* dictionary, const char* name);
    /// Newest first until the callback answers null; the next texture is fetched first, so
    /// the callback may release or move the one it gets. The dictionary.
    static TextureDictionary* ForAllTextures(TextureDictionary* dictionary, TextureCallback callback, void* data);
    static void SetCurrent(TextureDictionary* dictionary);
    static TextureDictionary* GetCurrent();
    /// FindTexture in the current dictionary (no reference taken); null when there is no
    /// current dictionary, no name or no such texture.
    static Texture* FindInCurrent(const char* name);

    static int32_t RegisterPlugin(int32_t size, int32_t pluginId, PluginConstructor constructor,
                                  PluginDestructor destructor, PluginCopy copy);
    static PluginRegistry* Registry();
};
