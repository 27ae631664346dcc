// Graphic containers: children held by reference, moved, scaled and coloured with the container.
#include "w2dgraphiccontainer.h"

#include <cstring>

HB_DEFINE_CLASS_DESC(W2dGraphicContainer, W2dGenericItem);

W2dGraphicContainer::W2dGraphicContainer() = default;

W2dGraphicContainer::W2dGraphicContainer(const char* name) : W2dGenericItem(name)
{
    mSize = {0.0f, 0.0f, 0.0f};
}

W2dGraphicContainer::~W2dGraphicContainer()
{
    int32_t count = mChildren.GetCount();
    for (int32_t i = 0; i < count; ++i)
        if (W2dGenericItem* child = mChildren[i])
        {
            mChildren[i] = nullptr;
            child->HbRoot::Release();
        }
    mChildren.RemoveAll();
}

int32_t W2dGraphicContainer::Create()
{
    W2dGenericItem::Create();
    for (int32_t i = 0; i < mChildren.GetCount(); ++i)
        mChildren[i]->Create();
    return 1;
}

int32_t W2dGraphicContainer::Show()
{
    W2dGenericItem::Show();
    for (int32_t i = 0; i < mChildren.GetCount(); ++i)
        mChildren[i]->Show();
    return 1;
}

int32_t W2dGraphicContainer::Update()
{
    W2dGenericItem::Update();
    for (int32_t i = 0; i < mChildren.GetCount(); ++i)
        mChildren[i]->Update();
    return 1;
}

void W2dGraphicContainer::Hide()
{
    W2dGenericItem::Hide();
    for (int32_t i = 0; i < mChildren.GetCount(); ++i)
        mChildren[i]->Hide();
}

int32_t W2dGraphicContainer::Release()
{
    W2dGenericItem::Release();
    for (int32_t i = 0; i < mChildren.GetCount(); ++i)
        mChildren[i]->Release();
    return 1;
}

int32_t W2dGraphicContainer::SetPosition(const Vector& position)
{
    for (int32_t i = 0; i < mChildren.GetCount(); ++i)
    {
        W2dGenericItem* child = mChildren[i];
        Vector at;
        child->GetPosition(&at);
        child->SetPosition(
            {at.x - mPosition.x + position.x, at.y - mPosition.y + position.y, at.z - mPosition.z + position.z});
    }
    mPosition = position;
    return 1;
}

int32_t W2dGraphicContainer::Clear()
{
    W2dGenericItem::Clear();
    RemoveAllChildren();
    return 1;
}

int32_t W2dGraphicContainer::SetSize(const Vector& size)
{
    bool fitted = (mFlags & (1u << kFitToChildren)) != 0;
    if (fitted && mChildren.GetCount() > 0)
    {
        // Only components whose old and new sizes are above 0 scale: a zero would make an infinite
        // factor (and NaN positions).
        const float oldSize[3] = {mSize.x, mSize.y, mSize.z};
        const float newSize[3] = {size.x, size.y, size.z};
        float k[3];
        for (int32_t axis = 0; axis < 3; ++axis)
            k[axis] = oldSize[axis] > 0.0f && newSize[axis] > 0.0f ? newSize[axis] / oldSize[axis] : 1.0f;
        for (int32_t i = 0; i < mChildren.GetCount(); ++i)
        {
            W2dGenericItem* child = mChildren[i];
            Vector childSize, at;
            child->GetSize(&childSize);
            child->SetSize({childSize.x * k[0], childSize.y * k[1], childSize.z * k[2]});
            child->GetPosition(&at);
            child->SetPosition({mPosition.x + (at.x - mPosition.x) * k[0], mPosition.y + (at.y - mPosition.y) * k[1],
                                mPosition.z + (at.z - mPosition.z) * k[2]});
        }
    }
    mSize = size;
    return 1;
}

int32_t W2dGraphicContainer::SetWidth(float width)
{
    for (int32_t i = 0; i < mChildren.GetCount(); ++i)
        mChildren[i]->SetWidth(width);
    return 1;
}

int32_t W2dGraphicContainer::SetHeight(float height)
{
    for (int32_t i = 0; i < mChildren.GetCount(); ++i)
        mChildren[i]->SetHeight(height);
    return 1;
}

int32_t W2dGraphicContainer::SetCornerColours(const Rgba& c0, const Rgba& c1, const Rgba& c2, const Rgba& c3)
{
    for (int32_t i = 0; i < mChildren.GetCount(); ++i)
        mChildren[i]->SetCornerColours(c0, c1, c2, c3);
    return 1;
}

int32_t W2dGraphicContainer::AddChild(W2dGenericItem* item)
{
    if (!item)
        return 0;
    std::string name = item->GetName();
    if (!name.empty())
        for (int32_t i = 0; i < mChildren.GetCount(); ++i)
            if (mChildren[i]->GetName() == name)
                return 0;
    if (mChildren.Add(item) < 0)
        return 0;
    item->AddRef();
    return 1;
}

void W2dGraphicContainer::RemoveAt(int32_t index)
{
    int32_t count = mChildren.GetCount();
    W2dGenericItem* child = mChildren[index];
    W2dGenericItem** data = mChildren.GetData();
    std::memmove(static_cast<void*>(data + index), data + index + 1,
                 sizeof(W2dGenericItem*) * size_t(count - index - 1));
    mChildren.SetSize(count - 1);
    child->Release();
    child->HbRoot::Release();
}

int32_t W2dGraphicContainer::RemoveChild(W2dGenericItem* item)
{
    for (int32_t i = 0; i < mChildren.GetCount(); ++i)
        if (mChildren[i] == item)
        {
            RemoveAt(i);
            return i;
        }
    return -1;
}

int32_t W2dGraphicContainer::RemoveChildByName(const char* name)
{
    std::string wanted = name ? name : "";
    for (int32_t i = 0; i < mChildren.GetCount(); ++i)
        if (mChildren[i]->GetName() == wanted)
        {
            RemoveAt(i);
            return i;
        }
    return -1;
}

int32_t W2dGraphicContainer::GetChildCount() const
{
    return mChildren.GetCount();
}

W2dGenericItem* W2dGraphicContainer::GetChild(int32_t index) const
{
    return index >= 0 && index < mChildren.GetCount() ? mChildren[index] : nullptr;
}

void W2dGraphicContainer::SetFlag(int32_t bit)
{
    if (bit < 0 || bit > 31)
        return;
    mFlags |= 1u << bit;
    if (mFlags & (1u << kFitToChildren))
        FitToChildren();
}

void W2dGraphicContainer::ClearFlag(int32_t bit)
{
    if (bit < 0 || bit > 31)
        return;
    mFlags &= ~(1u << bit);
}

void W2dGraphicContainer::RemoveAllChildren()
{
    // Emptied first, so a child's Release that reaches back into the container finds no children.
    int32_t count = mChildren.GetCount();
    W2dGenericItem** data = mChildren.GetData();
    for (int32_t i = 0; i < count; ++i)
    {
        W2dGenericItem* child = data[i];
        data[i] = nullptr;
        if (!child)
            continue;
        child->Release();
        child->HbRoot::Release();
    }
    mChildren.RemoveAll();
}

void W2dGraphicContainer::FitToChildren()
{
    Vector extent = {0.0f, 0.0f, 0.0f};
    for (int32_t i = 0; i < mChildren.GetCount(); ++i)
    {
        Vector at, size;
        mChildren[i]->GetPosition(&at);
        mChildren[i]->GetSize(&size);
        float x = at.x - mPosition.x + size.x, y = at.y - mPosition.y + size.y, z = at.z - mPosition.z + size.z;
        extent.x = x > extent.x ? x : extent.x;
        extent.y = y > extent.y ? y : extent.y;
        extent.z = z > extent.z ? z : extent.z;
    }
    mSize = extent;
}

int32_t W2dGraphicContainer::AreChildEffectsStopped() const
{
    for (int32_t i = 0; i < mChildren.GetCount(); ++i)
        if (!mChildren[i]->AreEffectsStopped())
            return 0;
    return 1;
}
