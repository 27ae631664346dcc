// The counting module and the module with an unused free list.
#include "sparemodule.h"

#include "engine.h"
#include "freelist.h"

namespace
{

struct ListBlock
{
    FreeList* list;
};

constexpr int32_t kListEntrySize = 33;
constexpr int32_t kListEntriesPerBlock = 16;
constexpr uint32_t kListHint = kMemoryHintEngine | uint32_t(SpareModule::kListPluginId);

int32_t sCounterOpens = 0;
int32_t sListOpens = 0;
FreeList sList;

} // namespace

const int32_t SpareModule::kCounterBlockSize = 0;
const int32_t SpareModule::kListBlockSize = sizeof(ListBlock);

void* SpareModule::OpenCounter(void* engine, int32_t, int32_t)
{
    ++sCounterOpens;
    return engine;
}

void* SpareModule::CloseCounter(void* engine, int32_t, int32_t)
{
    --sCounterOpens;
    return engine;
}

void* SpareModule::OpenList(void* engine, int32_t offset, int32_t)
{
    auto* block = static_cast<ListBlock*>(Engine::Block(static_cast<Engine*>(engine), offset));
    block->list = FreeList::CreateInStorage(kListEntrySize, kListEntriesPerBlock, 0, 1, &sList, kListHint);
    if (!block->list)
        return nullptr;
    ++sListOpens;
    return engine;
}

void* SpareModule::CloseList(void* engine, int32_t offset, int32_t)
{
    auto* block = static_cast<ListBlock*>(Engine::Block(static_cast<Engine*>(engine), offset));
    FreeList::Destroy(block->list);
    block->list = nullptr;
    --sListOpens;
    return engine;
}

int32_t SpareModule::GetCounterOpenCount()
{
    return sCounterOpens;
}

int32_t SpareModule::GetListOpenCount()
{
    return sListOpens;
}
