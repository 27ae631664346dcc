// Labels and artworks: the slides of the briefing, story and artwork pages. Each is a picture with an
// optional sound and a caption; command scripts fill the two lists with CreateLabel and CreateArtwork,
// the front-end states step through them.
#pragma once

#include "hbptrlist.h"
#include "hbroot.h"
#include "hbsingleton.h"
#include "vector.h"

#include <cstdint>
#include <string>

class W2dBlendedPictureItem;
class W2dTextGraphicItem;

class Label : public HbRoot
{
    HB_DECLARE_CLASS_DESC();

public:
    Label() = default;
    void Init(const char* textureId, const char* soundId, const char* captionTextId, const Vector& position,
              const Vector& size, float angle);
    /// Starts the sound (stopping the channel's), fades the picture in and shows the caption: faded in
    /// when it repeats the last caption, else at once in opaque white.
    void Show(int32_t* channel, const std::string& lastCaption);

    W2dBlendedPictureItem* GetPicture() const { return mPicture; }
    W2dTextGraphicItem* GetCaption() const { return mCaption; }
    const std::string& GetSoundId() const { return mSoundId; }
    /// Releases and drops the picture and the caption.
    void ReleaseItems();

private:
    W2dBlendedPictureItem* mPicture = nullptr;
    std::string mSoundId;
    W2dTextGraphicItem* mCaption = nullptr;
};

class LabelList : public HbAllocated
{
public:
    static LabelList* Instance() { return HbSingleton<LabelList>::Instance(); }

    void Add(Label* label) { mRecords.AddTail(label); }
    bool ShowFirst();
    bool ShowNext();
    void UpdateCurrent();
    void Clear();

    int32_t GetCount() const { return mRecords.GetCount(); }
    Label* GetAt(int32_t index) const;
    int32_t GetChannel() const { return mChannel; }
    const std::string& GetLastCaption() const { return mLastCaption; }

private:
    friend class HbSingleton<LabelList>;
    HbPtrList mRecords{10};
    HbPtrListNode* mCurrent = nullptr;
    int32_t mChannel = -1;
    std::string mLastCaption;
};

class Artwork : public HbRoot
{
    HB_DECLARE_CLASS_DESC();

public:
    Artwork() = default;
    void Init(const char* textureId, const char* soundId, const char* captionTextId, const Vector& position,
              const Vector& size, float angle);
    /// As Label::Show, building the picture first when it does not exist.
    void Show(int32_t* channel, const std::string& lastCaption);
    /// Releases and drops the picture; the caption stays.
    void ReleasePicture();
    void ReleaseItems();

    W2dBlendedPictureItem* GetPicture() const { return mPicture; }
    W2dTextGraphicItem* GetCaption() const { return mCaption; }

private:
    W2dBlendedPictureItem* mPicture = nullptr;
    std::string mSoundId;
    W2dTextGraphicItem* mCaption = nullptr;
    std::string mTextureId;
    Vector mSize = {0.0f, 0.0f, 0.0f};
    Vector mPosition = {0.0f, 0.0f, 0.0f};
    float mAngle = 0.0f;
};

class ArtworkList : public HbAllocated
{
public:
    static ArtworkList* Instance() { return HbSingleton<ArtworkList>::Instance(); }

    void Add(Artwork* artwork) { mRecords.AddTail(artwork); }
    bool ShowFirst();
    bool ShowNext();
    void UpdateCurrent();
    void Clear();

    int32_t GetCount() const { return mRecords.GetCount(); }
    Artwork* GetAt(int32_t index) const;
    int32_t GetChannel() const { return mChannel; }

private:
    friend class HbSingleton<ArtworkList>;
    HbPtrList mRecords{10};
    HbPtrListNode* mCurrent = nullptr;
    int32_t mChannel = -1;
    std::string mLastCaption;
};
