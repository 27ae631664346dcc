// The atomic owner extension.
#include "watomicowner.h"

#include "clump.h"

namespace
{
int32_t gOffset = -1;

void* Construct(void* object, int32_t offset, int32_t)
{
    *reinterpret_cast<AtomicOwnerData*>(static_cast<char*>(object) + offset) = AtomicOwnerData{0, 0, nullptr};
    return object;
}

void* Destruct(void* object, int32_t, int32_t)
{
    return object;
}

// A copy belongs to nobody until its loader says so.
void* Copy(void* destination, const void*, int32_t offset, int32_t size)
{
    return Construct(destination, offset, size);
}

Atomic* SetOwner(Atomic* atomic, void* data)
{
    if (AtomicOwnerData* words = AtomicOwner::Get(atomic))
        words->owner = static_cast<W3dNode*>(data);
    return atomic;
}
} // namespace

int AtomicOwner::Attach()
{
    gOffset = Atomic::RegisterPlugin(int32_t(sizeof(AtomicOwnerData)), kPluginId, Construct, Destruct, Copy);
    return gOffset >= 0 ? 1 : 0;
}

AtomicOwnerData* AtomicOwner::Get(Atomic* atomic)
{
    return gOffset < 0 || !atomic ? nullptr
                                  : reinterpret_cast<AtomicOwnerData*>(reinterpret_cast<char*>(atomic) + gOffset);
}

W3dNode* AtomicOwner::GetOwner(Atomic* atomic)
{
    AtomicOwnerData* words = Get(atomic);
    return words ? words->owner : nullptr;
}

int32_t AtomicOwner::GetOffset()
{
    return gOffset;
}

void ClumpSetOwnerNode(Clump* clump, W3dNode* node)
{
    if (clump)
        Clump::ForAllAtomics(clump, SetOwner, node);
}
