// The camera registry: module state reached only through its functions.
#include "tscameraregistry.h"

#include "hbgrowarray.h"
#include "hbptr.h"
#include "tscamera.h"
#include "w3dframe.h"
#include "wrenderer.h"
#include "wscene.h"

namespace
{
struct Entry : HbAllocated
{
    TsCamera* camera;
    int32_t id;
    HbHandlePtr scene;
};

struct Registry
{
    HbPtrArray active;
    HbPtrArray inactive;
    /// Ids given back, oldest first.
    HbGrowArray<int32_t> freeIds;
    int32_t lastId = -1;
    Entry* current = nullptr;
};

/// Never destroyed: cameras may still be registered while the program's statics go.
Registry& State()
{
    static Registry* registry = new Registry();
    return *registry;
}

int32_t IndexOf(HbPtrArray& list, int32_t id)
{
    for (int32_t i = 0; i < list.GetCount(); ++i)
        if (static_cast<Entry*>(list[i])->id == id)
            return i;
    return -1;
}

void RemoveAt(HbPtrArray& list, int32_t index)
{
    const int32_t count = list.GetCount();
    for (int32_t i = index; i + 1 < count; ++i)
        list[i] = list[i + 1];
    list.SetSize(count - 1);
}

void RemoveAt(HbGrowArray<int32_t>& list, int32_t index)
{
    const int32_t count = list.GetCount();
    for (int32_t i = index; i + 1 < count; ++i)
        list[i] = list[i + 1];
    list.SetSize(count - 1);
}

/// Detaches and releases the entry's camera and frees the entry.
void Destroy(Entry* entry)
{
    Registry& r = State();
    if (r.current == entry)
    {
        r.current = nullptr;
        // The renderer must not go on viewing through a camera the registry let go.
        WRenderer* renderer = WRenderer::Instance();
        if (renderer && renderer->GetCamera().GetObject() == entry->camera)
            renderer->SetCamera(nullptr);
    }
    if (entry->scene.IsValid())
    {
        auto* scene = static_cast<WScene*>(entry->scene.GetObject());
        if (W3dFrame* root = scene->GetRoot(); root && entry->camera->GetParent() == root)
            root->RemoveChild(entry->camera);
    }
    entry->camera->Release();
    delete entry;
}

void RemoveAll()
{
    Registry& r = State();
    for (HbPtrArray* list : {&r.active, &r.inactive})
    {
        for (int32_t i = 0; i < list->GetCount(); ++i)
            Destroy(static_cast<Entry*>((*list)[i]));
        list->RemoveAll();
    }
    r.freeIds.RemoveAll();
    r.current = nullptr;
}

Entry* Find(int32_t id, bool inactiveFirst)
{
    Registry& r = State();
    HbPtrArray* lists[2] = {&r.active, &r.inactive};
    if (inactiveFirst)
        std::swap(lists[0], lists[1]);
    for (HbPtrArray* list : lists)
        if (int32_t index = IndexOf(*list, id); index >= 0)
            return static_cast<Entry*>((*list)[index]);
    return nullptr;
}

void Move(HbPtrArray& from, HbPtrArray& to, int32_t id)
{
    const int32_t index = IndexOf(from, id);
    if (index < 0 || to.Add(from[index]) < 0)
        return;
    RemoveAt(from, index);
}
} // namespace

void TsCameraRegistry::Reset()
{
    RemoveAll();
    State().lastId = -1;
}

int32_t TsCameraRegistry::AddCamera(TsCamera* camera, WScene* scene)
{
    Registry& r = State();
    if (!camera)
        return -1;
    auto* entry = new Entry();
    if (!entry)
        return -1;
    const bool reused = r.freeIds.GetCount() > 0;
    entry->id = reused ? r.freeIds[0] : r.lastId + 1;
    entry->camera = camera;
    entry->scene.Assign(scene);
    if (r.inactive.Add(entry) < 0)
    {
        delete entry;
        return -1;
    }
    if (reused)
        RemoveAt(r.freeIds, 0);
    else
        r.lastId = entry->id;
    camera->AddRef();
    if (W3dFrame* root = scene ? scene->GetRoot() : nullptr)
        root->AttachChild(camera);
    return entry->id;
}

int32_t TsCameraRegistry::RemoveCamera(int32_t id)
{
    Registry& r = State();
    for (HbPtrArray* list : {&r.active, &r.inactive})
    {
        const int32_t index = IndexOf(*list, id);
        if (index < 0)
            continue;
        auto* entry = static_cast<Entry*>((*list)[index]);
        r.freeIds.Add(id);
        RemoveAt(*list, index);
        Destroy(entry);
        return 0;
    }
    return -1;
}

void TsCameraRegistry::ActivateCamera(int32_t id)
{
    Move(State().inactive, State().active, id);
}

void TsCameraRegistry::DeactivateCamera(int32_t id)
{
    Move(State().active, State().inactive, id);
}

void TsCameraRegistry::SetCurrentCamera(int32_t id)
{
    Registry& r = State();
    if (Entry* entry = Find(id, true))
        r.current = entry;
    if (WRenderer* renderer = WRenderer::Instance())
        renderer->SetCamera(r.current ? r.current->camera : nullptr);
}

TsCamera* TsCameraRegistry::GetCamera(int32_t id)
{
    Entry* entry = Find(id, false);
    return entry ? entry->camera : nullptr;
}

void TsCameraRegistry::SetCameraPlacement(int32_t id, const void* placement)
{
    if (Entry* entry = Find(id, false))
        entry->camera->SetPlacement(placement);
}

int32_t TsCameraRegistry::GetCurrentCameraId()
{
    return State().current ? State().current->id : -1;
}

Frame* TsCameraRegistry::GetCurrentCameraNode()
{
    return State().current ? State().current->camera->GetEngineFrame() : nullptr;
}

void TsCameraRegistry::UpdateActiveCameras()
{
    HbPtrArray& active = State().active;
    for (int32_t i = 0; i < active.GetCount(); ++i)
        static_cast<Entry*>(active[i])->camera->ApplyPlacement();
}

void TsCameraRegistry::Clear()
{
    RemoveAll();
}

int32_t TsCameraRegistry::GetActiveCount()
{
    return State().active.GetCount();
}

int32_t TsCameraRegistry::GetInactiveCount()
{
    return State().inactive.GetCount();
}
