// RdSkeleton, the "SKL" resource: the bones of a skeleton as name-table ids in node order,
// and the bone profiles (body parts) read with it.
#pragma once

#include "hbgrowarray.h"
#include "hbroot.h"

#include <cstdint>

class HbMChunkStream;
class RdProfile;

/// One bone: its name's id in the bone table and its index (file position = hierarchy node).
struct RdBone
{
    int32_t id;
    int32_t index;
};

class RdSkeleton : public HbRoot
{
    HB_DECLARE_CLASS_DESC();

public:
    /// The chunk id of both chunks (key1 0: bones, key1 1: profiles); also the class id.
    static constexpr uint32_t kChunkId = 12289;

    RdSkeleton() = default;
    /// Every profile goes back to its pool.
    ~RdSkeleton() override;

    /// The resource load: Read on the resource stream. 1 (a skeleton's content never fails
    /// the load), 0 only for a stream that is not a chunk stream.
    int Load(HbStream* stream, const char* name) override;
    std::string GetTypeKey() const override { return "SKL"; }
    int IsShared() const override { return 1; }

    /// Reads the bone chunk, then the profile chunk after it, then appends "ALL". Counts are
    /// checked against what the chunk still holds: a count that cannot fit reads as an
    /// empty chunk, and a list that ends early keeps what was read.
    void Read(HbMChunkStream* stream);

    /// The first bone with that id, or null.
    const RdBone* FindBone(int32_t boneId) const;
    /// Id 1: the appended "ALL"; another id: the first profile with it; else null.
    RdProfile* FindProfile(int32_t profileId) const;

    int32_t GetBoneCount() const { return mBones.GetCount(); }
    const RdBone& GetBone(int32_t index) const { return mBones[index]; }
    /// The file's profiles plus the appended "ALL"; entries of unknown names are null.
    int32_t GetProfileCount() const { return mProfiles.GetCount(); }
    RdProfile* GetProfile(int32_t index) const { return mProfiles[index]; }

private:
    void Clear();

    HbGrowArray<RdProfile*> mProfiles;
    HbGrowArray<RdBone> mBones;
};
