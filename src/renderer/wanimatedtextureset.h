// Animated textures: "WAT" resources (frames of textures with durations), the pairs of a
// material and a resource that replace the material's texture over time, and the set the
// renderer advances every frame. A world's or object's ".wat" list binds its entries to the
// first material showing the entry's first frame.
#pragma once

#include "hbgrowarray.h"
#include "hbroot.h"

#include <cstdint>
#include <string>
#include <vector>

struct Material;
struct Texture;
struct World;
class W3dNode;
class HbStream;

class WAnimatedTextureResource : public HbRoot
{
    HB_DECLARE_CLASS_DESC();

public:
    struct FrameRecord
    {
        int64_t duration; ///< ticks
        Texture* texture; ///< one reference
    };

    static WAnimatedTextureResource* Create();
    ~WAnimatedTextureResource() override;

    /// Reads a WAT body: version 0 (seconds) or 1 (milliseconds); frames whose texture
    /// cannot be read are left out. 0 for another version or data that end early.
    int Load(HbStream* stream, const char* name) override;
    /// Writes a version-0 body of the frames loaded. 1, or 0 when a write fails.
    int32_t Save(HbStream* stream) const;
    int CloneInto(HbRoot** target) override;
    std::string GetTypeKey() const override { return "WAT"; }

    int32_t GetFrameCount() const { return int32_t(mFrames.size()); }
    /// Frame index modulo the frame count; null without frames.
    Texture* GetFrameTexture(int32_t index) const;
    /// The texture shown t ticks after frame 0 began.
    Texture* GetTextureAt(int64_t t) const;
    /// Scales every frame to the new total.
    void SetTotalDuration(int64_t ticks);
    int64_t GetTotalDuration() const { return mTotalDuration; }
    int64_t GetFrameDuration(int32_t index) const { return mFrames[size_t(index)].duration; }
    int32_t GetLoop() const { return mLoop; }
    int32_t GetVersion() const { return mVersion; }
    uint32_t GetFileFrameCount() const { return mFileFrameCount; }

    /// Ticks per second used for durations: the performance counter's unless set (tests);
    /// 0 restores the counter's.
    static void SetTicksPerSecond(int64_t ticks);
    static int64_t TicksPerSecond();

private:
    WAnimatedTextureResource() = default;
    void FreeFrames();

    int32_t mLoop = 0;
    int64_t mTotalDuration = 0;
    uint32_t mFileFrameCount = 0;
    std::vector<FrameRecord> mFrames;
    int32_t mVersion = 0;
    std::string mName;
};

class WAnimatedTexture : public HbRoot
{
    HB_DECLARE_CLASS_DESC();

public:
    /// Holds a reference on the resource; frozen on frame 0 unless autoplay, when it animates
    /// from the game clock's present time. The material gets frame 0's texture.
    WAnimatedTexture(Material* material, const char* name, int32_t autoplay, WAnimatedTextureResource* resource);
    ~WAnimatedTexture() override;

    void SetFrame(int32_t index);
    void StepFrame();
    void Play();
    void Stop();
    /// Animating: the material takes the texture of the time since the start.
    void Tick();

    Material* GetMaterial() const { return mMaterial; }
    WAnimatedTextureResource* GetResource() const { return mResource; }
    const std::string& GetName() const { return mName; }
    int32_t IsFrozen() const { return mFrozen; }
    int32_t GetFrame() const { return mFrame; }

private:
    void ShowFrame(int32_t index);

    Material* mMaterial;
    WAnimatedTextureResource* mResource;
    int32_t mFrozen = 1;
    int32_t mFrame = 0;
    int64_t mStartTime = 0;
    std::string mName;
};

class WAnimatedTextureSet : public HbRoot
{
    HB_DECLARE_CLASS_DESC();

public:
    /// A list entry being bound.
    struct Entry
    {
        WAnimatedTextureResource* resource = nullptr;
        int32_t autoplay = 0;
        std::string name;
        std::string textureName;
    };
    using BindFunction = void (*)(WAnimatedTextureSet* set, const Entry& entry, void* target);

    WAnimatedTextureSet() = default;
    ~WAnimatedTextureSet() override;

    /// The list beside a world's or object's resource file (LOAD_WAT), bound to its
    /// materials. 1 when a list was read, 0 when there was none.
    int32_t LoadForWorld(const char* id, World* world);
    int32_t LoadForObject(const char* id, W3dNode* object);
    /// Reads a list from a stream, binding each entry with fn; entries stop where the data end.
    int32_t ReadList(HbStream* stream, const char* id, BindFunction fn, void* target);
    /// The first animated texture of that name, or null.
    WAnimatedTexture* Find(const char* name) const;
    /// Binds the entry to the first material (of the list given) showing its texture, unless
    /// an animated texture of its name exists.
    void BindToMaterials(const Entry& entry, const std::vector<Material*>& materials);

    /// Per frame: advances every animated texture.
    void Tick();
    /// Releases every animated texture.
    void Clear();
    int32_t GetCount() const { return mTextures.GetCount(); }
    WAnimatedTexture* Get(int32_t index) const { return static_cast<WAnimatedTexture*>(mTextures[index]); }

private:
    int32_t LoadList(const char* id, BindFunction fn, void* target);

    HbPtrArray mTextures; ///< one reference each
};
