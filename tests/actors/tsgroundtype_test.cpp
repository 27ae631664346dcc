// Tests of the ground types from a grounds.scr: the hero's steps make noise and sound, other
// walkers a sound only and crouched ones both, effects (and -1 turning one off), impacts, a
// redefinition replacing the earlier type, ignored lines, and mutated scripts read safely.
#include "fmod3testhooks.h"
#include "frame.h"
#include "fxcontext.h"
#include "hbclock.h"
#include "kfxmanager.h"
#include "scripteventid.h"
#include "tsfmod_fixture.h"
#include "tsgroundtype.h"
#include "tsheroactor.h"
#include "tsnoise.h"
#include "tstrigger.h"
#include "w3danimobject.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace
{
using scriptworldtest::FakeActor;

/// Records the one-shot plays the ground types ask for.
class RecordingEffects : public KfxManagerBackend
{
public:
    void SetCamera(Camera*) override {}
    void UpdateAll() override {}
    void RenderGroup(int32_t) override {}
    int32_t PlayOneShot(int32_t index, const FxContext* context) override
    {
        plays.push_back({index,
                         {context->position[0], context->position[1], context->position[2]},
                         {context->direction[0], context->direction[1], context->direction[2]}});
        return 1;
    }
    struct Play
    {
        int32_t index;
        Vector position;
        Vector direction;
    };
    std::vector<Play> plays;
};

const char* const kGrounds = "GroundCreateTypeBegin GRASS 3\n"
                             "GroundAddHeroWalkID SD_HIT_S2DSB\n"
                             "GroundAddHeroRunID SD_HIT_S2DSB\n"
                             "GroundAddHeroCrouchedWalkID SD_LOOP_S2DSB\n"
                             "GroundAddEnnemisWalkID SD_HIT_S2DSB\n"
                             "GroundAddEnnemisRunID NO_SUCH_S2DSB\n"
                             "GroundAddImpactID SD_HIT_S2DSB\n"
                             "GroundSetTriggerWalk MEDIUM_NORMAL\n"
                             "GroundSetTriggerRun HEAVY_SUSPECT\n"
                             "GroundSetTriggerCrouchedWalk LIGHT_NORMAL\n"
                             "GroundSetTriggerRoll NO_SUCH_NOISE\n"
                             "GroundSetWalkFX 12\n"
                             "GroundSetRunFX -1\n"
                             "GroundSetImpactFX 7\n"
                             "GroundCreateTypeEnd\n"
                             "GroundSetWalkFX 99\n"
                             "GroundCreateTypeBegin QUIET 4\n"
                             "GroundSetTriggerWalk NONE\n"
                             "GroundSetWalkFX 5 extra\n"
                             "GroundCreateTypeEnd\n";

class GroundTypes : public soundtest::SoundTest
{
protected:
    void SetUp() override
    {
        SoundTest::SetUp();
        ASSERT_EQ(TriggerManager::Create(), 1);
        mPreviousEffects = KfxManager::GetBackend();
        KfxManager::Install(&mEffects);
        mHero = new TsHeroActor();
        mHero->AddRef();
        mHero->SetModel(W3dAnimObject::Create());
        mHero->mEnemyFamily = HeroEnemyFamily;
        const Vector at = {100, 0, 50};
        mHero->SetPosition(&at);
        Frame::SyncDirtyList();
        fmod3test::EnableCallLog(true);
    }
    void TearDown() override
    {
        fmod3test::EnableCallLog(false);
        TsGroundTypesFree();
        TriggerManager::Free();
        KfxManager::Install(mPreviousEffects);
        mHero->Release();
        while (mWorld->GetActors().GetHead())
            mWorld->RemoveActor(static_cast<TsActor*>(mWorld->GetActors().GetHead()->value));
        SoundTest::TearDown();
    }
    void Load(const std::string& script)
    {
        FILE* file = std::fopen("grounds.scr", "wb");
        ASSERT_NE(file, nullptr);
        std::fwrite(script.data(), 1, script.size(), file);
        std::fclose(file);
        TsGroundTypesLoad();
    }
    int32_t Plays() { return int32_t(fmod3test::CountCalls("FSOUND_PlaySound")); }

    RecordingEffects mEffects;
    KfxManagerBackend* mPreviousEffects = nullptr;
    TsHeroActor* mHero = nullptr;
};

TEST_F(GroundTypes, TheHerosStepsMakeNoiseAndSoundAndOtherWalkersOnlySound)
{
    Load(kGrounds);
    TsGroundType* grass = TsFindGroundType(3);
    ASSERT_NE(grass, nullptr);
    EXPECT_EQ(TsFindGroundType(0x103), grass) << "the id's low eight bits";
    EXPECT_EQ(grass->mRollNoise, -1) << "an unknown noise name";
    EXPECT_EQ(grass->mWalkEffect, 12) << "a line outside the definition changes nothing";
    const Vector at = {100, 0, 50};

    grass->PlayWalkStep(mHero, &at);
    ASSERT_EQ(TriggerManager::GetLiveCount(), 1);
    TsTrigger* trigger = TriggerManager::Get(0);
    EXPECT_EQ(trigger->GetEvent(), kEventSound);
    EXPECT_EQ(trigger->GetRadius(), 1000);
    EXPECT_EQ(trigger->GetMask(), uint32_t(HeroEnemyFamily));
    EXPECT_EQ(trigger->GetValue(), float(TsNoiseRowByName("MEDIUM_NORMAL")));
    EXPECT_EQ(trigger->GetPeriod(), int64_t(double(HbPerformanceFrequency()) * 0.1));
    EXPECT_EQ(mHero->GetSoundLevel(), 50u);
    EXPECT_EQ(Plays(), 1);
    std::vector<std::string> placed = fmod3test::CallArgs("FSOUND_3D_SetAttributes");
    ASSERT_EQ(placed.size(), 1u);
    EXPECT_NE(placed[0].find("100, 0, 50"), std::string::npos) << placed[0];
    ASSERT_EQ(mEffects.plays.size(), 1u);
    EXPECT_EQ(mEffects.plays[0].index, 12);
    EXPECT_EQ(mEffects.plays[0].position.x, 100.0f);
    EXPECT_EQ(mEffects.plays[0].direction.z, 1.0f);

    // Running: the run noise; the run effect is off.
    grass->PlayRunStep(mHero, &at);
    EXPECT_EQ(TriggerManager::GetLiveCount(), 2);
    EXPECT_EQ(TriggerManager::Get(1)->GetRadius(), 3000);
    EXPECT_EQ(mEffects.plays.size(), 1u);

    // Another walker: a sound and the effect, no noise.
    FakeActor* soldier = Listed("soldier", {0, 0, 0});
    grass->PlayWalkStep(soldier, &at);
    EXPECT_EQ(TriggerManager::GetLiveCount(), 2);
    EXPECT_EQ(Plays(), 3);
    EXPECT_EQ(mEffects.plays.size(), 2u);
    // Its run sound was no resource: nothing plays.
    grass->PlayRunStep(soldier, &at);
    EXPECT_EQ(Plays(), 3);
    // Crouched, it is heard too.
    grass->PlayCrouchedWalkStep(soldier, &at);
    EXPECT_EQ(TriggerManager::GetLiveCount(), 3);
    EXPECT_EQ(TriggerManager::Get(2)->GetRadius(), 300);
    EXPECT_EQ(Plays(), 4);

    // Impacts: sound and effect along the direction, each when asked.
    const Vector down = {0, -1, 0};
    grass->PlayImpact(&at, &down, 1, 0);
    EXPECT_EQ(Plays(), 5);
    EXPECT_EQ(mEffects.plays.size(), 2u);
    grass->PlayImpact(&at, &down, 0, 1);
    EXPECT_EQ(Plays(), 5);
    ASSERT_EQ(mEffects.plays.size(), 3u);
    EXPECT_EQ(mEffects.plays[2].index, 7);
    EXPECT_EQ(mEffects.plays[2].direction.y, -1.0f);
}

TEST_F(GroundTypes, QuietGroundsNoEffectsRedefinitionsAndMissingTypes)
{
    Load(kGrounds);
    const Vector at = {0, 0, 0};
    // No hero walk sounds and a NONE noise: nothing heard, nothing played; "5 extra" ignored.
    TsGroundType* quiet = TsFindGroundType(4);
    ASSERT_NE(quiet, nullptr);
    EXPECT_EQ(quiet->mWalkEffect, -1);
    quiet->PlayWalkStep(mHero, &at);
    EXPECT_EQ(TriggerManager::GetLiveCount(), 0);
    EXPECT_EQ(Plays(), 0);
    EXPECT_TRUE(mEffects.plays.empty());

    // The walk noise is sent even without hero walk sounds.
    Load("GroundCreateTypeBegin MUD 4\nGroundSetTriggerWalk LIGHT_ALARM\nGroundSetWalkFX -1\nGroundCreateTypeEnd\n");
    TsGroundType* mud = TsFindGroundType(4);
    ASSERT_NE(mud, nullptr);
    EXPECT_EQ(mud->mWalkNoise, 13) << "the later definition is the one found";
    mud->PlayWalkStep(mHero, &at);
    EXPECT_EQ(TriggerManager::GetLiveCount(), 1);
    EXPECT_EQ(Plays(), 0);
    EXPECT_TRUE(mEffects.plays.empty()) << "-1 turns the effect off";
    EXPECT_EQ(TsFindGroundType(9), nullptr);

    TsGroundTypesFree();
    EXPECT_EQ(TsFindGroundType(3), nullptr);
}

TEST_F(GroundTypes, MutatedScriptsAreReadSafely)
{
    const std::string base = kGrounds;
    const std::string pieces[] = {" ",
                                  "\n",
                                  "GroundCreateTypeBegin X 300\n",
                                  "GroundCreateTypeEnd\n",
                                  "-2147483649",
                                  "99999999999",
                                  std::string(200, 'A')};
    // Every type as read: its id, noises, effects and sounds (named, and found or not).
    auto Describe = []
    {
        std::string text;
        for (int32_t id = 0; id < 256; ++id)
            if (TsGroundType* type = TsFindGroundType(id))
            {
                text += std::to_string(id) + ":" + std::to_string(type->mWalkNoise) + "," +
                        std::to_string(type->mRunNoise) + "," + std::to_string(type->mCrouchedWalkNoise) + "," +
                        std::to_string(type->mRollNoise) + "," + std::to_string(type->mWalkEffect) + "," +
                        std::to_string(type->mRunEffect) + "," + std::to_string(type->mImpactEffect);
                for (const TsGroundType::SoundList* list : {&type->mHeroWalk, &type->mHeroRun, &type->mHeroCrouchedWalk,
                                                            &type->mImpact, &type->mEnemyWalk, &type->mEnemyRun})
                    for (const TsGroundType::Sound& sound : *list)
                        text += " " + sound.name + (sound.sound ? "+" : "-");
                text += "\n";
            }
        return text;
    };
    Load(base);
    const std::string expected = Describe();
    ASSERT_NE(expected.find("3:"), std::string::npos);
    TsGroundTypesFree();
    std::mt19937 random(111);
    const Vector at = {0, 0, 0};
    for (int round = 0; round < 150; ++round)
    {
        std::string script = base;
        for (int c = 1 + int(random() % 4); c > 0; --c)
        {
            size_t where = random() % script.size();
            if (random() % 2)
                script[where] = char(random());
            else
                script.insert(where, pieces[random() % std::size(pieces)]);
        }
        Load(script);
        std::string lower = script;
        for (char& c : lower)
            c = char(std::tolower(static_cast<unsigned char>(c)));
        int32_t begins = 0;
        for (size_t p = lower.find("groundcreatetypebegin"); p != std::string::npos;
             p = lower.find("groundcreatetypebegin", p + 1))
            ++begins;
        int32_t types = 0;
        for (int32_t id = 0; id < 256; ++id)
            if (TsGroundType* type = TsFindGroundType(id))
            {
                ++types;
                // A sound is found only under a name that was declared.
                for (const TsGroundType::SoundList* list : {&type->mHeroWalk, &type->mImpact, &type->mEnemyWalk})
                    for (const TsGroundType::Sound& sound : *list)
                        EXPECT_TRUE(!sound.sound || sound.name == "SD_HIT_S2DSB" || sound.name == "SD_LOOP_S2DSB")
                            << sound.name;
                type->PlayWalkStep(mHero, &at);
                type->PlayCrouchedWalkStep(mHero, &at);
                type->PlayImpact(&at, &at, 1, 1);
            }
        EXPECT_LE(types, begins) << "a type only where a definition begins";
        TriggerManager::StopAll();
        TsGroundTypesFree();
        // The untouched script still reads the same after any damaged one.
        Load(base);
        EXPECT_EQ(Describe(), expected) << "after: " << script;
        TsGroundTypesFree();
    }
}

} // namespace
