// YoEBox: the event-box set, its file, its boxes and their objects, and the delayed actions.
#include "yoeventbox.h"

#include "hbchunkstream.h"
#include "hbclock.h"
#include "hbmemory.h"
#include "hbresource.h"
#include "yoscenaricmark.h"

#include <cmath>
#include <cstring>

HB_DEFINE_CLASS_DESC(YoEBox, HbRoot);
HB_DEFINE_CLASS_DESC(YoEBoxAAction, HbRoot);
HB_DEFINE_CLASS_DESC(YoEBoxACondition, HbRoot);
HB_REGISTER_RESOURCE_TYPE(YoEBox, "YB");

namespace
{
constexpr const char* kErrorTitle = "Corvane Error";
/// A box chunk's header, its header chunk's header and the 40 bytes of the box header.
constexpr int64_t kMinBoxBytes = 2 * kHbChunkHeaderSize + 40;
/// "_", one key character and the zero, then the 4-byte base field.
constexpr int64_t kMinObjectBytes = 7;

size_t gInUse = 0;
size_t gPeak = 0;

/// Bytes in front of every block: its size, padded to keep 16-byte alignment.
constexpr size_t kBlockHeader = 16;

void ShowStrange(bool noBoxChunk)
{
    HbFatalMessageBox("The Imported EBoxe file is strange!!??.. \n", kErrorTitle);
    if (noBoxChunk)
        HbFatalMessageBox("It Does not contain a EBoxUnit Info Chunk \n", kErrorTitle);
}

template <typename T> void ReleaseAll(EBoxArray<T*>& list)
{
    for (T* object : list)
        object->Release();
    list.Free();
}

/// One object of a sub-chunk: 1 added, 0 not added (the rest of the sub-chunk cannot be
/// located then), -1 cut short (the file is refused).
template <typename Base> int ReadObject(HbMChunkStream* stream, EBoxArray<Base*>& list)
{
    std::string type;
    if (!HbReadCString(stream, type))
        return -1;
    // Only a factory name: any other identifier would load a resource (even this file) from disk.
    if (type.size() < 2 || type[0] != '_')
        return 0;
    HbResourceManager* resources = HbResourceManager::Instance();
    HbRoot* object = resources ? resources->GetResource(type.c_str()) : nullptr;
    if (!object)
        return 0;
    Base* typed = HbCastTo<Base>(object);
    if (!typed)
    {
        object->Release();
        return 0;
    }
    const int read = typed->Read(stream);
    const uint32_t limit = stream->GetLimit();
    const bool overran =
        (stream->GetState() & HbStream::kEndOfData) || (limit != kHbNoChunkLimit && stream->Tell() > int64_t(limit));
    if (!read || overran || !list.Push(typed))
    {
        typed->Release();
        return overran || read ? -1 : 0;
    }
    typed->AddRef();
    return 1;
}

/// Reads up to count objects of the sub-chunk just entered; 0 when the file must be refused.
template <typename Base>
int ReadObjects(HbMChunkStream* stream, const HbChunkHeaderFields& header, int32_t count, EBoxArray<Base*>& list)
{
    if (count <= 0)
        return 1;
    if (int64_t(count) > int64_t(header.size) / kMinObjectBytes || !list.Reserve(count))
        return 0;
    for (int32_t k = 0; k < count; ++k)
    {
        const int result = ReadObject(stream, list);
        if (result < 0)
            return 0;
        if (result == 0)
            break;
    }
    return 1;
}

template <typename Base> int WriteObjects(HbMChunkStream* stream, uint32_t key1, const EBoxArray<Base*>& list)
{
    int ok = stream->BeginChunk(YoEBox::kChunkId, key1, 0, uint32_t(list.count)) != 0;
    for (Base* object : list)
    {
        const std::string type = "_" + object->GetTypeKey();
        ok = ok && HbWriteCStringToStream(stream, type.c_str()) && object->Write(stream);
    }
    return stream->EndChunk() != 0 && ok;
}

int64_t TicksOf(float delay)
{
    double ticks = double(delay) * double(HbPerformanceFrequency());
    // A delay from a file may be anything: keep the tick arithmetic defined.
    constexpr double kLimit = 4.0e18;
    if (ticks != ticks)
        return 0;
    if (ticks > kLimit)
        ticks = kLimit;
    if (ticks < -kLimit)
        ticks = -kLimit;
    return int64_t(ticks);
}
} // namespace

// ---- Memory -------------------------------------------------------------------------------------

void* EBoxAlloc(size_t bytes)
{
    if (bytes > SIZE_MAX - kBlockHeader)
        return nullptr;
    auto* block = static_cast<uint8_t*>(HbHeapCalloc(1, bytes + kBlockHeader));
    if (!block)
        return nullptr;
    std::memcpy(block, &bytes, sizeof(bytes));
    gInUse += bytes;
    if (gInUse > gPeak)
        gPeak = gInUse;
    return block + kBlockHeader;
}

void EBoxFree(void* pointer)
{
    if (!pointer)
        return;
    auto* block = static_cast<uint8_t*>(pointer) - kBlockHeader;
    size_t bytes = 0;
    std::memcpy(&bytes, block, sizeof(bytes));
    gInUse -= bytes;
    HbHeapFree(block);
}

size_t EBoxBytesInUse()
{
    return gInUse;
}

size_t EBoxPeakBytes()
{
    return gPeak;
}

void EBoxResetPeak()
{
    gPeak = gInUse;
}

// ---- Box objects ---------------------------------------------------------------------------------

int YoEBoxAAction::Read(HbMChunkStream* stream)
{
    return stream->ReadReal(mDelay);
}

int YoEBoxAAction::Write(HbMChunkStream* stream)
{
    return stream->WriteReal(mDelay);
}

int YoEBoxACondition::Read(HbMChunkStream* stream)
{
    return stream->ReadInt32(mExpected);
}

int YoEBoxACondition::Write(HbMChunkStream* stream)
{
    return stream->WriteInt32(mExpected);
}

int32_t YoEBoxACondition::Passes(TsActor* actor)
{
    const bool value = Evaluate(actor) != 0;
    return value == (mExpected != 0) ? 1 : 0;
}

int64_t EBoxBytesLeft(HbMChunkStream* stream)
{
    return YoStreamRemaining(stream);
}

int32_t EBoxModeKind(int32_t mode)
{
    mode &= ~kEBoxKeepOnReturn;
    if (mode & kEBoxOneShot)
        mode &= ~kEBoxOneShot;
    else
        mode &= ~0x20;
    return mode;
}

// ---- Delayed actions -------------------------------------------------------------------------------

void DelayedActionQueue::RunOrQueue(const EBoxArray<YoEBoxAAction*>& actions)
{
    for (YoEBoxAAction* action : actions)
    {
        const int64_t ticks = TicksOf(action->mDelay);
        if (ticks == 0)
        {
            action->Execute();
            continue;
        }
        if (!mEntries.Push(Entry{mNow + ticks, mNextOrder++, action}))
        {
            action->Execute();
            continue;
        }
        // Sift the new entry up to its place in the heap.
        auto before = [](const Entry& a, const Entry& b)
        { return a.tick < b.tick || (a.tick == b.tick && a.order < b.order); };
        for (int32_t i = mEntries.count - 1; i > 0;)
        {
            const int32_t parent = (i - 1) / 2;
            if (!before(mEntries[i], mEntries[parent]))
                break;
            const Entry swap = mEntries[i];
            mEntries[i] = mEntries[parent];
            mEntries[parent] = swap;
            i = parent;
        }
    }
}

int32_t DelayedActionQueue::RunDue(int64_t now)
{
    mNow = now;
    auto before = [](const Entry& a, const Entry& b)
    { return a.tick < b.tick || (a.tick == b.tick && a.order < b.order); };
    int32_t run = 0;
    for (int32_t budget = mEntries.count; budget > 0 && mEntries.count > 0 && mEntries[0].tick <= now; --budget)
    {
        const Entry due = mEntries[0];
        mEntries[0] = mEntries[--mEntries.count];
        for (int32_t i = 0;;)
        {
            const int32_t left = 2 * i + 1;
            const int32_t right = left + 1;
            int32_t first = i;
            if (left < mEntries.count && before(mEntries[left], mEntries[first]))
                first = left;
            if (right < mEntries.count && before(mEntries[right], mEntries[first]))
                first = right;
            if (first == i)
                break;
            const Entry swap = mEntries[i];
            mEntries[i] = mEntries[first];
            mEntries[first] = swap;
            i = first;
        }
        // Taken off first: the action may clear the queue or queue others.
        due.action->Execute();
        ++run;
    }
    return run;
}

// ---- The set ---------------------------------------------------------------------------------------

YoEBox::~YoEBox()
{
    FreeNow();
}

int YoEBox::Load(HbStream* stream, const char*)
{
    auto* chunks = dynamic_cast<HbMChunkStream*>(stream);
    return chunks ? Read(chunks) : 0;
}

void YoEBox::FreeNow()
{
    mDelayed.Clear();
    mDelayed.Free();
    for (EventBox& box : mBoxes)
    {
        ReleaseAll(box.conditions);
        ReleaseAll(box.actions);
        ReleaseAll(box.elseActions);
    }
    mBoxes.Free();
    mIndex.Free();
}

void YoEBox::FreeIndex()
{
    if (mUseDepth > 0)
    {
        mFreePending = 1;
        return;
    }
    mFreePending = 0;
    FreeNow();
}

void YoEBox::EndUse()
{
    if (--mUseDepth > 0 || !mFreePending)
        return;
    mFreePending = 0;
    FreeNow();
}

int32_t YoEBox::Read(HbMChunkStream* stream)
{
    FreeIndex();
    if (mUseDepth > 0)
        return 0;
    int32_t count = 0;
    HbChunkHeaderFields outer;
    const bool haveCount = stream->ReadInt32(count) != 0;
    if (!haveCount || !stream->FindChunkHeader(kChunkId, 0, 0, &outer))
    {
        HbFatalMessageBox("Could Not open the 1st Chunk of Eboxes file \n", kErrorTitle);
        return 0;
    }
    // Every box takes its two chunk headers and its header's 40 bytes: a count the chunk
    // cannot hold is refused before anything is made for it.
    int32_t ok = count >= 0 && count <= kMaxBoxes && int64_t(count) * kMinBoxBytes <= EBoxBytesLeft(stream) &&
                 mBoxes.Reserve(count);
    if (!ok)
        ShowStrange(false);
    for (int32_t i = 0; ok && i < count; ++i)
        ok = ReadBox(stream, i);
    stream->LeaveChunk();
    ok = ok && BuildIndex();
    if (!ok)
        FreeNow();
    return ok;
}

int32_t YoEBox::ReadBox(HbMChunkStream* stream, int32_t index)
{
    HbChunkHeaderFields header;
    if (!stream->FindChunkHeader(kChunkId, 1, 0, &header))
    {
        ShowStrange(true);
        return 0;
    }
    float values[6] = {};
    int32_t counts[4] = {};
    int32_t ok = stream->FindChunkHeader(kChunkId, 2, 0, &header);
    if (ok)
    {
        ok = header.size >= 40;
        for (float& v : values)
            ok = ok && stream->ReadReal(v);
        for (int32_t& c : counts)
            ok = ok && stream->ReadInt32(c);
        stream->LeaveChunk();
    }
    const int32_t conditions = counts[0], actions = counts[1], elses = counts[2];
    ok = ok && conditions >= 0 && actions >= 0 && elses >= 0;
    if (!ok)
    {
        ShowStrange(false);
        stream->LeaveChunk();
        return 0;
    }

    EventBox& box = mBoxes[mBoxes.count++];
    box = EventBox{};
    box.index = index;
    box.mode = counts[3];
    for (int a = 0; a < 3; ++a)
    {
        box.centre[a] = values[a];
        box.size[a] = values[3 + a];
        box.min[a] = values[a] - values[3 + a] / 2.0f;
        box.max[a] = values[a] + values[3 + a] / 2.0f;
    }
    auto section = [&](uint32_t key1, int32_t wanted, auto& list)
    {
        if (!ok || !stream->FindChunkHeader(kChunkId, key1, 0, &header))
            return;
        ok = ReadObjects(stream, header, wanted, list);
        stream->LeaveChunk();
    };
    if (conditions == 0)
    {
        // The file never holds the else-actions of a box without conditions.
        box.unreadElseCount = elses;
        section(4, actions, box.actions);
    }
    else
    {
        section(3, conditions, box.conditions);
        section(4, actions, box.actions);
        section(5, elses, box.elseActions);
    }
    if (!ok)
        ShowStrange(false);
    stream->LeaveChunk();
    return ok;
}

int32_t YoEBox::Write(HbMChunkStream* stream)
{
    int ok = stream->WriteInt32(mBoxes.count);
    ok = stream->BeginChunk(kChunkId, 0, 0, 1) != 0 && ok;
    for (const EventBox& box : mBoxes)
    {
        ok = stream->BeginChunk(kChunkId, 1, 0, 1) != 0 && ok;
        ok = stream->BeginChunk(kChunkId, 2, 0, 1) != 0 && ok;
        for (float v : box.centre)
            ok = ok && stream->WriteReal(v);
        for (float v : box.size)
            ok = ok && stream->WriteReal(v);
        const int32_t elses = box.elseActions.count > 0 ? box.elseActions.count : box.unreadElseCount;
        ok = ok && stream->WriteInt32(box.conditions.count) && stream->WriteInt32(box.actions.count) &&
             stream->WriteInt32(elses) && stream->WriteInt32(box.mode);
        ok = stream->EndChunk() != 0 && ok;
        if (box.conditions.count != 0)
        {
            ok = WriteObjects(stream, 3, box.conditions) && ok;
            if (box.actions.count != 0)
                ok = WriteObjects(stream, 4, box.actions) && ok;
            if (box.elseActions.count != 0)
                ok = WriteObjects(stream, 5, box.elseActions) && ok;
        }
        else if (box.actions.count != 0)
        {
            ok = WriteObjects(stream, 4, box.actions) && ok;
        }
        ok = stream->EndChunk() != 0 && ok;
    }
    ok = stream->EndChunk() != 0 && ok;
    return ok ? 1 : 0;
}

int32_t YoEBox::ForEachBox(BoxFunction function, void* data)
{
    for (int32_t i = 0; function && i < mBoxes.count; ++i)
    {
        if (!function(this, &mBoxes[i], data))
            break;
    }
    return 1;
}

int32_t YoEBox::AddBox(const float centre[3], const float size[3], int32_t mode,
                       const std::vector<YoEBoxACondition*>& conditions, const std::vector<YoEBoxAAction*>& actions,
                       const std::vector<YoEBoxAAction*>& elseActions)
{
    if (mIndex.id >= 0 || mBoxes.count >= kMaxBoxes || !mBoxes.Reserve(mBoxes.count + 1))
        return 0;
    EventBox box;
    box.index = mBoxes.count;
    box.mode = mode;
    for (int a = 0; a < 3; ++a)
    {
        box.centre[a] = centre[a];
        box.size[a] = size[a];
        box.min[a] = centre[a] - size[a] / 2.0f;
        box.max[a] = centre[a] + size[a] / 2.0f;
    }
    auto fill = [](auto& list, const auto& objects)
    {
        if (!list.Reserve(int32_t(objects.size())))
            return false;
        for (auto* object : objects)
        {
            object->AddRef();
            list.Push(object);
        }
        return true;
    };
    if (!fill(box.conditions, conditions) || !fill(box.actions, actions) || !fill(box.elseActions, elseActions))
    {
        ReleaseAll(box.conditions);
        ReleaseAll(box.actions);
        ReleaseAll(box.elseActions);
        return 0;
    }
    mBoxes.Push(box);
    return 1;
}

int32_t YoEBox::BuildIndex()
{
    // Room for every action of the set once, so that queueing in a frame does not allocate.
    int32_t pending = 0;
    for (const EventBox& box : mBoxes)
        pending += box.actions.count + box.elseActions.count;
    return mDelayed.Reserve(pending) && mIndex.Build(mBoxes) ? 1 : 0;
}

int32_t YoEBox::RunBox(EventBox* box, TsActor* actor)
{
    if (!box)
        return 0;
    BeginUse();
    int32_t passed = 1;
    for (YoEBoxACondition* condition : box->conditions)
    {
        if (!condition->Passes(actor))
        {
            passed = 0;
            break;
        }
    }
    if (passed)
    {
        // Disabled before its actions run: an action that tests the position again does not
        // run a one-shot box twice.
        if (box->mode & kEBoxOneShot)
            box->enabled = 0;
        mDelayed.RunOrQueue(box->actions);
    }
    else
    {
        mDelayed.RunOrQueue(box->elseActions);
    }
    EndUse();
    return passed;
}

int32_t YoEBox::RunDue(int64_t now)
{
    BeginUse();
    const int32_t run = mDelayed.RunDue(now);
    EndUse();
    return run;
}
