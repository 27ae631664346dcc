// W2dGraphicContainer: 2D items grouped into one. Creating, showing, updating, hiding and releasing it
// does the same to every child in insertion order; moving it moves them, its colours reach them.
#pragma once

#include "w2dgenericitem.h"

#include <cstdint>

class W2dGraphicContainer : public W2dGenericItem
{
    HB_DECLARE_CLASS_DESC();

public:
    /// Bit number of the fit-to-children flag (value 2).
    static constexpr int32_t kFitToChildren = 1;

    /// Size 1, 1, 1.
    W2dGraphicContainer();
    /// Size 0, 0, 0.
    explicit W2dGraphicContainer(const char* name);
    /// Drops the references on the children without releasing them.
    ~W2dGraphicContainer() override;

    int32_t Create() override;
    int32_t Show() override;
    int32_t Update() override;
    void Hide() override;
    int32_t Release() override;
    /// Every child moves by the container's displacement.
    int32_t SetPosition(const Vector& position) override;
    /// Every child released and dropped.
    int32_t Clear() override;
    /// With the fit flag set and children, the children are scaled with the container.
    int32_t SetSize(const Vector& size) override;
    /// Every child gets the width (height); the container's own size stays.
    int32_t SetWidth(float width) override;
    int32_t SetHeight(float height) override;
    int32_t SetCornerColours(const Rgba& c0, const Rgba& c1, const Rgba& c2, const Rgba& c3) override;

    /// Takes a reference; 0 for a non-empty name a child already has. The child is neither created
    /// nor shown here.
    virtual int32_t AddChild(W2dGenericItem* item);
    /// Releases the child and drops it; its former index, or -1.
    virtual int32_t RemoveChild(W2dGenericItem* item);
    /// The same for the first child of that name.
    virtual int32_t RemoveChildByName(const char* name);
    virtual int32_t GetChildCount() const;
    /// Null for an index outside the children.
    virtual W2dGenericItem* GetChild(int32_t index) const;
    /// Sets the bit (a bit number); with the fit bit set, fits the size to the children.
    virtual void SetFlag(int32_t bit);
    virtual void ClearFlag(int32_t bit);
    virtual void RemoveAllChildren();
    /// The size becomes the largest extent of the children from the container's position.
    virtual void FitToChildren();

    /// 1 when every child's effects are stopped.
    int32_t AreChildEffectsStopped() const;
    uint32_t GetFlags() const { return mFlags; }

private:
    /// Removes the child at an index, releasing it and dropping the reference.
    void RemoveAt(int32_t index);

    uint32_t mFlags = 0;
    HbGrowArray<W2dGenericItem*> mChildren;
};
