// The animation resource, its event set, its load script and the script's commands.
#include "rdanim.h"

#include "animation.h"
#include "hbcommand.h"
#include "hbdatamanager.h"
#include "hbresource.h"
#include "rdnameidtable.h"
#include "stdkey.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

HB_DEFINE_CLASS_DESC(RdEventSet, HbRoot);
HB_DEFINE_CLASS_DESC(RdAnimation, HbRoot);
HB_REGISTER_RESOURCE_TYPE(RdAnimation, "ANM");
HB_QUEUE_CLASS_ID(RdAnimation::kClassId, "rdanim");

namespace
{

RdAnimation* sCurrent = nullptr;

StdKeyFrame* KeyFrameAt(const Animation* animation, int32_t index)
{
    return reinterpret_cast<StdKeyFrame*>(Animation::KeyFrame(animation, index));
}

/// Whether the keyframe's chain of previous keyframes reaches (or is) the first.
bool ReachesFirst(const AnimKeyFrameHeader* key, const AnimKeyFrameHeader* first)
{
    // Validated keyframes link only to earlier ones, so the walk ends.
    for (; key; key = key->previous)
        if (key == first)
            return true;
    return false;
}

/// The animation is a standard-keyframe one, validated: its keyframes can be walked.
bool IsWalkable(const Animation* animation)
{
    return animation && animation->scheme && animation->scheme->typeId == StdKeyFrame::kTypeId &&
           animation->nodeCount > 0 && animation->keyFrameCount > 0;
}

class AddEventCommand : public HbCommand
{
public:
    AddEventCommand()
        : HbCommand("RdAddEvent", "Add an event to the current loaded RdEventSet : add_rdevent EventID Time\n ")
    {
    }

    int Execute(const HbCommandArgs& args, int32_t) override
    {
        if (args.GetCount() != 3)
            return 1;
        RdAnimation* animation = RdAnimation::GetCurrent();
        if (!animation || !animation->GetEventSet())
            return 0;
        const char* text = args.GetToken(2).c_str();
        char* end = nullptr;
        errno = 0;
        const long frame = std::strtol(text, &end, 10);
        if (end == text || errno == ERANGE)
            return 0;
        const float duration = animation->GetDuration();
        // Frames count 60 per second and include both ends; a duration no frame number can
        // reach is clamped before it becomes an integer.
        const double framesReal = double(duration) * 60.0 + 1.0;
        const long frames = framesReal < 2e9 ? long(framesReal) : long(2e9);
        if (frame < 0 || frame > frames)
            return 0;
        NameIdTable* events = NameIdTable::Events();
        const RdEvent event = {duration * float(frame) / float(frames),
                               events ? events->FindIdByName(args.GetToken(1).c_str()) : 0};
        return animation->GetEventSet()->Add(event);
    }
};

class ResetRootCommand : public HbCommand
{
public:
    ResetRootCommand()
        : HbCommand("RdResetRootBoneTranslation", "Remove the root bone translation of the current animation\n ")
    {
    }

    int Execute(const HbCommandArgs&, int32_t) override
    {
        RdAnimation* current = RdAnimation::GetCurrent();
        Animation* animation = current ? current->GetAnimation() : nullptr;
        if (!IsWalkable(animation))
            return 1;
        const AnimKeyFrameHeader* first = &KeyFrameAt(animation, 0)->header;
        for (int32_t i = 0; i < animation->keyFrameCount; ++i)
        {
            StdKeyFrame* key = KeyFrameAt(animation, i);
            if (ReachesFirst(&key->header, first))
                key->t = {0.0f, 0.0f, 0.0f};
        }
        return 1;
    }
};

AddEventCommand sAddEvent;
ResetRootCommand sResetRoot;

} // namespace

int RdEventSet::Add(const RdEvent& event)
{
    if (mCount >= kMaxEvents)
        return 0;
    mEvents[mCount++] = event;
    return 1;
}

RdAnimation::~RdAnimation()
{
    if (sCurrent == this)
        sCurrent = nullptr;
    if (mEventSet)
        mEventSet->Release();
    if (mAnimation)
        Animation::Destroy(mAnimation);
}

RdAnimation* RdAnimation::GetCurrent()
{
    return sCurrent;
}

void RdAnimation::SetCurrent(RdAnimation* animation)
{
    sCurrent = animation;
}

float RdAnimation::GetDuration() const
{
    return mAnimation ? mAnimation->duration : 0.0f;
}

int RdAnimation::Load(HbStream* stream, const char* name)
{
    mName = name ? name : "";
    HbResourceManager* manager = HbResourceManager::Instance();
    if (!manager)
        return 0;
    const std::string path = manager->GetPath(mName.c_str());
    Animation* animation = Animation::ReadFile(path.c_str());
    if (!animation)
        return 0;
    return Setup(animation, mName.c_str(), path.c_str());
}

std::string RdAnimation::ScriptPath(const char* path)
{
    std::string script = path ? path : "";
    const size_t dot = script.rfind('.');
    if (dot != std::string::npos)
        script.erase(dot);
    return script + ".scr";
}

int RdAnimation::Setup(Animation* animation, const char* name, const char* path)
{
    if (mAnimation)
        Animation::Destroy(mAnimation);
    mAnimation = animation;
    mName = name ? name : "";
    const int32_t nodes = animation ? Animation::CountNodes(animation) : 0;
    for (int32_t i = 0; i < nodes && i < animation->keyFrameCount; ++i)
        Animation::KeyFrame(animation, i)->previous = nullptr;

    if (mEventSet)
        mEventSet->Release();
    mEventSet = new RdEventSet();
    if (mEventSet)
        mEventSet->AddRef();

    int result = 1;
    bool run = false;
    if (TDataManagerContainer* root = HbDataManager::Root())
        if (TDataManagerContainer* scripts = root->FindContainer(kScriptContainer))
            scripts->GetBoolean((mName + "_LOAD_SCR").c_str(), run);
    if (run)
    {
        HbCommandManager* console = HbCommandManager::Instance();
        RdAnimation* previous = sCurrent;
        sCurrent = this;
        const std::string line = "execute " + ScriptPath(path);
        result = console && console->ExecuteLine(line.c_str()) == HbCommandManager::kDone ? 1 : 0;
        sCurrent = previous;
    }
    ComputeRootMotion();
    return result;
}

const StdKeyFrame* RdAnimation::GetFirstRootKeyFrame() const
{
    return mLastRootKeyFrame ? KeyFrameAt(mAnimation, 0) : nullptr;
}

void RdAnimation::ComputeRootMotion()
{
    mRootDelta = mRootVelocity = {0.0f, 0.0f, 0.0f};
    mRootSpeed = 0.0f;
    mLastRootKeyFrame = nullptr;
    if (!IsWalkable(mAnimation))
        return;
    const AnimKeyFrameHeader* first = &KeyFrameAt(mAnimation, 0)->header;
    for (int32_t i = mAnimation->keyFrameCount - 1; i >= 0 && !mLastRootKeyFrame; --i)
        if (ReachesFirst(&KeyFrameAt(mAnimation, i)->header, first))
            mLastRootKeyFrame = KeyFrameAt(mAnimation, i);
    const StdKeyFrame* start = KeyFrameAt(mAnimation, 0);
    const StdKeyFrame* last = mLastRootKeyFrame;
    mRootDelta = {last->t.x - start->t.x, last->t.y - start->t.y, last->t.z - start->t.z};
    const float duration = mAnimation->duration;
    if (duration > 0.0f)
        mRootVelocity = {mRootDelta.x / duration, mRootDelta.y / duration, mRootDelta.z / duration};
    mRootSpeed = std::sqrt(mRootVelocity.x * mRootVelocity.x + mRootVelocity.y * mRootVelocity.y +
                           mRootVelocity.z * mRootVelocity.z);
}
