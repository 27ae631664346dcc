// Pipelines: creation, locking, appending and removing nodes, unlocking (sort, analysis,
// layout, node initialisation), finding nodes and execution; the pipeline module and the
// default pipeline render state.
#include "pipeline.h"

#include "engine.h"
#include "error.h"
#include "freelist.h"
#include "pipeheap.h"
#include "pipeline_local.h"

#include <cstring>
#include <type_traits>
#include <utility>

namespace
{

struct PipelineModuleBlock
{
    FreeList* pipelines;
    PipelineRenderState defaultRenderState;
    int32_t maxNodes;
    Pipeline* defaultPipelines[Pipeline::kNumDefaultSlots];
    PipeHeap* heap;
};

/// Module-wide: only one pipeline executes at a time; a body that executes another
/// pipeline gets its own context, and the outer one comes back afterwards.
struct ExecutionContext
{
    Pipeline* pipeline;
    int32_t success;
    NodeExecutionParameters parameters;
};

constexpr int32_t kPipelinesPerBlock = 64;
constexpr uint32_t kModuleHint = kMemoryHintEngine | uint32_t(Pipeline::kPluginId);
constexpr uint32_t kObjectHint = kMemoryHintObject | uint32_t(Pipeline::kPluginId);

constexpr PipelineRenderState kDefaultRenderState = {7, 2, 5, 6, nullptr, 1, 1, 2, 0xFFFFFFFFu, 0, 0xFFFFFFFFu};

PipelineModuleBlock* sBlock = nullptr;
FreeList sPipelineList;
int32_t sOpenCount = 0;
ExecutionContext sContext = {};

void Report(int32_t code)
{
    Error::Report(kCorePluginId, code);
}

int32_t MaxNodes()
{
    return sBlock ? sBlock->maxNodes : Pipeline::kMaxNodes;
}

// ---- The locked layout ------------------------------------------------------------------------------
// Room for the maximum node count of nodes, then a 32-entry output array per node position,
// then a sort record per node position. Every pointer is fixed by the position.

size_t NodesBytes()
{
    return PipelineAlign(size_t(MaxNodes()) * sizeof(PipelineNode));
}

size_t LockedSize()
{
    return NodesBytes() + size_t(MaxNodes()) * kNodeMaxOutputs * sizeof(int32_t) +
           size_t(MaxNodes()) * sizeof(NodeSortRecord);
}

int32_t* FixedOutputs(void* block, int32_t index)
{
    return reinterpret_cast<int32_t*>(static_cast<uint8_t*>(block) + NodesBytes()) + index * kNodeMaxOutputs;
}

NodeSortRecord* FixedSortRecord(void* block, int32_t index)
{
    return reinterpret_cast<NodeSortRecord*>(reinterpret_cast<uint8_t*>(FixedOutputs(block, MaxNodes()))) + index;
}

void ForgetTables(PipelineNode* node)
{
    node->slotClusters = nullptr;
    node->continueMasks = nullptr;
    node->privateData = nullptr;
    node->inputLocations = nullptr;
}

/// Puts every node's outputs back into its fixed array, last node first (the packed arrays
/// lie at or below the fixed ones), clears the sort records and forgets the tables.
void LayOutLockedInPlace(Pipeline* pipeline)
{
    void* block = pipeline->block;
    pipeline->nodes = static_cast<PipelineNode*>(block);
    for (int32_t i = pipeline->numNodes - 1; i >= 0; --i)
    {
        PipelineNode* node = &pipeline->nodes[i];
        int32_t* fixed = FixedOutputs(block, i);
        if (node->outputs && node->outputs != fixed)
            std::memmove(fixed, node->outputs, size_t(node->numOutputs) * sizeof(int32_t));
        node->outputs = fixed;
        ForgetTables(node);
    }
    for (int32_t i = 0; i < pipeline->numNodes; ++i)
    {
        PipelineNode* node = &pipeline->nodes[i];
        node->sortRecord = FixedSortRecord(block, i);
        *node->sortRecord = {};
    }
    pipeline->embeddedPacket = nullptr;
    pipeline->inputRequirements = nullptr;
    pipeline->numInputRequirements = 0;
    pipeline->packetNumSlots = 0;
}

/// Copies the nodes into a new block in the locked layout; the old block is freed.
void MoveToLockedBlock(Pipeline* pipeline, void* newBlock, size_t newSize)
{
    auto* nodes = static_cast<PipelineNode*>(newBlock);
    for (int32_t i = 0; i < pipeline->numNodes; ++i)
    {
        const PipelineNode& old = pipeline->nodes[i];
        nodes[i] = old;
        nodes[i].outputs = FixedOutputs(newBlock, i);
        if (old.outputs)
            std::memcpy(nodes[i].outputs, old.outputs, size_t(old.numOutputs) * sizeof(int32_t));
        nodes[i].sortRecord = FixedSortRecord(newBlock, i);
        *nodes[i].sortRecord = old.sortRecord ? *old.sortRecord : NodeSortRecord{};
        ForgetTables(&nodes[i]);
    }
    Memory::Free(pipeline->block);
    pipeline->block = newBlock;
    pipeline->blockSize = newSize;
    pipeline->nodes = nodes;
    pipeline->embeddedPacket = nullptr;
    pipeline->inputRequirements = nullptr;
    pipeline->numInputRequirements = 0;
    pipeline->packetNumSlots = 0;
}

/// Repoints every reference into the unlocked layout after it was copied to another block.
void Rebase(Pipeline* pipeline, const void* oldBlock, size_t size)
{
    const auto* oldStart = static_cast<const uint8_t*>(oldBlock);
    auto* newStart = static_cast<uint8_t*>(pipeline->block);
    auto fix = [&](auto*& pointer)
    {
        auto* bytes = reinterpret_cast<const uint8_t*>(pointer);
        if (bytes >= oldStart && bytes < oldStart + size)
            pointer = reinterpret_cast<std::remove_reference_t<decltype(pointer)>>(newStart + (bytes - oldStart));
    };
    fix(pipeline->nodes);
    fix(pipeline->embeddedPacket);
    fix(pipeline->inputRequirements);
    for (int32_t i = 0; i < pipeline->numNodes; ++i)
    {
        PipelineNode* node = &pipeline->nodes[i];
        fix(node->outputs);
        fix(node->slotClusters);
        fix(node->continueMasks);
        fix(node->privateData);
        fix(node->inputLocations);
        node->sortRecord = nullptr;
        for (int32_t s = 0; node->slotClusters && s < pipeline->packetNumSlots; ++s)
            fix(node->slotClusters[s]);
    }
    if (pipeline->embeddedPacket)
    {
        Cluster* clusters = Packet::Clusters(pipeline->embeddedPacket);
        for (int32_t s = 0; s < pipeline->embeddedPacket->numClusters; ++s)
            fix(clusters[s].pipelineCluster);
    }
}

// ---- Node life cycle -----------------------------------------------------------------------------------

void ReleaseUse(NodeDefinition* definition)
{
    if (--definition->useCount == 0 && definition->nodeTerm)
        definition->nodeTerm(definition);
}

/// A node stops naming the definition; an editable one goes with the last node that named it.
void LetGo(NodeDefinition* definition)
{
    if (--definition->holders <= 0 && definition->editable && definition->useCount == 0)
        Memory::Free(definition);
}

void TermNode(PipelineNode* node)
{
    if (node->definition->pipelineNodeTerm)
        node->definition->pipelineNodeTerm(node);
    ReleaseUse(node->definition);
}

/// Terms the nodes from..numNodes-1 (the ones initialised so far, which come after).
void UndoInitialised(Pipeline* pipeline, int32_t from)
{
    for (int32_t i = from; i < pipeline->numNodes; ++i)
        TermNode(&pipeline->nodes[i]);
}

/// Unlock steps 9 and 10: init from the last node to the first, then config. False with
/// every node undone.
bool InitialiseNodes(Pipeline* pipeline)
{
    for (int32_t i = pipeline->numNodes - 1; i >= 0; --i)
    {
        PipelineNode* node = &pipeline->nodes[i];
        NodeDefinition* definition = node->definition;
        int32_t previous = definition->useCount++;
        if (previous == 0 && definition->nodeInit && !definition->nodeInit(definition))
        {
            definition->useCount = previous;
            UndoInitialised(pipeline, i + 1);
            return false;
        }
        if (definition->pipelineNodeInit && !definition->pipelineNodeInit(node))
        {
            ReleaseUse(definition);
            UndoInitialised(pipeline, i + 1);
            return false;
        }
    }
    for (int32_t i = pipeline->numNodes - 1; i >= 0; --i)
    {
        PipelineNode* node = &pipeline->nodes[i];
        if (node->definition->pipelineNodeConfig && !node->definition->pipelineNodeConfig(node, pipeline))
        {
            UndoInitialised(pipeline, 0);
            return false;
        }
    }
    return true;
}

// ---- The sort ---------------------------------------------------------------------------------------------

/// Swaps the nodes at positions a and b with their outputs and sort records, and renumbers
/// every output that named either.
void SwapNodes(Pipeline* pipeline, int32_t a, int32_t b)
{
    if (a == b)
        return;
    PipelineNode* nodes = pipeline->nodes;
    for (int32_t i = 0; i < pipeline->numNodes; ++i)
        for (int32_t o = 0; o < nodes[i].numOutputs; ++o)
        {
            int32_t& target = nodes[i].outputs[o];
            target = target == a ? b : target == b ? a : target;
        }
    PipelineNode& na = nodes[a];
    PipelineNode& nb = nodes[b];
    int32_t outputs[kNodeMaxOutputs];
    std::memcpy(outputs, na.outputs, sizeof(outputs));
    std::memcpy(na.outputs, nb.outputs, sizeof(outputs));
    std::memcpy(nb.outputs, outputs, sizeof(outputs));
    std::swap(*na.sortRecord, *nb.sortRecord);
    // The positional pointers stay with the positions.
    std::swap(na.outputs, nb.outputs);
    std::swap(na.sortRecord, nb.sortRecord);
    std::swap(na, nb);
}

void Place(Pipeline* pipeline, int32_t index, int32_t* position)
{
    int32_t placed = (*position)++;
    SwapNodes(pipeline, index, placed);
    PipelineNode* node = &pipeline->nodes[placed];
    for (int32_t o = 0; o < node->numOutputs; ++o)
    {
        // Read again each time: placing a node renumbers the outputs.
        int32_t target = node->outputs[o];
        if (target < 0)
            continue;
        NodeSortRecord* record = pipeline->nodes[target].sortRecord;
        if (++record->inputsVisited == record->numInputs)
            Place(pipeline, target, position);
    }
}

/// Unlock steps 2 to 5. 0, or the code to report.
int32_t SortNodes(Pipeline* pipeline)
{
    int32_t count = pipeline->numNodes;
    int32_t entry = pipeline->entryNode;
    if (entry < 0 || entry >= count || !pipeline->nodes[entry].definition)
        return kCoreErrEntryNode;
    for (int32_t i = 0; i < count; ++i)
        *pipeline->nodes[i].sortRecord = {};
    for (int32_t i = 0; i < count; ++i)
        for (int32_t o = 0; o < pipeline->nodes[i].numOutputs; ++o)
        {
            int32_t target = pipeline->nodes[i].outputs[o];
            if (target >= count)
                return kCoreErrEntryNode;
            if (target >= 0)
                ++pipeline->nodes[target].sortRecord->numInputs;
        }
    if (pipeline->nodes[entry].sortRecord->numInputs != 0)
        return kCoreErrEntryNode;
    for (int32_t i = 0; i < count; ++i)
        if (i != entry && pipeline->nodes[i].sortRecord->numInputs == 0)
            return kCoreErrNodeNoInput;

    int32_t position = 0;
    Place(pipeline, entry, &position);
    pipeline->entryNode = 0;
    for (int32_t i = 0; i < count; ++i)
    {
        const NodeSortRecord* record = pipeline->nodes[i].sortRecord;
        if (record->inputsVisited != record->numInputs)
            return kCoreErrPipelineCycle;
    }
    return 0;
}

/// Unlock step 6: sort records to the block's end, outputs packed behind the node table.
/// Sets the scratch range between them.
void PackForAnalysis(Pipeline* pipeline)
{
    auto* block = static_cast<uint8_t*>(pipeline->block);
    int32_t count = pipeline->numNodes;
    auto* records = reinterpret_cast<NodeSortRecord*>(block + pipeline->blockSize) - count;
    std::memmove(records, pipeline->nodes[0].sortRecord, size_t(count) * sizeof(NodeSortRecord));
    size_t offset = size_t(count) * sizeof(PipelineNode);
    for (int32_t i = 0; i < count; ++i)
    {
        PipelineNode* node = &pipeline->nodes[i];
        node->sortRecord = &records[i];
        if (node->numOutputs == 0)
        {
            node->outputs = nullptr;
            continue;
        }
        auto* packed = reinterpret_cast<int32_t*>(block + offset);
        std::memmove(packed, node->outputs, size_t(node->numOutputs) * sizeof(int32_t));
        node->outputs = packed;
        offset += size_t(node->numOutputs) * sizeof(int32_t);
    }
    PipelineScratch& scratch = PipelineScratchArea();
    scratch.bottom = block + PipelineAlign(offset);
    scratch.top =
        reinterpret_cast<uint8_t*>(reinterpret_cast<uintptr_t>(records) & ~uintptr_t(kPipelineScratchAlignment - 1));
}

} // namespace

PipelineScratch& PipelineScratchArea()
{
    static PipelineScratch scratch = {};
    return scratch;
}

// ---- Building ---------------------------------------------------------------------------------------------------

Pipeline* Pipeline::Create()
{
    Engine* engine = Engine::Current();
    if (!sBlock || !engine)
    {
        Report(Error::MakeCode(kErrNoMemory));
        return nullptr;
    }
    auto* pipeline = static_cast<Pipeline*>(engine->freeListFunctions.take(sBlock->pipelines, kObjectHint));
    if (!pipeline)
    {
        Report(Error::MakeCode(kErrNoMemory, sizeof(Pipeline)));
        return nullptr;
    }
    *pipeline = {};
    return pipeline;
}

void Pipeline::Destroy(Pipeline* pipeline)
{
    if (!pipeline)
        return;
    while (pipeline->numNodes > 0)
        RemoveNode(&pipeline->nodes[pipeline->numNodes - 1], pipeline);
    Memory::Free(pipeline->block);
    if (sBlock)
        Engine::Current()->freeListFunctions.giveBack(sBlock->pipelines, pipeline);
}

Pipeline* Pipeline::Lock(Pipeline* pipeline)
{
    if (!pipeline)
    {
        Report(Error::MakeCode(kErrNullArgument));
        return nullptr;
    }
    if (pipeline->locked)
        return pipeline;

    size_t needed = LockedSize();
    void* grown = nullptr;
    if (!pipeline->block || pipeline->blockSize < needed)
    {
        grown = Memory::AllocateZeroed(1, needed, kObjectHint);
        if (!grown)
        {
            Report(Error::MakeCode(kErrNoMemory, needed));
            return nullptr;
        }
    }
    // The nodes' callbacks are undone while their private data is still in place.
    pipeline->locked = 1;
    for (int32_t i = 0; i < pipeline->numNodes; ++i)
    {
        TermNode(&pipeline->nodes[i]);
        pipeline->nodes[i].slotClusters = nullptr;
    }
    if (grown)
        MoveToLockedBlock(pipeline, grown, needed);
    else
        LayOutLockedInPlace(pipeline);
    return pipeline;
}

Pipeline* Pipeline::AppendNodes(Pipeline* pipeline, int32_t* firstIndex, NodeDefinition* const* definitions)
{
    if (!pipeline)
    {
        Report(Error::MakeCode(kErrNullArgument));
        return nullptr;
    }
    if (!pipeline->locked)
    {
        Report(kCoreErrNotLocked);
        return nullptr;
    }
    if (!definitions || !definitions[0])
        return nullptr;
    int32_t count = 0;
    while (definitions[count])
        ++count;
    int32_t maxNodes = MaxNodes();
    if (pipeline->numNodes + count > maxNodes)
    {
        Report(kCoreErrTooManyNodes);
        return nullptr;
    }

    int32_t first = pipeline->numNodes;
    bool ok = true;
    for (int32_t j = 0; j < count && ok; ++j)
    {
        NodeDefinition* definition = definitions[j];
        if (definition->numClustersOfInterest > kNodeMaxClusters || definition->numClustersOfInterest < 0)
        {
            Report(kCoreErrTooManyClusters);
            ok = false;
            break;
        }
        if (definition->numOutputs > kNodeMaxOutputs || definition->numOutputs < 0)
        {
            Report(kCoreErrTooManyOutputs);
            ok = false;
            break;
        }
        if (definition->numOutputs >= maxNodes)
        {
            Report(kCoreErrTooManyNodes);
            ok = false;
            break;
        }
        int32_t index = pipeline->numNodes++;
        PipelineNode* node = &pipeline->nodes[index];
        *node = {};
        node->definition = definition;
        ++definition->holders;
        node->numOutputs = definition->numOutputs;
        node->outputs = FixedOutputs(pipeline->block, index);
        for (int32_t o = 0; o < kNodeMaxOutputs; ++o)
            node->outputs[o] = -1;
        node->sortRecord = FixedSortRecord(pipeline->block, index);
        *node->sortRecord = {};
        if (j > 0)
        {
            PipelineNode* previous = &pipeline->nodes[index - 1];
            if (previous->numOutputs < 1 || previous->outputs[0] != -1)
            {
                RemoveNode(node, pipeline);
                ok = false;
                break;
            }
            previous->outputs[0] = index;
        }
    }
    if (!ok)
    {
        while (pipeline->numNodes > first)
            RemoveNode(&pipeline->nodes[pipeline->numNodes - 1], pipeline);
        return nullptr;
    }
    if (firstIndex)
        *firstIndex = first;
    return pipeline;
}

Pipeline* Pipeline::Unlock(Pipeline* pipeline)
{
    if (!pipeline)
    {
        Report(Error::MakeCode(kErrNullArgument));
        return nullptr;
    }
    if (!pipeline->locked)
    {
        Report(kCoreErrNotLocked);
        return nullptr;
    }
    if (pipeline->numNodes == 0)
    {
        pipeline->locked = 0;
        return pipeline;
    }
    if (int32_t code = SortNodes(pipeline))
    {
        Report(code);
        return nullptr;
    }

    // The analysis works between the packed outputs and the sort records: make room first.
    size_t needed = LockedSize() + ScratchBound(pipeline);
    if (pipeline->blockSize < needed)
    {
        void* grown = Memory::AllocateZeroed(1, needed, kObjectHint);
        if (!grown)
        {
            Report(Error::MakeCode(kErrNoMemory, needed));
            return nullptr;
        }
        MoveToLockedBlock(pipeline, grown, needed);
    }
    PackForAnalysis(pipeline);
    if (AnalyseDependencies(pipeline) != 0)
    {
        LayOutLockedInPlace(pipeline);
        return nullptr;
    }

    // Shrink into an exact copy; the big block stays until the nodes accept the new one, so
    // a refusing node leaves the pipeline locked in its old block.
    Pipeline saved = *pipeline;
    auto* bigBlock = static_cast<uint8_t*>(pipeline->block);
    size_t used = size_t(PipelineScratchArea().bottom - bigBlock);
    for (int32_t i = 0; i < pipeline->numNodes; ++i)
        pipeline->nodes[i].sortRecord = nullptr;
    void* exact = Memory::Allocate(used, kObjectHint);
    if (exact)
    {
        std::memcpy(exact, bigBlock, used);
        pipeline->block = exact;
        pipeline->blockSize = used;
        Rebase(pipeline, bigBlock, used);
    }
    if (!InitialiseNodes(pipeline))
    {
        if (exact)
        {
            Memory::Free(exact);
            *pipeline = saved;
        }
        LayOutLockedInPlace(pipeline);
        return nullptr;
    }
    if (exact)
        Memory::Free(bigBlock);
    pipeline->locked = 0;
    return pipeline;
}

PipelineNode* Pipeline::RemoveNode(PipelineNode* node, Pipeline* pipeline)
{
    if (!node || !pipeline)
        return node;
    NodeDefinition* definition = node->definition;
    int32_t index = int32_t(node - pipeline->nodes);
    if (pipeline->locked)
    {
        Memory::Free(node->initData);
        if (definition)
            LetGo(definition);
        PipelineNode* nodes = pipeline->nodes;
        for (int32_t i = index; i + 1 < pipeline->numNodes; ++i)
        {
            int32_t* outputs = nodes[i].outputs;
            NodeSortRecord* record = nodes[i].sortRecord;
            std::memcpy(outputs, nodes[i + 1].outputs, kNodeMaxOutputs * sizeof(int32_t));
            *record = *nodes[i + 1].sortRecord;
            nodes[i] = nodes[i + 1];
            nodes[i].outputs = outputs;
            nodes[i].sortRecord = record;
        }
        --pipeline->numNodes;
        for (int32_t i = 0; i < pipeline->numNodes; ++i)
            for (int32_t o = 0; o < nodes[i].numOutputs; ++o)
            {
                int32_t& target = nodes[i].outputs[o];
                if (target == index)
                    target = -1;
                else if (target > index)
                    --target;
            }
        return node;
    }
    if (definition)
    {
        if (definition->pipelineNodeTerm)
            definition->pipelineNodeTerm(node);
        ReleaseUse(definition);
        LetGo(definition);
    }
    Memory::Free(node->initData);
    *node = {};
    --pipeline->numNodes;
    return node;
}

// ---- Use ---------------------------------------------------------------------------------------------------------

PipelineNode* Pipeline::FindNode(Pipeline* pipeline, const char* name, PipelineNode* after, int32_t* index)
{
    if (index)
        *index = -1;
    if (!pipeline || !name || pipeline->numNodes == 0 || !pipeline->nodes)
        return nullptr;
    Engine* engine = Engine::Current();
    auto compare = engine && engine->stringFunctions.strcmp ? engine->stringFunctions.strcmp : std::strcmp;
    int32_t start = after ? int32_t(after - pipeline->nodes) + 1 : 0;
    for (int32_t i = start < 0 ? 0 : start; i < pipeline->numNodes; ++i)
    {
        const NodeDefinition* definition = pipeline->nodes[i].definition;
        if (definition && definition->name && compare(definition->name, name) == 0)
        {
            if (index)
                *index = i;
            return &pipeline->nodes[i];
        }
    }
    return nullptr;
}

Pipeline* Pipeline::Execute(Pipeline* pipeline, void* data, int32_t resetHeap)
{
    // Nothing to run: a null (say, an unset render pipeline), locked or empty pipeline.
    if (!pipeline || pipeline->locked || pipeline->numNodes <= 0 || !pipeline->nodes)
        return nullptr;
    PipeHeap* heap = GetHeap();
    if (resetHeap && heap && heap->needsReset)
        PipeHeap::Reset(heap);

    ExecutionContext outer = sContext;
    sContext = {pipeline, 1, {data, heap}};
    pipeline->embeddedPacketState = 0;
    PipelineNode* first = &pipeline->nodes[0];
    if (!first->definition || !first->definition->body || !first->definition->body(first, &sContext.parameters))
        sContext.success = 0;

    Packet* packet = pipeline->embeddedPacket;
    if (pipeline->embeddedPacketState > 1 && packet)
    {
        Cluster* clusters = Packet::Clusters(packet);
        for (int32_t s = 0; s < packet->numClusters; ++s)
        {
            Cluster& cluster = clusters[s];
            if (!cluster.pipelineCluster)
                continue;
            if (!(cluster.flags & kClusterExternalData))
                PipeHeap::Free(heap, cluster.data);
            PipelineCluster* keep = cluster.pipelineCluster;
            cluster = {};
            cluster.pipelineCluster = keep;
        }
        packet->flags = 0;
    }
    int32_t success = sContext.success;
    sContext = outer;
    return success == 1 ? pipeline : nullptr;
}

PipeHeap* Pipeline::GetHeap()
{
    return sBlock ? sBlock->heap : nullptr;
}

// ---- The module ---------------------------------------------------------------------------------------------------

const int32_t Pipeline::kModuleBlockSize = sizeof(PipelineModuleBlock);

void* Pipeline::OpenModule(void* engine, int32_t offset, int32_t)
{
    if (sOpenCount != 0)
        return nullptr;
    auto* block = static_cast<PipelineModuleBlock*>(Engine::Block(static_cast<Engine*>(engine), offset));
    *block = {};
    block->heap = PipeHeap::Create(kHeapSize);
    if (!block->heap)
        return nullptr;
    block->pipelines =
        FreeList::CreateInStorage(int32_t(sizeof(Pipeline)), kPipelinesPerBlock, 0, 1, &sPipelineList, kModuleHint);
    if (!block->pipelines)
    {
        PipeHeap::Destroy(block->heap);
        block->heap = nullptr;
        return nullptr;
    }
    block->maxNodes = kMaxNodes;
    sBlock = block;
    PipelineRenderState::GetDefault(&block->defaultRenderState);
    ++sOpenCount;
    return engine;
}

void* Pipeline::CloseModule(void* engine, int32_t offset, int32_t)
{
    auto* block = static_cast<PipelineModuleBlock*>(Engine::Block(static_cast<Engine*>(engine), offset));
    FreeList::Destroy(block->pipelines);
    PipeHeap::Destroy(block->heap);
    *block = {};
    sBlock = nullptr;
    --sOpenCount;
    return engine;
}

int32_t Pipeline::GetMaxNodes()
{
    return MaxNodes();
}

Pipeline** Pipeline::DefaultPipelineSlot(int32_t index)
{
    if (!sBlock || index < 0 || index >= kNumDefaultSlots)
        return nullptr;
    return &sBlock->defaultPipelines[index];
}

// ---- Render state -----------------------------------------------------------------------------------------------

PipelineRenderState* PipelineRenderState::GetDefault(PipelineRenderState* record)
{
    if (!record)
    {
        Report(Error::MakeCode(kErrNullArgument));
        return nullptr;
    }
    Engine* engine = Engine::Current();
    if (engine && engine->state == kEngineStarted && sBlock)
    {
        *record = sBlock->defaultRenderState;
        return record;
    }
    if (sBlock && record == &sBlock->defaultRenderState)
    {
        *record = kDefaultRenderState;
        return record;
    }
    Report(Error::MakeCode(kErrNotStarted));
    return nullptr;
}
