// Filter trees, the reference-node request and the request registry.
#include "tsmarkrequest.h"

#include "w3dcollision.h"
#include "w3dnode.h"
#include "wscene.h"
#include "yoscenaricmark.h"

HB_DEFINE_CLASS_DESC(TsMarkRequestAll, YoScenaricMarkRequestDistanceIn);
HB_DEFINE_CLASS_DESC(TsMarkFilterVisible, YoRequestFilterAbstract);
HB_DEFINE_CLASS_DESC(TsMarkFilterFront, YoRequestFilterAbstract);

// ---- Pair and inverse ------------------------------------------------------------------------------

YoRequestFilterPair::YoRequestFilterPair(YoRequestFilterAbstract* left, YoRequestFilterAbstract* right, int32_t mode)
    : mLeft(left), mRight(right), mMode(mode)
{
    if (mLeft)
        mLeft->AddRef();
    if (mRight)
        mRight->AddRef();
}

YoRequestFilterPair::~YoRequestFilterPair()
{
    if (mLeft)
        mLeft->Release();
    if (mRight)
        mRight->Release();
}

void YoRequestFilterPair::SetOwner(YoRequestAbstract* owner)
{
    YoRequestFilterAbstract::SetOwner(owner);
    if (mLeft)
        mLeft->SetOwner(owner);
    if (mRight)
        mRight->SetOwner(owner);
}

void YoRequestFilterPair::ClearOwner()
{
    YoRequestFilterAbstract::ClearOwner();
    if (mLeft)
        mLeft->ClearOwner();
    if (mRight)
        mRight->ClearOwner();
}

int32_t YoRequestFilterPair::Test(YoScenaricMark* mark)
{
    auto test = [mark](YoRequestFilterAbstract* filter) { return filter && filter->Test(mark) ? 1 : 0; };
    switch (mMode)
    {
    case kAnd:
        return test(mLeft) && test(mRight) ? 1 : 0;
    case kOr:
        return test(mLeft) || test(mRight) ? 1 : 0;
    case kEqual:
    {
        const int32_t left = test(mLeft);
        return left == test(mRight) ? 1 : 0;
    }
    case kNotEqual:
    {
        const int32_t left = test(mLeft);
        return left != test(mRight) ? 1 : 0;
    }
    default:
        return 0;
    }
}

YoRequestFilterNot::YoRequestFilterNot(YoRequestFilterAbstract* inner) : mInner(inner)
{
    if (mInner)
        mInner->AddRef();
}

YoRequestFilterNot::~YoRequestFilterNot()
{
    if (mInner)
        mInner->Release();
}

void YoRequestFilterNot::SetOwner(YoRequestAbstract* owner)
{
    YoRequestFilterAbstract::SetOwner(owner);
    if (mInner)
        mInner->SetOwner(owner);
}

void YoRequestFilterNot::ClearOwner()
{
    YoRequestFilterAbstract::ClearOwner();
    if (mInner)
        mInner->ClearOwner();
}

int32_t YoRequestFilterNot::Test(YoScenaricMark* mark)
{
    return mInner && mInner->Test(mark) ? 0 : 1;
}

// ---- Reference node ----------------------------------------------------------------------------------

TsMarkRequestAll::~TsMarkRequestAll()
{
    if (mReferenceNode)
        mReferenceNode->Release();
}

void TsMarkRequestAll::SetReferenceNode(W3dNode* node)
{
    if (node)
        node->AddRef();
    if (mReferenceNode)
        mReferenceNode->Release();
    mReferenceNode = node;
}

namespace
{
W3dNode* ReferenceNode(YoRequestAbstract* owner)
{
    auto* request = HbCastTo<TsMarkRequestAll>(owner);
    return request ? request->GetReferenceNode() : nullptr;
}
} // namespace

int32_t TsMarkFilterVisible::Test(YoScenaricMark* mark)
{
    W3dNode* node = ReferenceNode(mOwner);
    WScene* scene = node ? node->GetScene() : nullptr;
    W3dLevel* level = scene ? scene->GetLevel() : nullptr;
    if (!mark || !level)
        return 0;
    const Vector start = mark->GetPosition();
    const Vector end = *node->GetWorldPosition();
    W3dCollisionResult result;
    return CollisionTestLine(level, &start, &end, node, nullptr, &result, nullptr) ? 0 : 1;
}

int32_t TsMarkFilterFront::Test(YoScenaricMark* mark)
{
    W3dNode* node = ReferenceNode(mOwner);
    if (!mark || !node || !node->GetScene())
        return 0;
    const Vector& p = mark->GetPosition();
    const Vector origin = *node->GetWorldPosition();
    const Vector at = *node->GetWorldAt();
    const float dot = (p.x - origin.x) * at.x + (p.y - origin.y) * at.y + (p.z - origin.z) * at.z;
    return dot > 0.0f ? 1 : 0;
}

// ---- Registry ------------------------------------------------------------------------------------------

TsMarkRequestRegistry::~TsMarkRequestRegistry()
{
    HbPosition position = mRequests.GetStartPosition();
    std::string key;
    void* value = nullptr;
    while (mRequests.GetNextAssoc(position, key, value))
        static_cast<HbRoot*>(value)->Release();
    mRequests.RemoveAll();
}

void TsMarkRequestRegistry::Register(YoRequestAbstract* request)
{
    if (!request)
        return;
    void** slot = mRequests.FindOrInsert(request->GetName());
    if (!slot)
        return;
    request->AddRef();
    if (*slot && *slot != request)
        static_cast<HbRoot*>(*slot)->Release();
    *slot = request;
}

YoRequestAbstract* TsMarkRequestRegistry::Find(const char* name) const
{
    return name ? static_cast<YoRequestAbstract*>(mRequests.Lookup(name)) : nullptr;
}
