// The keyframe animation toolkit: the scheme registry, animations and their chunk, and the
// interpolator's forward and backward stepping.
#include "animation.h"

#include "byteorder.h"
#include "chunk.h"
#include "engine.h"
#include "error.h"
#include "memory.h"
#include "stream.h"

#include <cmath>
#include <cstring>

namespace
{
constexpr uint32_t kMemoryHintAnimation = 0x3001B;
constexpr uint32_t kMemoryHintScratch = 0x1001B;

int32_t sOpenCount = 0;
AnimScheme sSchemes[AnimScheme::kMaxSchemes];
int32_t sSchemeCount = 0;

void Report(int32_t code)
{
    Error::Report(Animation::kPluginId, code);
}

constexpr size_t AlignUp(size_t value, size_t alignment)
{
    return (value + alignment - 1) & ~(alignment - 1);
}

constexpr size_t kAnimationHeaderSize = AlignUp(sizeof(Animation), 16);
constexpr size_t kInterpolatorHeaderSize = AlignUp(sizeof(AnimInterpolator), 16);

AnimKeyFrameHeader* KeyFrameAt(const Animation* animation, int32_t index)
{
    return Animation::KeyFrame(animation, index);
}

AnimInterpFrameHeader* Interp(const AnimInterpolator* interpolator, int32_t node)
{
    return static_cast<AnimInterpFrameHeader*>(AnimInterpolator::GetInterpFrame(interpolator, node));
}

// Puts the interpolator at time 0 of its (already checked) animation.
void Rewind(AnimInterpolator* ip)
{
    Animation* animation = ip->animation;
    const AnimScheme* scheme = animation->scheme;
    ip->currentTime = 0.0f;
    ip->currentInterpKeyFrameSize = scheme->interpKeyFrameSize;
    ip->currentAnimKeyFrameSize = scheme->animKeyFrameSize;
    ip->apply = scheme->apply;
    ip->blend = scheme->blend;
    ip->interpolate = scheme->interpolate;
    ip->add = scheme->add;
    // The animation may have more nodes than the interpolator: its first nodes are driven,
    // and the keyframes of the others are passed over when they come in.
    const int32_t m = animation->nodeCount;
    for (int32_t i = 0; i < ip->nodeCount; ++i)
    {
        AnimKeyFrameHeader* k1 = KeyFrameAt(animation, i);
        AnimKeyFrameHeader* k2 = KeyFrameAt(animation, m + i);
        AnimInterpFrameHeader* frame = Interp(ip, i);
        ip->interpolate(frame, k1, k2, 0.0f, animation->customData);
        frame->keyFrame1 = k1;
        frame->keyFrame2 = k2;
    }
    ip->nextKeyFrame = KeyFrameAt(animation, 2 * m);
    ip->searchCursor = 0;
}

void InterpolateAll(AnimInterpolator* ip)
{
    for (int32_t i = 0; i < ip->nodeCount; ++i)
    {
        AnimInterpFrameHeader* frame = Interp(ip, i);
        ip->interpolate(frame, frame->keyFrame1, frame->keyFrame2, ip->currentTime, ip->animation->customData);
    }
}

void FireCallbacks(AnimInterpolator* ip, bool timedDue, bool looped)
{
    if (timedDue && ip->timedCallback && !ip->timedCallback(ip, ip->timedData))
        ip->timedCallback = nullptr;
    if (looped && ip->loopCallback && !ip->loopCallback(ip, ip->loopData))
        ip->loopCallback = nullptr;
}
} // namespace

// ---- Engine plug-in -------------------------------------------------------------------------------

int32_t Animation::Attach()
{
    // A block of size 0 may legally sit at offset 0, so only a negative offset is a refusal.
    return Engine::RegisterPlugin(0, kPluginId, AnimToolkit::EngineOpen, AnimToolkit::EngineClose) >= 0 ? 1 : 0;
}

void* AnimToolkit::EngineOpen(void* engine, int32_t, int32_t)
{
    ++sOpenCount;
    return engine;
}

void* AnimToolkit::EngineClose(void* engine, int32_t, int32_t)
{
    if (sOpenCount > 0)
        --sOpenCount;
    if (sOpenCount == 0)
        sSchemeCount = 0;
    return engine;
}

int32_t AnimToolkit::GetOpenCount()
{
    return sOpenCount;
}

// ---- Schemes ---------------------------------------------------------------------------------------

int32_t AnimScheme::Register(const AnimScheme* scheme)
{
    if (sSchemeCount >= kMaxSchemes)
    {
        Report(Animation::kErrSchemeTableFull);
        return 0;
    }
    if (Find(scheme->typeId))
    {
        Report(Animation::kErrSchemeTaken);
        return 0;
    }
    if (scheme->interpKeyFrameSize < int32_t(sizeof(AnimInterpFrameHeader)) ||
        scheme->animKeyFrameSize < int32_t(sizeof(AnimKeyFrameHeader)) || scheme->customDataSize < 0)
    {
        Report(Animation::kErrBadAnimation);
        return 0;
    }
    sSchemes[sSchemeCount++] = *scheme;
    return 1;
}

const AnimScheme* AnimScheme::Find(int32_t typeId)
{
    for (int32_t i = 0; i < sSchemeCount; ++i)
        if (sSchemes[i].typeId == typeId)
            return &sSchemes[i];
    return nullptr;
}

// ---- Animations --------------------------------------------------------------------------------------

Animation* Animation::Create(int32_t schemeTypeId, int32_t keyFrameCount, uint32_t flags, float duration)
{
    const AnimScheme* scheme = AnimScheme::Find(schemeTypeId);
    if (!scheme)
    {
        Report(kErrNoScheme);
        return nullptr;
    }
    if (keyFrameCount < 0 || keyFrameCount > kMaxKeyFrames)
    {
        Report(kErrBadAnimation);
        return nullptr;
    }
    const size_t keyBytes = size_t(keyFrameCount) * size_t(scheme->animKeyFrameSize);
    const size_t size = kAnimationHeaderSize + keyBytes + size_t(scheme->customDataSize);
    auto* block = static_cast<char*>(Memory::AllocateZeroed(1, size, kMemoryHintAnimation));
    if (!block)
    {
        Error::Report(0, kErrNoMemory);
        return nullptr;
    }
    auto* animation = reinterpret_cast<Animation*>(block);
    animation->scheme = scheme;
    animation->keyFrameCount = keyFrameCount;
    animation->flags = flags;
    animation->duration = duration;
    animation->nodeCount = 0;
    animation->keyFrames = block + kAnimationHeaderSize;
    animation->customData = scheme->customDataSize ? block + kAnimationHeaderSize + keyBytes : nullptr;
    return animation;
}

int32_t Animation::Destroy(Animation* animation)
{
    Memory::Free(animation);
    return 1;
}

int32_t Animation::KeyFrameIndex(const Animation* animation, const void* keyFrame)
{
    const intptr_t offset = static_cast<const char*>(keyFrame) - static_cast<const char*>(animation->keyFrames);
    const intptr_t size = animation->scheme->animKeyFrameSize;
    if (!keyFrame || offset < 0 || offset % size != 0 || offset / size >= animation->keyFrameCount)
        return -1;
    return int32_t(offset / size);
}

int32_t Animation::CountNodes(const Animation* animation)
{
    // Bounded by the keyframe count: an animation in which nothing follows keyframe 0 has no
    // node layout at all.
    const AnimKeyFrameHeader* first = KeyFrameAt(animation, 0);
    for (int32_t i = 1; i < animation->keyFrameCount; ++i)
        if (KeyFrameAt(animation, i)->previous == first)
            return i;
    return 0;
}

int32_t Animation::Validate(Animation* animation)
{
    animation->nodeCount = 0;
    const int32_t count = animation->keyFrameCount;
    // NaN fails this test too: every wrap loop needs a positive duration to end.
    if (!(animation->duration > 0.0f) || !std::isfinite(animation->duration) || count < 2)
    {
        Report(kErrBadAnimation);
        return 0;
    }
    const int32_t n = CountNodes(animation);
    if (n < 1 || count < 2 * n)
    {
        Report(kErrBadAnimation);
        return 0;
    }
    // Replays the forward stepping's bookkeeping: owner[k] is the node whose second keyframe k
    // currently is (-1 for none). Each later keyframe must follow one of those, and keyframes
    // must be needed in order, or forward stepping would look for a node that has none.
    auto* owner = static_cast<int32_t*>(Memory::Allocate(sizeof(int32_t) * size_t(count), kMemoryHintScratch));
    if (!owner)
    {
        Error::Report(0, kErrNoMemory);
        return 0;
    }
    bool ok = true;
    for (int32_t k = 0; k < count; ++k)
        owner[k] = -1;
    for (int32_t i = n; i < 2 * n && ok; ++i)
    {
        const AnimKeyFrameHeader* key = KeyFrameAt(animation, i);
        const AnimKeyFrameHeader* first = KeyFrameAt(animation, i - n);
        ok = key->previous == first && key->time >= first->time;
        owner[i] = i - n;
    }
    float lastNeeded = -INFINITY;
    for (int32_t i = 2 * n; i < count && ok; ++i)
    {
        const AnimKeyFrameHeader* key = KeyFrameAt(animation, i);
        const int32_t p = KeyFrameIndex(animation, key->previous);
        ok = p >= 0 && p < i && owner[p] >= 0 && key->time >= key->previous->time &&
             key->previous->time >= lastNeeded;
        if (!ok)
            break;
        lastNeeded = key->previous->time;
        owner[i] = owner[p];
        owner[p] = -1;
    }
    Memory::Free(owner);
    if (!ok)
    {
        Report(kErrBadAnimation);
        return 0;
    }
    // Backward stepping walks previous pointers until a node's first keyframe: it must end there.
    for (int32_t i = 0; i < n; ++i)
        KeyFrameAt(animation, i)->previous = nullptr;
    animation->nodeCount = n;
    return n;
}

Animation* Animation::ReadFile(const char* name)
{
    if (!name)
    {
        Error::Report(0, kErrNullArgument);
        return nullptr;
    }
    Stream* stream = Stream::Open(kStreamFileName, kStreamRead, name);
    if (!stream)
        return nullptr;
    uint32_t size = 0;
    Animation* animation = nullptr;
    if (Stream::FindChunk(stream, kChunkType, &size, nullptr))
        animation = StreamRead(stream, size);
    Stream::Close(stream, nullptr);
    return animation;
}

Animation* Animation::StreamRead(Stream* stream, uint32_t bodySize)
{
    uint8_t header[kBodyHeaderSize];
    if (bodySize < kBodyHeaderSize || Stream::Read(stream, header, kBodyHeaderSize) != kBodyHeaderSize)
    {
        Error::Report(0, kErrStreamRead);
        return nullptr;
    }
    if (ByteOrder::Load32(header) != kStreamVersion)
        return nullptr;
    const int32_t typeId = int32_t(ByteOrder::Load32(header + 4));
    const int32_t count = int32_t(ByteOrder::Load32(header + 8));
    const uint32_t flags = ByteOrder::Load32(header + 12);
    float duration;
    const uint32_t durationBits = ByteOrder::Load32(header + 16);
    std::memcpy(&duration, &durationBits, 4);
    const AnimScheme* scheme = AnimScheme::Find(typeId);
    if (!scheme)
    {
        Report(kErrNoScheme);
        return nullptr;
    }
    // The claimed count is checked against the bytes the chunk holds before anything is
    // allocated: every stored keyframe carries at least its time.
    const uint32_t dataSize = bodySize - kBodyHeaderSize;
    if (count < 0 || count > kMaxKeyFrames || uint32_t(count) > dataSize / 4)
    {
        Report(kErrBadAnimation);
        return nullptr;
    }
    Animation probe{scheme, count, flags, duration, 0, nullptr, nullptr};
    const int32_t schemeSize = scheme->streamGetSize ? scheme->streamGetSize(&probe) : -1;
    if (schemeSize < 0 || uint32_t(schemeSize) > dataSize || !scheme->streamRead)
    {
        Report(kErrBadAnimation);
        return nullptr;
    }
    Animation* animation = Create(typeId, count, flags, duration);
    if (!animation)
        return nullptr;
    if (!scheme->streamRead(stream, animation) || !Validate(animation))
    {
        Destroy(animation);
        return nullptr;
    }
    // Bytes the scheme did not claim keep the stream in step with the chunk.
    if (uint32_t(schemeSize) < dataSize && !Stream::Skip(stream, dataSize - uint32_t(schemeSize)))
    {
        Destroy(animation);
        return nullptr;
    }
    return animation;
}

int32_t Animation::StreamGetSize(const Animation* animation)
{
    return int32_t(kBodyHeaderSize) + animation->scheme->streamGetSize(animation);
}

int32_t Animation::StreamWrite(const Animation* animation, Stream* stream)
{
    if (!Stream::WriteChunkHeader(stream, kChunkType, uint32_t(StreamGetSize(animation)), kLibraryVersion,
                                  kLibraryBuild))
        return 0;
    uint8_t header[kBodyHeaderSize];
    uint32_t durationBits;
    std::memcpy(&durationBits, &animation->duration, 4);
    ByteOrder::Store32(header, kStreamVersion);
    ByteOrder::Store32(header + 4, uint32_t(animation->scheme->typeId));
    ByteOrder::Store32(header + 8, uint32_t(animation->keyFrameCount));
    ByteOrder::Store32(header + 12, animation->flags);
    ByteOrder::Store32(header + 16, durationBits);
    if (!Stream::Write(stream, header, kBodyHeaderSize))
        return 0;
    return animation->scheme->streamWrite(animation, stream) ? 1 : 0;
}

// ---- Interpolators ---------------------------------------------------------------------------------------

AnimInterpolator* AnimInterpolator::Create(int32_t nodeCount, int32_t maxInterpKeyFrameSize)
{
    if (nodeCount < 1 || nodeCount > Animation::kMaxKeyFrames ||
        maxInterpKeyFrameSize < int32_t(sizeof(AnimInterpFrameHeader)) || maxInterpKeyFrameSize > (1 << 16))
    {
        Error::Report(0, kErrBadArgument);
        return nullptr;
    }
    const size_t size = kInterpolatorHeaderSize + size_t(nodeCount) * size_t(maxInterpKeyFrameSize);
    auto* block = static_cast<char*>(Memory::AllocateZeroed(1, size, kMemoryHintAnimation));
    if (!block)
    {
        Error::Report(0, kErrNoMemory);
        return nullptr;
    }
    auto* ip = reinterpret_cast<AnimInterpolator*>(block);
    ip->timedTime = -1.0f;
    ip->maxInterpKeyFrameSize = maxInterpKeyFrameSize;
    ip->currentInterpKeyFrameSize = maxInterpKeyFrameSize;
    ip->currentAnimKeyFrameSize = -1;
    ip->nodeCount = nodeCount;
    ip->interpFrames = block + kInterpolatorHeaderSize;
    return ip;
}

int32_t AnimInterpolator::Destroy(AnimInterpolator* interpolator)
{
    Memory::Free(interpolator);
    return 1;
}

int32_t AnimInterpolator::SetAnimation(AnimInterpolator* interpolator, Animation* animation)
{
    if (!animation || (animation->nodeCount == 0 && !Animation::Validate(animation)) ||
        animation->nodeCount < interpolator->nodeCount ||
        animation->scheme->interpKeyFrameSize > interpolator->maxInterpKeyFrameSize)
    {
        Report(Animation::kErrBadAnimation);
        return 0;
    }
    interpolator->animation = animation;
    Rewind(interpolator);
    return 1;
}

int32_t AnimInterpolator::SetKeyFrameScheme(AnimInterpolator* interpolator, int32_t schemeTypeId)
{
    const AnimScheme* scheme = AnimScheme::Find(schemeTypeId);
    if (!scheme)
    {
        Report(Animation::kErrNoScheme);
        return 0;
    }
    interpolator->apply = scheme->apply;
    interpolator->blend = scheme->blend;
    interpolator->interpolate = scheme->interpolate;
    interpolator->add = scheme->add;
    return 1;
}

AnimInterpolator* AnimInterpolator::SetLoopCallback(AnimInterpolator* interpolator, AnimCallback callback, void* data)
{
    interpolator->loopCallback = callback;
    interpolator->loopData = data;
    return interpolator;
}

AnimInterpolator* AnimInterpolator::SetTimedCallback(AnimInterpolator* interpolator, AnimCallback callback, float time,
                                                     void* data)
{
    interpolator->timedCallback = callback;
    interpolator->timedTime = time;
    interpolator->timedData = data;
    return interpolator;
}

int32_t AnimInterpolator::CopyState(AnimInterpolator* destination, const AnimInterpolator* source)
{
    std::memcpy(destination->interpFrames, source->interpFrames,
                size_t(destination->nodeCount) * size_t(destination->currentInterpKeyFrameSize));
    return 1;
}

int32_t AnimInterpolator::AddTime(AnimInterpolator* ip, float step)
{
    if (!(step > 0.0f) || !ip->animation)
        return 1;
    Animation* animation = ip->animation;
    const float old = ip->currentTime;
    float t = old + step;
    const float duration = animation->duration;
    const float c = ip->timedTime;
    bool timedDue = old < c && t >= c;
    bool looped = false;
    if (t > duration)
    {
        // Whole durations are taken off at once: a huge step costs no more than a small one.
        t -= duration;
        if (t >= c)
            timedDue = true;
        if (t > duration)
        {
            t = std::fmod(t, duration);
            if (t <= 0.0f)
                t = duration;
        }
        looped = true;
        Rewind(ip);
    }
    else if (!ip->nextKeyFrame)
        Rewind(ip);
    ip->currentTime = t;

    const char* end = static_cast<const char*>(animation->keyFrames) +
                      intptr_t(animation->keyFrameCount) * ip->currentAnimKeyFrameSize;
    const int32_t n = ip->nodeCount;
    while (reinterpret_cast<const char*>(ip->nextKeyFrame) < end && ip->nextKeyFrame->previous &&
           ip->nextKeyFrame->previous->time <= t)
    {
        AnimKeyFrameHeader* next = ip->nextKeyFrame;
        // The search goes on from the node after the last match; keyframes of nodes beyond
        // the interpolator's own are passed over.
        for (int32_t tested = 0; tested < n; ++tested)
        {
            AnimInterpFrameHeader* frame = Interp(ip, ip->searchCursor);
            ip->searchCursor = ip->searchCursor + 1 == n ? 0 : ip->searchCursor + 1;
            if (frame->keyFrame2 == next->previous)
            {
                frame->keyFrame1 = frame->keyFrame2;
                frame->keyFrame2 = next;
                break;
            }
        }
        ip->nextKeyFrame = reinterpret_cast<AnimKeyFrameHeader*>(reinterpret_cast<char*>(next) +
                                                                 ip->currentAnimKeyFrameSize);
    }
    InterpolateAll(ip);
    FireCallbacks(ip, timedDue, looped);
    return 1;
}

int32_t AnimInterpolator::SubTime(AnimInterpolator* ip, float step)
{
    if (!(step > 0.0f) || !ip->animation)
        return 1;
    const float old = ip->currentTime;
    const float t = old - step;
    const float c = ip->timedTime;
    bool timedDue = old > c && t <= c;
    bool looped = false;
    ip->currentTime = t;
    if (t < 0.0f)
    {
        const float duration = ip->animation->duration;
        float wrapped = std::fmod(t, duration);
        if (wrapped < 0.0f)
            wrapped += duration;
        Rewind(ip);
        AddTime(ip, wrapped);
        if (ip->currentTime < c)
            timedDue = true;
        looped = true;
    }
    else
    {
        for (int32_t i = 0; i < ip->nodeCount; ++i)
        {
            AnimInterpFrameHeader* frame = Interp(ip, i);
            while (t < frame->keyFrame1->time && frame->keyFrame1->previous)
            {
                frame->keyFrame2 = frame->keyFrame1;
                frame->keyFrame1 = frame->keyFrame1->previous;
            }
            ip->interpolate(frame, frame->keyFrame1, frame->keyFrame2, t, ip->animation->customData);
        }
        ip->nextKeyFrame = nullptr;
    }
    FireCallbacks(ip, timedDue, looped);
    return 1;
}

int32_t AnimInterpolator::SetCurrentTime(AnimInterpolator* interpolator, float time)
{
    const float d = time - interpolator->currentTime;
    if (d < 0.0f)
        return SubTime(interpolator, -d);
    return AddTime(interpolator, d);
}
