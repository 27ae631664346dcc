// The hierarchical-animation plug-in: the frame extension and its stream, hierarchies, the
// binding of their entries to frames, and the matrix walk.
#include "hierarchy.h"

#include "animation.h"
#include "byteorder.h"
#include "engine.h"
#include "error.h"
#include "frame.h"
#include "freelist.h"
#include "memory.h"
#include "stream.h"

#include <cstring>

namespace
{
constexpr uint32_t kMemoryHintHierarchy = 0x3011E;
constexpr uint32_t kMemoryHintFreeList = 0x4011E;
constexpr int32_t kHierarchiesPerBlock = 16;

// A refused registration leaves the offset of an earlier one in place.
int32_t Keep(int32_t* slot, int32_t offset)
{
    if (offset >= 0)
        *slot = offset;
    return offset;
}

int32_t sOpenCount = 0;
int32_t sFrameOffset = -1;
FreeList* sHierarchies = nullptr;

HierarchyFrameExtension* Extension(const void* frame, int32_t offset)
{
    return reinterpret_cast<HierarchyFrameExtension*>(const_cast<char*>(static_cast<const char*>(frame)) + offset);
}

// The stored "maximum interpolated keyframe size" counts the two keyframe pointers as 4 bytes
// each; in memory they are 8. The standard keyframe's 36 is exactly our StdInterpFrame.
int32_t NativeInterpSize(int32_t stored)
{
    if (stored == Hierarchy::kMinStreamInterpSize)
        return int32_t(sizeof(StdInterpFrame));
    return (stored + 8 + 7) & ~7;
}

int32_t StoredInterpSize(int32_t native)
{
    if (native == int32_t(sizeof(StdInterpFrame)))
        return Hierarchy::kMinStreamInterpSize;
    return native - 8;
}

int32_t MaxInterpSize(const Hierarchy* h)
{
    return h->interpolator->maxInterpKeyFrameSize;
}

// What the stream said when the hierarchy was read, unless its keyframes changed size since.
int32_t StreamInterpSize(const Hierarchy* h)
{
    if (h->streamInterpSize && NativeInterpSize(h->streamInterpSize) == MaxInterpSize(h))
        return h->streamInterpSize;
    return StoredInterpSize(MaxInterpSize(h));
}

// Pre-order successor of frame inside the subtree of top; null after the last.
Frame* NextInSubtree(Frame* frame, Frame* top)
{
    if (frame->child)
        return frame->child;
    while (frame != top)
    {
        if (frame->next)
            return frame->next;
        frame = frame->parent;
    }
    return nullptr;
}

// The parent space of the root frame without forcing a synchronisation: while the parent's
// tree waits for one, its modelling matrices are multiplied up to the top.
void ParentMatrix(Matrix* out, Frame* root)
{
    Frame* parent = root ? root->parent : nullptr;
    if (!parent)
    {
        *out = Matrix{};
        out->right = {1, 0, 0};
        out->up = {0, 1, 0};
        out->at = {0, 0, 1};
        out->pos = {0, 0, 0};
        out->flags = kMatrixIdentity | kMatrixOrthonormal;
        return;
    }
    if (!Frame::IsDirty(parent))
    {
        *out = *Frame::GetWorldMatrix(parent);
        return;
    }
    *out = parent->modelling;
    for (Frame* f = parent->parent; f; f = f->parent)
    {
        Matrix product;
        Matrix::Multiply(&product, out, &f->modelling);
        *out = product;
    }
}

void LocalMatrix(Matrix* out, AnimInterpolator* ip, int32_t node)
{
    void* frame = AnimInterpolator::GetInterpFrame(ip, node);
    // The standard keyframe is converted in place instead of through a call per node.
    if (!ip->apply || ip->apply == StdKeyFrame::Apply)
    {
        StdKeyFrame::Apply(out, frame);
        return;
    }
    ip->apply(out, frame);
}

void WriteWorld(Frame* f, const Matrix& world)
{
    f->world = world;
    f->privateFlags = uint8_t((f->privateFlags & ~kFrameMatrixDirty) | kFrameObjectsDirty);
}

void WriteFrame(uint32_t flags, Frame* f, const Matrix& local, const Matrix& world)
{
    if (!f)
        return;
    if (flags & kHierarchyUpdateModelling)
    {
        f->modelling = local;
        if (flags & kHierarchyUpdateWorld)
            WriteWorld(f, world);
        else
            Frame::UpdateObjects(f);
    }
    else if (flags & kHierarchyUpdateWorld)
        WriteWorld(f, world);
}

// Gives the subtree's objects a synchronisation without recomputing the world matrices the
// walk writes.
void QueueObjects(Frame* root)
{
    if (!root)
        return;
    Frame* top = root->root;
    if (!(top->privateFlags & kFrameHierarchyDirty))
    {
        ListLink::InsertAtHead(&Engine::Current()->dirtyFrames, &top->dirtyLink);
        top->privateFlags |= kFrameHierarchyObjects;
    }
}

void* FrameExtInit(void* object, int32_t offset, int32_t)
{
    *Extension(object, offset) = HierarchyFrameExtension{-1, nullptr};
    return object;
}

void ClearEntries(Hierarchy* h, const Frame* frame)
{
    for (int32_t i = 0; i < h->nodeCount; ++i)
        if (h->nodes[i].frame == frame)
            h->nodes[i].frame = nullptr;
}

void* FrameExtDestroy(void* object, int32_t offset, int32_t)
{
    auto* frame = static_cast<Frame*>(object);
    HierarchyFrameExtension* ext = Extension(object, offset);
    if (Hierarchy* h = ext->hierarchy)
    {
        for (int32_t i = 0; i < h->nodeCount; ++i)
            h->nodes[i].frame = nullptr;
        if (h->rootFrame == frame)
            Hierarchy::Destroy(h);
        ext->hierarchy = nullptr;
    }
    else
    {
        // A bone dying before its skeleton: the hierarchy on an ancestor must not keep it.
        for (Frame* f = frame->parent; f; f = f->parent)
            if (Hierarchy* owner = Extension(f, offset)->hierarchy)
                ClearEntries(owner, frame);
    }
    ext->nodeId = -1;
    return object;
}

void* FrameExtCopy(void* destination, const void* source, int32_t offset, int32_t)
{
    HierarchyFrameExtension* to = Extension(destination, offset);
    const HierarchyFrameExtension* from = Extension(source, offset);
    to->nodeId = from->nodeId;
    const Hierarchy* h = from->hierarchy;
    if (h && !(h->flags & kHierarchySubHierarchy))
    {
        Hierarchy* copy = Hierarchy::CreateFromHierarchy(h, h->flags, MaxInterpSize(h));
        if (!copy)
            return nullptr;
        copy->rootFrame = static_cast<Frame*>(destination);
        copy->streamInterpSize = h->streamInterpSize;
        to->hierarchy = copy;
    }
    return destination;
}

Stream* FrameExtStreamRead(Stream* stream, int32_t length, void* object, int32_t offset, int32_t)
{
    uint8_t head[12];
    if (length < 12 || Stream::Read(stream, head, 12) != 12)
    {
        Error::Report(0, kErrStreamRead);
        return nullptr;
    }
    if (ByteOrder::Load32(head) != Hierarchy::kStreamVersion)
        return nullptr;
    auto* frame = static_cast<Frame*>(object);
    HierarchyFrameExtension* ext = Extension(object, offset);
    ext->nodeId = int32_t(ByteOrder::Load32(head + 4));
    const int32_t n = int32_t(ByteOrder::Load32(head + 8));
    if (n == 0)
        return length == 12 || Stream::Skip(stream, uint32_t(length - 12)) ? stream : nullptr;
    // The count is bounded by the bytes the sub-chunk holds before anything is allocated.
    if (n < 0 || n > (length - 20) / 12)
    {
        Error::Report(0, kErrStreamRead);
        return nullptr;
    }
    uint8_t more[8];
    if (Stream::Read(stream, more, 8) != 8)
        return nullptr;
    const uint32_t flags = ByteOrder::Load32(more);
    const int32_t storedSize = int32_t(ByteOrder::Load32(more + 4));
    // A stored hierarchy is never a sub-hierarchy (those write no table), and its keyframes
    // must at least hold the standard keyframe.
    if ((flags & kHierarchySubHierarchy) || storedSize < Hierarchy::kMinStreamInterpSize || storedSize > (1 << 16))
    {
        Error::Report(Hierarchy::kPluginId, kErrBadArgument);
        return nullptr;
    }
    const size_t tableBytes = size_t(n) * 12;
    auto* table = static_cast<uint8_t*>(Memory::Allocate(tableBytes, kMemoryHintTemporary | Hierarchy::kPluginId));
    if (!table)
        return nullptr;
    Hierarchy* h = nullptr;
    if (Stream::Read(stream, table, uint32_t(tableBytes)) == tableBytes)
    {
        auto* nodeFlags = static_cast<uint32_t*>(Memory::Allocate(sizeof(uint32_t) * size_t(n), kMemoryHintTemporary));
        if (nodeFlags)
        {
            for (int32_t i = 0; i < n; ++i)
                nodeFlags[i] = ByteOrder::Load32(table + 12 * i + 8);
            h = Hierarchy::Create(n, nodeFlags, nullptr, flags, NativeInterpSize(storedSize));
            Memory::Free(nodeFlags);
        }
        if (h)
            h->streamInterpSize = storedSize;
        if (h)
            for (int32_t i = 0; i < n; ++i)
            {
                h->nodes[i].nodeId = int32_t(ByteOrder::Load32(table + 12 * i));
                h->nodes[i].nodeIndex = int32_t(ByteOrder::Load32(table + 12 * i + 4));
            }
    }
    Memory::Free(table);
    if (!h)
        return nullptr;
    HierarchyFrame::SetHierarchy(frame, h);
    const int32_t rest = length - 20 - n * 12;
    if (rest > 0 && !Stream::Skip(stream, uint32_t(rest)))
        return nullptr;
    return stream;
}

int32_t FrameExtStreamGetSize(const void* object, int32_t offset, int32_t)
{
    const HierarchyFrameExtension* ext = Extension(object, offset);
    if (!ext->hierarchy)
        return ext->nodeId == -1 ? 0 : 12;
    if (ext->hierarchy->flags & kHierarchySubHierarchy)
        return 12;
    return 20 + 12 * ext->hierarchy->nodeCount;
}

Stream* FrameExtStreamWrite(Stream* stream, int32_t length, const void* object, int32_t offset, int32_t size)
{
    const HierarchyFrameExtension* ext = Extension(object, offset);
    const Hierarchy* h = ext->hierarchy;
    const bool table = h && !(h->flags & kHierarchySubHierarchy);
    uint8_t head[20];
    ByteOrder::Store32(head, Hierarchy::kStreamVersion);
    ByteOrder::Store32(head + 4, uint32_t(ext->nodeId));
    ByteOrder::Store32(head + 8, table ? uint32_t(h->nodeCount) : 0);
    if (!table)
        return Stream::Write(stream, head, 12);
    ByteOrder::Store32(head + 12, h->flags);
    ByteOrder::Store32(head + 16, uint32_t(StreamInterpSize(h)));
    if (!Stream::Write(stream, head, 20))
        return nullptr;
    for (int32_t i = 0; i < h->nodeCount; ++i)
    {
        uint8_t entry[12];
        ByteOrder::Store32(entry, uint32_t(h->nodes[i].nodeId));
        ByteOrder::Store32(entry + 4, uint32_t(h->nodes[i].nodeIndex));
        ByteOrder::Store32(entry + 8, h->nodes[i].flags);
        if (!Stream::Write(stream, entry, 12))
            return nullptr;
    }
    return stream;
}

// One walk step after node i has its matrix: the parent for the next entry. The table was
// checked when the hierarchy was made; the bounds here only keep a table edited since from
// leaving the stack.
template <typename Slot> void StepParent(uint32_t nodeFlags, Slot current, Slot* parent, Slot* stack, int32_t* depth)
{
    switch (nodeFlags & (kHierarchyPop | kHierarchyPush))
    {
    case 0:
        *parent = current;
        break;
    case kHierarchyPush:
        if (*depth < kHierarchyStackDepth)
            stack[(*depth)++] = *parent;
        *parent = current;
        break;
    case kHierarchyPop:
        if (*depth > 0)
            *parent = stack[--*depth];
        break;
    default:
        break;
    }
}
} // namespace

// ---- The engine plug-in ---------------------------------------------------------------------------

void* HierarchyPlugin::EngineOpen(void* engine, int32_t, int32_t)
{
    if (sOpenCount == 0)
    {
        sHierarchies = FreeList::Create(int32_t(sizeof(Hierarchy)), kHierarchiesPerBlock, 8, kMemoryHintFreeList);
        if (!sHierarchies)
            return nullptr;
        // Not reported when refused, as the registry may hold it from an open not yet closed.
        AnimScheme::Register(StdKeyFrame::Scheme());
    }
    ++sOpenCount;
    return engine;
}

void* HierarchyPlugin::EngineClose(void* engine, int32_t, int32_t)
{
    if (sOpenCount > 0 && --sOpenCount == 0 && sHierarchies)
    {
        FreeList::Destroy(sHierarchies);
        sHierarchies = nullptr;
    }
    return engine;
}

int32_t HierarchyPlugin::GetOpenCount()
{
    return sOpenCount;
}

int32_t Hierarchy::Attach()
{
    if (Engine::RegisterPlugin(0, kPluginId, HierarchyPlugin::EngineOpen, HierarchyPlugin::EngineClose) < 0)
        return 0;
    int32_t offset = Keep(&sFrameOffset, Frame::RegisterPlugin(int32_t(sizeof(HierarchyFrameExtension)), kPluginId,
                                                               FrameExtInit, FrameExtDestroy, FrameExtCopy));
    if (offset < 0)
        return 0;
    return Frame::RegisterPluginStream(kPluginId, FrameExtStreamRead, FrameExtStreamWrite, FrameExtStreamGetSize) >= 0
               ? 1
               : 0;
}

int32_t Hierarchy::GetFrameOffset()
{
    return sFrameOffset;
}

HierarchyFrameExtension* Hierarchy::GetFrameExtension(Frame* frame)
{
    return Extension(frame, sFrameOffset);
}

// ---- Hierarchies ---------------------------------------------------------------------------------------

int32_t Hierarchy::CheckNodeFlags(const uint32_t* nodeFlags, int32_t nodeCount)
{
    int32_t depth = 0;
    for (int32_t i = 0; i < nodeCount; ++i)
    {
        const uint32_t f = nodeFlags[i];
        if (f & ~(kHierarchyPop | kHierarchyPush))
            return 0;
        if (f == kHierarchyPush && ++depth > kHierarchyStackDepth)
            return 0;
        if (f == kHierarchyPop)
        {
            // The last entry may pop an empty stack: its value is never used.
            if (depth == 0 && i != nodeCount - 1)
                return 0;
            if (depth > 0)
                --depth;
        }
    }
    return 1;
}

Hierarchy* Hierarchy::Create(int32_t nodeCount, const uint32_t* nodeFlags, const int32_t* nodeIds,
                             uint32_t hierarchyFlags, int32_t maxInterpKeyFrameSize)
{
    if (nodeCount < 1 || nodeCount > Animation::kMaxKeyFrames || !sHierarchies ||
        (nodeFlags && !CheckNodeFlags(nodeFlags, nodeCount)))
    {
        Error::Report(kPluginId, kErrBadArgument);
        return nullptr;
    }
    auto* h = static_cast<Hierarchy*>(Engine::Current()->freeListFunctions.take(sHierarchies, kMemoryHintHierarchy));
    if (!h)
        return nullptr;
    std::memset(h, 0, sizeof(*h));
    // A hierarchy made here owns its table and matrices, whatever the flags say.
    hierarchyFlags &= ~kHierarchySubHierarchy;
    h->flags = hierarchyFlags;
    h->nodeCount = nodeCount;
    h->parentHierarchy = h;
    h->rootParentOffset = -1;
    h->nodes = static_cast<HierarchyNode*>(Memory::Allocate(sizeof(HierarchyNode) * size_t(nodeCount), kMemoryHintHierarchy));
    if (!(hierarchyFlags & kHierarchyNoMatrices))
        h->matrixBlock = Memory::Allocate(sizeof(Matrix) * size_t(nodeCount) + 15, kMemoryHintHierarchy);
    h->interpolator = AnimInterpolator::Create(nodeCount, maxInterpKeyFrameSize);
    if (!h->nodes || !h->interpolator || (!(hierarchyFlags & kHierarchyNoMatrices) && !h->matrixBlock))
    {
        Destroy(h);
        return nullptr;
    }
    if (h->matrixBlock)
    {
        h->matrices = reinterpret_cast<Matrix*>((reinterpret_cast<uintptr_t>(h->matrixBlock) + 15) & ~uintptr_t(15));
        for (int32_t i = 0; i < nodeCount; ++i)
        {
            h->matrices[i] = Matrix{};
            h->matrices[i].right.x = h->matrices[i].up.y = h->matrices[i].at.z = 1.0f;
            h->matrices[i].flags = kMatrixIdentity | kMatrixOrthonormal;
        }
    }
    for (int32_t i = 0; i < nodeCount; ++i)
        h->nodes[i] = HierarchyNode{nodeIds ? nodeIds[i] : -1, i, nodeFlags ? nodeFlags[i] : 0u, nullptr};
    return h;
}

Hierarchy* Hierarchy::CreateFromHierarchy(const Hierarchy* source, uint32_t hierarchyFlags,
                                          int32_t maxInterpKeyFrameSize)
{
    Hierarchy* h = Create(source->nodeCount, nullptr, nullptr, hierarchyFlags & ~kHierarchySubHierarchy,
                          maxInterpKeyFrameSize);
    if (!h)
        return nullptr;
    for (int32_t i = 0; i < h->nodeCount; ++i)
        h->nodes[i] = HierarchyNode{source->nodes[i].nodeId, source->nodes[i].nodeIndex, source->nodes[i].flags, nullptr};
    return h;
}

Hierarchy* Hierarchy::Destroy(Hierarchy* h)
{
    if (!h)
        return nullptr;
    if (!(h->flags & kHierarchySubHierarchy))
    {
        Memory::Free(h->matrixBlock);
        Memory::Free(h->nodes);
    }
    if (h->interpolator)
        AnimInterpolator::Destroy(h->interpolator);
    if (h->rootFrame && Extension(h->rootFrame, sFrameOffset)->hierarchy == h)
        Extension(h->rootFrame, sFrameOffset)->hierarchy = nullptr;
    Engine::Current()->freeListFunctions.giveBack(sHierarchies, h);
    return nullptr;
}

Hierarchy* Hierarchy::AttachFrames(Hierarchy* h)
{
    Frame* top = h->rootFrame;
    for (Frame* f = top; f; f = NextInSubtree(f, top))
    {
        const int32_t id = Extension(f, sFrameOffset)->nodeId;
        for (int32_t i = 0; i < h->nodeCount; ++i)
            if (h->nodes[i].nodeId == id)
                h->nodes[i].frame = f;
        Frame::UpdateObjects(f);
    }
    return h;
}

Hierarchy* Hierarchy::AttachNode(Hierarchy* h, int32_t index)
{
    if (index < 0 || index >= h->nodeCount)
        return h;
    const int32_t wanted = h->nodes[index].nodeId;
    Frame* top = h->rootFrame;
    for (Frame* f = top; f; f = NextInSubtree(f, top))
    {
        if (Extension(f, sFrameOffset)->nodeId == wanted)
            for (int32_t i = 0; i < h->nodeCount; ++i)
                if (h->nodes[i].nodeId == wanted)
                    h->nodes[i].frame = f;
        Frame::UpdateObjects(f);
    }
    return h;
}

int32_t Hierarchy::UpdateMatrices(Hierarchy* h)
{
    const uint32_t flags = h->flags;
    AnimInterpolator* ip = h->interpolator;
    if (flags & kHierarchyUpdateWorld)
        QueueObjects(h->rootFrame);

    Matrix local;
    Matrix world;
    if (!h->matrices)
    {
        Matrix parent;
        ParentMatrix(&parent, h->rootFrame);
        Matrix stack[kHierarchyStackDepth];
        int32_t depth = 0;
        for (int32_t i = 0; i < h->nodeCount; ++i)
        {
            LocalMatrix(&local, ip, i);
            Matrix::Multiply(&world, &local, &parent);
            WriteFrame(flags, h->nodes[i].frame, local, world);
            StepParent(h->nodes[i].flags, world, &parent, stack, &depth);
        }
        return 1;
    }

    Matrix first;
    Matrix toWorld;
    const bool localSpace = (flags & kHierarchyLocalSpace) != 0;
    const Hierarchy* owner = h->parentHierarchy;
    if ((flags & kHierarchySubHierarchy) && h->rootParentOffset >= 0 && owner && owner->matrices &&
        h->rootParentOffset < owner->nodeCount)
    {
        first = owner->matrices[h->rootParentOffset];
        if ((flags & kHierarchyUpdateWorld) && localSpace)
            ParentMatrix(&toWorld, owner->rootFrame);
    }
    else if (localSpace)
    {
        ParentMatrix(&first, nullptr);
        if (flags & kHierarchyUpdateWorld)
            ParentMatrix(&toWorld, h->rootFrame);
    }
    else
    {
        ParentMatrix(&first, h->rootFrame);
        toWorld = first;
    }
    const Matrix* parent = &first;
    const Matrix* stack[kHierarchyStackDepth];
    int32_t depth = 0;
    Matrix* m = h->matrices;
    for (int32_t i = 0; i < h->nodeCount; ++i)
    {
        LocalMatrix(&local, ip, i);
        Matrix::Multiply(&m[i], &local, parent);
        m[i].flags = local.flags & parent->flags;
        if (Frame* f = h->nodes[i].frame)
        {
            if (localSpace && (flags & kHierarchyUpdateWorld))
            {
                Matrix::Multiply(&world, &m[i], &toWorld);
                world.flags = m[i].flags & toWorld.flags;
                WriteFrame(flags, f, local, world);
            }
            else
                WriteFrame(flags, f, local, m[i]);
        }
        StepParent(h->nodes[i].flags, static_cast<const Matrix*>(&m[i]), &parent, stack, &depth);
    }
    return 1;
}

// ---- The frame side ---------------------------------------------------------------------------------------

Hierarchy* HierarchyFrame::GetHierarchy(Frame* frame)
{
    return Extension(frame, sFrameOffset)->hierarchy;
}

Frame* HierarchyFrame::SetHierarchy(Frame* frame, Hierarchy* hierarchy)
{
    HierarchyFrameExtension* ext = Extension(frame, sFrameOffset);
    if (ext->hierarchy && ext->hierarchy != hierarchy)
    {
        Hierarchy* old = ext->hierarchy;
        ext->hierarchy = nullptr;
        if (old->rootFrame == frame)
            Hierarchy::Destroy(old);
    }
    ext->hierarchy = hierarchy;
    if (hierarchy)
        hierarchy->rootFrame = frame;
    return frame;
}

int32_t HierarchyFrame::GetAnimNodeId(Frame* frame)
{
    return Extension(frame, sFrameOffset)->nodeId;
}

Frame* HierarchyFrame::SetAnimNodeId(Frame* frame, int32_t nodeId)
{
    Extension(frame, sFrameOffset)->nodeId = nodeId;
    return frame;
}
