// The keyframe animation toolkit: interpolation schemes, animations (one block of keyframes
// of one scheme) and interpolators (the playback state of an animation over a fixed number
// of nodes). The toolkit knows only the two header fields every keyframe starts with; what
// a keyframe holds and how it is interpolated belongs to its scheme.
//
// Keyframe order, which stepping relies on (N nodes): keyframes 0 .. N-1 are the nodes'
// first keyframes, N .. 2N-1 their second ones (each with previous = the node's first), and
// every later keyframe follows its previous one, the later keyframes ordered by the time of
// their previous keyframe. Animation::Validate checks exactly this.
#pragma once

#include <cstdint>

struct Matrix;
struct Stream;
struct Animation;
struct AnimInterpolator;

/// Every animation keyframe of every scheme begins with this.
struct AnimKeyFrameHeader
{
    AnimKeyFrameHeader* previous; ///< the node's preceding keyframe; null for a node's first
    float time;                   ///< in the unit of the animation's duration
};

/// Every interpolated keyframe begins with this.
struct AnimInterpFrameHeader
{
    AnimKeyFrameHeader* keyFrame1; ///< the node's keyframe at or before the current time
    AnimKeyFrameHeader* keyFrame2; ///< the node's next keyframe
};

using AnimApplyCallback = void (*)(Matrix* out, void* interpFrame);
using AnimBlendCallback = void (*)(void* out, void* interpFrame1, void* interpFrame2, float fraction);
using AnimInterpolateCallback = void (*)(void* out, void* keyFrame1, void* keyFrame2, float time, void* customData);
using AnimAddCallback = void (*)(void* out, void* interpFrame1, void* interpFrame2);
using AnimMulRecipCallback = void (*)(void* frame, void* start);
/// Fills the animation's keyframes (and custom data) from the stream; the animation, or null.
/// The previous pointers it sets are checked by the toolkit afterwards.
using AnimStreamReadCallback = Animation* (*)(Stream* stream, Animation* animation);
/// 1, or 0 when a write failed.
using AnimStreamWriteCallback = int32_t (*)(const Animation* animation, Stream* stream);
/// Bytes of keyframe data the write callback produces; may depend on the keyframe count only
/// (the reader asks it before any keyframe exists, to check the count against the chunk).
using AnimStreamSizeCallback = int32_t (*)(const Animation* animation);

/// An interpolation scheme: a kind of keyframe and its operations.
struct AnimScheme
{
    int32_t typeId;              ///< unique among the registered schemes
    int32_t interpKeyFrameSize;  ///< bytes of an interpolated keyframe (native, with its header)
    int32_t animKeyFrameSize;    ///< bytes of an animation keyframe (native, with its header)
    AnimApplyCallback apply;
    AnimBlendCallback blend;
    AnimInterpolateCallback interpolate;
    AnimAddCallback add;
    AnimMulRecipCallback mulRecip;
    AnimStreamReadCallback streamRead;
    AnimStreamWriteCallback streamWrite;
    AnimStreamSizeCallback streamGetSize;
    int32_t customDataSize; ///< bytes every animation of the scheme carries after its keyframes

    static constexpr int32_t kMaxSchemes = 16;

    /// Copies the record into the registry. 1, or 0 with error {439, 1} when 16 schemes are
    /// registered, {439, 0} when the type id is taken, {439, 3} for sizes too small for the
    /// keyframe headers.
    static int32_t Register(const AnimScheme* scheme);
    /// The registry entry of the type id, or null.
    static const AnimScheme* Find(int32_t typeId);
};

/// One block: this header, the keyframes, the custom data.
struct Animation
{
    const AnimScheme* scheme;
    int32_t keyFrameCount;
    uint32_t flags; ///< stored and streamed, not interpreted
    float duration;
    int32_t nodeCount; ///< set by Validate; 0 while the keyframes are not known to be well formed
    void* keyFrames;
    void* customData; ///< null when the scheme has none

    static constexpr int32_t kPluginId = 439;
    static constexpr uint32_t kChunkType = 27;
    static constexpr uint32_t kStreamVersion = 0x100;
    /// Bytes of the chunk body before the keyframe data.
    static constexpr uint32_t kBodyHeaderSize = 20;
    /// More keyframes than any animation of the game holds; a count above it is damaged data.
    static constexpr int32_t kMaxKeyFrames = 1 << 24;

    // Error codes recorded with plug-in id 439.
    static constexpr int32_t kErrSchemeTaken = 0;
    static constexpr int32_t kErrSchemeTableFull = 1;
    static constexpr int32_t kErrNoScheme = 2;
    static constexpr int32_t kErrBadAnimation = 3; ///< keyframes out of order, duration <= 0, sizes that do not fit

    /// Registers the toolkit's engine plug-in (no block); only between Engine::Init and
    /// Engine::Open. 1, or 0 when the engine refused it.
    static int32_t Attach();

    /// A new animation whose keyframes (zeroed) the caller fills, then validates. Null with
    /// {439, 2} for an unknown scheme, {439, 3} for a count outside 0 .. kMaxKeyFrames.
    static Animation* Create(int32_t schemeTypeId, int32_t keyFrameCount, uint32_t flags, float duration);
    /// Frees the block. 1.
    static int32_t Destroy(Animation* animation);
    /// Keyframe i.
    static AnimKeyFrameHeader* KeyFrame(const Animation* animation, int32_t index)
    {
        return reinterpret_cast<AnimKeyFrameHeader*>(static_cast<char*>(animation->keyFrames) +
                                                     intptr_t(index) * animation->scheme->animKeyFrameSize);
    }
    /// The index of a keyframe of the animation, or -1 when the pointer is not one of them.
    static int32_t KeyFrameIndex(const Animation* animation, const void* keyFrame);
    /// The number of leading keyframes before the first whose previous keyframe is keyframe
    /// 0; 0 when no keyframe follows keyframe 0.
    static int32_t CountNodes(const Animation* animation);
    /// Checks the duration (> 0) and the keyframe order above, sets nodeCount and clears the
    /// previous pointers of the nodes' first keyframes. nodeCount, or 0 with {439, 3}.
    /// Call it again after changing keyframes.
    static int32_t Validate(Animation* animation);

    /// Opens the file, finds the first chunk of type 27 and reads it; null on any failure.
    static Animation* ReadFile(const char* name);
    /// Reads a chunk body of bodySize bytes whose header the caller has read; the body is
    /// refused when its keyframe count does not fit bodySize. A validated animation, or null.
    static Animation* StreamRead(Stream* stream, uint32_t bodySize);
    /// The chunk header and body. 1, or 0 when a write failed.
    static int32_t StreamWrite(const Animation* animation, Stream* stream);
    /// The chunk body: 20 + the scheme's stream size.
    static int32_t StreamGetSize(const Animation* animation);
};

/// Returns nonzero to stay armed; 0 clears the callback.
using AnimCallback = int32_t (*)(AnimInterpolator* interpolator, void* data);

/// The playback state of one animation over nodeCount nodes: one interpolated keyframe per
/// node, in the block after this header.
struct AnimInterpolator
{
    Animation* animation; ///< null until one is set
    float currentTime;
    AnimKeyFrameHeader* nextKeyFrame; ///< null: rebuild from time 0 before stepping forward
    AnimCallback timedCallback;
    void* timedData;
    float timedTime; ///< -1 at creation
    AnimCallback loopCallback;
    void* loopData;
    int32_t maxInterpKeyFrameSize;
    int32_t currentInterpKeyFrameSize; ///< the stride of the interpolated keyframes
    int32_t currentAnimKeyFrameSize;   ///< -1 until an animation is set
    int32_t nodeCount;
    int32_t searchCursor; ///< the node the next keyframe search starts at
    AnimApplyCallback apply;
    AnimBlendCallback blend;
    AnimInterpolateCallback interpolate;
    AnimAddCallback add;
    void* interpFrames; ///< 16-byte aligned, inside this block

    /// Null for a node count < 1 or a size too small for the header.
    static AnimInterpolator* Create(int32_t nodeCount, int32_t maxInterpKeyFrameSize);
    static int32_t Destroy(AnimInterpolator* interpolator);
    static void* GetInterpFrame(const AnimInterpolator* interpolator, int32_t node)
    {
        return static_cast<char*>(interpolator->interpFrames) + intptr_t(node) * interpolator->currentInterpKeyFrameSize;
    }
    /// Makes the animation current at time 0; an animation of more nodes than the interpolator
    /// has its first nodes driven. 1, or 0 with {439, 3} (interpolator unchanged)
    /// when the animation does not validate, has fewer nodes than the interpolator, or its
    /// scheme's interpolated keyframes exceed the interpolator's maximum size.
    static int32_t SetAnimation(AnimInterpolator* interpolator, Animation* animation);
    /// Takes only the apply, blend, interpolate and add callbacks of the scheme. 1, or 0 with
    /// {439, 2}.
    static int32_t SetKeyFrameScheme(AnimInterpolator* interpolator, int32_t schemeTypeId);
    static AnimInterpolator* SetLoopCallback(AnimInterpolator* interpolator, AnimCallback callback, void* data);
    static AnimInterpolator* SetTimedCallback(AnimInterpolator* interpolator, AnimCallback callback, float time,
                                              void* data);
    /// Copies the interpolated keyframes (the destination's count and stride). 1.
    static int32_t CopyState(AnimInterpolator* destination, const AnimInterpolator* source);
    /// Steps forward; a step <= 0 changes nothing. Needs an animation. 1.
    static int32_t AddTime(AnimInterpolator* interpolator, float step);
    /// Steps backward by a positive amount. Needs an animation. 1.
    static int32_t SubTime(AnimInterpolator* interpolator, float step);
    /// AddTime or SubTime by the difference to the current time. 1.
    static int32_t SetCurrentTime(AnimInterpolator* interpolator, float time);
};

struct AnimToolkit
{
    /// Engine open and close (Engine::Start and Engine::Stop); the last close empties the
    /// scheme registry, so every scheme's plug-in registers again from its own open.
    static void* EngineOpen(void* engine, int32_t offset, int32_t size);
    static void* EngineClose(void* engine, int32_t offset, int32_t size);
    /// Opens not yet closed.
    static int32_t GetOpenCount();
};
