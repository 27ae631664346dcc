// Tests of pipelines: building and executing, the graph sort and its errors, node
// life-cycle callbacks across pipelines, the cluster analysis (slots, continue masks, input
// requirements, packet release), finding nodes and the default render state.
#include "engine.h"
#include "error.h"
#include "memory.h"
#include "pipeheap.h"
#include "pipeline.h"
#include "testdevice.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace
{

int32_t TakeError()
{
    Error e;
    Error::Get(&e);
    return e.code;
}

// ---- Node definitions the tests build ---------------------------------------------------------------

struct Counts
{
    int32_t bodies = 0;
    int32_t nodeInits = 0;
    int32_t nodeTerms = 0;
    int32_t pipelineNodeInits = 0;
    int32_t pipelineNodeTerms = 0;
    int32_t configs = 0;
    void* lastData = nullptr;
};
Counts sCounts;
int32_t sBodyAnswer = 1;
int32_t sPipelineNodeInitAnswer = 1;

int32_t CountingBody(PipelineNode*, const NodeExecutionParameters* parameters)
{
    ++sCounts.bodies;
    sCounts.lastData = parameters->data;
    return sBodyAnswer;
}
int32_t CountingNodeInit(NodeDefinition*)
{
    ++sCounts.nodeInits;
    return 1;
}
void CountingNodeTerm(NodeDefinition*)
{
    ++sCounts.nodeTerms;
}
int32_t CountingPipelineNodeInit(PipelineNode*)
{
    ++sCounts.pipelineNodeInits;
    return sPipelineNodeInitAnswer;
}
void CountingPipelineNodeTerm(PipelineNode*)
{
    ++sCounts.pipelineNodeTerms;
}
int32_t CountingConfig(PipelineNode*, Pipeline*)
{
    ++sCounts.configs;
    return 1;
}

NodeDefinition Counting(const char* name, int32_t numOutputs = 0, const NodeOutput* outputs = nullptr)
{
    NodeDefinition d = {};
    d.name = name;
    d.body = CountingBody;
    d.nodeInit = CountingNodeInit;
    d.nodeTerm = CountingNodeTerm;
    d.pipelineNodeInit = CountingPipelineNodeInit;
    d.pipelineNodeTerm = CountingPipelineNodeTerm;
    d.pipelineNodeConfig = CountingConfig;
    d.numOutputs = numOutputs;
    d.outputs = outputs;
    return d;
}

const NodeOutput kPassAll[kNodeMaxOutputs + 1] = {};

class Pipelines : public EngineFixture
{
protected:
    void SetUp() override
    {
        EngineFixture::SetUp();
        sCounts = {};
        sBodyAnswer = 1;
        sPipelineNodeInitAnswer = 1;
        StartEngine();
    }

    /// Locked, with the definitions appended in one call.
    Pipeline* Build(std::vector<NodeDefinition*> definitions)
    {
        Pipeline* pipeline = Pipeline::Create();
        EXPECT_NE(pipeline, nullptr);
        EXPECT_EQ(Pipeline::Lock(pipeline), pipeline);
        definitions.push_back(nullptr);
        EXPECT_EQ(Pipeline::AppendNodes(pipeline, nullptr, definitions.data()), pipeline);
        return pipeline;
    }
};

// ---- Building and executing -------------------------------------------------------------------------------

TEST_F(Pipelines, OneNodePipelineRunsItsBodyOnce)
{
    NodeDefinition only = Counting("only.node");
    Pipeline* pipeline = Pipeline::Create();
    ASSERT_NE(pipeline, nullptr);
    EXPECT_EQ(pipeline->locked, 0);
    EXPECT_EQ(pipeline->numNodes, 0);
    ASSERT_EQ(Pipeline::Lock(pipeline), pipeline);
    EXPECT_EQ(Pipeline::Lock(pipeline), pipeline) << "a locked pipeline comes back unchanged";
    int32_t first = -5;
    NodeDefinition* list[] = {&only, nullptr};
    ASSERT_EQ(Pipeline::AppendNodes(pipeline, &first, list), pipeline);
    EXPECT_EQ(first, 0);
    ASSERT_EQ(Pipeline::Unlock(pipeline), pipeline);

    EXPECT_EQ(pipeline->locked, 0);
    EXPECT_EQ(pipeline->numNodes, 1);
    EXPECT_EQ(pipeline->entryNode, 0);
    EXPECT_EQ(pipeline->packetNumSlots, 0);
    EXPECT_EQ(pipeline->numInputRequirements, 0);
    EXPECT_EQ(pipeline->nodes[0].continueMasks[0], 0xFFFFFFFFu) << "no entries: every bit set";
    EXPECT_EQ(pipeline->nodes[0].outputs, nullptr) << "a node without outputs gets no array";
    EXPECT_LT(pipeline->blockSize, size_t(4096)) << "the block is shrunk to what the tables use";
    EXPECT_EQ(sCounts.nodeInits, 1);
    EXPECT_EQ(sCounts.pipelineNodeInits, 1);
    EXPECT_EQ(sCounts.configs, 1);

    int data = 7;
    EXPECT_EQ(Pipeline::Execute(pipeline, &data, 1), pipeline);
    EXPECT_EQ(sCounts.bodies, 1);
    EXPECT_EQ(sCounts.lastData, &data);
    sBodyAnswer = 0;
    EXPECT_EQ(Pipeline::Execute(pipeline, &data, 0), nullptr) << "a failing body fails the execution";

    Pipeline::Destroy(pipeline);
    EXPECT_EQ(sCounts.pipelineNodeTerms, 1);
    EXPECT_EQ(sCounts.nodeTerms, 1);
}

TEST_F(Pipelines, ExecuteRefusesNullLockedAndEmptyPipelines)
{
    NodeDefinition only = Counting("only.node");
    Pipeline* empty = Pipeline::Create();
    Pipeline* locked = Build({&only});
    EXPECT_EQ(Pipeline::Execute(nullptr, nullptr, 1), nullptr);
    EXPECT_EQ(Pipeline::Execute(empty, nullptr, 1), nullptr);
    EXPECT_EQ(Pipeline::Execute(locked, nullptr, 1), nullptr);
    EXPECT_EQ(sCounts.bodies, 0);
    Pipeline::Destroy(empty);
    Pipeline::Destroy(locked);
    EXPECT_EQ(sCounts.pipelineNodeTerms, 0) << "nodes of a locked pipeline were never initialised";
}

TEST_F(Pipelines, RelockingUndoesTheNodesAndUnlockingRedoesThem)
{
    NodeDefinition a = Counting("a.node", 1, kPassAll);
    NodeDefinition b = Counting("b.node", 1, kPassAll);
    Pipeline* pipeline = Build({&a, &b});
    ASSERT_EQ(Pipeline::Unlock(pipeline), pipeline);
    EXPECT_EQ(pipeline->nodes[0].outputs[0], 1);
    EXPECT_EQ(pipeline->nodes[1].outputs[0], -1);

    ASSERT_EQ(Pipeline::Lock(pipeline), pipeline);
    EXPECT_EQ(sCounts.pipelineNodeTerms, 2);
    EXPECT_EQ(sCounts.nodeTerms, 2);
    EXPECT_EQ(pipeline->nodes[0].outputs[0], 1) << "outputs survive the return to the locked layout";
    NodeDefinition c = Counting("c.node");
    NodeDefinition* more[] = {&c, nullptr};
    ASSERT_EQ(Pipeline::AppendNodes(pipeline, nullptr, more), pipeline);
    pipeline->nodes[1].outputs[0] = 2;
    ASSERT_EQ(Pipeline::Unlock(pipeline), pipeline);
    EXPECT_EQ(pipeline->numNodes, 3);
    EXPECT_EQ(sCounts.nodeInits, 5);
    int32_t index = -1;
    EXPECT_EQ(Pipeline::FindNode(pipeline, "c.node", nullptr, &index), &pipeline->nodes[2]);
    EXPECT_EQ(index, 2);
    Pipeline::Destroy(pipeline);
}

TEST_F(Pipelines, AppendingBehindANodeWithoutOutputsLeavesThePipelineAsItWas)
{
    NodeDefinition a = Counting("a.node");
    NodeDefinition b = Counting("b.node");
    NodeDefinition keep = Counting("keep.node", 1, kPassAll);
    Pipeline* pipeline = Build({&keep});
    NodeDefinition* list[] = {&a, &b, nullptr};
    int32_t first = -5;
    EXPECT_EQ(Pipeline::AppendNodes(pipeline, &first, list), nullptr);
    EXPECT_EQ(first, -5);
    EXPECT_EQ(pipeline->numNodes, 1);
    EXPECT_EQ(pipeline->nodes[0].outputs[0], -1);
    NodeDefinition* none[] = {nullptr};
    EXPECT_EQ(Pipeline::AppendNodes(pipeline, nullptr, none), nullptr);
    EXPECT_EQ(TakeError(), kErrNone) << "no definitions records nothing";
    Pipeline::Destroy(pipeline);
}

TEST_F(Pipelines, NodeInitAndTermAreCountedAcrossPipelines)
{
    NodeDefinition shared = Counting("shared.node");
    Pipeline* first = Build({&shared});
    Pipeline* second = Build({&shared});
    ASSERT_EQ(Pipeline::Unlock(first), first);
    ASSERT_EQ(Pipeline::Unlock(second), second);
    EXPECT_EQ(shared.useCount, 2);
    EXPECT_EQ(sCounts.nodeInits, 1);
    EXPECT_EQ(sCounts.pipelineNodeInits, 2);
    Pipeline::Destroy(first);
    EXPECT_EQ(sCounts.nodeTerms, 0);
    EXPECT_EQ(sCounts.pipelineNodeTerms, 1);
    Pipeline::Destroy(second);
    EXPECT_EQ(sCounts.nodeTerms, 1);
    EXPECT_EQ(shared.useCount, 0);

    // A refusing pipeline-node init gives the use counts back and leaves the pipeline locked.
    NodeDefinition a = Counting("a.node", 1, kPassAll);
    NodeDefinition b = Counting("b.node");
    sCounts = {};
    Pipeline* refused = Build({&a, &b});
    b.pipelineNodeInit = nullptr;
    sPipelineNodeInitAnswer = 0;
    EXPECT_EQ(Pipeline::Unlock(refused), nullptr);
    EXPECT_EQ(refused->locked, 1);
    EXPECT_EQ(a.useCount, 0);
    EXPECT_EQ(b.useCount, 0);
    EXPECT_EQ(sCounts.nodeInits, 2);
    EXPECT_EQ(sCounts.nodeTerms, 2);
    EXPECT_EQ(sCounts.pipelineNodeTerms, 1) << "only b, initialised before a, is undone";
    EXPECT_EQ(refused->nodes[0].outputs[0], 1) << "back in the locked layout";
    sPipelineNodeInitAnswer = 1;
    EXPECT_EQ(Pipeline::Unlock(refused), refused) << "and can be unlocked once the node accepts";
    Pipeline::Destroy(refused);
}

TEST_F(Pipelines, AnEditableDefinitionGoesWithItsLastNode)
{
    auto* editable = static_cast<NodeDefinition*>(Memory::AllocateZeroed(1, sizeof(NodeDefinition), 0));
    ASSERT_NE(editable, nullptr);
    *editable = Counting("editable.node");
    editable->editable = 1;
    Pipeline* first = Build({editable});
    Pipeline* second = Build({editable});
    ASSERT_EQ(Pipeline::Unlock(first), first);
    ASSERT_EQ(Pipeline::Unlock(second), second);
    Pipeline::Destroy(first);
    EXPECT_EQ(TestMemory::live.count(editable), 1u) << "still used by the second pipeline";
    Pipeline::Destroy(second);
    EXPECT_EQ(TestMemory::live.count(editable), 0u);
    EXPECT_EQ(sCounts.nodeTerms, 1);

    // Shared by two pipelines that stay locked (no use counted): freed once, with the second.
    editable = static_cast<NodeDefinition*>(Memory::AllocateZeroed(1, sizeof(NodeDefinition), 0));
    ASSERT_NE(editable, nullptr);
    *editable = Counting("editable.node");
    editable->editable = 1;
    first = Build({editable});
    second = Build({editable});
    Pipeline::Destroy(first);
    EXPECT_EQ(TestMemory::live.count(editable), 1u) << "still named by the second locked pipeline";
    Pipeline::Destroy(second);
    EXPECT_EQ(TestMemory::live.count(editable), 0u);
}

// ---- Errors ---------------------------------------------------------------------------------------------------

const ClusterDefinition kPositions = {"positions", 0x11};
const ClusterDefinition kColours = {"colours", 0x22};
const ClusterOfInterest kWantsPositions[] = {{&kPositions, 0, 0}};
const ClusterOfInterest kPositionsTwice[] = {{&kPositions, 0, 0}, {&kPositions, 0, 0}};
const ClusterOfInterest kUnnamed[] = {{nullptr, 0, 0}};
const int32_t kRequired[] = {kClusterRequired, kClusterRequired};
const int32_t kValid[] = {kClusterValid};
const int32_t kInvalid[] = {kClusterInvalid};
const NodeOutput kMakesValid[] = {{"out", kValid, kClusterPassThrough}};
const NodeOutput kMakesInvalid[] = {{"out", kInvalid, kClusterPassThrough}};

TEST_F(Pipelines, UnlockReportsEveryGraphFault)
{
    struct Case
    {
        const char* what;
        int32_t code;
    };
    const Case cases[] = {
        {"entry node 3 of 2", kCoreErrEntryNode},
        {"a node without input", kCoreErrNodeNoInput},
        {"a cycle", kCoreErrPipelineCycle},
        {"a required cluster made invalid", kCoreErrClusterInvalid},
        {"a cluster twice", kCoreErrClusterTwice},
        {"an unnamed cluster", kCoreErrClusterUnnamed},
        {"the entry node has an input", kCoreErrEntryNode},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        NodeDefinition a = Counting("a.node", 1, kPassAll);
        NodeDefinition b = Counting("b.node", 1, kPassAll);
        NodeDefinition z = Counting("z.node", 1, kPassAll);
        Pipeline* pipeline = nullptr;
        std::string what = c.what;
        if (what == "entry node 3 of 2")
        {
            pipeline = Build({&a, &b});
            pipeline->entryNode = 3;
        }
        else if (what == "a node without input")
        {
            pipeline = Build({&a});
            NodeDefinition* loose[] = {&b, nullptr};
            Pipeline::AppendNodes(pipeline, nullptr, loose);
        }
        else if (what == "a cycle")
        {
            pipeline = Build({&a, &b, &z});
            pipeline->nodes[2].outputs[0] = 1;
        }
        else if (what == "the entry node has an input")
        {
            pipeline = Build({&a, &b});
            pipeline->nodes[1].outputs[0] = 0;
        }
        else
        {
            a.numClustersOfInterest = b.numClustersOfInterest = 1;
            a.clustersOfInterest = b.clustersOfInterest = kWantsPositions;
            a.inputRequirements = b.inputRequirements = kRequired;
            a.outputs = kMakesInvalid;
            if (what == "a cluster twice")
            {
                a.outputs = kMakesValid;
                b.numClustersOfInterest = 2;
                b.clustersOfInterest = kPositionsTwice;
            }
            if (what == "an unnamed cluster")
            {
                a.outputs = kMakesValid;
                b.clustersOfInterest = kUnnamed;
            }
            pipeline = Build({&a, &b});
        }
        TakeError();
        EXPECT_EQ(Pipeline::Unlock(pipeline), nullptr);
        EXPECT_EQ(TakeError(), c.code);
        EXPECT_EQ(pipeline->locked, 1);
        EXPECT_EQ(sCounts.pipelineNodeInits, 0);
        Pipeline::Destroy(pipeline);
    }
}

TEST_F(Pipelines, EditingRefusesUnlockedPipelinesAndOversizedDefinitions)
{
    NodeDefinition only = Counting("only.node");
    NodeDefinition* list[] = {&only, nullptr};
    Pipeline* pipeline = Pipeline::Create();
    TakeError();
    EXPECT_EQ(Pipeline::Unlock(pipeline), nullptr);
    EXPECT_EQ(TakeError(), kCoreErrNotLocked);
    EXPECT_EQ(Pipeline::AppendNodes(pipeline, nullptr, list), nullptr);
    EXPECT_EQ(TakeError(), kCoreErrNotLocked);
    EXPECT_EQ(Pipeline::AppendNodes(nullptr, nullptr, list), nullptr);
    EXPECT_EQ(TakeError(), kErrNullArgument);

    ASSERT_EQ(Pipeline::Lock(pipeline), pipeline);
    NodeDefinition clusters = Counting("clusters.node");
    clusters.numClustersOfInterest = kNodeMaxClusters + 1;
    NodeDefinition outputs = Counting("outputs.node", kNodeMaxOutputs + 1, kPassAll);
    struct Case
    {
        NodeDefinition* definition;
        int32_t code;
    };
    for (const Case& c : {Case{&clusters, kCoreErrTooManyClusters}, Case{&outputs, kCoreErrTooManyOutputs}})
    {
        NodeDefinition* one[] = {&only, c.definition, nullptr};
        EXPECT_EQ(Pipeline::AppendNodes(pipeline, nullptr, one), nullptr);
        EXPECT_EQ(TakeError(), c.code);
        EXPECT_EQ(pipeline->numNodes, 0) << "the nodes of the failed call are removed";
    }
    std::vector<NodeDefinition*> many(Pipeline::kMaxNodes + 1, &only);
    many.push_back(nullptr);
    EXPECT_EQ(Pipeline::AppendNodes(pipeline, nullptr, many.data()), nullptr);
    EXPECT_EQ(TakeError(), kCoreErrTooManyNodes);
    Pipeline::Destroy(pipeline);
}

// ---- Clusters ----------------------------------------------------------------------------------------------

int32_t UsePacketBody(PipelineNode*, const NodeExecutionParameters* parameters)
{
    // As a node that fills the packet: its cluster data comes from the pipeline heap.
    Pipeline* pipeline = static_cast<Pipeline*>(parameters->data);
    Cluster& cluster = Packet::Clusters(pipeline->embeddedPacket)[0];
    cluster.pipelineCluster = pipeline->nodes[0].slotClusters[0];
    cluster.data = PipeHeap::Alloc(parameters->heap, 100);
    pipeline->embeddedPacketState = 2;
    return cluster.data != nullptr;
}

TEST_F(Pipelines, AClusterPassedFromAToBTravelsInSlotZero)
{
    NodeDefinition a = Counting("a.node", 1, kMakesValid);
    NodeDefinition b = Counting("b.node");
    for (NodeDefinition* d : {&a, &b})
    {
        d->numClustersOfInterest = 1;
        d->clustersOfInterest = kWantsPositions;
        d->inputRequirements = kRequired;
    }
    a.privateDataSize = 6;
    Pipeline* pipeline = Build({&a, &b});
    ASSERT_EQ(Pipeline::Unlock(pipeline), pipeline);

    EXPECT_EQ(pipeline->packetNumSlots, 1);
    ASSERT_NE(pipeline->embeddedPacket, nullptr);
    EXPECT_EQ(pipeline->embeddedPacket->numClusters, 1);
    EXPECT_EQ(pipeline->embeddedPacket->pipeline, pipeline);
    const PipelineNode& na = pipeline->nodes[0];
    const PipelineNode& nb = pipeline->nodes[1];
    ASSERT_NE(na.slotClusters[0], nullptr);
    EXPECT_EQ(na.slotClusters[0]->definition, &kPositions);
    EXPECT_EQ(na.slotClusters[0]->creationAttributes, 0x11u);
    EXPECT_EQ(nb.slotClusters[0], na.slotClusters[0]) << "one pipeline cluster per definition";
    EXPECT_EQ(na.continueMasks[1], 1u) << "continues through output 0";
    EXPECT_EQ(na.continueMasks[0], 1u);
    EXPECT_EQ(nb.continueMasks[1], 0u);
    EXPECT_EQ(na.inputLocations[0], 0);
    EXPECT_EQ(nb.inputLocations[0], 0);
    ASSERT_NE(na.privateData, nullptr);
    EXPECT_EQ(static_cast<const uint8_t*>(na.privateData)[5], 0);
    ASSERT_EQ(pipeline->numInputRequirements, 1);
    EXPECT_EQ(pipeline->inputRequirements[0].definition, &kPositions);
    EXPECT_EQ(pipeline->inputRequirements[0].kind, kClusterRequired);
    EXPECT_EQ(pipeline->inputRequirements[0].slot, 0);
    // Every table lies inside the shrunk block.
    auto* start = static_cast<uint8_t*>(pipeline->block);
    for (const void* table : {(const void*)na.slotClusters, (const void*)nb.continueMasks,
                              (const void*)pipeline->inputRequirements, (const void*)na.outputs})
        EXPECT_TRUE(table >= start && table < start + pipeline->blockSize);

    // A body that used the packet has its heap data given back after the execution.
    a.body = UsePacketBody;
    PipeHeap* heap = Pipeline::GetHeap();
    ASSERT_EQ(Pipeline::Execute(pipeline, pipeline, 1), pipeline);
    const Cluster& cluster = Packet::Clusters(pipeline->embeddedPacket)[0];
    EXPECT_EQ(cluster.data, nullptr);
    EXPECT_EQ(heap->freeCount, 1);
    EXPECT_EQ(heap->freeEntries[0].size, heap->totalSize - 96);
    Pipeline::Destroy(pipeline);
}

TEST_F(Pipelines, AnOptionalClusterEveryInputInvalidatesIsWithdrawn)
{
    // a -> b; a's only output invalidates every cluster, so b never gets its optional one,
    // and a's own two clusters take two slots with its input requirements sorted.
    static const ClusterOfInterest both[] = {{&kColours, 0, 0}, {&kPositions, 0, 0}};
    static const int32_t optional[] = {kClusterOptional, kClusterOptional};
    static const int32_t blocks[] = {kClusterInvalid, kClusterInvalid};
    static const NodeOutput stops[] = {{"out", blocks, kClusterInvalid}};
    NodeDefinition a = Counting("a.node", 1, stops);
    a.numClustersOfInterest = 2;
    a.clustersOfInterest = both;
    a.inputRequirements = optional;
    NodeDefinition b = Counting("b.node");
    b.numClustersOfInterest = 1;
    b.clustersOfInterest = kWantsPositions;
    b.inputRequirements = optional;
    Pipeline* pipeline = Build({&a, &b});
    ASSERT_EQ(Pipeline::Unlock(pipeline), pipeline);
    EXPECT_EQ(pipeline->packetNumSlots, 2);
    EXPECT_EQ(pipeline->nodes[1].inputLocations[0], -1);
    ASSERT_EQ(pipeline->numInputRequirements, 2);
    EXPECT_LT(reinterpret_cast<uintptr_t>(pipeline->inputRequirements[0].definition),
              reinterpret_cast<uintptr_t>(pipeline->inputRequirements[1].definition));
    EXPECT_EQ(pipeline->inputRequirements[0].kind, kClusterOptional);
    EXPECT_EQ(pipeline->nodes[0].continueMasks[0], 0u);
    Pipeline::Destroy(pipeline);
}

TEST(PipelineSort, RecordsComeOutAscendingByKey)
{
    struct Record
    {
        uint32_t payload;
        uintptr_t key;
    };
    std::vector<Record> records;
    for (uintptr_t key : {90u, 3u, 55u, 7u, 1000u, 0u, 42u, 8u})
        records.push_back({uint32_t(key * 2), key});
    Pipeline::SortRecords(records.data(), int32_t(records.size()), sizeof(Record), offsetof(Record, key), 0, 1000);
    for (size_t i = 0; i < records.size(); ++i)
    {
        EXPECT_EQ(records[i].payload, records[i].key * 2);
        if (i)
        {
            EXPECT_LT(records[i - 1].key, records[i].key);
        }
    }
}

// ---- Finding nodes and the render state ---------------------------------------------------------------------

TEST_F(Pipelines, FindNodeSearchesByNameFromAfterTheGivenNode)
{
    NodeDefinition a = Counting("same.node", 1, kPassAll);
    NodeDefinition b = Counting("other.node", 1, kPassAll);
    NodeDefinition c = Counting("same.node");
    Pipeline* pipeline = Build({&a, &b, &c});
    ASSERT_EQ(Pipeline::Unlock(pipeline), pipeline);
    int32_t index = -5;
    PipelineNode* first = Pipeline::FindNode(pipeline, "same.node", nullptr, &index);
    EXPECT_EQ(first, &pipeline->nodes[0]);
    EXPECT_EQ(index, 0);
    EXPECT_EQ(Pipeline::FindNode(pipeline, "same.node", first, &index), &pipeline->nodes[2]);
    EXPECT_EQ(index, 2);
    EXPECT_EQ(Pipeline::FindNode(pipeline, "same.node", &pipeline->nodes[2], &index), nullptr);
    EXPECT_EQ(index, -1);
    EXPECT_EQ(Pipeline::FindNode(pipeline, nullptr, nullptr, &index), nullptr);
    EXPECT_EQ(Pipeline::FindNode(nullptr, "same.node", nullptr, nullptr), nullptr);
    Pipeline::Destroy(pipeline);
}

class PipelineRenderStates : public EngineFixture
{
};

TEST_F(PipelineRenderStates, DefaultOnlyOnceTheEngineIsStarted)
{
    ASSERT_EQ(Engine::Init(TestMemory::Functions(), 0, 0), 1);
    PipelineRenderState mine = {};
    EXPECT_EQ(PipelineRenderState::GetDefault(&mine), nullptr);
    Error e;
    Error::Get(&e);
    EXPECT_EQ(e.code, kErrNotStarted);
    EXPECT_EQ(PipelineRenderState::GetDefault(nullptr), nullptr);
    Error::Get(&e);
    EXPECT_EQ(e.code, kErrNullArgument);

    ASSERT_EQ(Engine::Open(&mWindow), 1);
    ASSERT_EQ(Engine::Start(), 1);
    ASSERT_EQ(PipelineRenderState::GetDefault(&mine), &mine);
    EXPECT_EQ(mine.flags, 7u);
    EXPECT_EQ(mine.shadeMode, 2);
    EXPECT_EQ(mine.sourceBlend, 5);
    EXPECT_EQ(mine.destBlend, 6);
    EXPECT_EQ(mine.raster, nullptr);
    EXPECT_EQ(mine.addressU, 1);
    EXPECT_EQ(mine.addressV, 1);
    EXPECT_EQ(mine.filterMode, 2);
    EXPECT_EQ(mine.borderColour, 0xFFFFFFFFu);
    EXPECT_EQ(mine.fogType, 0);
    EXPECT_EQ(mine.fogColour, 0xFFFFFFFFu);
}

} // namespace
