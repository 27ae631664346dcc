// Pipelines: ordered graphs of nodes through which everything the engine draws passes.
// A pipeline is edited while locked and sorted, analysed and laid out in one memory block
// when unlocked; executing it calls its first node's body with the data to render.
#pragma once

#include <cstddef>
#include <cstdint>

struct Pipeline;
struct PipelineNode;
struct PipeHeap;

// ---- Clusters and packets -----------------------------------------------------------------------

/// A kind of data that nodes exchange (positions, normals, colours and the like).
struct ClusterDefinition
{
    const char* name;
    uint32_t defaultAttributes; ///< the creation attributes of its pipeline clusters
};

/// One per distinct cluster definition that travels in a pipeline's packet.
struct PipelineCluster
{
    const ClusterDefinition* definition;
    uint32_t creationAttributes;
};

constexpr uint16_t kClusterExternalData = 0x2; ///< the data does not belong to the packet

struct Cluster
{
    uint16_t flags;
    uint16_t stride;
    void* data;
    void* current;
    int32_t numAlloced;
    int32_t numUsed;
    PipelineCluster* pipelineCluster;
    uint32_t attributes;
};

/// Its clusters follow it: one per packet slot.
struct Packet
{
    uint16_t flags;
    uint16_t numClusters;
    Pipeline* pipeline;

    static Cluster* Clusters(Packet* packet) { return reinterpret_cast<Cluster*>(packet + 1); }
};

// ---- Node definitions ------------------------------------------------------------------------------

enum ClusterRequirement : int32_t
{
    kClusterNotWanted = 0,
    kClusterRequired = 1,
    kClusterOptional = 2,
};

enum ClusterValidity : int32_t
{
    kClusterPassThrough = 0, ///< passed on unchanged
    kClusterValid = 1,
    kClusterInvalid = 2,
};

struct ClusterOfInterest
{
    const ClusterDefinition* definition;
    int32_t forcePresent;
    uint32_t reserved;
};

struct NodeOutput
{
    const char* name;
    const int32_t* clusterValidity; ///< one ClusterValidity per cluster of interest
    int32_t otherValidity;          ///< for every cluster that is not one of interest
};

/// What a node body receives: the data given to Pipeline::Execute and the pipeline heap.
struct NodeExecutionParameters
{
    void* data;
    PipeHeap* heap;
};

struct NodeDefinition;
/// Non-zero for success.
using NodeBody = int32_t (*)(PipelineNode* node, const NodeExecutionParameters* parameters);
using NodeInit = int32_t (*)(NodeDefinition* definition);
using NodeTerm = void (*)(NodeDefinition* definition);
using PipelineNodeInit = int32_t (*)(PipelineNode* node);
using PipelineNodeTerm = void (*)(PipelineNode* node);
using PipelineNodeConfig = int32_t (*)(PipelineNode* node, Pipeline* pipeline);
using NodeConfigMessageHandler = int32_t (*)(PipelineNode* node, uint32_t message, uint32_t data);

constexpr int32_t kNodeMaxClusters = 32;
constexpr int32_t kNodeMaxOutputs = 32;

/// Usually one static record per node kind. Every callback is optional.
struct NodeDefinition
{
    const char* name;
    NodeBody body;
    NodeInit nodeInit;                             ///< when the first pipeline node starts using it
    NodeTerm nodeTerm;                             ///< when the last one stops
    PipelineNodeInit pipelineNodeInit;             ///< per node at unlock
    PipelineNodeTerm pipelineNodeTerm;             ///< per node at lock, removal and destruction
    PipelineNodeConfig pipelineNodeConfig;         ///< per node at the end of unlock
    NodeConfigMessageHandler configMessageHandler; ///< not called by the core
    int32_t numClustersOfInterest;
    const ClusterOfInterest* clustersOfInterest;
    const int32_t* inputRequirements; ///< one ClusterRequirement per cluster of interest
    int32_t numOutputs;
    const NodeOutput* outputs;
    int32_t privateDataSize;
    int32_t editable; ///< allocated at run time (engine memory); freed when its last node goes
    int32_t useCount; ///< pipeline nodes currently initialised on it
    /// Pipeline nodes naming it, locked or not: the one count that owns an editable definition, so one shared by
    /// several locked pipelines is freed once, with the last node.
    int32_t holders = 0;
};

// ---- Pipeline nodes -----------------------------------------------------------------------------------

struct RequirementList;

/// Only during Unlock.
struct NodeSortRecord
{
    int32_t numInputs;
    int32_t inputsVisited;
    RequirementList* requirements;
};

struct PipelineNode
{
    NodeDefinition* definition;
    int32_t numOutputs;
    int32_t* outputs;               ///< node indices, -1 for not connected
    PipelineCluster** slotClusters; ///< per packet slot, or null
    /// Word 0: the AND of the words behind it; word s + 1: the outputs through which the
    /// cluster of slot s continues.
    uint32_t* continueMasks;
    void* privateData;       ///< zeroed at unlock
    int32_t* inputLocations; ///< per cluster of interest, its packet slot or -1
    NodeSortRecord* sortRecord;
    void* initData; ///< engine memory the node owns; freed with it
    int32_t initDataSize;
};

// ---- Pipelines ------------------------------------------------------------------------------------------

struct InputRequirement
{
    const ClusterDefinition* definition;
    int32_t kind;
    int32_t slot;
};

struct Pipeline
{
    int32_t locked;
    int32_t numNodes;
    PipelineNode* nodes;
    int32_t packetNumSlots;
    int32_t embeddedPacketState; ///< above 1 once a node used the embedded packet
    Packet* embeddedPacket;
    int32_t numInputRequirements;
    InputRequirement* inputRequirements; ///< sorted by cluster definition
    void* block;                         ///< holds the nodes, their outputs and every table
    size_t blockSize;
    int32_t entryNode;
    int32_t pluginId; ///< the module that built it; not interpreted by the core
    uintptr_t pluginData;

    // ---- Building: Create, Lock, AppendNodes, Unlock; Destroy after a failed step -----------

    /// A new unlocked empty pipeline, or null (0x80000013).
    static Pipeline* Create();
    /// Null is ignored.
    static void Destroy(Pipeline* pipeline);
    /// A locked pipeline comes back unchanged; otherwise its nodes' callbacks are undone.
    /// Null when the block cannot grow.
    static Pipeline* Lock(Pipeline* pipeline);
    /// definitions ends with null; each new node is connected to the one before through
    /// output 0. firstIndex (may be null) receives the first new node's index. Null on
    /// failure, with the pipeline as it was (codes 52, 42, 40, 41, 0x80000016).
    static Pipeline* AppendNodes(Pipeline* pipeline, int32_t* firstIndex, NodeDefinition* const* definitions);
    /// Sorts, analyses, lays out and initialises the nodes. Null on failure with the
    /// pipeline still locked (codes 52, 36, 34, 28, 29-32, 0x80000013).
    static Pipeline* Unlock(Pipeline* pipeline);
    /// The first node after `after` (or from the first) whose definition has that name.
    /// Null, with index -1, when none does.
    static PipelineNode* FindNode(Pipeline* pipeline, const char* name, PipelineNode* after, int32_t* index);
    /// Calls the first node's body. The pipeline when every body succeeded; null also for a
    /// null, locked or empty pipeline.
    static Pipeline* Execute(Pipeline* pipeline, void* data, int32_t resetHeap);
    /// Used by AppendNodes when it backs out and by Destroy.
    static PipelineNode* RemoveNode(PipelineNode* node, Pipeline* pipeline);
    /// The heap that node bodies allocate from; null outside Engine::Start .. Engine::Stop.
    static PipeHeap* GetHeap();

    // ---- Dependency analysis (run by Unlock on the sorted nodes) --------------------------------

    /// 0 on success, else the code it recorded (29-32).
    static int32_t AnalyseDependencies(Pipeline* pipeline);
    /// Scratch memory from the bottom or the top of the scratch range, in multiples of 8 so
    /// that pointer tables stay aligned; null (0x80000013) when the ends would cross, and a
    /// size of 0 answers the current end. Only valid inside AnalyseDependencies.
    static void* AllocBottom(size_t size);
    static void* AllocTop(size_t size);
    /// Ascending by the unsigned pointer-sized key at keyOffset of each record; keys lie in
    /// [smallest, limit].
    static void SortRecords(void* records, int32_t count, size_t recordSize, size_t keyOffset, uintptr_t smallest,
                            uintptr_t limit);
    /// Bytes of scratch an analysis of this sorted pipeline can need at most.
    static size_t ScratchBound(const Pipeline* pipeline);

    // ---- The pipeline module (engine-level module 0x409) -----------------------------------------

    static constexpr int32_t kPluginId = 0x409;
    static constexpr int32_t kMaxNodes = 64;
    static constexpr size_t kHeapSize = 4096;
    static constexpr int32_t kNumDefaultSlots = 4;
    static const int32_t kModuleBlockSize;
    static void* OpenModule(void* engine, int32_t offset, int32_t size);
    static void* CloseModule(void* engine, int32_t offset, int32_t size);
    static int32_t GetMaxNodes();
    /// A slot in which a module keeps one of its default pipelines; null when the module
    /// is not open or the index is outside 0 .. kNumDefaultSlots - 1.
    static Pipeline** DefaultPipelineSlot(int32_t index);
};

// ---- Pipeline render state ------------------------------------------------------------------------

/// Values are the engine's render-state codes.
struct PipelineRenderState
{
    uint32_t flags;
    int32_t shadeMode;
    int32_t sourceBlend;
    int32_t destBlend;
    void* raster;
    int32_t addressU;
    int32_t addressV;
    int32_t filterMode;
    uint32_t borderColour;
    int32_t fogType;
    uint32_t fogColour;

    /// Once the engine is started, copies the module default into record. Before that only
    /// the module's own record is accepted (and filled with the defaults); another gives
    /// 0x80000018, null 0x80000016. The record, or null.
    static PipelineRenderState* GetDefault(PipelineRenderState* record);
};

// ---- Core codes of the pipeline module ------------------------------------------------------------

constexpr int32_t kCoreErrPipelineCycle = 28;
constexpr int32_t kCoreErrClusterInvalid = 29;
constexpr int32_t kCoreErrClusterTwice = 30;
constexpr int32_t kCoreErrClusterUnnamed = 31;
constexpr int32_t kCoreErrScratchFull = 32;
constexpr int32_t kCoreErrNodeNoInput = 34;
constexpr int32_t kCoreErrEntryNode = 36;
constexpr int32_t kCoreErrTooManyClusters = 40;
constexpr int32_t kCoreErrTooManyOutputs = 41;
constexpr int32_t kCoreErrTooManyNodes = 42;
constexpr int32_t kCoreErrNotLocked = 52;
