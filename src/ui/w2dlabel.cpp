// Labels and artworks, their lists and the console commands that fill them.
#include "w2dlabel.h"

#include "hbclock.h"
#include "hbcommand.h"
#include "hbmath.h"
#include "raster.h"
#include "tsfmod.h"
#include "tssoundmodule.h"
#include "w2ditemeffect.h"
#include "w2dsurfacegraphicitem.h"
#include "w2dtextgraphicitem.h"

#include <cfloat>
#include <cstring>

HB_DEFINE_CLASS_DESC(Label, HbRoot);
HB_DEFINE_CLASS_DESC(Artwork, HbRoot);

namespace
{

constexpr Rgba kClear = {0, 0, 0, 0};
constexpr Rgba kWhite = {255, 255, 255, 255};
const char* const kNoSound = "INVALID_RESOURCE_ID";

/// A 0.5 s fade from transparent to white, begun (the item turns transparent) and switched off until shown.
void AttachIdleFade(W2dGenericItem* item)
{
    auto* fade = new W2dColourFadeEffect(int64_t(double(HbPerformanceFrequency()) * 0.5), &kClear, &kWhite, 0);
    item->AddEffect(fade);
    fade->Begin(item);
    item->SetEffectActive(0, 0);
}

W2dTextGraphicItem* BuildCaption(const char* captionTextId)
{
    auto* caption = new W2dTextGraphicItem(kW2dStandardFont, nullptr);
    caption->SetPriority(100);
    caption->Create();
    caption->SetSize({0.8f, 0.2f, 0.0f});
    caption->SetCharHeight(0.04f);
    caption->SetJustify(0);
    caption->SetPosition({0.1f, 0.7f, 0.0f});
    caption->Show();
    caption->SetText(GetLocalizedText(captionTextId).c_str());
    caption->Hide();
    AttachIdleFade(caption);
    return caption;
}

W2dBlendedPictureItem* BuildPicture(const char* textureId, int32_t priority, const Vector& position, const Vector& size,
                                    float angle)
{
    auto* picture = new W2dBlendedPictureItem(textureId, -1.0f, nullptr);
    picture->SetPriority(priority);
    picture->Create();
    picture->SetSize({size.x, size.y, 0.0f});
    picture->SetPosition({position.x, position.y, 0.0f});
    picture->Hide();
    picture->SetRotationCentre(position.x + size.x * 0.5f, position.y + size.y * 0.5f);
    picture->SetRotation(angle);
    AttachIdleFade(picture);
    return picture;
}

void StartSound(const std::string& soundId, int32_t* channel)
{
    if (*channel != -1)
        TsFModStopChannel(*channel);
    *channel = TsFModPlaySoundAt(soundId.c_str(), nullptr);
}

/// A repeated caption fades in again; a new one appears at once in white.
void ShowCaption(W2dTextGraphicItem* caption, const std::string& lastCaption)
{
    if (caption->GetText() == lastCaption)
    {
        caption->SetEffectActive(0, 1);
        caption->Show();
        return;
    }
    caption->SetCornerColours(kWhite, kWhite, kWhite, kWhite);
    caption->Show();
}

template <typename T> void Drop(T*& item)
{
    if (!item)
        return;
    item->Release();
    item->HbRoot::Release();
    item = nullptr;
}

float ParseReal(const std::string& text)
{
    double value = HbAtoF(text.c_str());
    if (!(value <= FLT_MAX))
        return value > 0.0 ? FLT_MAX : 0.0f;
    if (value < -FLT_MAX)
        return -FLT_MAX;
    return float(value);
}

/// The nine-token line both commands share; false for any other count.
struct SlideLine
{
    Vector position;
    Vector size;
    float angle;
};

bool ReadSlideLine(const HbCommandArgs& args, SlideLine* line)
{
    if (args.GetCount() != 9)
        return false;
    line->position = {ParseReal(args.GetToken(4)), ParseReal(args.GetToken(5)), 0.0f};
    line->size = {ParseReal(args.GetToken(6)), ParseReal(args.GetToken(7)), 0.0f};
    line->angle = ParseReal(args.GetToken(8));
    return true;
}

class CreateLabelCommand : public HbCommand
{
public:
    CreateLabelCommand() : HbCommand("CreateLabel", "Creates a label and adds it to the labels list") {}
    int Execute(const HbCommandArgs& args, int32_t) override
    {
        SlideLine line;
        LabelList* list = LabelList::Instance();
        if (!ReadSlideLine(args, &line) || !list)
            return 0;
        auto* label = new Label();
        label->Init(args.GetToken(1).c_str(), args.GetToken(2).c_str(), args.GetToken(3).c_str(), line.position,
                    line.size, line.angle);
        list->Add(label);
        return 1;
    }
};

class CreateArtworkCommand : public HbCommand
{
public:
    CreateArtworkCommand() : HbCommand("CreateArtwork", "Creates a artwork and adds it to the artworks list") {}
    int Execute(const HbCommandArgs& args, int32_t) override
    {
        SlideLine line;
        ArtworkList* list = ArtworkList::Instance();
        if (!ReadSlideLine(args, &line) || !list)
            return 0;
        auto* artwork = new Artwork();
        artwork->Init(args.GetToken(1).c_str(), args.GetToken(2).c_str(), args.GetToken(3).c_str(), line.position,
                      line.size, line.angle);
        list->Add(artwork);
        return 1;
    }
};

CreateLabelCommand gCreateLabelCommand;
CreateArtworkCommand gCreateArtworkCommand;

HbPtrListNode* NodeAt(const HbPtrList& list, int32_t index)
{
    HbPtrListNode* node = list.GetHead();
    for (; node && index > 0; --index)
        node = node->next;
    return index == 0 ? node : nullptr;
}

} // namespace

// ---- Label -------------------------------------------------------------------------------------------

void Label::Init(const char* textureId, const char* soundId, const char* captionTextId, const Vector& position,
                 const Vector& size, float angle)
{
    mPicture = BuildPicture(textureId, 99, position, size, angle);
    mSoundId = soundId ? soundId : "";
    mCaption = BuildCaption(captionTextId);
}

void Label::Show(int32_t* channel, const std::string& lastCaption)
{
    if (!mSoundId.empty())
        StartSound(mSoundId, channel);
    if (mPicture)
    {
        mPicture->Show();
        mPicture->SetEffectActive(0, 1);
    }
    if (mCaption)
        ShowCaption(mCaption, lastCaption);
}

void Label::ReleaseItems()
{
    Drop(mPicture);
    Drop(mCaption);
}

Label* LabelList::GetAt(int32_t index) const
{
    HbPtrListNode* node = NodeAt(mRecords, index);
    return node ? static_cast<Label*>(node->value) : nullptr;
}

bool LabelList::ShowFirst()
{
    mLastCaption.clear();
    mCurrent = nullptr;
    HbPtrListNode* first = mRecords.GetHead();
    if (!first)
        return false;
    auto* label = static_cast<Label*>(first->value);
    label->Show(&mChannel, mLastCaption);
    mLastCaption = label->GetCaption()->GetText();
    mCurrent = first;
    return true;
}

bool LabelList::ShowNext()
{
    if (!mCurrent)
        return false;
    auto* label = static_cast<Label*>(mCurrent->value);
    if (!label->GetCaption()->GetText().empty())
        mLastCaption = label->GetCaption()->GetText();
    label->GetPicture()->StopAllEffects();
    if (!mCurrent->next)
        return false;
    mCurrent = mCurrent->next;
    label->GetCaption()->Hide();
    static_cast<Label*>(mCurrent->value)->Show(&mChannel, mLastCaption);
    return true;
}

void LabelList::UpdateCurrent()
{
    if (!mCurrent)
        return;
    auto* label = static_cast<Label*>(mCurrent->value);
    label->GetPicture()->Update();
    label->GetCaption()->Update();
}

void LabelList::Clear()
{
    if (mChannel != -1)
        TsFModStopChannel(mChannel);
    mChannel = -1;
    for (HbPtrListNode* node = mRecords.GetHead(); node; node = node->next)
    {
        auto* label = static_cast<Label*>(node->value);
        label->ReleaseItems();
        label->HbRoot::Release();
    }
    mRecords.RemoveAll();
    mCurrent = nullptr;
}

// ---- Artwork -----------------------------------------------------------------------------------------

void Artwork::Init(const char* textureId, const char* soundId, const char* captionTextId, const Vector& position,
                   const Vector& size, float angle)
{
    mSize = {size.x, size.y, 0.0f};
    mPosition = {position.x, position.y, 0.0f};
    mAngle = angle;
    mTextureId = textureId ? textureId : "";
    mSoundId = soundId ? soundId : "";
    mCaption = BuildCaption(captionTextId);
}

void Artwork::Show(int32_t* channel, const std::string& lastCaption)
{
    if (mSoundId != kNoSound)
        StartSound(mSoundId, channel);
    if (!mPicture)
        mPicture = BuildPicture(mTextureId.c_str(), 90, mPosition, mSize, mAngle);
    mPicture->Show();
    mPicture->SetEffectActive(0, 1);
    if (mCaption)
        ShowCaption(mCaption, lastCaption);
}

void Artwork::ReleasePicture()
{
    Drop(mPicture);
}

void Artwork::ReleaseItems()
{
    Drop(mPicture);
    Drop(mCaption);
}

Artwork* ArtworkList::GetAt(int32_t index) const
{
    HbPtrListNode* node = NodeAt(mRecords, index);
    return node ? static_cast<Artwork*>(node->value) : nullptr;
}

bool ArtworkList::ShowFirst()
{
    mLastCaption.clear();
    mCurrent = nullptr;
    HbPtrListNode* first = mRecords.GetHead();
    if (!first)
        return false;
    auto* artwork = static_cast<Artwork*>(first->value);
    artwork->Show(&mChannel, mLastCaption);
    mLastCaption = artwork->GetCaption()->GetText();
    mCurrent = first;
    return true;
}

bool ArtworkList::ShowNext()
{
    if (!mCurrent)
        return false;
    auto* artwork = static_cast<Artwork*>(mCurrent->value);
    mLastCaption = artwork->GetCaption()->GetText();
    if (artwork->GetPicture())
        artwork->GetPicture()->StopAllEffects();
    mCurrent = mCurrent->next;
    artwork->GetCaption()->Hide();
    artwork->ReleasePicture();
    if (!mCurrent)
        return false;
    static_cast<Artwork*>(mCurrent->value)->Show(&mChannel, mLastCaption);
    return true;
}

void ArtworkList::UpdateCurrent()
{
    if (!mCurrent)
        return;
    auto* artwork = static_cast<Artwork*>(mCurrent->value);
    if (artwork->GetPicture())
        artwork->GetPicture()->Update();
    artwork->GetCaption()->Update();
}

void ArtworkList::Clear()
{
    if (mChannel != -1)
        TsFModStopChannel(mChannel);
    mChannel = -1;
    for (HbPtrListNode* node = mRecords.GetHead(); node; node = node->next)
    {
        auto* artwork = static_cast<Artwork*>(node->value);
        artwork->ReleaseItems();
        artwork->HbRoot::Release();
    }
    mRecords.RemoveAll();
    mCurrent = nullptr;
}
