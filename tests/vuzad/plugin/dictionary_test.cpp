// Dictionaries of UV animations: reading, finding entries by name, the current dictionary,
// destruction, and what damaged dictionary chunks give.
#include "uvanimfixture.h"

#include "animationwriter.h"
#include "error.h"
#include "uvanimkey.h"

#include <cstring>

namespace
{
using Dictionaries = UVAnimFixture;

// The u translation of an animation's last keyframe tells two same-named entries apart.
float LastU(const Animation* animation)
{
    return reinterpret_cast<const UVAnimKeyFrameData*>(Animation::KeyFrame(animation, animation->keyFrameCount - 1))
        ->values[4];
}

TEST_F(Dictionaries, TheFirstOfTwoNamesWinsAndAnEmptyDictionaryNeverMatches)
{
    const std::string full(32, 'w'); // a full name, with no terminator in the stream
    Dictionary* d = ReadDictionary(UVAnimWriter::Dictionary(
        {Scroll("wave", 0.1f, 0), Scroll("wave", 0.2f, 0), Scroll(full, 0.3f, 0), Scroll("spin", 0.4f, 0)}));
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(Dictionary::GetEntryCount(d), 4);
    Animation* wave = UVAnim::FindAnimation(d, "wave");
    ASSERT_NE(wave, nullptr);
    EXPECT_FLOAT_EQ(LastU(wave), 0.1f);
    EXPECT_EQ(UVAnim::GetRefCount(wave), 1) << "the dictionary's reference only";
    ASSERT_NE(UVAnim::FindAnimation(d, full.c_str()), nullptr);
    EXPECT_FLOAT_EQ(LastU(UVAnim::FindAnimation(d, full.c_str())), 0.3f);
    EXPECT_EQ(UVAnim::FindAnimation(d, "Wave"), nullptr) << "names compare case-sensitively";
    EXPECT_EQ(UVAnim::FindAnimation(d, "wav"), nullptr);
    EXPECT_EQ(UVAnim::FindAnimation(d, nullptr), nullptr);

    Dictionary* empty = ReadDictionary(UVAnimWriter::Dictionary({}));
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(Dictionary::GetEntryCount(empty), 0);
    for (const char* name : {"wave", "", "spin"})
        EXPECT_EQ(Dictionary::FindEntry(empty, name), nullptr) << name;
    EXPECT_EQ(DictionarySchema::GetDictionaryCount(UVAnim::GetDictionarySchema()), 2);
    Dictionary::Destroy(empty);
    Dictionary::Destroy(d);
}

TEST_F(Dictionaries, DestroyingTheCurrentDictionaryLeavesNoneCurrent)
{
    DictionarySchema* schema = UVAnim::GetDictionarySchema();
    Dictionary* a = ReadDictionary(UVAnimWriter::Dictionary({Scroll("a", 1, 0)}));
    Dictionary* b = ReadDictionary(UVAnimWriter::Dictionary({Scroll("b", 1, 0)}));
    Dictionary* c = ReadDictionary(UVAnimWriter::Dictionary({Scroll("c", 1, 0)}));
    ASSERT_TRUE(a && b && c);
    EXPECT_EQ(UVAnim::GetCurrentDictionary(), nullptr) << "reading makes nothing current";
    UVAnim::SetCurrentDictionary(c);
    Dictionary::Destroy(a); // c takes a's place in the schema's list
    EXPECT_EQ(UVAnim::GetCurrentDictionary(), c);
    EXPECT_EQ(DictionarySchema::GetDictionaryCount(schema), 2);
    Dictionary::Destroy(c);
    EXPECT_EQ(UVAnim::GetCurrentDictionary(), nullptr);
    EXPECT_EQ(DictionarySchema::GetDictionaryCount(schema), 1);
    Dictionary::Destroy(b);
    EXPECT_EQ(DictionarySchema::GetDictionaryCount(schema), 0);
}

TEST_F(Dictionaries, TheWriterMatchesTheEnginesOwnAnimationWrite)
{
    UVAnimDescription turn;
    turn.name = "turn";
    turn.scheme = UVAnimParamKeyFrame::kTypeId;
    turn.duration = 2.0f;
    turn.nodeToChannel[1] = 1;
    turn.keys = {{1, 0.0f, {0, 1, 1, 0, 0, 0}},    {0, 0.0f, {0, 1, 1, 0, 0, 0}}, {0, 1.0f, {1, 1, 1, 0, 0, 0}},
                 {1, 0.5f, {0, 2, 2, 0, 0.5f, 0}}, {0, 2.0f, {2, 1, 1, 0, 0, 0}}, {1, 2.0f, {0, 1, 1, 0, 0, 1}}};
    const std::vector<uint8_t> dictionary = UVAnimWriter::Dictionary({turn, Scroll("scroll", 0.5f, 0.25f)});
    Dictionary* d = ReadDictionary(dictionary);
    ASSERT_NE(d, nullptr);
    Animation* read = UVAnim::FindAnimation(d, "turn");
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->nodeCount, 2);
    EXPECT_EQ(UVAnimGetCustomData(read)->nodeToChannel[1], 1);
    Stream* out = Stream::Open(kStreamMemory, kStreamWrite, nullptr);
    ASSERT_EQ(Animation::StreamWrite(read, out), 1);
    EXPECT_EQ(CloseWriter(out), UVAnimWriter::Animation(turn));
    Dictionary::Destroy(d);
}

TEST_F(Dictionaries, DamagedDictionariesLeaveNothingBehind)
{
    const std::vector<uint8_t> good = UVAnimWriter::Dictionary({Scroll("a", 1, 0), Scroll("b", 0, 1)});
    auto structVersion = [&](uint32_t version)
    {
        std::vector<uint8_t> b = good;
        const uint32_t stamp = LibraryStamp::Encode(version, 0xFFFF);
        std::memcpy(&b[12 + 8], &stamp, 4);
        return b;
    };
    auto count = [&](uint32_t n)
    {
        std::vector<uint8_t> b = good;
        std::memcpy(&b[24], &n, 4);
        return b;
    };
    // Keyframe 1 of the first entry: dictionary and struct chunks (28 bytes), the entry's
    // header (12), its body header (20), the word, name and map (68), keyframe 0 (32); the
    // previous index is its last word.
    auto previous = [&](uint32_t index)
    {
        std::vector<uint8_t> b = good;
        std::memcpy(&b[28 + 12 + 20 + 68 + 32 + 28], &index, 4);
        return b;
    };
    ASSERT_EQ(good[28 + 12 + 20 + 68 + 32 + 28], 0) << "keyframe 1 follows keyframe 0";
    // A standard-keyframe animation is no UV animation: it has neither name nor count.
    std::vector<uint8_t> otherScheme = ChunkBuilder().Header(1, 4).U32(1).bytes;
    const std::vector<uint8_t> std1 =
        AnimationWriter::StdAnimation({{0, 0, {0, 0, 0, 1}, {0, 0, 0}}, {0, 1, {0, 0, 0, 1}, {1, 0, 0}}}, 1.0f);
    otherScheme.insert(otherScheme.end(), std1.begin(), std1.end());
    std::vector<uint8_t> otherChunk = ChunkBuilder().Header(43, uint32_t(otherScheme.size())).bytes;
    otherChunk.insert(otherChunk.end(), otherScheme.begin(), otherScheme.end());
    const struct
    {
        const char* what;
        std::vector<uint8_t> bytes;
        int32_t errorPlugin;
    } cases[] = {
        {"struct older than the current format", structVersion(0x35000), -1},
        {"more entries than the body holds", count(3), -1},
        {"a count that no body could hold", count(0x7FFFFFFF), -1},
        {"an entry of another scheme", otherChunk, -1},
        {"a previous keyframe past the end", previous(7), -1},
        {"a keyframe preceded by itself", previous(1), -1},
        {"the second entry cut short", std::vector<uint8_t>(good.begin(), good.end() - 8), -1},
    };
    DictionarySchema* schema = UVAnim::GetDictionarySchema();
    Dictionary* current = ReadDictionary(UVAnimWriter::Dictionary({}));
    UVAnim::SetCurrentDictionary(current);
    for (const auto& c : cases)
    {
        std::vector<uint8_t> bytes = c.bytes;
        if (c.bytes.size() < good.size() && c.bytes.size() > 12)
        {
            // Cut bytes: the chunk header claims only what is there.
            const uint32_t size = uint32_t(bytes.size() - 12);
            std::memcpy(&bytes[4], &size, 4);
        }
        EXPECT_EQ(ReadDictionary(bytes), nullptr) << c.what;
        EXPECT_EQ(DictionarySchema::GetDictionaryCount(schema), 1) << c.what;
        EXPECT_EQ(UVAnim::GetCurrentDictionary(), current) << c.what;
        TakeError();
    }
    // Out of memory for the record: {447, 0x80000013}, a common code, kept as the core's.
    TestMemory::refuse = [](size_t, uint32_t hint) { return hint == 0x3002B; };
    EXPECT_EQ(ReadDictionary(good), nullptr);
    TestMemory::refuse = nullptr;
    Error e;
    Error::Get(&e);
    EXPECT_EQ(e.pluginId, 0);
    EXPECT_EQ(e.code, kErrNoMemory);
    EXPECT_EQ(DictionarySchema::GetDictionaryCount(schema), 1);
    Dictionary::Destroy(current);
}

TEST_F(Dictionaries, MutatedDictionariesAreReadSafely)
{
    UVAnimDescription turn = Scroll("turn", 0, 0);
    turn.scheme = UVAnimParamKeyFrame::kTypeId;
    turn.nodeToChannel[0] = 7;
    turn.keys.push_back({0, 0.5f, {3, 1, 1, 0, 0, 0}});
    turn.keys.push_back({1, 0.0f, {3, 1, 1, 0, 0, 0}});
    turn.keys.push_back({1, 1.0f, {-3, 1, 1, 0, 0, 0}});
    const std::vector<uint8_t> good = UVAnimWriter::Dictionary({Scroll("a", 1, 0), turn});
    int read = 0;
    SweepMutations(good, 600,
                   [&](std::vector<uint8_t>& bytes)
                   {
                       Dictionary* d = ReadDictionary(bytes);
                       if (d)
                       {
                           ++read;
                           for (int32_t i = 0; i < Dictionary::GetEntryCount(d); ++i)
                               UVAnim::FindAnimation(
                                   d, UVAnimGetCustomData(static_cast<Animation*>(Dictionary::GetEntry(d, i)))->name);
                           Dictionary::Destroy(d);
                       }
                       TakeError();
                   });
    EXPECT_GT(read, 0) << "some mutations only touch values";
    EXPECT_EQ(DictionarySchema::GetDictionaryCount(UVAnim::GetDictionarySchema()), 0);
}
} // namespace
