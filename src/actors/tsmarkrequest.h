// The actor layer's mark requests and filters: and/or/equal/not-equal pairs, the inverse,
// the visibility and front tests against a reference node, the request over all marks with
// that node, and the registry of the named requests.
#pragma once

#include "hbhashmap.h"
#include "yorequest.h"

#include <cstdint>

class W3dNode;

/// Two filters combined: 0 and, 1 or (both short-circuit), 2 equal, 3 not equal.
class YoRequestFilterPair : public YoRequestFilterAbstract
{
public:
    enum Mode : int32_t
    {
        kAnd = 0,
        kOr = 1,
        kEqual = 2,
        kNotEqual = 3,
    };
    /// One reference on each child.
    YoRequestFilterPair(YoRequestFilterAbstract* left, YoRequestFilterAbstract* right, int32_t mode);
    ~YoRequestFilterPair() override;
    void SetOwner(YoRequestAbstract* owner) override;
    void ClearOwner() override;
    /// Any other mode fails.
    int32_t Test(YoScenaricMark* mark) override;

private:
    YoRequestFilterAbstract* mLeft;
    YoRequestFilterAbstract* mRight;
    int32_t mMode;
};

class YoRequestFilterNot : public YoRequestFilterAbstract
{
public:
    explicit YoRequestFilterNot(YoRequestFilterAbstract* inner);
    ~YoRequestFilterNot() override;
    void SetOwner(YoRequestAbstract* owner) override;
    void ClearOwner() override;
    int32_t Test(YoScenaricMark* mark) override;

private:
    YoRequestFilterAbstract* mInner;
};

/// A distance request that also carries a reference node for its filters.
class TsMarkRequestAll : public YoScenaricMarkRequestDistanceIn
{
    HB_DECLARE_CLASS_DESC();

public:
    using YoScenaricMarkRequestDistanceIn::YoScenaricMarkRequestDistanceIn;
    ~TsMarkRequestAll() override;
    /// Takes a reference on the new node, releases the old one.
    virtual void SetReferenceNode(W3dNode* node);
    virtual W3dNode* GetReferenceNode() const { return mReferenceNode; }

private:
    W3dNode* mReferenceNode = nullptr;
};

/// Passes when nothing blocks the line from the mark to the reference node in the node's
/// level (the node ignored). Fails without a reference node in a scene with a level.
class TsMarkFilterVisible : public YoRequestFilterAbstract
{
    HB_DECLARE_CLASS_DESC();

public:
    int32_t Test(YoScenaricMark* mark) override;
};

/// Passes when the mark lies strictly in front of the reference node (its node in a scene).
class TsMarkFilterFront : public YoRequestFilterAbstract
{
    HB_DECLARE_CLASS_DESC();

public:
    int32_t Test(YoScenaricMark* mark) override;
};

/// The named requests, each holding one registry reference.
class TsMarkRequestRegistry : public HbRoot
{
public:
    TsMarkRequestRegistry() = default;
    ~TsMarkRequestRegistry() override;
    /// Stores the request under its name with a reference; an entry of that name is
    /// replaced and released (the registry keeps no reference it cannot reach).
    void Register(YoRequestAbstract* request);
    YoRequestAbstract* Find(const char* name) const;

private:
    StringHashMap mRequests{17, 10};
};
