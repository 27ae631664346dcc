// Labels and artworks: the console lines that fill the lists, stepping through the slides with the
// pictures piling up (labels) or one at a time (artworks), the caption fades and the slide sounds.
#include "framecheck.h"
#include "hbcommand.h"
#include "raster.h"
#include "ui_fixture.h"
#include "w2dlabel.h"
#include "w2dsurfacegraphicitem.h"
#include "w2dtextgraphicitem.h"

#include <memory>
#include <string>
#include <vector>

namespace uitest
{
namespace
{

const char* const kSoundA = "SD_SLIDE_A_S2DSB";
const char* const kSoundB = "SD_SLIDE_B_S2DSB";

Rgba CornerZero(W2dGenericItem* item)
{
    Rgba c0, c1, c2, c3;
    item->GetCornerColours(&c0, &c1, &c2, &c3);
    return c0;
}

class SlideTest : public UiTest
{
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        mResources->SolidTexture("SLIDE_TEX", 8, 8, 0xFF40C060u);
        mResources->Text("CAPTION_ONE_TXT", "One");
        mResources->Text("CAPTION_TWO_TXT", "Two");
        mSounds = std::make_unique<Sounds>(std::initializer_list<const char*>{kSoundA, kSoundB});
        ASSERT_TRUE(mSounds->Started());
        mClocks->SetReal(Ticks(100.0));
    }

    void TearDown() override
    {
        LabelList::Instance()->Clear();
        ArtworkList::Instance()->Clear();
        mSounds.reset();
        UiTest::TearDown();
    }

    static int Run(const std::string& line) { return HbCommandManager::Instance()->ExecuteLine(line.c_str()); }

    static std::string Line(const char* command, const char* sound, const char* caption)
    {
        return std::string(command) + " SLIDE_TEX " + sound + " " + caption + " 0.1 0.2 0.3 0.4 15";
    }

    /// A label made directly: a script line cannot carry an empty sound identifier.
    static void AddLabel(const char* sound, const char* caption)
    {
        auto* label = new Label();
        label->Init("SLIDE_TEX", sound, caption, {0.1f, 0.2f, 0.0f}, {0.3f, 0.4f, 0.0f}, 15.0f);
        LabelList::Instance()->Add(label);
    }

    std::unique_ptr<Sounds> mSounds;
};

TEST_F(SlideTest, CreateLabelNeedsExactlyNineTokens)
{
    struct Case
    {
        const char* line;
        int result;
        int32_t count;
    };
    const Case cases[] = {
        {"CreateLabel SLIDE_TEX S CAPTION_ONE_TXT 0.1 0.2 0.3 0.4", HbCommandManager::kFailed, 0},
        {"CreateLabel SLIDE_TEX S CAPTION_ONE_TXT 0.1 0.2 0.3 0.4 5 6", HbCommandManager::kFailed, 0},
        {"CreateLabel SLIDE_TEX S CAPTION_ONE_TXT 0.1 0.2 0.3 0.4 5", HbCommandManager::kDone, 1},
        {"CreateLabel SLIDE_TEX S CAPTION_TWO_TXT 0.1 0.2 0.3 0.4 5", HbCommandManager::kDone, 2},
    };
    for (const Case& c : cases)
    {
        EXPECT_EQ(Run(c.line), c.result) << c.line;
        EXPECT_EQ(LabelList::Instance()->GetCount(), c.count) << c.line;
    }
    // Appended at the end, geometry read from the line.
    Label* last = LabelList::Instance()->GetAt(1);
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->GetCaption()->GetText(), "Two");
    Vector position, size;
    last->GetPicture()->GetPosition(&position);
    last->GetPicture()->GetSize(&size);
    EXPECT_FLOAT_EQ(position.x, 0.1f);
    EXPECT_FLOAT_EQ(position.y, 0.2f);
    EXPECT_FLOAT_EQ(size.x, 0.3f);
    EXPECT_FLOAT_EQ(size.y, 0.4f);
    EXPECT_TRUE(last->GetPicture()->IsHidden());
    EXPECT_TRUE(last->GetCaption()->IsHidden());
}

TEST_F(SlideTest, ATurnedLabelTurnsAboutItsCentreAndItsCaptionIsCentredUnderIt)
{
    // Half a turn about the picture's own centre leaves it where it stands; the caption's letters,
    // in a font whose letters are boxes of ink, stand centred in the caption's box.
    mResources->InkFont(kW2dStandardFont);
    ASSERT_EQ(Run("CreateLabel SLIDE_TEX " + std::string(kSoundA) + " CAPTION_ONE_TXT 0.1 0.2 0.3 0.4 180"),
              HbCommandManager::kDone);
    LabelList* list = LabelList::Instance();
    ASSERT_TRUE(list->ShowFirst());
    list->UpdateCurrent();
    mClocks->AdvanceReal(Ticks(1.0));
    list->UpdateCurrent();
    int32_t width = 0, height = 0;
    std::vector<uint32_t> actual = DrawSurfaces(Screen(), kClear, &width, &height);
    ASSERT_EQ(actual.size(), 640u * 480u);
    Reference expected(width, height, kClear);
    expected.Fill(0.1f, 0.2f, 0.3f, 0.4f, 0x40C060);
    const float letters = 3 * 0.04f * kInkFontWidth;
    const float x = 0.1f + (0.8f - letters) / 2, y = 0.7f + (0.2f - 0.04f) / 2;
    expected.Fill(x, y, letters, 0.04f, 0xFFFFFF);
    expected.IgnoreEdges(0.1f, 0.2f, 0.3f, 0.4f, actual);
    expected.IgnoreEdges(x, y, letters, 0.04f, actual);
    EXPECT_EQ(framecheck::CheckFrame("ui_label_half_turn", width, height, actual, expected.pixels, 3), "");
}

TEST_F(SlideTest, LabelsPileUpPicturesAndKeepOnlyTheLastCaption)
{
    EXPECT_FALSE(LabelList::Instance()->ShowFirst());
    EXPECT_FALSE(LabelList::Instance()->ShowNext());
    const char* captions[] = {"CAPTION_ONE_TXT", "CAPTION_TWO_TXT", "CAPTION_ONE_TXT"};
    for (const char* caption : captions)
        ASSERT_EQ(Run(Line("CreateLabel", kSoundA, caption)), HbCommandManager::kDone);
    LabelList* list = LabelList::Instance();
    ASSERT_TRUE(list->ShowFirst());
    EXPECT_TRUE(list->ShowNext());
    EXPECT_TRUE(list->ShowNext());
    EXPECT_FALSE(list->ShowNext());
    for (int32_t i = 0; i < 3; ++i)
    {
        EXPECT_FALSE(list->GetAt(i)->GetPicture()->IsHidden()) << i;
        EXPECT_EQ(list->GetAt(i)->GetCaption()->IsHidden() != 0, i != 2) << i;
    }
}

TEST_F(SlideTest, RepeatedCaptionFadesInNewCaptionShowsAtOnce)
{
    for (const char* caption : {"CAPTION_ONE_TXT", "CAPTION_ONE_TXT", "CAPTION_TWO_TXT"})
        AddLabel("", caption);
    LabelList* list = LabelList::Instance();
    ASSERT_TRUE(list->ShowFirst());
    ASSERT_TRUE(list->ShowNext());
    W2dTextGraphicItem* repeated = list->GetAt(1)->GetCaption();
    EXPECT_EQ(CornerZero(repeated).alpha, 0);
    list->UpdateCurrent(); // the fade starts its clock
    mClocks->AdvanceReal(Ticks(0.25));
    list->UpdateCurrent();
    EXPECT_NEAR(CornerZero(repeated).alpha, 127, 2);
    mClocks->AdvanceReal(Ticks(0.3));
    list->UpdateCurrent();
    EXPECT_EQ(CornerZero(repeated).alpha, 255);

    ASSERT_TRUE(list->ShowNext());
    Rgba fresh = CornerZero(list->GetAt(2)->GetCaption());
    EXPECT_EQ(fresh.red, 255);
    EXPECT_EQ(fresh.green, 255);
    EXPECT_EQ(fresh.blue, 255);
    EXPECT_EQ(fresh.alpha, 255);
    EXPECT_FALSE(list->GetAt(2)->GetCaption()->IsHidden());
}

TEST_F(SlideTest, SlideWithoutSoundLeavesThePreviousSoundPlaying)
{
    AddLabel(kSoundA, "CAPTION_ONE_TXT");
    AddLabel("", "CAPTION_TWO_TXT");
    AddLabel(kSoundB, "CAPTION_TWO_TXT");
    for (const char* sound : {kSoundA, "INVALID_RESOURCE_ID", kSoundB})
        ASSERT_EQ(Run(Line("CreateArtwork", sound, "CAPTION_ONE_TXT")), HbCommandManager::kDone);
    auto check = [this](auto* list, const char* command)
    {
        mSounds->Clear();
        ASSERT_TRUE(list->ShowFirst());
        int32_t channel = list->GetChannel();
        EXPECT_NE(channel, -1) << command;
        ASSERT_TRUE(list->ShowNext());
        EXPECT_EQ(list->GetChannel(), channel) << command;
        EXPECT_EQ(mSounds->Played(), std::vector<std::string>{kSoundA}) << command;
        ASSERT_TRUE(list->ShowNext());
        EXPECT_EQ(mSounds->Played(), (std::vector<std::string>{kSoundA, kSoundB})) << command;
        list->Clear();
        EXPECT_EQ(list->GetChannel(), -1) << command;
        EXPECT_EQ(list->GetCount(), 0) << command;
    };
    check(LabelList::Instance(), "labels");
    check(ArtworkList::Instance(), "artworks");
}

TEST_F(SlideTest, ArtworksShowOnePictureAtATimeAndRebuildIt)
{
    for (const char* caption : {"CAPTION_ONE_TXT", "CAPTION_TWO_TXT"})
        ASSERT_EQ(Run(Line("CreateArtwork", "INVALID_RESOURCE_ID", caption)), HbCommandManager::kDone);
    EXPECT_EQ(Run("CreateArtwork SLIDE_TEX"), HbCommandManager::kFailed);
    ArtworkList* list = ArtworkList::Instance();
    ASSERT_EQ(list->GetCount(), 2);
    Artwork* first = list->GetAt(0);
    Artwork* second = list->GetAt(1);
    EXPECT_EQ(first->GetPicture(), nullptr);

    ASSERT_TRUE(list->ShowFirst());
    ASSERT_NE(first->GetPicture(), nullptr);
    EXPECT_FALSE(first->GetPicture()->IsHidden());
    ASSERT_TRUE(list->ShowNext());
    EXPECT_EQ(first->GetPicture(), nullptr);
    EXPECT_TRUE(first->GetCaption()->IsHidden());
    ASSERT_NE(second->GetPicture(), nullptr);
    Vector position;
    second->GetPicture()->GetPosition(&position);
    EXPECT_FLOAT_EQ(position.x, 0.1f);

    EXPECT_FALSE(list->ShowNext());
    EXPECT_EQ(second->GetPicture(), nullptr);
    EXPECT_TRUE(second->GetCaption()->IsHidden());
    EXPECT_FALSE(list->ShowNext());

    ASSERT_TRUE(list->ShowFirst());
    ASSERT_NE(first->GetPicture(), nullptr);
    EXPECT_FALSE(first->GetPicture()->IsHidden());
    EXPECT_FALSE(first->GetCaption()->IsHidden());
}

TEST_F(SlideTest, MalformedLinesAreRefusedWithoutHarm)
{
    const std::string longToken(400, 'X');
    const std::string lines[] = {
        "CreateLabel",
        "CreateArtwork",
        "CreateLabel SLIDE_TEX",
        "CreateArtwork SLIDE_TEX S CAPTION_ONE_TXT 1 2 3",
        "CreateLabel " + longToken + " " + longToken + " " + longToken + " 1 2 3 4 5",
        "CreateArtwork " + longToken + " " + longToken + " " + longToken + " 1 2 3 4 5",
        "CreateLabel NO_TEX NO_SOUND NO_TXT x y 1e999 -1e999 nan",
        "CreateArtwork NO_TEX NO_SOUND NO_TXT x y 1e999 -1e999 nan",
        "CreateLabel a b c d e f g h i j k l m n o p q r s t u v w x y z",
    };
    for (const std::string& line : lines)
    {
        int result = Run(line);
        EXPECT_TRUE(result == HbCommandManager::kDone || result == HbCommandManager::kFailed) << line;
    }
    // Every accepted slide can still be shown, stepped through and cleared.
    for (bool more = LabelList::Instance()->ShowFirst(); more; more = LabelList::Instance()->ShowNext())
        LabelList::Instance()->UpdateCurrent();
    for (bool more = ArtworkList::Instance()->ShowFirst(); more; more = ArtworkList::Instance()->ShowNext())
        ArtworkList::Instance()->UpdateCurrent();
    EXPECT_EQ(LabelList::Instance()->GetCount(), 2);
    EXPECT_EQ(ArtworkList::Instance()->GetCount(), 2);
}

} // namespace
} // namespace uitest
