// Pipeline dependency analysis: which clusters each node receives, through which outputs
// they continue, which packet slot carries each, and the tables laid out from that in the
// unlocked pipeline's block. Runs on the sorted nodes inside Pipeline::Unlock.
#include "pipeline.h"

#include "error.h"
#include "pipeline_local.h"

#include <cstring>

struct RequirementEntry
{
    const ClusterDefinition* definition;
    int32_t kind;
    int32_t refCount;
    uint32_t outputMask;
    int32_t slot;
    int32_t group;
    PipelineNode* requester;
};

struct RequirementList
{
    RequirementEntry* entries;
    int32_t capacity;
    int32_t count;
    PipelineNode* node;
};

namespace
{

/// The code of the analysis that runs, once it failed: the passes stop at the first one.
int32_t sCode = 0;

bool Failed()
{
    return sCode != 0;
}

void Fail(int32_t code)
{
    if (sCode)
        return;
    Error::Report(kCorePluginId, code);
    sCode = code;
}

/// Scratch that ran out fails the analysis with code 32 (after the allocation's own code).
void* Take(void* memory)
{
    if (!memory)
        Fail(kCoreErrScratchFull);
    return memory;
}

int32_t CountDistinctClusters(const Pipeline* pipeline)
{
    const ClusterDefinition* seen[kNodeMaxClusters * Pipeline::kMaxNodes];
    int32_t count = 0;
    for (int32_t n = 0; n < pipeline->numNodes; ++n)
    {
        const NodeDefinition* definition = pipeline->nodes[n].definition;
        for (int32_t c = 0; c < definition->numClustersOfInterest; ++c)
        {
            const ClusterDefinition* cluster = definition->clustersOfInterest[c].definition;
            bool found = false;
            for (int32_t k = 0; k < count && !found; ++k)
                found = seen[k] == cluster;
            if (!found && count < int32_t(sizeof(seen) / sizeof(seen[0])))
                seen[count++] = cluster;
        }
    }
    return count;
}

// ---- Requirement lists ----------------------------------------------------------------------------

RequirementList* ListOf(Pipeline* pipeline, int32_t node)
{
    return pipeline->nodes[node].sortRecord->requirements;
}

RequirementEntry* Find(RequirementList* list, const ClusterDefinition* cluster)
{
    for (int32_t i = 0; i < list->count; ++i)
        if (list->entries[i].definition == cluster)
            return &list->entries[i];
    return nullptr;
}

RequirementEntry* Add(RequirementList* list, const ClusterDefinition* cluster, int32_t kind, int32_t refCount,
                      PipelineNode* requester)
{
    if (list->count == list->capacity)
    {
        Fail(kCoreErrScratchFull);
        return nullptr;
    }
    RequirementEntry* entry = &list->entries[list->count++];
    *entry = {cluster, kind, refCount, 0, -1, -1, kind == kClusterRequired ? requester : nullptr};
    return entry;
}

void Remove(RequirementList* list, RequirementEntry* entry)
{
    *entry = list->entries[--list->count];
}

int32_t ClusterIndex(const NodeDefinition* definition, const ClusterDefinition* cluster)
{
    for (int32_t c = 0; c < definition->numClustersOfInterest; ++c)
        if (definition->clustersOfInterest[c].definition == cluster)
            return c;
    return -1;
}

/// What output o of the node does to the cluster.
int32_t Validity(const PipelineNode* node, int32_t output, const ClusterDefinition* cluster)
{
    const NodeOutput& out = node->definition->outputs[output];
    int32_t c = ClusterIndex(node->definition, cluster);
    if (c >= 0)
        return out.clusterValidity ? out.clusterValidity[c] : kClusterPassThrough;
    return out.otherValidity;
}

/// One input of the node no longer brings the cluster; once none does, the node drops it and
/// so do the nodes it would have passed it on to.
void Withdraw(Pipeline* pipeline, int32_t node, const ClusterDefinition* cluster)
{
    RequirementList* list = ListOf(pipeline, node);
    RequirementEntry* entry = Find(list, cluster);
    if (!entry || --entry->refCount > 0)
        return;
    Remove(list, entry);
    const PipelineNode& fed = pipeline->nodes[node];
    for (int32_t o = 0; o < fed.numOutputs; ++o)
        if (fed.outputs[o] >= 0 && Validity(&fed, o, cluster) == kClusterPassThrough)
            Withdraw(pipeline, fed.outputs[o], cluster);
}

// ---- The passes ------------------------------------------------------------------------------------

void BackwardPass(Pipeline* pipeline, int32_t distinct)
{
    for (int32_t n = pipeline->numNodes - 1; n >= 0; --n)
    {
        PipelineNode* node = &pipeline->nodes[n];
        const NodeDefinition* definition = node->definition;
        for (int32_t c = 0; c < definition->numClustersOfInterest; ++c)
        {
            const ClusterDefinition* cluster = definition->clustersOfInterest[c].definition;
            if (!cluster)
                return Fail(kCoreErrClusterUnnamed);
            if (ClusterIndex(definition, cluster) != c)
                return Fail(kCoreErrClusterTwice);
        }
        auto* list = static_cast<RequirementList*>(Take(Pipeline::AllocTop(sizeof(RequirementList))));
        auto* entries =
            list ? static_cast<RequirementEntry*>(Take(Pipeline::AllocTop(size_t(distinct) * sizeof(RequirementEntry))))
                 : nullptr;
        if (!entries)
            return;
        list->entries = entries;
        list->capacity = distinct;
        list->count = 0;
        list->node = node;
        node->sortRecord->requirements = list;
        int32_t inputs = node->sortRecord->numInputs;

        for (int32_t o = 0; o < node->numOutputs; ++o)
        {
            int32_t target = node->outputs[o];
            if (target < 0)
                continue;
            RequirementList* fed = ListOf(pipeline, target);
            // Downwards: withdrawing moves the last entry into the place of the one removed.
            for (int32_t k = fed->count - 1; k >= 0; --k)
            {
                if (k >= fed->count)
                    continue;
                RequirementEntry wanted = fed->entries[k];
                int32_t validity = Validity(node, o, wanted.definition);
                if (validity == kClusterPassThrough)
                {
                    RequirementEntry* entry = Find(list, wanted.definition);
                    if (!entry && !Add(list, wanted.definition, wanted.kind, inputs, wanted.requester))
                        return;
                    if (entry && wanted.kind == kClusterRequired)
                    {
                        entry->kind = kClusterRequired;
                        entry->requester = wanted.requester;
                    }
                }
                else if (wanted.kind == kClusterRequired && validity != kClusterValid)
                    return Fail(kCoreErrClusterInvalid);
                else if (validity == kClusterInvalid)
                    Withdraw(pipeline, target, wanted.definition);
            }
        }
        for (int32_t c = 0; c < definition->numClustersOfInterest; ++c)
        {
            int32_t kind = definition->inputRequirements ? definition->inputRequirements[c] : kClusterNotWanted;
            if (kind == kClusterNotWanted)
                continue;
            const ClusterDefinition* cluster = definition->clustersOfInterest[c].definition;
            RequirementEntry* entry = Find(list, cluster);
            if (!entry && !Add(list, cluster, kind, inputs, node))
                return;
            if (entry && kind == kClusterRequired)
            {
                entry->kind = kClusterRequired;
                entry->requester = node;
            }
        }
    }
}

void ForwardPass(Pipeline* pipeline)
{
    for (int32_t n = 0; n < pipeline->numNodes; ++n)
    {
        PipelineNode* node = &pipeline->nodes[n];
        const NodeDefinition* definition = node->definition;
        RequirementList* list = ListOf(pipeline, n);
        for (int32_t c = 0; c < definition->numClustersOfInterest; ++c)
        {
            const ClusterOfInterest& interest = definition->clustersOfInterest[c];
            if (interest.forcePresent && !Find(list, interest.definition) &&
                !Add(list, interest.definition, kClusterNotWanted, 1, node))
                return;
        }
        for (int32_t o = 0; o < node->numOutputs; ++o)
        {
            int32_t target = node->outputs[o];
            if (target < 0)
                continue;
            RequirementList* fed = ListOf(pipeline, target);
            for (int32_t k = 0; k < fed->count; ++k)
            {
                const ClusterDefinition* cluster = fed->entries[k].definition;
                int32_t validity = Validity(node, o, cluster);
                RequirementEntry* entry = Find(list, cluster);
                if (validity == kClusterValid && !entry && !(entry = Add(list, cluster, kClusterNotWanted, 1, node)))
                    return;
                if (entry && validity != kClusterInvalid)
                    entry->outputMask |= 1u << o;
            }
        }
    }
}

// ---- Slot groups ----------------------------------------------------------------------------------

int32_t Root(int32_t* parents, int32_t group)
{
    while (parents[group] != group)
        group = parents[group];
    return group;
}

/// Groups entries that travel together; answers the number of groups made (roots and merged).
int32_t MakeGroups(Pipeline* pipeline, int32_t** parentsOut)
{
    int32_t total = 0;
    for (int32_t n = 0; n < pipeline->numNodes; ++n)
        total += ListOf(pipeline, n)->count;
    auto* parents = static_cast<int32_t*>(Take(Pipeline::AllocTop(size_t(total) * sizeof(int32_t))));
    *parentsOut = parents;
    if (!parents)
        return 0;
    int32_t groups = 0;
    for (int32_t n = 0; n < pipeline->numNodes; ++n)
    {
        const PipelineNode& node = pipeline->nodes[n];
        RequirementList* list = ListOf(pipeline, n);
        for (int32_t k = 0; k < list->count; ++k)
        {
            RequirementEntry& entry = list->entries[k];
            if (entry.group < 0)
            {
                parents[groups] = groups;
                entry.group = groups++;
            }
            for (int32_t o = 0; o < node.numOutputs; ++o)
            {
                if (!(entry.outputMask & (1u << o)) || node.outputs[o] < 0)
                    continue;
                RequirementEntry* next = Find(ListOf(pipeline, node.outputs[o]), entry.definition);
                if (!next)
                    continue;
                if (next->group < 0)
                {
                    next->group = entry.group;
                    continue;
                }
                int32_t a = Root(parents, entry.group);
                int32_t b = Root(parents, next->group);
                if (a != b)
                    parents[a > b ? a : b] = a < b ? a : b;
            }
        }
    }
    *parentsOut = parents;
    return groups;
}

bool NodeUsesSlot(RequirementList* list, int32_t slot)
{
    for (int32_t k = 0; k < list->count; ++k)
        if (list->entries[k].slot == slot)
            return true;
    return false;
}

/// Lowest free slot per group in creation order. Answers the packet's slot count.
int32_t AssignSlots(Pipeline* pipeline, int32_t* parents, int32_t groups)
{
    int32_t slots = 0;
    for (int32_t g = 0; g < groups; ++g)
    {
        if (parents[g] != g)
            continue;
        int32_t slot = 0;
        for (bool clash = true; clash;)
        {
            clash = false;
            for (int32_t n = 0; n < pipeline->numNodes && !clash; ++n)
            {
                RequirementList* list = ListOf(pipeline, n);
                for (int32_t k = 0; k < list->count && !clash; ++k)
                    if (Root(parents, list->entries[k].group) == g && NodeUsesSlot(list, slot))
                        clash = true;
            }
            if (clash)
                ++slot;
        }
        for (int32_t n = 0; n < pipeline->numNodes; ++n)
        {
            RequirementList* list = ListOf(pipeline, n);
            for (int32_t k = 0; k < list->count; ++k)
                if (Root(parents, list->entries[k].group) == g)
                    list->entries[k].slot = slot;
        }
        if (slot + 1 > slots)
            slots = slot + 1;
    }
    return slots;
}

// ---- Tables ---------------------------------------------------------------------------------------------

void* TakeZeroed(size_t size)
{
    void* memory = Take(Pipeline::AllocBottom(size));
    if (memory)
        std::memset(memory, 0, PipelineAlign(size));
    return memory;
}

void LayOutTables(Pipeline* pipeline, int32_t* parents, int32_t groups, int32_t slots)
{
    auto* packet = static_cast<Packet*>(TakeZeroed(sizeof(Packet) + size_t(slots) * sizeof(Cluster)));
    if (!packet)
        return;
    packet->numClusters = uint16_t(slots);
    packet->pipeline = pipeline;
    pipeline->embeddedPacket = packet;
    pipeline->embeddedPacketState = 0;
    pipeline->packetNumSlots = slots;

    // One pipeline cluster per distinct cluster definition of the groups.
    int32_t numClusters = 0;
    auto definitionOfGroup = [&](int32_t g) -> const ClusterDefinition*
    {
        for (int32_t n = 0; n < pipeline->numNodes; ++n)
        {
            RequirementList* list = ListOf(pipeline, n);
            for (int32_t k = 0; k < list->count; ++k)
                if (Root(parents, list->entries[k].group) == g)
                    return list->entries[k].definition;
        }
        return nullptr;
    };
    PipelineCluster* clusters = static_cast<PipelineCluster*>(TakeZeroed(size_t(groups) * sizeof(PipelineCluster)));
    if (!clusters)
        return;
    for (int32_t g = 0; g < groups; ++g)
    {
        if (parents[g] != g)
            continue;
        const ClusterDefinition* definition = definitionOfGroup(g);
        bool known = false;
        for (int32_t i = 0; i < numClusters && !known; ++i)
            known = clusters[i].definition == definition;
        if (!known && definition)
            clusters[numClusters++] = {definition, definition->defaultAttributes};
    }
    auto clusterOf = [&](const ClusterDefinition* definition) -> PipelineCluster*
    {
        for (int32_t i = 0; i < numClusters; ++i)
            if (clusters[i].definition == definition)
                return &clusters[i];
        return nullptr;
    };

    for (int32_t n = 0; n < pipeline->numNodes; ++n)
    {
        PipelineNode* node = &pipeline->nodes[n];
        RequirementList* list = ListOf(pipeline, n);
        node->slotClusters = static_cast<PipelineCluster**>(TakeZeroed(size_t(slots) * sizeof(PipelineCluster*)));
        node->continueMasks = static_cast<uint32_t*>(TakeZeroed(size_t(slots + 1) * sizeof(uint32_t)));
        node->privateData = TakeZeroed(size_t(node->definition->privateDataSize));
        int32_t numInterest = node->definition->numClustersOfInterest;
        node->inputLocations = static_cast<int32_t*>(TakeZeroed(size_t(numInterest) * sizeof(int32_t)));
        if (Failed())
            return;
        node->continueMasks[0] = 0xFFFFFFFFu;
        for (int32_t k = 0; k < list->count; ++k)
        {
            const RequirementEntry& entry = list->entries[k];
            node->slotClusters[entry.slot] = clusterOf(entry.definition);
            node->continueMasks[entry.slot + 1] = entry.outputMask;
            node->continueMasks[0] &= entry.outputMask;
        }
        for (int32_t c = 0; c < numInterest; ++c)
        {
            const RequirementEntry* entry = Find(list, node->definition->clustersOfInterest[c].definition);
            node->inputLocations[c] = entry ? entry->slot : -1;
        }
    }

    RequirementList* entryList = ListOf(pipeline, 0);
    int32_t count = 0;
    for (int32_t k = 0; k < entryList->count; ++k)
        if (entryList->entries[k].kind != kClusterNotWanted)
            ++count;
    auto* requirements = static_cast<InputRequirement*>(TakeZeroed(size_t(count) * sizeof(InputRequirement)));
    if (!requirements)
        return;
    count = 0;
    for (int32_t k = 0; k < entryList->count; ++k)
    {
        const RequirementEntry& entry = entryList->entries[k];
        if (entry.kind != kClusterNotWanted)
            requirements[count++] = {entry.definition, entry.kind, entry.slot};
    }
    Pipeline::SortRecords(requirements, count, sizeof(InputRequirement), offsetof(InputRequirement, definition), 0,
                          UINTPTR_MAX);
    pipeline->inputRequirements = requirements;
    pipeline->numInputRequirements = count;
}

} // namespace

// ---- Scratch ----------------------------------------------------------------------------------------------

void* Pipeline::AllocBottom(size_t size)
{
    PipelineScratch& scratch = PipelineScratchArea();
    size = PipelineAlign(size);
    if (!scratch.bottom || size > size_t(scratch.top - scratch.bottom))
    {
        Error::Report(kCorePluginId, Error::MakeCode(kErrNoMemory, size));
        return nullptr;
    }
    void* memory = scratch.bottom;
    scratch.bottom += size;
    return memory;
}

void* Pipeline::AllocTop(size_t size)
{
    PipelineScratch& scratch = PipelineScratchArea();
    size = PipelineAlign(size);
    if (!scratch.top || size > size_t(scratch.top - scratch.bottom))
    {
        Error::Report(kCorePluginId, Error::MakeCode(kErrNoMemory, size));
        return nullptr;
    }
    scratch.top -= size;
    return scratch.top;
}

size_t Pipeline::ScratchBound(const Pipeline* pipeline)
{
    size_t nodes = size_t(pipeline->numNodes);
    size_t distinct = size_t(CountDistinctClusters(pipeline));
    size_t entries = nodes * distinct; // also bounds the groups and the slots
    size_t lists =
        nodes * (PipelineAlign(sizeof(RequirementList)) + PipelineAlign(distinct * sizeof(RequirementEntry)));
    size_t perNode = PipelineAlign(entries * sizeof(PipelineCluster*)) +
                     PipelineAlign((entries + 1) * sizeof(uint32_t)) +
                     PipelineAlign(kNodeMaxClusters * sizeof(int32_t));
    size_t privateData = 0;
    for (int32_t n = 0; n < pipeline->numNodes; ++n)
        privateData += PipelineAlign(size_t(pipeline->nodes[n].definition->privateDataSize));
    return lists + PipelineAlign(entries * sizeof(int32_t)) + PipelineAlign(sizeof(Packet)) +
           entries * sizeof(Cluster) + PipelineAlign(entries * sizeof(PipelineCluster)) + nodes * perNode +
           privateData + PipelineAlign(distinct * sizeof(InputRequirement)) + 2 * kPipelineScratchAlignment;
}

// ---- Analysis ----------------------------------------------------------------------------------------------

int32_t Pipeline::AnalyseDependencies(Pipeline* pipeline)
{
    sCode = 0;
    int32_t distinct = CountDistinctClusters(pipeline);
    BackwardPass(pipeline, distinct);
    if (!Failed())
        ForwardPass(pipeline);
    int32_t* parents = nullptr;
    int32_t groups = Failed() ? 0 : MakeGroups(pipeline, &parents);
    int32_t slots = Failed() ? 0 : AssignSlots(pipeline, parents, groups);
    if (!Failed())
        LayOutTables(pipeline, parents, groups, slots);
    for (int32_t n = 0; n < pipeline->numNodes; ++n)
        pipeline->nodes[n].sortRecord->requirements = nullptr;
    int32_t code = sCode;
    sCode = 0;
    return code;
}

void Pipeline::SortRecords(void* records, int32_t count, size_t recordSize, size_t keyOffset, uintptr_t, uintptr_t)
{
    // Insertion sort: the lists are short (one record per cluster of the entry node).
    auto* bytes = static_cast<uint8_t*>(records);
    auto key = [&](const uint8_t* record)
    {
        uintptr_t value;
        std::memcpy(&value, record + keyOffset, sizeof(value));
        return value;
    };
    uint8_t held[64];
    if (recordSize > sizeof(held))
        return;
    for (int32_t i = 1; i < count; ++i)
    {
        std::memcpy(held, bytes + size_t(i) * recordSize, recordSize);
        uintptr_t heldKey = key(held);
        int32_t j = i - 1;
        while (j >= 0 && key(bytes + size_t(j) * recordSize) > heldKey)
        {
            std::memcpy(bytes + size_t(j + 1) * recordSize, bytes + size_t(j) * recordSize, recordSize);
            --j;
        }
        std::memcpy(bytes + size_t(j + 1) * recordSize, held, recordSize);
    }
}
