// YoEBox: a level's event-box set (resource type "YB"), its boxes with their conditions,
// actions and else-actions, the spatial index over the boxes and the delayed actions; and the
// base classes of the box objects, which a file names by "_" + type key.
#pragma once

#include "hbroot.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class HbMChunkStream;
class TsActor;

// ---- Memory of the runtime ---------------------------------------------------------------------

/// Zero-filled bytes of the box runtime (boxes, lists, index, bit records, queue), counted so
/// that a reader's use can be bounded; null when out of memory.
void* EBoxAlloc(size_t bytes);
void EBoxFree(void* block);
/// Bytes handed out and not freed, and the most there were since the last reset.
size_t EBoxBytesInUse();
size_t EBoxPeakBytes();
void EBoxResetPeak();

/// A growable array of plain values in the runtime's memory. Nothing throws: Reserve and Push
/// answer false when the memory cannot be had, and the array stays as it was.
template <typename T> struct EBoxArray
{
    T* items = nullptr;
    int32_t count = 0;
    int32_t capacity = 0;

    bool Reserve(int32_t wanted)
    {
        if (wanted <= capacity)
            return true;
        if (wanted < 0 || size_t(wanted) > SIZE_MAX / sizeof(T))
            return false;
        auto* grown = static_cast<T*>(EBoxAlloc(size_t(wanted) * sizeof(T)));
        if (!grown)
            return false;
        for (int32_t i = 0; i < count; ++i)
            grown[i] = items[i];
        EBoxFree(items);
        items = grown;
        capacity = wanted;
        return true;
    }
    bool Push(const T& value)
    {
        if (count == capacity && !Reserve(capacity < 8 ? 8 : capacity * 2))
            return false;
        items[count++] = value;
        return true;
    }
    void Free()
    {
        EBoxFree(items);
        items = nullptr;
        count = capacity = 0;
    }
    T& operator[](int32_t i) { return items[i]; }
    const T& operator[](int32_t i) const { return items[i]; }
    T* begin() { return items; }
    T* end() { return items + count; }
    const T* begin() const { return items; }
    const T* end() const { return items + count; }
};

// ---- Box objects ---------------------------------------------------------------------------------

/// Fields common to actions and conditions: read and written first by every kind.
class YoEBoxAAction : public HbRoot
{
    HB_DECLARE_CLASS_DESC();

public:
    /// Reads the delay; 1, or 0 when the stream ran out. Kinds call it first.
    virtual int Read(HbMChunkStream* stream);
    /// Writes the delay; 1 when written.
    virtual int Write(HbMChunkStream* stream);
    /// Objects are never loaded from files of their own.
    int Load(HbStream*, const char*) override { return 0; }
    int IsShared() const override { return 0; }
    /// Runs the action; the box runtime ignores the result.
    virtual int32_t Execute() = 0;

    /// Seconds between the box running and the action running.
    float mDelay = 0.0f;
};

class YoEBoxACondition : public HbRoot
{
    HB_DECLARE_CLASS_DESC();

public:
    /// Reads the expected result; 1, or 0 when the stream ran out. Kinds call it first.
    virtual int Read(HbMChunkStream* stream);
    virtual int Write(HbMChunkStream* stream);
    int Load(HbStream*, const char*) override { return 0; }
    int IsShared() const override { return 0; }
    /// The condition's value for the actor in the box (null: none, as for a position test).
    virtual int32_t Evaluate(TsActor* actor) = 0;
    /// Evaluate agrees with the expected result (both non-zero or both zero).
    int32_t Passes(TsActor* actor);

    int32_t mExpected = 1;
};

/// Bytes the stream still holds before the innermost chunk it reads ends (or the data ends):
/// what a kind checks a count against before it loops or allocates.
int64_t EBoxBytesLeft(HbMChunkStream* stream);

// ---- Boxes ---------------------------------------------------------------------------------------

/// Mode bits beside the kind.
constexpr int32_t kEBoxOneShot = 0x10;
constexpr int32_t kEBoxKeepOnReturn = 0x80;
/// Kinds.
constexpr int32_t kEBoxOnEnter = 2;
constexpr int32_t kEBoxWhileInside = 4;
constexpr int32_t kEBoxOnLeave = 8;
constexpr int32_t kEBoxContextual = 64;

/// The kind a mode word runs as: 0x80 removed, then 0x10 when set, else 0x20. A word with
/// both 0x10 and 0x20 keeps 0x20 and so matches no kind.
int32_t EBoxModeKind(int32_t mode);

struct EventBox
{
    int32_t index = 0;
    float centre[3] = {};
    float size[3] = {};
    float min[3] = {};
    float max[3] = {};
    int32_t mode = 0;
    int32_t enabled = 1;
    /// The else-action count of the header of a box without conditions, whose else-actions
    /// the file never holds; written back as it was read.
    int32_t unreadElseCount = 0;
    /// One reference each.
    EBoxArray<YoEBoxACondition*> conditions;
    EBoxArray<YoEBoxAAction*> actions;
    EBoxArray<YoEBoxAAction*> elseActions;
};

/// Per axis: the 2N + 1 sorted bounds (the last the sentinel 1e8), and for each entry the
/// bitset (W words) of the boxes covering the stretch that ends there.
struct EBoxSpatialIndex
{
    int32_t id = -1;
    int32_t boxes = 0;
    int32_t words = 1;
    EBoxArray<float> values[3];
    EBoxArray<uint32_t> bits[3];

    /// Fills the index from the boxes and takes the next program-wide id; 0 when out of memory.
    int Build(const EBoxArray<EventBox>& boxes);
    /// The first entry whose value exceeds x (0 below every entry, 2N above the sentinel).
    int32_t FindInterval(int32_t axis, float x) const;
    void Free();
    const uint32_t* Bits(int32_t axis, int32_t entry) const { return bits[axis].items + size_t(entry) * size_t(words); }
};

// ---- Delayed actions -------------------------------------------------------------------------------

/// Actions of a box set waiting for their game-clock tick: earliest tick first, actions of the
/// same tick in the order they were queued.
class DelayedActionQueue
{
public:
    DelayedActionQueue() = default;
    ~DelayedActionQueue() { mEntries.Free(); }
    DelayedActionQueue(const DelayedActionQueue&) = delete;
    DelayedActionQueue& operator=(const DelayedActionQueue&) = delete;

    /// For each action in order: a delay of 0 ticks runs it at once, any other is queued at
    /// the stored now + its ticks (a negative delay so runs at the next RunDue). An action
    /// that cannot be queued for want of memory runs at once rather than being lost.
    void RunOrQueue(const EBoxArray<YoEBoxAAction*>& actions);
    /// Stores now, then runs the queued actions whose tick is at most now, earliest first;
    /// at most as many as were queued when it began, so actions queueing actions end. The
    /// number run.
    int32_t RunDue(int64_t now);
    /// Drops every pending action without running it.
    void Clear() { mEntries.count = 0; }
    /// Room for this many pending actions without allocating.
    bool Reserve(int32_t entries) { return mEntries.Reserve(entries); }
    void Free() { mEntries.Free(); }

    int64_t GetNow() const { return mNow; }
    int32_t GetPendingCount() const { return mEntries.count; }

private:
    struct Entry
    {
        int64_t tick;
        uint64_t order;
        YoEBoxAAction* action;
    };
    /// A binary heap on (tick, order).
    EBoxArray<Entry> mEntries;
    int64_t mNow = 0;
    uint64_t mNextOrder = 0;
};

// ---- The set ---------------------------------------------------------------------------------------

class YoEBox : public HbRoot
{
    HB_DECLARE_CLASS_DESC();

public:
    YoEBox() = default;
    /// Frees boxes, objects, index and queue.
    ~YoEBox() override;

    static constexpr uint32_t kChunkId = 8453;
    /// The box count a set may have: the index costs about boxes x boxes / 4 bytes per axis.
    static constexpr int32_t kMaxBoxes = 2048;

    /// The resource manager's load: Read on the chunk stream.
    int Load(HbStream* stream, const char* name) override;
    int WriteChunks(HbMChunkStream* stream) override { return Write(stream); }
    std::string GetTypeKey() const override { return "YB"; }
    int IsShared() const override { return 1; }

    /// Reads the file (int32 N, then chunk (8453, 0, 0) of the N boxes). 1 when read; 0 with
    /// the set left empty when the file is refused: a missing chunk, a count the data cannot
    /// hold, an object cut short, or no memory.
    int32_t Read(HbMChunkStream* stream);
    /// Writes the file from the boxes; 1, or 0 when a write failed.
    int32_t Write(HbMChunkStream* stream);
    /// Releases every object, frees the boxes, the queue and the index. While the set is in
    /// use (a test or a run inside the frame) the work waits until the use ends, unless the
    /// set is attached again before then.
    void FreeIndex();
    /// The set is being handed to the actors again: a free still waiting is dropped.
    void CancelPendingFree() { mFreePending = 0; }

    // ---- Boxes ---------------------------------------------------------------------------------
    int32_t GetBoxCount() const { return mBoxes.count; }
    EventBox* GetBox(int32_t index) { return index >= 0 && index < mBoxes.count ? &mBoxes[index] : nullptr; }
    const EventBox* BoxAt(int32_t index) const
    {
        return index >= 0 && index < mBoxes.count ? &mBoxes[index] : nullptr;
    }
    using BoxFunction = int32_t (*)(YoEBox* set, EventBox* box, void* data);
    /// Calls function for the boxes in index order until one answers 0; 1.
    int32_t ForEachBox(BoxFunction function, void* data);
    int32_t IsBoxEnabled(const EventBox* box) const { return box && box->enabled ? 1 : 0; }
    /// Any non-zero value enables.
    void SetBoxEnabled(EventBox* box, int32_t value)
    {
        if (box)
            box->enabled = value ? 1 : 0;
    }
    int32_t GetBoxMode(const EventBox* box) const { return box ? box->mode : 0; }
    /// The same by box number, as the sector data stores them; 0 (nothing) for a number the set
    /// does not hold.
    int32_t IsBoxEnabled(int32_t index) const { return IsBoxEnabled(BoxAt(index)); }
    void SetBoxEnabled(int32_t index, int32_t value) { SetBoxEnabled(GetBox(index), value); }
    uint32_t GetBoxMode(int32_t index) const { return uint32_t(GetBoxMode(BoxAt(index))); }
    /// Adds a box (a writer's or a test's set); its bounds follow from centre and size. The
    /// objects get one reference each. 0 when out of memory or the set already has an index.
    int32_t AddBox(const float centre[3], const float size[3], int32_t mode,
                   const std::vector<YoEBoxACondition*>& conditions, const std::vector<YoEBoxAAction*>& actions,
                   const std::vector<YoEBoxAAction*>& elseActions);
    /// Builds the index over the boxes added (what Read does last); 0 when out of memory.
    int32_t BuildIndex();

    // ---- Running -------------------------------------------------------------------------------
    /// Evaluates the box's conditions for the actor, in order up to the first that fails;
    /// all passed: a one-shot box is disabled, then the actions run or queue; otherwise the
    /// else-actions. 1 when all passed.
    int32_t RunBox(EventBox* box, TsActor* actor);
    DelayedActionQueue* GetDelayedActions() { return &mDelayed; }
    /// The queue's RunDue at the tick, as one use of the set.
    int32_t RunDue(int64_t now);
    /// The index, or null before one was built (id -1 then).
    const EBoxSpatialIndex* GetIndex() const { return mIndex.id >= 0 ? &mIndex : nullptr; }
    int32_t GetIndexId() const { return mIndex.id; }

    /// Marks a use that a free must wait for (nested uses count).
    void BeginUse() { ++mUseDepth; }
    void EndUse();

private:
    void FreeNow();
    int32_t ReadBox(HbMChunkStream* stream, int32_t index);

    EBoxArray<EventBox> mBoxes;
    EBoxSpatialIndex mIndex;
    DelayedActionQueue mDelayed;
    int32_t mUseDepth = 0;
    int32_t mFreePending = 0;
};
