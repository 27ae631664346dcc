// The texture manager: textures by resource id and the per-resource dictionaries.
#include "wtexturemanager.h"

#include "hbexitlist.h"
#include "hbfile.h"
#include "hbresource.h"
#include "hbvariable.h"
#include "image.h"
#include "pngimage.h"
#include "texture.h"

#include <vector>

HB_DEFINE_CLASS_POOL(WTextureManager::WDictionary, "WTextureManager::WDictionary", WTextureManager::WDictionary::kPoolSize);

namespace
{
WTextureManager* gManager = nullptr;
bool gManagerMade = false;
std::string gTextureFolder = "textures\\";
std::string gImagePath;

constexpr uint32_t kFilterLinear = 2;

struct WalkData
{
    WTextureManager::TextureFunction function;
    void* data;
};

Texture* CallFunction(Texture* texture, void* data)
{
    auto* walk = static_cast<WalkData*>(data);
    return walk->function(texture, walk->data);
}

bool IsEmpty(TextureDictionary* dictionary)
{
    return ListLink::IsEmpty(&dictionary->textures);
}
} // namespace

void DestroyTextureManager()
{
    delete gManager;
    gManager = nullptr;
}

WTextureManager::WTextureManager()
{
    int32_t win32 = 0;
    gTextureFolder = HbGetBoolVariable("USE_WIN32_TEXTURES", win32) && win32 ? "textures_win32\\" : "textures\\";
}

WTextureManager::~WTextureManager()
{
    DestroyDictionaries();
}

WTextureManager* WTextureManager::Instance()
{
    if (!gManagerMade)
    {
        gManager = new WTextureManager();
        if (gManager)
        {
            gManagerMade = true;
            HbExitList::Add(DestroyTextureManager);
        }
    }
    return gManager;
}

int32_t WTextureManager::Init()
{
    if (!Image::RegisterFileFormat("png", Png::ReadImage, Png::WriteImage))
        return 0;
    if (!mDefaultDictionary)
        mDefaultDictionary = TextureDictionary::Create();
    return mDefaultDictionary ? 1 : 0;
}

const char* WTextureManager::GetTextureFolder()
{
    return gTextureFolder.c_str();
}

const char* WTextureManager::GetImagePath(const char* name)
{
    HbResourceManager* resources = HbResourceManager::Instance();
    const char* path = resources && name ? resources->GetPath(name) : "";
    HbPathGetDirectory(path, gImagePath);
    gImagePath += gTextureFolder;
    return gImagePath.c_str();
}

Texture* WTextureManager::GetTexture(const char* id)
{
    if (!id || !*id || !mDefaultDictionary)
        return nullptr;
    if (Texture* found = TextureDictionary::FindTexture(mDefaultDictionary, id))
    {
        ++found->refCount;
        return found;
    }
    // The path is asked by id: ids without a type key ("FE_MAIN_WHITE") work as well.
    HbResourceManager* resources = HbResourceManager::Instance();
    const std::string path = resources ? resources->GetPath(id) : "";
    if (path.empty())
        return nullptr;
    std::string directory, file;
    HbPathGetDirectory(path.c_str(), directory);
    HbPathGetFileName(path.c_str(), file);
    // The extension goes from the last '.', however long the name is.
    const size_t dot = file.rfind('.');
    if (dot != std::string::npos)
        file.erase(dot);
    if (file.empty())
        return nullptr;

    const char* previous = Image::GetPath();
    const std::string saved = previous ? previous : "";
    Image::SetPath(directory.c_str());
    Texture* texture = Texture::Read(file.c_str(), nullptr);
    Image::SetPath(saved.c_str());
    if (!texture)
        return nullptr;
    texture->filterAddressing = (texture->filterAddressing & ~kTextureFilterMask) | kFilterLinear;
    Texture::SetName(texture, id);
    TextureDictionary::AddTexture(mDefaultDictionary, texture);
    return texture;
}

WTextureManager::WDictionary* WTextureManager::FindDictionary(const char* name) const
{
    return name ? static_cast<WDictionary*>(mDictionaries.Lookup(name)) : nullptr;
}

void WTextureManager::BeginDictionary(const char* name, int32_t shared)
{
    if (!name)
        return;
    PurgeDictionaries();
    // A top-level load always gets a dictionary of its own.
    if (mCurrentName.empty())
        shared = 0;
    WDictionary* record = FindDictionary(name);
    if (record && record->open)
    {
        // Opened again inside its own load (a world's animated-texture body): it stays open
        // and keeps its parent; this opening's close brings back what is current now.
        record->reopenedFrom.push_back(mCurrentName);
        if (record->dictionary)
            TextureDictionary::SetCurrent(record->dictionary);
        Image::SetPath(GetImagePath(name));
        mCurrentName = name;
        return;
    }
    if (record)
    {
        record->reopened = 1;
        record->shared = shared;
    }
    else
    {
        record = new WDictionary();
        if (!record)
            return;
        if (shared)
            record->shared = 1;
        else
        {
            record->dictionary = TextureDictionary::Create();
            if (!record->dictionary)
            {
                delete record;
                return;
            }
            record->fresh = 1;
        }
        void** slot = mDictionaries.FindOrInsert(name);
        if (!slot)
        {
            if (record->dictionary)
                TextureDictionary::Destroy(record->dictionary);
            delete record;
            return;
        }
        *slot = record;
    }
    MakeCurrent(name, record);
}

void WTextureManager::MakeCurrent(const char* name, WDictionary* record)
{
    if (record->dictionary)
        TextureDictionary::SetCurrent(record->dictionary);
    Image::SetPath(GetImagePath(name));
    record->parentName = mCurrentName;
    mCurrentName = name;
    record->open = 1;
}

void WTextureManager::RestorePrevious(WDictionary* record)
{
    record->open = 0;
    RestoreTo(record->parentName);
}

void WTextureManager::RestoreTo(const std::string& parent)
{
    WDictionary* around = FindDictionary(parent.c_str());
    if (parent.empty() || !around)
    {
        TextureDictionary::SetCurrent(nullptr);
        Image::SetPath(".\\");
        mCurrentName.clear();
        return;
    }
    // Shared records have no dictionary: the nearest enclosing one that does becomes current.
    for (WDictionary* r = around; r;)
    {
        if (r->dictionary)
        {
            TextureDictionary::SetCurrent(r->dictionary);
            break;
        }
        if (!r->shared)
            break;
        r = FindDictionary(r->parentName.c_str());
    }
    Image::SetPath(GetImagePath(parent.c_str()));
    mCurrentName = parent;
}

void WTextureManager::EndDictionary(const char* name)
{
    WDictionary* record = FindDictionary(name);
    if (!record || !record->open)
        return;
    if (!record->reopenedFrom.empty())
    {
        const std::string previous = record->reopenedFrom.back();
        record->reopenedFrom.pop_back();
        RestoreTo(previous);
        return;
    }
    RestorePrevious(record);
    if (record->shared)
    {
        if (record->dictionary && IsEmpty(record->dictionary))
        {
            TextureDictionary::Destroy(record->dictionary);
            record->dictionary = nullptr;
        }
        // A dictionary with textures outlives its record: its textures' users release them.
        DiscardDictionary(name);
        return;
    }
    if (record->dictionary && IsEmpty(record->dictionary))
    {
        TextureDictionary::Destroy(record->dictionary);
        DiscardDictionary(name);
    }
    else
        record->fresh = 0;
    PurgeDictionaries();
}

void WTextureManager::DiscardDictionary(const char* name)
{
    const std::string key = name;
    delete FindDictionary(key.c_str());
    mDictionaries.Remove(key);
}

void WTextureManager::PurgeDictionaries()
{
    std::vector<std::string> empty;
    HbPosition position = mDictionaries.GetStartPosition();
    std::string key;
    void* value = nullptr;
    while (position && mDictionaries.GetNextAssoc(position, key, value))
    {
        auto* record = static_cast<WDictionary*>(value);
        if (!record->open && record->dictionary && IsEmpty(record->dictionary))
            empty.push_back(key);
    }
    for (const std::string& name : empty)
    {
        TextureDictionary::Destroy(FindDictionary(name.c_str())->dictionary);
        DiscardDictionary(name.c_str());
    }
}

void WTextureManager::ForAllTextures(TextureFunction function, void* data)
{
    PurgeDictionaries();
    WalkData walk = {function, data};
    HbPosition position = mDictionaries.GetStartPosition();
    std::string key;
    void* value = nullptr;
    while (position && mDictionaries.GetNextAssoc(position, key, value))
        if (auto* record = static_cast<WDictionary*>(value); record->dictionary)
            TextureDictionary::ForAllTextures(record->dictionary, CallFunction, &walk);
    if (mDefaultDictionary)
        TextureDictionary::ForAllTextures(mDefaultDictionary, CallFunction, &walk);
}

void WTextureManager::DestroyDictionaries()
{
    HbPosition position = mDictionaries.GetStartPosition();
    std::string key;
    void* value = nullptr;
    while (position && mDictionaries.GetNextAssoc(position, key, value))
    {
        auto* record = static_cast<WDictionary*>(value);
        if (record->dictionary)
            TextureDictionary::Destroy(record->dictionary);
        delete record;
    }
    mDictionaries.RemoveAll();
    mCurrentName.clear();
    // The engine reclaims only the dictionary it made itself when it stops, so the default
    // dictionary goes here too (with its textures and their rasters) and Init makes a new one.
    if (mDefaultDictionary)
        TextureDictionary::Destroy(mDefaultDictionary);
    mDefaultDictionary = nullptr;
}
