// Frames: creation and destruction, the hierarchy, transforms, marking and the dirty-frame
// synchronisation. Every walk of a hierarchy follows the parent and sibling links instead
// of recursing, so a deep chain read from a file cannot exhaust the stack.
#include "frame.h"

#include "engine.h"
#include "frameobject.h"
#include "freelist.h"

#include <cstddef>

static_assert(offsetof(Frame, modelling) % 16 == 0 && offsetof(Frame, world) % 16 == 0,
              "matrices on 16 bytes inside a 16-byte aligned frame");

namespace
{

struct FrameModuleBlock
{
    FreeList* frames;
};

constexpr int32_t kFramesPerBlock = 50;
constexpr int32_t kFrameAlignment = 16; // so the matrices are too: they are read as four-lane rows
constexpr uint32_t kFrameChunkType = 0x0E;
constexpr uint32_t kModuleHint = kMemoryHintEngine | kFrameChunkType;
constexpr uint32_t kObjectHint = kMemoryHintObject | kFrameChunkType;
constexpr Matrix kIdentity = {{1, 0, 0}, kMatrixIdentity | kMatrixOrthonormal, {0, 1, 0}, 0, {0, 0, 1}, 0, {0, 0, 0},
                              0};

PluginRegistry sRegistry = PluginRegistry::Initial(int32_t(sizeof(Frame)));
FreeList sFrameList;
FrameModuleBlock* sBlock = nullptr;

ListLink* DirtyList()
{
    return &Engine::Current()->dirtyFrames;
}

Frame* FromDirtyLink(ListLink* link)
{
    return reinterpret_cast<Frame*>(reinterpret_cast<char*>(link) - offsetof(Frame, dirtyLink));
}

Frame* TakeEntry()
{
    if (!sBlock)
        return nullptr;
    return static_cast<Frame*>(Engine::Current()->freeListFunctions.take(sBlock->frames, kObjectHint));
}

void GiveBack(Frame* frame)
{
    Engine::Current()->freeListFunctions.giveBack(sBlock->frames, frame);
}

// The root goes on the dirty list once, however many of its frames change.
void Mark(Frame* frame)
{
    Frame* root = frame->root;
    if (!(root->privateFlags & kFrameHierarchyDirty))
        ListLink::InsertAtHead(DirtyList(), &root->dirtyLink);
    root->privateFlags |= kFrameHierarchyDirty;
    frame->privateFlags |= kFrameMatrixDirty | kFrameObjectsDirty;
}

void TakeOffDirtyList(Frame* frame)
{
    if (frame->privateFlags & kFrameHierarchyDirty)
        ListLink::Unlink(&frame->dirtyLink);
}

// Pre-order over the subtree of top, top included; visit must not change the links.
template <typename Visit> void ForSubtree(Frame* top, Visit visit)
{
    Frame* f = top;
    for (;;)
    {
        visit(f);
        if (f->child)
        {
            f = f->child;
            continue;
        }
        while (f != top && !f->next)
            f = f->parent;
        if (f == top)
            return;
        f = f->next;
    }
}

// Post-order over the subtree of top, top last. Each frame's links are read before it is
// visited, so visit may free it.
template <typename Visit> void ForSubtreeChildrenFirst(Frame* top, Visit visit)
{
    Frame* f = top;
    while (f->child)
        f = f->child;
    for (;;)
    {
        if (f == top)
        {
            visit(f);
            return;
        }
        Frame* after = f->next;
        if (after)
            while (after->child)
                after = after->child;
        else
            after = f->parent;
        visit(f);
        f = after;
    }
}

void SyncObjects(Frame* frame)
{
    for (ListLink* l = frame->objects.next; l != &frame->objects;)
    {
        ListLink* next = l->next;
        FrameObject* object = FrameObject::FromLink(l);
        if (object->sync)
            object->sync(object);
        l = next;
    }
}

// Objects of a hierarchy whose matrices are current; the root's bits are cleared after.
void SyncObjectsOnly(Frame* frame)
{
    SyncObjects(frame);
    frame->privateFlags &= uint8_t(~kFrameObjectsDirty);
}

// The pass below a root whose own world matrix is already current. A frame's matrix is
// recomputed when it or an ancestor carries bit 2; an ancestor keeps its bit while its
// subtree is walked, so the mark is inherited without a stack.
void SyncBelow(Frame* root, bool objects)
{
    Frame* f = root->child;
    while (f)
    {
        Frame* p = f->parent;
        if ((p->privateFlags | f->privateFlags) & kFrameMatrixDirty)
        {
            Matrix::Multiply(&f->world, &f->modelling, &p->world);
            f->privateFlags |= kFrameMatrixDirty;
        }
        if (objects)
        {
            SyncObjects(f);
            f->privateFlags &= uint8_t(~kFrameObjectsDirty);
        }
        if (f->child)
        {
            f = f->child;
            continue;
        }
        for (;;)
        {
            f->privateFlags &= uint8_t(~kFrameMatrixDirty);
            if (f->next)
            {
                f = f->next;
                break;
            }
            f = f->parent;
            if (f == root)
            {
                f = nullptr;
                break;
            }
        }
    }
}

void SetRootBelow(Frame* top, Frame* root)
{
    ForSubtree(top, [root](Frame* f) { f->root = root; });
}

void Unchain(Frame* frame)
{
    Frame* parent = frame->parent;
    for (Frame** link = &parent->child; *link; link = &(*link)->next)
    {
        if (*link == frame)
        {
            *link = frame->next;
            break;
        }
    }
    frame->parent = nullptr;
    frame->next = nullptr;
}

void Attach(Frame* parent, Frame* child)
{
    if (child->parent)
        Frame::RemoveChild(child);
    child->next = parent->child;
    parent->child = child;
    child->parent = parent;
    SetRootBelow(child, parent->root);
}

// A child whose parent goes becomes a marked root of its own subtree.
void Orphan(Frame* child)
{
    child->parent = nullptr;
    child->next = nullptr;
    SetRootBelow(child, child);
    Mark(child);
}

// The copy of source, linked at the front of its parent's copy (the copy of an earlier
// frame of the walk: its source's root points at it). False when no entry can be had.
bool TakeCopy(Frame* source, Frame* top, Frame** topCopy)
{
    Frame* copy = TakeEntry();
    if (!copy)
        return false;
    copy->type = source->type;
    copy->subType = source->subType;
    copy->flags = source->flags;
    copy->privateFlags = source->privateFlags;
    copy->parent = nullptr;
    ListLink::Init(&copy->dirtyLink);
    copy->modelling = source->modelling;
    copy->world = kIdentity;
    ListLink::Init(&copy->objects);
    copy->child = nullptr;
    copy->next = nullptr;
    if (source == top)
        *topCopy = copy;
    else
    {
        Frame* parentCopy = source->parent->root;
        copy->parent = parentCopy;
        copy->next = parentCopy->child;
        parentCopy->child = copy;
    }
    copy->root = *topCopy;
    source->root = copy;
    return true;
}

// Runs the plug-ins on source's copy; null, or source when a constructor failed.
Frame* ConstructCopy(Frame* source)
{
    if (!PluginRegistry::InitObject(&sRegistry, source->root))
        return source;
    PluginRegistry::CopyObject(&sRegistry, source->root, source);
    return nullptr;
}

// Gives source's copy back, undoing its plug-ins when they ran: children-first order
// constructs every copy before the failed one, and none from it on.
void DropCopy(Frame* source, Frame* failed, bool* constructed)
{
    *constructed = *constructed && source != failed;
    if (*constructed)
        PluginRegistry::DeinitObject(&sRegistry, source->root);
    GiveBack(source->root);
}

void Release(Frame* frame)
{
    PluginRegistry::DeinitObject(&sRegistry, frame);
    TakeOffDirtyList(frame);
    GiveBack(frame);
}

} // namespace

// ---- Objects --------------------------------------------------------------------------------

Frame* Frame::Create()
{
    Frame* frame = TakeEntry();
    if (!frame)
        return nullptr;
    frame->type = frame->subType = frame->flags = frame->privateFlags = 0;
    frame->parent = nullptr;
    ListLink::Init(&frame->dirtyLink);
    frame->modelling = kIdentity;
    frame->world = kIdentity;
    ListLink::Init(&frame->objects);
    frame->child = nullptr;
    frame->next = nullptr;
    frame->root = frame;
    if (!PluginRegistry::InitObject(&sRegistry, frame))
    {
        GiveBack(frame);
        return nullptr;
    }
    return frame;
}

int32_t Frame::Destroy(Frame* frame)
{
    PluginRegistry::DeinitObject(&sRegistry, frame);
    if (frame->parent)
        RemoveChild(frame);
    TakeOffDirtyList(frame);
    for (Frame* child = frame->child; child;)
    {
        Frame* next = child->next;
        Orphan(child);
        child = next;
    }
    GiveBack(frame);
    return 1;
}

int32_t Frame::DestroyHierarchy(Frame* frame)
{
    if (!frame)
        return 1;
    // Meant for roots; a frame that still has a parent is detached so that no child list
    // is left pointing at freed frames.
    if (frame->parent)
        RemoveChild(frame);
    ForSubtreeChildrenFirst(frame, Release);
    return 1;
}

Frame* Frame::CloneHierarchy(Frame* top)
{
    // First every copy is taken and linked (each source's root points at its copy), then
    // the plug-ins run children first. A failure in either step undoes what was made and
    // restores the sources' roots.
    Frame* topCopy = nullptr;
    bool complete = true;
    ForSubtree(top, [&](Frame* source) { complete = complete && TakeCopy(source, top, &topCopy); });
    if (!complete)
    {
        if (topCopy)
            ForSubtreeChildrenFirst(topCopy, GiveBack);
        SetRootInSubtree(top);
        return nullptr;
    }

    Frame* failed = nullptr;
    ForSubtreeChildrenFirst(top, [&](Frame* source) { failed = failed ? failed : ConstructCopy(source); });
    if (failed)
    {
        bool constructed = true;
        ForSubtreeChildrenFirst(top, [&](Frame* source) { DropCopy(source, failed, &constructed); });
        SetRootInSubtree(top);
        return nullptr;
    }

    topCopy->privateFlags &= uint8_t(~kFrameHierarchyDirty);
    Mark(topCopy);
    return topCopy;
}

// ---- The hierarchy -----------------------------------------------------------------------------

Frame* Frame::SetRootInSubtree(Frame* frame)
{
    SetRootBelow(frame, frame->parent ? frame->parent->root : frame);
    return frame;
}

Frame* Frame::UpdateObjects(Frame* frame)
{
    Mark(frame);
    return frame;
}

const Matrix* Frame::GetWorldMatrix(Frame* frame)
{
    if (frame->root->privateFlags & kFrameHierarchyMatrices)
        SyncHierarchyMatrices(frame->root);
    return &frame->world;
}

Frame* Frame::AddChild(Frame* parent, Frame* child)
{
    Attach(parent, child);
    if (child->privateFlags & kFrameHierarchyDirty)
    {
        ListLink::Unlink(&child->dirtyLink);
        child->privateFlags &= uint8_t(~kFrameHierarchyDirty);
    }
    Mark(child);
    return parent;
}

Frame* Frame::AddChildNoUpdate(Frame* parent, Frame* child)
{
    Attach(parent, child);
    return parent;
}

Frame* Frame::RemoveChild(Frame* frame)
{
    Unchain(frame);
    SetRootBelow(frame, frame);
    Mark(frame);
    return frame;
}

Frame* Frame::ForAllChildren(Frame* frame, FrameCallback callback, void* data)
{
    for (Frame* child = frame->child; child;)
    {
        Frame* next = child->next;
        if (!callback(child, data))
            break;
        child = next;
    }
    return frame;
}

int32_t Frame::CountHierarchy(const Frame* frame)
{
    int32_t count = 0;
    ForSubtree(const_cast<Frame*>(frame), [&count](Frame*) { ++count; });
    return count;
}

// ---- Transforms ------------------------------------------------------------------------------------

Frame* Frame::Translate(Frame* frame, const Vector* translation, int32_t combine)
{
    Matrix::Translate(&frame->modelling, translation, combine);
    Mark(frame);
    return frame;
}

Frame* Frame::Scale(Frame* frame, const Vector* scale, int32_t combine)
{
    Matrix::Scale(&frame->modelling, scale, combine);
    Mark(frame);
    return frame;
}

Frame* Frame::Rotate(Frame* frame, const Vector* axis, float angleDegrees, int32_t combine)
{
    Matrix::Rotate(&frame->modelling, axis, angleDegrees, combine);
    Mark(frame);
    return frame;
}

Frame* Frame::Transform(Frame* frame, const Matrix* matrix, int32_t combine)
{
    Matrix::Transform(&frame->modelling, matrix, combine);
    Mark(frame);
    return frame;
}

Frame* Frame::SetIdentity(Frame* frame)
{
    Matrix& m = frame->modelling;
    m.right = kIdentity.right;
    m.up = kIdentity.up;
    m.at = kIdentity.at;
    m.pos = kIdentity.pos;
    m.flags |= kMatrixIdentity | kMatrixOrthonormal;
    Mark(frame);
    return frame;
}

Frame* Frame::Orthonormalize(Frame* frame)
{
    Matrix::Orthonormalize(&frame->modelling, &frame->modelling);
    Mark(frame);
    return frame;
}

// ---- Synchronisation -------------------------------------------------------------------------------

int32_t Frame::SyncDirtyList()
{
    ListLink* head = DirtyList();
    while (!ListLink::IsEmpty(head))
    {
        Frame* root = FromDirtyLink(head->next);
        ListLink::Unlink(&root->dirtyLink);
        if (root->privateFlags & kFrameHierarchyMatrices)
        {
            if (root->privateFlags & kFrameMatrixDirty)
                root->world = root->modelling;
            SyncObjects(root);
            SyncBelow(root, true);
        }
        else
        {
            ForSubtree(root, SyncObjectsOnly);
        }
        root->privateFlags &= uint8_t(~(kFrameHierarchyDirty | kFrameMatrixDirty | kFrameObjectsDirty));
    }
    return 1;
}

void Frame::SyncHierarchyMatrices(Frame* root)
{
    if (root->privateFlags & kFrameMatrixDirty)
        root->world = root->modelling;
    SyncBelow(root, false);
    root->privateFlags &= uint8_t(~(kFrameHierarchyMatrices | kFrameMatrixDirty));
}

// ---- Plug-ins -------------------------------------------------------------------------------------------

int32_t Frame::RegisterPlugin(int32_t size, int32_t pluginId, PluginConstructor constructor,
                              PluginDestructor destructor, PluginCopy copy)
{
    return PluginRegistry::Register(&sRegistry, size, pluginId, constructor, destructor, copy);
}

int32_t Frame::RegisterPluginStream(int32_t pluginId, PluginStreamRead read, PluginStreamWrite write,
                                    PluginStreamSize size)
{
    return PluginRegistry::SetStreamCallbacks(&sRegistry, pluginId, read, write, size);
}

int32_t Frame::GetPluginOffset(int32_t pluginId)
{
    return PluginRegistry::GetPluginOffset(&sRegistry, pluginId);
}

PluginRegistry* Frame::Registry()
{
    return &sRegistry;
}

// ---- The frame module --------------------------------------------------------------------------------------

const int32_t Frame::kModuleBlockSize = sizeof(FrameModuleBlock);

void* Frame::OpenModule(void* engine, int32_t offset, int32_t)
{
    auto* e = static_cast<Engine*>(engine);
    auto* block = static_cast<FrameModuleBlock*>(Engine::Block(e, offset));
    block->frames =
        FreeList::CreateInStorage(sRegistry.size, kFramesPerBlock, kFrameAlignment, 1, &sFrameList, kModuleHint);
    if (!block->frames)
        return nullptr;
    ListLink::Init(&e->dirtyFrames);
    sBlock = block;
    return engine;
}

void* Frame::CloseModule(void* engine, int32_t offset, int32_t)
{
    auto* block = static_cast<FrameModuleBlock*>(Engine::Block(static_cast<Engine*>(engine), offset));
    FreeList::Destroy(block->frames);
    block->frames = nullptr;
    sBlock = nullptr;
    ListLink::Init(&static_cast<Engine*>(engine)->dirtyFrames);
    return engine;
}
