// WTextureManager: where textures are looked for and which engine dictionary receives them.
// Textures named by resource id (GetTexture) live in the default dictionary; every loader
// that reads engine data brackets its load with BeginDictionary and EndDictionary, so its
// textures land in one dictionary per resource and are read from a textures\ folder beside
// the resource's file. It also registers the engine's image file format "png".
#pragma once

#include "hbhashmap.h"
#include "hbmemory.h"
#include "hbperclassfreelist.h"

#include <cstdint>
#include <string>
#include <vector>

struct Texture;
struct TextureDictionary;

class WTextureManager : public HbAllocated
{
public:
    /// A texture callback: the texture to go on, or null to stop walking its dictionary.
    using TextureFunction = Texture* (*)(Texture* texture, void* data);

    /// The record of one resource that opened a dictionary and has not been discarded.
    struct WDictionary
    {
        HB_DECLARE_CLASS_POOL();
        static constexpr int32_t kPoolSize = 10;

        TextureDictionary* dictionary = nullptr; ///< null for a shared record
        std::string parentName;                  ///< the name current when it opened, restored at its close
        int32_t reopened = 0;
        int32_t fresh = 0; ///< its dictionary was made by this opening; cleared at the first close
        int32_t open = 0;
        int32_t shared = 0; ///< no dictionary of its own: textures go to the one current at its opening
        /// The names current when it was opened again while open, restored as those openings close.
        std::vector<std::string> reopenedFrom;
    };

    /// The manager, made on first use and destroyed by the exit list; null when out of memory.
    static WTextureManager* Instance();

    /// At renderer start: registers the "png" image format and creates the default
    /// dictionary. 1, or 0 when either fails.
    int32_t Init();
    /// The texture of a resource id with one new reference for the caller (release it with
    /// Texture::Destroy): found in the default dictionary, or read from the file registered
    /// for the id (its name up to the last '.') and kept there under the id. Null for an
    /// empty id, an id without a file, or a file that cannot be read.
    Texture* GetTexture(const char* id);
    /// Opens the dictionary of a resource around its load (shared: use the dictionary current
    /// around it; a top-level load always gets its own). Makes it current and sets the
    /// engine's image path to the resource's texture folder.
    void BeginDictionary(const char* name, int32_t shared);
    /// Closes it: the dictionary and image path around it become current again; an empty
    /// dictionary is destroyed. A name that is not open is ignored.
    void EndDictionary(const char* name);
    /// Destroys closed, empty dictionaries and forgets their records.
    void PurgeDictionaries();
    /// function(texture, data) for every texture of every dictionary, the default one last.
    void ForAllTextures(TextureFunction function, void* data);
    /// At renderer stop: destroys every dictionary, the default one included.
    void DestroyDictionaries();

    TextureDictionary* GetDefaultDictionary() const { return mDefaultDictionary; }
    /// The resource whose dictionary was opened last and is still open; empty at top level.
    const std::string& GetCurrentName() const { return mCurrentName; }
    /// The record of a resource, or null.
    WDictionary* FindDictionary(const char* name) const;
    int32_t GetDictionaryCount() const { return mDictionaries.GetCount(); }

    /// The directory of the resource's registered file followed by the texture folder
    /// (levels\w1\w1l1.wl -> levels\w1\textures\; a file without a directory -> .\textures\).
    /// One buffer, overwritten by the next call.
    static const char* GetImagePath(const char* name);
    /// "textures\", or "textures_win32\" when the variable USE_WIN32_TEXTURES was true when
    /// the manager was made.
    static const char* GetTextureFolder();

private:
    WTextureManager();
    ~WTextureManager();
    friend void DestroyTextureManager();

    void MakeCurrent(const char* name, WDictionary* record);
    void RestorePrevious(WDictionary* record);
    /// The dictionary and image path of that resource (none: top level) current again.
    void RestoreTo(const std::string& parent);
    void DiscardDictionary(const char* name);

    TextureDictionary* mDefaultDictionary = nullptr;
    StringHashMap mDictionaries{17, 10};
    std::string mCurrentName;
};
