// The walker, its weapons and its animations.
#include "walker_fixture.h"

#include "hbresource.h"
#include "w3danimobject.h"
#include "walkermodel.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace walkertest
{
Walker* MakeWalker()
{
    const std::vector<SkeletonProfileRow> profiles = {{"HIGH_PART", {"Upper_Torso", "Head"}}};
    int32_t built = 0;
    W3dAnimObject* model = WalkerModel::Create(&profiles, &built);
    if (!model)
        return nullptr;
    EXPECT_EQ(built, 1) << "the model takes the clump and the motor the model";
    auto* walker = new Walker();
    walker->AddRef();
    walker->SetModel(model);
    return walker;
}

Animations::~Animations()
{
    HbResourceManager* manager = HbResourceManager::Instance();
    for (RdAnimation* animation : mHeld)
        animation->Release();
    for (const std::string& id : mIds)
        manager->RemovePath(id.c_str());
}

RdAnimation* Animations::Add(const std::string& id, Vector rootMove, float duration, float degrees)
{
    const std::vector<uint8_t> bytes = WalkerModel::AnimationBytes(rootMove, 0.0f, degrees, duration);
    const std::string path = id + ".anm";
    if (FILE* file = std::fopen(path.c_str(), "wb"))
    {
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
    }
    HbResourceManager* manager = HbResourceManager::Instance();
    manager->AddPath(id.c_str(), path.c_str());
    mIds.push_back(id);
    auto* animation = HbCastTo<RdAnimation>(manager->GetResource(id.c_str()));
    if (!animation)
        return nullptr;
    animation->AddRef();
    mHeld.push_back(animation);
    return animation;
}

} // namespace walkertest
