// The font cache.
#include "wfontmanager.h"

#include "hbexitlist.h"
#include "hbresource.h"

#include "font2d.h"
#include "texture.h"

#include <string>

namespace
{
WFontManager* gManager = nullptr;
bool gManagerMade = false;

void DestroyManager()
{
    if (gManager && gManager->IsOpen())
        gManager->Close();
    delete gManager;
    gManager = nullptr;
}

Texture* SetLinear(Texture* texture, void*)
{
    texture->filterAddressing = (texture->filterAddressing & ~kTextureFilterMask) | 2u;
    return texture;
}
} // namespace

WFontManager* WFontManager::Instance()
{
    if (!gManagerMade)
    {
        gManager = new WFontManager();
        if (gManager)
        {
            gManagerMade = true;
            HbExitList::Add(DestroyManager);
        }
    }
    return gManager;
}

int32_t WFontManager::Open()
{
    mOpen = 1;
    return 1;
}

int32_t WFontManager::Close()
{
    HbPosition position = mFonts.GetStartPosition();
    std::string key;
    void* value = nullptr;
    while (position && mFonts.GetNextAssoc(position, key, value))
        Font2d::Destroy(static_cast<Font2d*>(value));
    mFonts.RemoveAll();
    mOpen = 0;
    return 1;
}

Font2d* WFontManager::GetFont(const char* id)
{
    if (!id || !*id)
        return nullptr;
    if (void* cached = mFonts.Lookup(id))
        return static_cast<Font2d*>(cached);
    return Load(id);
}

Font2d* WFontManager::Load(const char* id)
{
    HbResourceManager* resources = HbResourceManager::Instance();
    std::string path = resources ? resources->GetPath(id) : "";
    if (path.empty())
        return nullptr;
    size_t separator = path.rfind('\\');
    if (separator == std::string::npos)
        separator = path.rfind('/');
    if (separator == std::string::npos)
        return nullptr;
    std::string folder = path.substr(0, separator + 1);
    std::string name = path.substr(separator + 1);
    size_t dot = name.rfind('.');
    if (dot != std::string::npos)
        name.resize(dot);
    if (!Font2d::SetPath(folder.c_str()))
        return nullptr;
    Font2d* font = Font2d::Read(name.c_str());
    if (!font)
        return nullptr;
    void** slot = mFonts.FindOrInsert(id);
    if (!slot)
    {
        Font2d::Destroy(font);
        return nullptr;
    }
    *slot = font;
    if (TextureDictionary* dictionary = Font2d::GetTextureDictionary())
        TextureDictionary::ForAllTextures(dictionary, SetLinear, nullptr);
    // The game's strings are bytes: a font holding 16-bit codes is read with 8-bit ones.
    if (font->flags & kFont2dUnicode)
        font->flags = 1;
    return font;
}
