// The 2D item base: states, geometry and the effect records.
#include "w2dgenericitem.h"

#include "w2ditemeffect.h"

#include <cstring>

HB_DEFINE_CLASS_DESC(W2dGenericItem, HbRoot);

W2dGenericItem::W2dGenericItem() = default;

W2dGenericItem::W2dGenericItem(const char* name) : mName(name ? name : "") {}

W2dGenericItem::~W2dGenericItem()
{
    if (!mReleased)
    {
        // The base behaviour only: the subclass part is gone already.
        if (!mHidden)
            mHidden = 1;
        ReleaseBase();
    }
    DropEffects();
}

int32_t W2dGenericItem::Create()
{
    mReleased = 0;
    return 1;
}

int32_t W2dGenericItem::Show()
{
    mHidden = 0;
    return 1;
}

int32_t W2dGenericItem::Update()
{
    mColourSetThisFrame = 0;
    if (mCallback)
        mCallback(this);
    for (int32_t i = 0; i < mEffects.GetCount(); ++i)
    {
        EffectRecord* record = mEffects[i];
        if (record && record->active && record->effect && record->effect->IsRunning())
            record->effect->Update(this);
    }
    return 1;
}

void W2dGenericItem::Hide()
{
    mHidden = 1;
}

int32_t W2dGenericItem::Release()
{
    if (!mHidden)
        Hide();
    ReleaseBase();
    return 1;
}

void W2dGenericItem::ReleaseBase()
{
    mReleased = 1;
    DropEffects();
}

void W2dGenericItem::DropEffects()
{
    // Taken out of the array first: an effect destroyed here must not see a half-emptied list.
    int32_t count = mEffects.GetCount();
    for (int32_t i = 0; i < count; ++i)
    {
        EffectRecord* record = mEffects[i];
        mEffects[i] = nullptr;
        if (!record)
            continue;
        if (record->effect)
            record->effect->Release();
        delete record;
    }
    mEffects.RemoveAll();
}

int32_t W2dGenericItem::SetPosition(const Vector& position)
{
    mPosition = position;
    return 1;
}

int32_t W2dGenericItem::Clear()
{
    return 1;
}

int32_t W2dGenericItem::SetSize(const Vector& size)
{
    mSize = size;
    return 1;
}

int32_t W2dGenericItem::SetWidth(float width)
{
    mSize.x = width;
    return 1;
}

int32_t W2dGenericItem::SetHeight(float height)
{
    mSize.y = height;
    return 1;
}

int32_t W2dGenericItem::SetCornerColours(const Rgba&, const Rgba&, const Rgba&, const Rgba&)
{
    return 0;
}

int32_t W2dGenericItem::SetColour(const Rgba& colour)
{
    return SetCornerColours(colour, colour, colour, colour);
}

void W2dGenericItem::GetCornerColours(Rgba*, Rgba*, Rgba*, Rgba*) {}

std::string W2dGenericItem::GetName() const
{
    return mName;
}

int32_t W2dGenericItem::GetPosition(Vector* position)
{
    *position = mPosition;
    return 1;
}

int32_t W2dGenericItem::GetSize(Vector* size)
{
    *size = mSize;
    return 1;
}

void W2dGenericItem::SetUpdateCallback(W2dItemCallback callback)
{
    mCallback = callback;
}

W2dItemCallback W2dGenericItem::GetUpdateCallback() const
{
    return mCallback;
}

// ---- Effects ------------------------------------------------------------------------------------------------

int32_t W2dGenericItem::AddEffect(W2dItemEffect* effect)
{
    for (int32_t i = 0; i < mEffects.GetCount(); ++i)
        if (mEffects[i] && mEffects[i]->effect == effect)
            return 0;
    auto* record = new EffectRecord();
    if (!record)
        return 0;
    record->effect = effect;
    record->active = 1;
    if (mEffects.Add(record) < 0)
    {
        delete record;
        return 0;
    }
    if (effect)
        effect->AddRef();
    return 1;
}

int32_t W2dGenericItem::RemoveEffect(W2dItemEffect* effect)
{
    int32_t count = mEffects.GetCount();
    for (int32_t i = 0; i < count; ++i)
    {
        EffectRecord* record = mEffects[i];
        if (!record || record->effect != effect)
            continue;
        EffectRecord** data = mEffects.GetData();
        std::memmove(static_cast<void*>(data + i), data + i + 1, sizeof(EffectRecord*) * size_t(count - i - 1));
        mEffects.SetSize(count - 1);
        if (effect)
            effect->Release();
        delete record;
        return 1;
    }
    return 0;
}

int32_t W2dGenericItem::StartEffects()
{
    for (int32_t i = 0; i < mEffects.GetCount(); ++i)
    {
        mEffects[i]->active = 1;
        if (mEffects[i]->effect)
            mEffects[i]->effect->SetRunning(1);
    }
    return mEffects.GetCount();
}

int32_t W2dGenericItem::StopEffects()
{
    for (int32_t i = 0; i < mEffects.GetCount(); ++i)
        mEffects[i]->active = 0;
    return mEffects.GetCount();
}

int32_t W2dGenericItem::RestartEffects()
{
    for (int32_t i = 0; i < mEffects.GetCount(); ++i)
    {
        EffectRecord* record = mEffects[i];
        if (record->effect)
            record->effect->Restart(this);
        record->active = 1;
        if (record->effect)
            record->effect->SetRunning(1);
    }
    return mEffects.GetCount();
}

int32_t W2dGenericItem::SetEffectActive(int32_t index, int32_t value)
{
    if (!ValidIndex(index))
        return 0;
    mEffects[index]->active = value;
    if (mEffects[index]->effect)
        mEffects[index]->effect->SetRunning(value);
    return 1;
}

int32_t W2dGenericItem::RestartEffect(int32_t index)
{
    if (!ValidIndex(index))
        return 0;
    EffectRecord* record = mEffects[index];
    record->active = 1;
    if (record->effect)
    {
        record->effect->SetRunning(1);
        record->effect->Restart(this);
    }
    return 1;
}

void W2dGenericItem::StopAllEffects()
{
    for (int32_t i = 0; i < mEffects.GetCount(); ++i)
        if (W2dItemEffect* effect = mEffects[i]->effect)
        {
            effect->SetRunning(0);
            effect->Stop(this);
        }
}

int32_t W2dGenericItem::AreEffectsStopped() const
{
    for (int32_t i = 0; i < mEffects.GetCount(); ++i)
        if (mEffects[i]->effect && mEffects[i]->effect->IsRunning())
            return 0;
    return 1;
}

int32_t W2dGenericItem::IsEffectStopped(int32_t index) const
{
    if (!ValidIndex(index) || !mEffects[index]->effect)
        return 1;
    return mEffects[index]->effect->IsRunning() ? 0 : 1;
}

W2dItemEffect* W2dGenericItem::GetEffect(int32_t index) const
{
    return ValidIndex(index) ? mEffects[index]->effect : nullptr;
}

int32_t W2dGenericItem::IsEffectActive(int32_t index) const
{
    return ValidIndex(index) ? mEffects[index]->active : 0;
}
