// Resource groups and layers.
#include "resourcegroups.h"

#include "hbcommand.h"
#include "hbfile.h"
#include "hbpack.h"
#include "hbresource.h"
#include "scriptinterpreter.h"
#include "tsfmod.h"
#include "tsscriptcall.h"
#include "wfontmanager.h"
#include "wtexturemanager.h"

#include <Python.h>

#include <cstring>
#include <vector>

HB_DEFINE_CLASS_POOL(ResourceRecord, "PreloadData", ResourceRecord::kPoolSize);

namespace
{
struct Layer
{
    int32_t id = 0;
    int32_t limit = 0;
    HbPtrList groups{10};
};

Layer sLayers[kResourceLayerCount];
ResourceGroup* sLoading = nullptr;
ResourceGroupObserver sObserver = nullptr;
ResourceGroupFailureHandler sFailureHandler = nullptr;
// What went wrong while the current group loaded, and whether the last pack found opened.
std::vector<std::string>* sLoadFailures = nullptr;
bool sLastPackOpened = false;

// Empties a list without touching what its values point at.
void Forget(HbPtrList& list)
{
    while (!list.IsEmpty())
        list.PopFront();
}

std::string Part(const char* sectorId, size_t begin, size_t end)
{
    if (!sectorId)
        return {};
    const size_t length = std::strlen(sectorId);
    return length > end - 1 ? std::string(sectorId + begin, end - begin) : std::string();
}

WTextureManager* StartedTextures()
{
    WTextureManager* textures = WTextureManager::Instance();
    return textures && textures->GetDefaultDictionary() ? textures : nullptr;
}

// The module a script path names: separators become dots and the extension goes. The whole
// path is used, however long.
std::string ModuleName(const char* path)
{
    std::string name = path;
    for (char& c : name)
        if (c == '\\' || c == '/')
            c = '.';
    if (const size_t dot = name.rfind('.'); dot != std::string::npos)
        name.erase(dot);
    return name;
}

// The module of the name, taken from the interpreter's table or imported; one new
// reference, or null with the error printed.
PyObject* ImportModule(const std::string& name)
{
    if (name.empty())
        return nullptr;
    if (PyObject* module = PyDict_GetItemString(PyImport_GetModuleDict(), name.c_str()))
    {
        Py_INCREF(module);
        return module;
    }
    // Under the script host's time limit: a module whose top-level code never ends cannot hold
    // the load.
    PyObject* module = TsRunScriptGuarded(
        [](void* data) { return PyImport_ImportModule(static_cast<const std::string*>(data)->c_str()); },
        const_cast<std::string*>(&name));
    if (!module)
        ScriptInterpreter::PrintAndClearError();
    return module;
}

void ReleaseRecord(ResourceRecord* record)
{
    if (record->object)
    {
        record->object->Release();
        record->object = nullptr;
    }
    if (record->module)
    {
        if (ScriptInterpreter::IsStarted())
        {
            PyObject* modules = PyImport_GetModuleDict();
            if (PyDict_GetItemString(modules, record->moduleName.c_str()))
                PyDict_DelItemString(modules, record->moduleName.c_str());
            Py_DECREF(record->module);
        }
        record->module = nullptr;
    }
    record->font = nullptr;
    if (HbResourceManager* resources = HbResourceManager::Instance())
        resources->RemovePath(record->id.c_str());
    record->Release();
}

void UnloadGroup(Layer& layer, HbPtrListNode* node)
{
    auto* group = static_cast<ResourceGroup*>(node->value);
    if (sObserver)
        sObserver("unload", group->name.c_str(), layer.id);
    while (!group->resources.IsEmpty())
        ReleaseRecord(static_cast<ResourceRecord*>(group->resources.PopFront()));
    if (group->packMounted)
        if (HbPackSet* packs = HbPackSet::Instance())
            packs->Unmount(ResourceGroupPakName(group->name.c_str()).c_str());
    layer.groups.RemoveAt(node);
    delete group;
}
} // namespace

int32_t ResourceGroupResetLayers()
{
    static constexpr int32_t kLimits[kResourceLayerCount] = {9999, 1, 1};
    for (int32_t i = 0; i < kResourceLayerCount; ++i)
    {
        sLayers[i].id = i;
        sLayers[i].limit = kLimits[i];
        Forget(sLayers[i].groups);
    }
    sLoading = nullptr;
    return 0;
}

ResourceGroup* ResourceGroupFind(const char* name)
{
    if (!name)
        return nullptr;
    for (Layer& layer : sLayers)
        for (HbPtrListNode* node = layer.groups.GetHead(); node; node = node->next)
            if (static_cast<ResourceGroup*>(node->value)->name == name)
                return static_cast<ResourceGroup*>(node->value);
    return nullptr;
}

int32_t ResourceGroupLoad(const char* name, int32_t layerIndex)
{
    if (!name || !*name || layerIndex < 0 || layerIndex >= kResourceLayerCount)
        return kResourceGroupUnknown;
    Layer& layer = sLayers[layerIndex];
    if (layer.limit == 1 && layer.groups.GetCount() == 1 &&
        static_cast<ResourceGroup*>(layer.groups.GetHead()->value)->name != name)
        UnloadGroup(layer, layer.groups.GetHead());
    if (ResourceGroupFind(name))
        return kResourceGroupAlreadyLoaded;
    TsFModStopAllChannels();

    auto* group = new ResourceGroup();
    if (!group)
        return kResourceGroupUnknown;
    group->name = name;
    if (!layer.groups.AddTail(group))
    {
        delete group;
        return kResourceGroupUnknown;
    }
    ResourceGroup* outer = sLoading;
    sLoading = group;
    std::vector<std::string>* outerFailures = sLoadFailures;
    std::vector<std::string> failures;
    sLoadFailures = &failures;
    HbTakeScriptFailures(); // what earlier scripts left is not this group's
    group->packMounted = ResourceGroupMountPak(name) == 0 ? 1 : 0;
    if (group->packMounted && !sLastPackOpened)
        failures.push_back(ResourceGroupPakName(name) + ": cannot be read");
    WTextureManager* textures = StartedTextures();
    if (textures)
        textures->BeginDictionary(name, 0);
    if (HbCommandManager* commands = HbCommandManager::Instance())
    {
        commands->ExecuteLine("add_ressource_set_mode 3");
        commands->ExecuteLine(("execute " + ResourceGroupScriptName(name)).c_str());
    }
    sLoading = outer;
    sLoadFailures = outerFailures;
    // Resources that cannot be made without a pack of the group: the pack is the likely loss.
    if (!group->packMounted && !failures.empty())
        failures.insert(failures.begin(), ResourceGroupPakName(name) + ": not found");
    for (std::string& failure : HbTakeScriptFailures())
        failures.push_back(std::move(failure));
    if (textures)
        textures->EndDictionary(name);
    group->failures = failures;
    if (sObserver)
        sObserver("load", name, layerIndex);
    if (!failures.empty() && sFailureHandler)
        sFailureHandler(name, failures);
    return kResourceGroupDone;
}

void ResourceGroupSetObserver(ResourceGroupObserver observer)
{
    sObserver = observer;
}

ResourceGroupFailureHandler ResourceGroupSetFailureHandler(ResourceGroupFailureHandler handler)
{
    const ResourceGroupFailureHandler previous = sFailureHandler;
    sFailureHandler = handler;
    return previous;
}

void ResourceGroupReportFailures(const char* name, const std::vector<std::string>& failures)
{
    if (sFailureHandler && name && !failures.empty())
        sFailureHandler(name, failures);
}

int32_t ResourceGroupUnload(const char* name)
{
    if (!name)
        return kResourceGroupUnknown;
    for (Layer& layer : sLayers)
        for (HbPtrListNode* node = layer.groups.GetHead(); node; node = node->next)
            if (static_cast<ResourceGroup*>(node->value)->name == name)
            {
                UnloadGroup(layer, node);
                return kResourceGroupDone;
            }
    return kResourceGroupUnknown;
}

int32_t ResourceGroupUnloadAll()
{
    for (Layer& layer : sLayers)
        while (HbPtrListNode* node = layer.groups.GetHead())
            UnloadGroup(layer, node);
    return 0;
}

int32_t ResourceGroupMountPak(const char* name)
{
    if (!name)
        return kResourceGroupUnknown;
    const std::string pak = ResourceGroupPakName(name);
    HbPackSet* packs = HbPackSet::Instance();
    if (!packs || !HbFileExists(pak.c_str()))
        return kResourceGroupUnknown;
    packs->SetEnabled(1);
    packs->SetDiskFallback(1);
    sLastPackOpened = packs->Mount(pak.c_str()) == 1;
    return kResourceGroupDone;
}

namespace
{
/// Where a failing resource was declared: a truncated or damaged group script shows here first.
std::string Declared(const ResourceGroup* group, const char* id, const char* path)
{
    return ResourceGroupScriptName(group->name.c_str()) + ": " + id + " (" + path + "): ";
}
} // namespace

int32_t ResourceGroupAddResource(const char* id, const char* path)
{
    HbResourceManager* resources = HbResourceManager::Instance();
    if (!id || !path || !resources)
        return 1;
    ResourceGroup* group = sLoading;
    const char* key = HbResourceManager::GetTypeKey(id);
    const std::string type = key ? key : "";
    if (!group || type == "STDSB")
    {
        resources->AddPath(id, path);
        return 1;
    }

    auto* record = new ResourceRecord();
    if (!record)
        return 1;
    record->id = id;
    if (type == "PY")
    {
        if (std::strcmp(id, "_PY") != 0)
            resources->AddPath(id, path);
        if (ScriptInterpreter::IsStarted())
        {
            record->moduleName = ModuleName(path);
            record->module = ImportModule(record->moduleName);
        }
        if (!record->module)
        {
            if (ScriptInterpreter::IsStarted() && sLoadFailures)
                sLoadFailures->push_back(Declared(group, id, path) + "cannot be imported");
            record->Release();
            return 1;
        }
    }
    else if (type == "FONT")
    {
        resources->AddPath(id, path);
        WFontManager* fonts = WFontManager::Instance();
        record->font = fonts ? fonts->GetFont(id) : nullptr;
        if (!record->font)
        {
            if (sLoadFailures)
                sLoadFailures->push_back(Declared(group, id, path) + "cannot be made");
            record->Release();
            return 1;
        }
    }
    else
    {
        resources->AddPath(id, path);
        record->object = resources->GetResource(id);
        if (record->object)
            record->object->AddRef();
    }
    // Only a kind the manager makes can fail to be made; the others are looked up by path.
    if (type != "PY" && type != "FONT" && !record->object && resources->FindType(type.c_str()) && sLoadFailures)
        sLoadFailures->push_back(Declared(group, id, path) + "cannot be made");
    if (!group->resources.AddTail(record))
    {
        ReleaseRecord(record);
        return 1;
    }
    return 0;
}

ResourceGroup* ResourceGroupLoading()
{
    return sLoading;
}

const HbPtrList* ResourceGroupLayer(int32_t layer)
{
    return layer >= 0 && layer < kResourceLayerCount ? &sLayers[layer].groups : nullptr;
}

std::string GroupNameGetWorldPart(const char* sectorId)
{
    return Part(sectorId, 0, 2);
}

std::string GroupNameGetLevelPart(const char* sectorId)
{
    return Part(sectorId, 2, 4);
}

std::string GroupNameGetSectorPart(const char* sectorId)
{
    return Part(sectorId, 4, 7);
}

std::string ResourceGroupScriptName(const char* name)
{
    return std::string(name ? name : "") + ".scr";
}

std::string ResourceGroupPakName(const char* name)
{
    return std::string(name ? name : "") + ".PAK";
}
