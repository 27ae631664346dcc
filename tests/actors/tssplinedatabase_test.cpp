// Tests of the spline database against its writer: the round trip, empty and refused data,
// repeated and impossible slots, entries without a spline, the resource type, and mutated
// data read safely.
#include "hbresource.h"
#include "renderer_fixture.h"
#include "splinecurve.h"
#include "splinedbwriter.h"
#include "stream.h"
#include "tssplinedatabase.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <random>

namespace
{

// Splines are made by the engine's spline plug-in: the renderer's engine must run.
class TsSplineDataBaseTest : public renderertest::RendererTest
{
protected:
    void SetUp() override
    {
        RendererTest::SetUp();
        ASSERT_NE(Started(), nullptr);
    }

    /// A database read from the bytes, and Load's answer.
    static std::unique_ptr<TsSplineDataBase> Read(std::vector<uint8_t> bytes, int32_t* answer)
    {
        auto database = std::make_unique<TsSplineDataBase>();
        MemoryBlock block = {bytes.data(), uint32_t(bytes.size())};
        Stream* stream = Stream::Open(kStreamMemory, kStreamRead, &block);
        EXPECT_NE(stream, nullptr);
        *answer = database->LoadFromEngineStream(stream, "TEST_SDB");
        Stream::Close(stream, nullptr);
        return database;
    }

    static SplineDbEntry Entry(int32_t slot, const char* name, int32_t value, int32_t type = kSplineOpen)
    {
        SplineDbEntry entry;
        entry.slot = slot;
        entry.name = name;
        entry.type = type;
        entry.value = value;
        for (int i = 0; i < 4; ++i)
            entry.points.push_back(Vector{float(10 * i), float(slot), float(-i)});
        return entry;
    }

    static std::vector<int32_t> FilledSlots(const TsSplineDataBase& database)
    {
        std::vector<int32_t> slots;
        for (int32_t i = 0; i < TsSplineDataBase::kSlotCount; ++i)
            if (database.GetSpline(i))
                slots.push_back(i);
        return slots;
    }
};

TEST_F(TsSplineDataBaseTest, WrittenEntriesReadBackInTheirSlots)
{
    int32_t answer = -1;
    auto database =
        Read(SplineDbWriter::Write({Entry(3, "crane", 7), Entry(99, "loop", -5, kSplineClosed), Entry(0, "dolly", 1)}),
             &answer);
    EXPECT_EQ(answer, 1);
    EXPECT_EQ(FilledSlots(*database), (std::vector<int32_t>{0, 3, 99}));
    const TsSplineEntry* crane = database->GetSpline(3);
    ASSERT_NE(crane, nullptr);
    ASSERT_NE(crane->spline, nullptr);
    EXPECT_STREQ(crane->spline->name, "crane");
    EXPECT_EQ(crane->spline->type, kSplineOpen);
    EXPECT_EQ(crane->value, 7);
    EXPECT_FLOAT_EQ(crane->spline->controlPoints[2].x, 20.0f);
    EXPECT_FLOAT_EQ(crane->spline->controlPoints[2].y, 3.0f);
    EXPECT_EQ(database->GetSpline(99)->spline->type, kSplineClosed);
    EXPECT_EQ(database->GetSpline(99)->value, -5);
    for (int32_t index : {-1, 100, 1 << 30})
        EXPECT_EQ(database->GetSpline(index), nullptr) << index;
}

TEST_F(TsSplineDataBaseTest, CountsWordsSlotsAndMissingSplines)
{
    struct Case
    {
        const char* name;
        std::vector<uint8_t> bytes;
        int32_t answer;
        std::vector<int32_t> slots;
        int32_t valueOfSlot5; ///< -1 when slot 5 is empty
    };
    SplineDbEntry bare = Entry(7, "bare", 3);
    bare.withSpline = false;
    std::vector<uint8_t> cut = SplineDbWriter::Write({Entry(1, "a", 1), Entry(2, "b", 2)});
    cut.resize(cut.size() - 2);
    const Case cases[] = {
        {"count 0: empty", SplineDbWriter::Write({}), 1, {}, -1},
        {"another first word", SplineDbWriter::Write({Entry(1, "a", 1)}, 1), 0, {}, -1},
        {"a negative count", SplineDbWriter::Write({}, 0, -2), 0, {}, -1},
        {"a repeated slot keeps the later",
         SplineDbWriter::Write({Entry(5, "first", 10), Entry(5, "second", 20)}),
         1,
         {5},
         20},
        {"slots outside 0-99 are refused, the rest read",
         SplineDbWriter::Write({Entry(100, "over", 1), Entry(-1, "under", 2), Entry(5, "in", 30)}),
         1,
         {5},
         30},
        {"an entry without its spline is dropped", SplineDbWriter::Write({Entry(5, "kept", 40), bare}), 1, {5}, 40},
        {"more entries counted than written", SplineDbWriter::Write({Entry(5, "only", 50)}, 0, 3), 1, {5}, 50},
        {"data that ends inside an entry keeps the whole ones", cut, 1, {1}, -1},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        int32_t answer = -1;
        auto database = Read(c.bytes, &answer);
        EXPECT_EQ(answer, c.answer);
        EXPECT_EQ(FilledSlots(*database), c.slots);
        const TsSplineEntry* five = database->GetSpline(5);
        EXPECT_EQ(five ? five->value : -1, c.valueOfSlot5);
    }
}

TEST_F(TsSplineDataBaseTest, TheResourceTypeSdbMakesADatabaseFromAFile)
{
    std::vector<uint8_t> bytes = SplineDbWriter::Write({Entry(12, "shot", 4)});
    std::string path = mDirectory + "/level.sdb";
    renderertest::WriteFile(path, std::string(bytes.begin(), bytes.end()));
    HbResourceManager::Instance()->AddPath("LEVEL_SDB", path.c_str());
    HbRoot* resource = HbResourceManager::Instance()->GetResource("LEVEL_SDB");
    ASSERT_NE(resource, nullptr);
    ASSERT_TRUE(HbClassDesc::IsKindOf(resource, &TsSplineDataBase::sClassDesc));
    resource->AddRef();
    auto* database = static_cast<TsSplineDataBase*>(resource);
    ASSERT_NE(database->GetSpline(12), nullptr);
    EXPECT_EQ(database->GetSpline(12)->value, 4);
    resource->Release();
    HbResourceManager::Instance()->RemovePath("LEVEL_SDB");
}

TEST_F(TsSplineDataBaseTest, MutatedDataIsReadSafely)
{
    const std::vector<uint8_t> base = SplineDbWriter::Write(
        {Entry(3, "crane", 7), Entry(42, "loop", 1, kSplineClosed), Entry(3, "again", 9), Entry(98, "dolly", 2)});
    auto Points = [](const SplineCurve* spline)
    { return spline->numVertices - (spline->type == kSplineClosed ? 3 : 2); };
    // An entry as read: its slot, value, name, type and control points.
    auto Describe = [&Points](const TsSplineDataBase& database, int32_t slot)
    {
        const TsSplineEntry* entry = database.GetSpline(slot);
        if (!entry)
            return std::string();
        std::string text = std::to_string(slot) + ":" + std::to_string(entry->value);
        if (const SplineCurve* spline = entry->spline)
        {
            text += std::string(":") + spline->name + ":" + std::to_string(spline->type);
            for (int32_t i = 0; i < Points(spline); ++i)
                text +=
                    " " + std::to_string(spline->controlPoints[i].x) + "," + std::to_string(spline->controlPoints[i].y);
        }
        return text;
    };
    int32_t baseAnswer = -1;
    auto untouched = Read(base, &baseAnswer);
    ASSERT_EQ(baseAnswer, 1);
    ASSERT_EQ(FilledSlots(*untouched), (std::vector<int32_t>{3, 42, 98}));
    // Cut before "again", slot 3 still holds the first entry written for it.
    auto firstOnly = Read(SplineDbWriter::Write({Entry(3, "crane", 7)}), &baseAnswer);
    const std::string crane = Describe(*firstOnly, 3);
    std::mt19937 random(167);
    for (int round = 0; round < 600; ++round)
    {
        std::vector<uint8_t> bytes = base;
        const bool flipped = round % 3 != 0;
        if (flipped)
            for (int c = 1 + int(random() % 4); c > 0; --c)
                bytes[random() % bytes.size()] = uint8_t(random());
        if (!flipped || random() % 5 == 0)
            bytes.resize(random() % bytes.size());
        int32_t answer = -1;
        auto database = Read(bytes, &answer);
        EXPECT_TRUE(answer == 0 || answer == 1);
        const std::vector<int32_t> slots = FilledSlots(*database);
        EXPECT_LE(slots.size(), 4u) << "no entry from nowhere";
        for (int32_t slot : slots)
        {
            const TsSplineEntry* entry = database->GetSpline(slot);
            ASSERT_NE(entry->spline, nullptr) << "an entry without its spline is refused";
            EXPECT_LE(size_t(Points(entry->spline)) * 12, bytes.size()) << "points the data cannot hold";
            // Cut short only: what is kept is whole and as written.
            const std::string read = Describe(*database, slot);
            if (!flipped)
                EXPECT_TRUE(read == Describe(*untouched, slot) || (slot == 3 && read == crane))
                    << "cut at " << bytes.size() << ": " << read;
            Vector position;
            SplineCurve::FindPosition(entry->spline, kSplineModeUniform, 0.5f, &position, nullptr);
        }
    }
    int32_t answer = -1;
    auto again = Read(base, &answer);
    for (int32_t slot : {3, 42, 98})
        EXPECT_EQ(Describe(*again, slot), Describe(*untouched, slot)) << "the untouched data still reads the same";
}

} // namespace
