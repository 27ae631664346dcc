// The skeleton resource and its file form.
#include "rdskeleton.h"

#include "hbchunkstream.h"
#include "hbresource.h"
#include "rdnameidtable.h"
#include "rdprofile.h"

HB_DEFINE_CLASS_DESC(RdSkeleton, HbRoot);
HB_REGISTER_RESOURCE_TYPE(RdSkeleton, "SKL");
HB_QUEUE_CLASS_ID(RdSkeleton::kChunkId, "rdskeleton");

namespace
{

/// Bytes left in the chunk being read; 0 when the position is past it or unknown.
int64_t Remaining(HbMChunkStream* stream)
{
    const uint32_t limit = stream->GetLimit();
    const int64_t here = stream->Tell();
    if (limit == kHbNoChunkLimit || here < 0 || here >= int64_t(limit))
        return 0;
    return int64_t(limit) - here;
}

int32_t IdOf(NameIdTable* table, const std::string& name)
{
    return table ? table->FindIdByName(name.c_str()) : 0;
}

} // namespace

RdSkeleton::~RdSkeleton()
{
    Clear();
}

void RdSkeleton::Clear()
{
    for (int32_t i = 0; i < mProfiles.GetCount(); ++i)
        delete mProfiles[i];
    mProfiles.SetSize(0);
    mBones.SetSize(0);
}

int RdSkeleton::Load(HbStream* stream, const char* name)
{
    auto* chunks = dynamic_cast<HbMChunkStream*>(stream);
    if (!chunks)
        return 0;
    Read(chunks);
    return 1;
}

void RdSkeleton::Read(HbMChunkStream* stream)
{
    Clear();
    NameIdTable* boneTable = NameIdTable::Bones();
    NameIdTable* profileTable = NameIdTable::Profiles();
    HbChunkHeaderFields header;
    std::string name;

    if (stream->FindChunkHeader(kChunkId, 0, 0, &header))
    {
        int32_t count = 0;
        // Every name takes at least its zero byte.
        if (stream->ReadInt32(count) && count > 0 && count <= Remaining(stream))
        {
            for (int32_t i = 0; i < count; ++i)
            {
                if (!HbReadCString(stream, name))
                    break;
                if (mBones.Add(RdBone{IdOf(boneTable, name), i}) < 0)
                    break;
            }
        }
        stream->LeaveChunk();
    }
    const int32_t boneCount = mBones.GetCount();

    if (stream->FindChunkHeader(kChunkId, 1, 0, &header))
    {
        uint32_t count = 0;
        // A profile takes at least its name's zero byte and its bone count.
        if (stream->ReadUInt32(count) && int64_t(count) * 5 <= Remaining(stream))
        {
            bool intact = true;
            for (uint32_t p = 0; p < count && intact; ++p)
            {
                uint32_t bones = 0;
                if (!HbReadCString(stream, name) || !stream->ReadUInt32(bones) || int64_t(bones) > Remaining(stream))
                    break;
                RdProfile* profile = nullptr;
                if (profileTable && profileTable->Contains(name.c_str()))
                {
                    profile = new RdProfile();
                    if (profile)
                    {
                        profile->mId = profileTable->FindIdByName(name.c_str());
                        profile->mMaxBoneCount = boneCount;
                    }
                }
                for (uint32_t b = 0; b < bones; ++b)
                {
                    if (!HbReadCString(stream, name))
                    {
                        intact = false;
                        break;
                    }
                    if (!profile)
                        continue;
                    if (const RdBone* bone = FindBone(IdOf(boneTable, name)))
                        profile->AddBone(bone->index);
                }
                if (profile && profile->mId == RdProfile::kAllId)
                    profile->SetAll();
                if (mProfiles.Add(profile) < 0)
                {
                    delete profile;
                    break;
                }
            }
        }
        stream->LeaveChunk();
    }

    RdProfile* all = new RdProfile();
    if (all)
    {
        all->mMaxBoneCount = boneCount;
        all->SetAll();
        if (mProfiles.Add(all) < 0)
            delete all;
    }
}

const RdBone* RdSkeleton::FindBone(int32_t boneId) const
{
    for (int32_t i = 0; i < mBones.GetCount(); ++i)
        if (mBones[i].id == boneId)
            return &mBones[i];
    return nullptr;
}

RdProfile* RdSkeleton::FindProfile(int32_t profileId) const
{
    const int32_t count = mProfiles.GetCount();
    if (count == 0)
        return nullptr;
    if (profileId == RdProfile::kAllId)
        return mProfiles[count - 1];
    for (int32_t i = 0; i < count; ++i)
        if (mProfiles[i] && mProfiles[i]->mId == profileId)
            return mProfiles[i];
    return nullptr;
}
