// The standard particle callbacks: random draws, emission limited by the tank, ageing and
// death, compaction of records and tank slots, wrapped rotations, colour bytes, and the
// tank matrices that follow a particle's size after a death.
#include "prtstd_fixture.h"

#include "matrix.h"
#include "vector.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace
{

using EP = PrtStdEmitterProperty;
using PP = PrtStdParticleProperty;

class StandardParticles : public plugintest::PrtStdTest
{
protected:
    /// An emitter that emits count particles of the given life at every update.
    Atomic* Emitter(std::vector<int32_t> emitterIds, std::vector<int32_t> particleIds, int32_t count, float life,
                    int32_t capacity = 64)
    {
        Atomic* a = ParticleAtomic(EmitterClass(emitterIds), ParticleClass(particleIds), 16);
        PrtStdEmitterStd* s = Standard(a);
        s->maxParticles = capacity;
        s->emitCount = count;
        s->life = life;
        return a;
    }

    static PrtStdEmitter* E(Atomic* a) { return PrtStdAtomic::GetEmitters(a); }
    static PrtStdEmitterStd* Standard(Atomic* a) { return PrtStdEmitter::GetStandard(E(a)); }
    static PrtStdTankBlock* Block(Atomic* a) { return PrtStdEmitter::GetTankBlock(E(a)); }
    static PrtStdBatch* FirstBatch(Atomic* a) { return E(a)->activeBatches ? E(a)->activeBatches->next : nullptr; }

    template <typename T> static T* TankSlot(Atomic* a, uint32_t property, int32_t index)
    {
        PTankSlot slot;
        EXPECT_TRUE(PTank::Lock(Block(a)->tank, &slot, property, 0));
        return reinterpret_cast<T*>(static_cast<char*>(slot.data) + index * slot.stride);
    }
};

TEST_F(StandardParticles, RandomStateOneFirstDrawsTheKnownValue)
{
    uint32_t state = 1;
    const float r = PrtStdEmitterStd::Random(&state);
    EXPECT_EQ(state, 1103947680u);
    EXPECT_NEAR(r, -0.48594f, 1e-4f);
    // The draw after that, from the new state.
    const float r2 = PrtStdEmitterStd::Random(&state);
    EXPECT_EQ(state, uint32_t(1103947680ull * 196314165ull + 907633515ull));
    EXPECT_NEAR(r2, 2.0 * state / 4294967296.0 - 1.0, 1e-6);
}

TEST_F(StandardParticles, CreateSetsTheDefaultsAndEveryStepFlag)
{
    StartPlugins();
    Atomic* a = Emitter({1, 6}, {0, 1}, 0, 1);
    EXPECT_EQ(E(a)->flags, 0x7Fu);
    const PrtStdEmitterStd* s = Standard(a);
    EXPECT_EQ(s->random, 1u);
    EXPECT_EQ(s->size.x, 1.0f);
    EXPECT_EQ(s->colour.alpha, 255);
    EXPECT_EQ(s->texCoords[1].x, 1.0f);
    EXPECT_EQ(s->texture, nullptr);
}

TEST_F(StandardParticles, AnEmissionIsLimitedByWhatTheTankHasLeft)
{
    StartPlugins();
    Atomic* a = Emitter({1, 6}, {0, 1, 6}, 6, 100, 8);
    ASSERT_TRUE(Step(a, 0.1f));
    EXPECT_EQ(E(a)->activeCount, 6);
    Standard(a)->emitCount = 5;
    ASSERT_TRUE(Step(a, 0.1f));
    EXPECT_EQ(E(a)->activeCount, 8); // only 2 more
    EXPECT_EQ(Block(a)->writtenCount, 8);
    EXPECT_EQ(PTank::Get(Block(a)->tank)->activeCount, 8);
    ASSERT_TRUE(Step(a, 0.1f));
    EXPECT_EQ(E(a)->activeCount, 8); // full: none
}

TEST_F(StandardParticles, FreeingTheBatchesOrChangingTheClassEmptiesTheTankToo)
{
    StartPlugins();
    enum class Drop
    {
        FreeBatches,
        SameClass,
        OtherClass
    };
    for (Drop drop : {Drop::FreeBatches, Drop::SameClass, Drop::OtherClass})
    {
        SCOPED_TRACE(int(drop));
        Atomic* a = Emitter({1, 6}, {0, 1, 6}, 8, 100, 8);
        ASSERT_TRUE(Step(a, 0.1f));
        ASSERT_EQ(Block(a)->writtenCount, 8);
        if (drop == Drop::FreeBatches)
            PrtStdEmitter::FreeParticleBatches(E(a));
        else
            PrtStdEmitter::SetParticleClass(
                E(a), drop == Drop::SameClass ? E(a)->particleClass : ParticleClass({0, 1, 6}), 16);
        EXPECT_EQ(E(a)->activeCount, 0);
        EXPECT_EQ(Block(a)->writtenCount, 0);
        EXPECT_EQ(PTank::Get(Block(a)->tank)->activeCount, 0);
        // The next emission refills slots 0..7, never 8..15 of the 8-slot tank.
        ASSERT_TRUE(Step(a, 0.1f));
        EXPECT_EQ(E(a)->activeCount, 8);
        EXPECT_EQ(Block(a)->writtenCount, 8);
        EXPECT_EQ(PTank::Get(Block(a)->tank)->activeCount, 8);
    }
}

TEST_F(StandardParticles, AParticleOfLifeOneLivesTwoUpdatesOfPointSixWithItsTimeClamped)
{
    StartPlugins();
    Atomic* a = Emitter({1, 6, 5}, {0, 1, 5}, 1, 1.0f);
    float* size = static_cast<float*>(PrtStdEmitter::GetProperty(E(a), EP::kSizeId));
    size[0] = size[1] = 1; // start
    size[4] = size[5] = 2; // end
    ASSERT_TRUE(Step(a, 0.6f)); // emitted
    Standard(a)->emitCount = 0;
    PrtStdBatch* b = FirstBatch(a);
    ASSERT_NE(b, nullptr);
    struct Row
    {
        int32_t count;
        float age, width;
    };
    const Row rows[] = {{1, 0.6f, 1.6f}, {1, 1.2f, 2.0f}, {0, 0, 0}};
    for (const Row& row : rows)
    {
        ASSERT_TRUE(Step(a, 0.6f));
        ASSERT_EQ(b->count, row.count);
        if (row.count == 0)
            break;
        EXPECT_NEAR(Particle<float>(b, 0, PP::kStandardId)[1], row.age, 1e-5f);
        EXPECT_NEAR(Particle<float>(b, 0, PP::kSizeId)[4], row.width, 1e-5f); // t at most 1
        EXPECT_NEAR(TankSlot<float>(a, kPTankSize, 0)[0], row.width, 1e-5f);
    }
    EXPECT_EQ(E(a)->activeCount, 0);
}

TEST_F(StandardParticles, ADeathMovesTheLaterRecordsAndTheirTankSlotsDown)
{
    StartPlugins();
    Atomic* a = Emitter({1, 6}, {0, 1, 6}, 3, 10.0f);
    ASSERT_TRUE(Step(a, 0.1f));
    Standard(a)->emitCount = 0;
    PrtStdBatch* b = FirstBatch(a);
    ASSERT_EQ(b->count, 3);
    for (int32_t i = 0; i < 3; ++i)
    {
        const Vector p = {float(i), 10.0f * float(i), 0};
        *Particle<Vector>(b, i, PP::kPositionId) = p;
        *Particle<Vector>(b, i, PP::kVelocityId) = {0, 0, 0};
        *TankSlot<Vector>(a, kPTankPosition, i) = p;
    }
    Particle<float>(b, 0, PP::kStandardId)[2] = 0.0f; // the first dies
    ASSERT_TRUE(Step(a, 0.1f));
    ASSERT_EQ(b->count, 2);
    for (int32_t i = 0; i < 2; ++i)
    {
        EXPECT_EQ(Particle<Vector>(b, i, PP::kPositionId)->x, float(i + 1));
        EXPECT_EQ(TankSlot<Vector>(a, kPTankPosition, i)->y, 10.0f * float(i + 1));
    }
    EXPECT_EQ(PTank::Get(Block(a)->tank)->activeCount, 2);
    EXPECT_NEAR(E(a)->radius, std::sqrt(4.0f + 400.0f), 1e-3f);
}

TEST_F(StandardParticles, ARotationBeyondPiIsWrappedOnceAndColoursAreTruncatedToTheirLowByte)
{
    StartPlugins();
    Atomic* a = Emitter({1, 6, 4, 2}, {0, 1, 4}, 1, 10.0f);
    float* rotation = static_cast<float*>(PrtStdEmitter::GetProperty(E(a), EP::kRotationId));
    rotation[0] = 4.0f;
    rotation[2] = 4.0f;
    float* colour = static_cast<float*>(PrtStdEmitter::GetProperty(E(a), EP::kColourId));
    const float start[4] = {255.9f, -0.5f, 256.0f, 255.0f};
    std::memcpy(colour, start, sizeof start);
    ASSERT_TRUE(Step(a, 0.1f));
    PrtStdBatch* b = FirstBatch(a);
    ASSERT_NE(b, nullptr);
    const float wrapped = 4.0f - 2.0f * 3.14159265f;
    EXPECT_NEAR(Particle<float>(b, 0, PP::kRotationId)[0], wrapped, 1e-5f);
    EXPECT_NEAR(*TankSlot<float>(a, kPTankRotation, 0), wrapped, 1e-5f);
    const Rgba* c = TankSlot<Rgba>(a, kPTankColour, 0);
    EXPECT_EQ(c->red, 255);
    EXPECT_EQ(c->green, 0);
    EXPECT_EQ(c->blue, 0);
    EXPECT_EQ(c->alpha, 255);
}

TEST_F(StandardParticles, ASpinningConstantRotationStaysWithinPi)
{
    StartPlugins();
    Atomic* a = Emitter({1, 6}, {0, 1}, 0, 1.0f);
    Standard(a)->rotationRate = 3.0f;
    ASSERT_TRUE(Step(a, 0.1f));
    PTankRecord* tank = PTank::Get(Block(a)->tank);
    ASSERT_TRUE(tank->data.format.dataFlags & kPTankConstantRotation);
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(Step(a, 0.5f));
    EXPECT_NEAR(tank->data.rotation, 0.3f + 4.5f - 2.0f * 3.14159265f, 1e-4f);
}

TEST_F(StandardParticles, MatrixTanksKeepFollowingTheSizeAfterACompaction)
{
    StartPlugins();
    Atomic* a = Emitter({1, 6, 2, 5, 8}, {0, 1, 5, 6}, 2, 10.0f);
    float* size = static_cast<float*>(PrtStdEmitter::GetProperty(E(a), EP::kSizeId));
    size[0] = size[1] = 1;
    size[4] = size[5] = 11; // grows by 1 per unit of time
    auto* m = static_cast<char*>(PrtStdEmitter::GetProperty(E(a), EP::kMatrixId));
    Vector* dirs = reinterpret_cast<Vector*>(m + sizeof(Matrix));
    dirs[0] = {0, 0, 1}; // at
    dirs[2] = {0, 1, 0}; // up
    ASSERT_TRUE(Step(a, 0.5f));
    Standard(a)->emitCount = 0;
    PrtStdBatch* b = FirstBatch(a);
    ASSERT_EQ(b->count, 2);
    ASSERT_TRUE(Step(a, 1.0f)); // sizes 2
    Particle<float>(b, 0, PP::kStandardId)[2] = 0.0f; // the first dies
    ASSERT_TRUE(Step(a, 1.0f)); // the second moves down and grows to 3
    ASSERT_EQ(b->count, 1);
    const Matrix* tm = TankSlot<Matrix>(a, kPTankMatrix, 0);
    EXPECT_NEAR(Vector::Length(&tm->right), 3.0f, 1e-4f);
    EXPECT_NEAR(Vector::Length(&tm->up), 3.0f, 1e-4f);
}

TEST_F(StandardParticles, AnEnabledEmitterMatrixTurnsTheTankMatricesInPlace)
{
    StartPlugins();
    Atomic* a = Emitter({1, 6, 8}, {0, 1, 6}, 1, 10.0f);
    auto* m = static_cast<char*>(PrtStdEmitter::GetProperty(E(a), EP::kMatrixId));
    auto* rotation = reinterpret_cast<Matrix*>(m);
    *rotation = Matrix{};
    rotation->right = {0, 1, 0};
    rotation->up = {-1, 0, 0};
    rotation->at = {0, 0, 1};
    Vector* dirs = reinterpret_cast<Vector*>(m + sizeof(Matrix));
    dirs[0] = {0, 0, 1}; // at
    dirs[2] = {0, 1, 0}; // up
    const int32_t enable = 1;
    std::memcpy(m + sizeof(Matrix) + 48, &enable, 4);
    Standard(a)->emitPosition = {3, 4, 5};
    ASSERT_TRUE(Step(a, 0.1f));
    Standard(a)->emitCount = 0;
    const Matrix* tm = TankSlot<Matrix>(a, kPTankMatrix, 0);
    EXPECT_EQ(tm->right.x, -1.0f); // at x up
    ASSERT_TRUE(Step(a, 0.1f)); // source and destination are the same slot
    EXPECT_NEAR(tm->right.y, -1.0f, 1e-6f);
    EXPECT_NEAR(tm->up.x, -1.0f, 1e-6f);
    EXPECT_NEAR(tm->at.z, 1.0f, 1e-6f);
    EXPECT_NEAR(tm->pos.x, 3.0f, 1e-5f);
    EXPECT_NEAR(tm->pos.y, 4.0f, 1e-5f);
}

TEST_F(StandardParticles, TransformVectorMayWriteIntoItsInput)
{
    StartPlugins();
    Matrix m{};
    m.right = {0, 1, 0};
    m.up = {-1, 0, 0};
    m.at = {0, 0, 2};
    m.pos = {5, 5, 5};
    Vector v = {1, 2, 3};
    Vector::TransformVector(&v, &v, &m);
    EXPECT_EQ(v.x, -2.0f);
    EXPECT_EQ(v.y, 1.0f);
    EXPECT_EQ(v.z, 6.0f);
}

} // namespace
