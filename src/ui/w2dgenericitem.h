// W2dGenericItem: the base of every 2D element of the front end and the head-up display. It holds a
// position and a size in screen fractions, the created and shown states, a name, a per-frame callback
// and the item effects that animate it; it draws nothing itself.
#pragma once

#include "hbgrowarray.h"
#include "hbroot.h"
#include "raster.h"
#include "vector.h"

#include <cstdint>
#include <string>

class W2dGenericItem;
class W2dItemEffect;

using W2dItemCallback = void (*)(W2dGenericItem* item);

class W2dGenericItem : public HbRoot
{
    HB_DECLARE_CLASS_DESC();

public:
    /// Position 0, 0, 0, size 1, 1, 1, released and hidden, no name, no effects.
    W2dGenericItem();
    explicit W2dGenericItem(const char* name);
    /// A still-created item runs the base Release (a subclass's Release cannot run from here).
    ~W2dGenericItem() override;

    // ---- Life ------------------------------------------------------------------------------------------
    /// Clears the released flag; 1.
    virtual int32_t Create();
    /// Clears the hidden flag; 1.
    virtual int32_t Show();
    /// The per-frame step: the callback, then every active record's running effect, re-reading the
    /// record count after each so an effect may change the list; 1.
    virtual int32_t Update();
    virtual void Hide();
    /// Hides a shown item, sets the released flag and drops every effect; 1. This hides HbRoot's
    /// Release: a holder drops its reference on an item with item->HbRoot::Release().
    virtual int32_t Release();

    // ---- Geometry and colours ----------------------------------------------------------------------------
    virtual int32_t SetPosition(const Vector& position);
    /// Does nothing here; containers release their children.
    virtual int32_t Clear();
    virtual int32_t SetSize(const Vector& size);
    virtual int32_t SetWidth(float width);
    virtual int32_t SetHeight(float height);
    /// Corners in the order of the renderer's 2D surface (top left, top right, bottom left, bottom
    /// right). Nothing to colour here: 0.
    virtual int32_t SetCornerColours(const Rgba& c0, const Rgba& c1, const Rgba& c2, const Rgba& c3);
    /// SetCornerColours with the colour on all four corners.
    virtual int32_t SetColour(const Rgba& colour);
    /// Writes nothing here.
    virtual void GetCornerColours(Rgba* c0, Rgba* c1, Rgba* c2, Rgba* c3);
    virtual std::string GetName() const;
    virtual int32_t GetPosition(Vector* position);
    virtual int32_t GetSize(Vector* size);
    virtual void SetUpdateCallback(W2dItemCallback callback);
    virtual W2dItemCallback GetUpdateCallback() const;

    // ---- Effects ---------------------------------------------------------------------------------------
    /// Attaches the effect, active, with one reference; 0 when it is attached already. The effect's
    /// running flag is not touched and its Begin is the caller's to call.
    virtual int32_t AddEffect(W2dItemEffect* effect);
    /// Drops the effect's record and the item's reference on it; 0 when it is not attached.
    virtual int32_t RemoveEffect(W2dItemEffect* effect);
    /// Every record active and every effect running; the record count.
    virtual int32_t StartEffects();
    /// Every record inactive, the running flags as they were; the record count.
    virtual int32_t StopEffects();
    /// Every effect restarted on the item, its record active and it running; the record count.
    virtual int32_t RestartEffects();

    /// The index-based controls refuse an index outside the records (0, or 1 for IsEffectStopped).
    int32_t SetEffectActive(int32_t index, int32_t value);
    int32_t RestartEffect(int32_t index);
    /// Clears every effect's running flag, then its Stop; the records' active flags stay.
    void StopAllEffects();
    /// 1 when no attached effect runs (also without effects).
    int32_t AreEffectsStopped() const;
    int32_t IsEffectStopped(int32_t index) const;
    int32_t GetEffectCount() const { return mEffects.GetCount(); }
    /// The effect of a record, or null for an index outside them.
    W2dItemEffect* GetEffect(int32_t index) const;
    int32_t IsEffectActive(int32_t index) const;

    // ---- State -----------------------------------------------------------------------------------------
    int32_t IsReleased() const { return mReleased; }
    int32_t IsHidden() const { return mHidden; }
    /// Set by a position fade once it has written the alpha this frame; cleared by Update.
    int32_t IsColourSetThisFrame() const { return mColourSetThisFrame; }
    void SetColourSetThisFrame(int32_t value) { mColourSetThisFrame = value; }

protected:
    Vector mPosition = {0.0f, 0.0f, 0.0f};
    Vector mSize = {1.0f, 1.0f, 1.0f};
    int32_t mReleased = 1;
    int32_t mHidden = 1;

private:
    struct EffectRecord : HbAllocated
    {
        W2dItemEffect* effect;
        int32_t active;
    };

    /// What Release and the destructor share: the released flag set and every effect dropped.
    void ReleaseBase();
    void DropEffects();
    bool ValidIndex(int32_t index) const { return index >= 0 && index < mEffects.GetCount(); }

    std::string mName;
    W2dItemCallback mCallback = nullptr;
    int32_t mColourSetThisFrame = 0;
    HbGrowArray<EffectRecord*> mEffects;
};
