// UV-animation loading and the registry of animated materials.
#include "wuvanimregistry.h"

#include "clump.h"
#include "dictionary.h"
#include "geometry.h"
#include "hbdatamanager.h"
#include "hbgrowarray.h"
#include "hbresource.h"
#include "hbstream.h"
#include "material.h"
#include "stream.h"
#include "uvanim.h"
#include "world.h"

namespace
{
// The UV-animation plug-in's dictionaries and material animation.
UVAnimDictionaryOps PluginOps()
{
    UVAnimDictionaryOps ops;
    ops.streamRead = [](Stream* stream, uint32_t size) -> void* { return UVAnim::ReadDictionary(stream, size); };
    ops.setCurrent = [](void* dictionary) { UVAnim::SetCurrentDictionary(static_cast<Dictionary*>(dictionary)); };
    ops.destroy = [](void* dictionary) { Dictionary::Destroy(static_cast<Dictionary*>(dictionary)); };
    ops.hasUVAnim = [](Material* material) { return UVAnimMaterial::HasUVAnim(material); };
    ops.addTime = [](Material* material, float seconds) { UVAnimMaterial::AddUVAnimTime(material, seconds); };
    ops.update = [](Material* material) { UVAnimMaterial::UpdateUVAnim(material); };
    return ops;
}

HbPtrArray* gAnimatedMaterials = nullptr;
HbPtrArray gDictionaries;
void* gPending = nullptr;
UVAnimDictionaryOps gOps = PluginOps();

int32_t HasUVAnim(Material* material)
{
    if (!material)
        return 0;
    return gOps.hasUVAnim ? gOps.hasUVAnim(material) : UVAnimMaterial::HasUVAnim(material);
}

void SetCurrent(void* dictionary)
{
    if (gOps.setCurrent)
        gOps.setCurrent(dictionary);
}

Material* RegisterMaterial(Material* material, void*)
{
    if (!gAnimatedMaterials || !material || !HasUVAnim(material))
        return material;
    for (int32_t i = 0; i < gAnimatedMaterials->GetCount(); ++i)
        if ((*gAnimatedMaterials)[i] == material)
            return material;
    // The registry outlives the world or object that made the material.
    if (gAnimatedMaterials->Add(material) >= 0)
        Material::AddRef(material);
    return material;
}

Atomic* RegisterAtomic(Atomic* atomic, void*)
{
    if (atomic->geometry)
        Geometry::ForAllMaterials(atomic->geometry, RegisterMaterial, nullptr);
    return atomic;
}

Clump* RegisterClump(Clump* clump, void*)
{
    Clump::ForAllAtomics(clump, RegisterAtomic, nullptr);
    return clump;
}

void FinishPending()
{
    SetCurrent(nullptr);
    gPending = nullptr;
}
} // namespace

std::string ReplaceExtension(const std::string& path, const char* ext)
{
    const size_t dot = path.find_last_of('.');
    const size_t separator = path.find_last_of("\\/");
    if (dot == std::string::npos || (separator != std::string::npos && dot < separator))
        return path + ext;
    return path.substr(0, dot) + ext;
}

void UVAnimSetDictionaryOps(const UVAnimDictionaryOps* ops)
{
    gOps = ops ? *ops : PluginOps();
}

void UVAnimRegistryInit()
{
    if (!gAnimatedMaterials)
        gAnimatedMaterials = new HbPtrArray();
    else
        gAnimatedMaterials->SetSize(0);
    gDictionaries.SetSize(0);
    gPending = nullptr;
}

void UVAnimRegistryShutdown()
{
    UVAnimClearAll();
    delete gAnimatedMaterials;
    gAnimatedMaterials = nullptr;
}

bool UVAnimRegistryIsOpen()
{
    return gAnimatedMaterials != nullptr;
}

int32_t UVAnimRegistryCount()
{
    return gAnimatedMaterials ? gAnimatedMaterials->GetCount() : 0;
}

Material* UVAnimRegistryMaterial(int32_t index)
{
    if (!gAnimatedMaterials || index < 0 || index >= gAnimatedMaterials->GetCount())
        return nullptr;
    return static_cast<Material*>((*gAnimatedMaterials)[index]);
}

int32_t UVAnimDictionaryCount()
{
    return gDictionaries.GetCount();
}

void* UVAnimPendingDictionary()
{
    return gPending;
}

HbResourceStream* OpenGatedSideFile(const char* id, const char* gate, const char* lower, const char* upper)
{
    TDataManagerContainer* root = HbDataManager::Root();
    TDataManagerContainer* container = root && id ? root->FindContainer(id) : nullptr;
    bool load = false;
    if (!container || !container->GetBoolean(gate, load) || !load)
        return nullptr;
    HbResourceManager* manager = HbResourceManager::Instance();
    const std::string path = manager ? manager->GetPath(id) : "";
    if (path.empty())
        return nullptr;
    auto* stream = new HbResourceStream();
    if (!stream)
        return nullptr;
    if (!stream->Open(ReplaceExtension(path, lower).c_str(), "rb") &&
        !stream->Open(ReplaceExtension(path, upper).c_str(), "rb"))
    {
        delete stream;
        return nullptr;
    }
    return stream;
}

int32_t LoadUVAnimations(const char* id)
{
    HbResourceStream* stream = OpenGatedSideFile(id, "LOAD_UVA", ".uva", ".UVA");
    if (!stream)
        return 0;
    Stream* engine = stream->GetEngineStream();
    uint32_t size = 0;
    if (engine && Stream::FindChunk(engine, kUVAnimDictionaryChunk, &size, nullptr))
    {
        void* dictionary = gOps.streamRead ? gOps.streamRead(engine, size) : nullptr;
        if (dictionary)
        {
            if (gDictionaries.Add(dictionary) < 0)
            {
                if (gOps.destroy)
                    gOps.destroy(dictionary);
                dictionary = nullptr;
            }
            else
                gPending = dictionary;
        }
        SetCurrent(dictionary);
    }
    stream->CloseFile();
    delete stream;
    return 1;
}

void UVAnimAttachToClump(Clump* clump)
{
    if (!gPending)
        return;
    if (clump)
        RegisterClump(clump, nullptr);
    FinishPending();
}

void UVAnimAttachToWorld(World* world)
{
    if (!gPending)
        return;
    if (world)
    {
        World::ForAllMaterials(world, RegisterMaterial, nullptr);
        World::ForAllClumps(world, RegisterClump, nullptr);
    }
    FinishPending();
}

void UVAnimAbandonPending()
{
    if (gPending)
        FinishPending();
}

void UVAnimUpdate(float dt)
{
    if (!(dt > 0.0f) || !gAnimatedMaterials)
        return;
    for (int32_t i = 0; i < gAnimatedMaterials->GetCount(); ++i)
    {
        auto* material = static_cast<Material*>((*gAnimatedMaterials)[i]);
        if (gOps.addTime)
            gOps.addTime(material, dt);
        if (gOps.update)
            gOps.update(material);
    }
}

void UVAnimClearAll()
{
    // The materials go before the dictionaries their animations came from.
    if (gAnimatedMaterials)
    {
        for (int32_t i = 0; i < gAnimatedMaterials->GetCount(); ++i)
            Material::Destroy(static_cast<Material*>((*gAnimatedMaterials)[i]));
        gAnimatedMaterials->SetSize(0);
    }
    for (int32_t i = 0; i < gDictionaries.GetCount(); ++i)
        if (gOps.destroy && gDictionaries[i])
            gOps.destroy(gDictionaries[i]);
    gDictionaries.SetSize(0);
    FinishPending();
}
