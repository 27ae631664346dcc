// Shared helpers of the standard-particle tests: classes built from lists of standard ids,
// particle atomics destroyed by the fixture, and an update step.
#pragma once

#include "plugin_fixture.h"

#include "prtstdclass.h"
#include "prtstdemitter.h"
#include "prtstdproperty.h"

#include <vector>

namespace plugintest
{

class PrtStdTest : public PluginTest
{
protected:
    void TearDown() override
    {
        if (Engine::Current() && Engine::Current()->state == kEngineStarted)
        {
            for (Atomic* a : mParticleAtomics)
                Atomic::Destroy(a);
            for (PrtStdEmitterClass* c : mEmitterClasses)
                PrtStdEmitterClass::Destroy(c);
            for (PrtStdParticleClass* c : mParticleClasses)
                PrtStdParticleClass::Destroy(c);
        }
        mParticleAtomics.clear();
        PluginTest::TearDown();
    }

    static int32_t EmitterSize(int32_t id)
    {
        return PrtStdEmitterProperty::MinimumSize(id);
    }

    /// An emitter class of the standard ids given, with the standard entry unless told.
    PrtStdEmitterClass* EmitterClass(const std::vector<int32_t>& ids, bool standard = true)
    {
        std::vector<int32_t> sizes;
        for (int32_t id : ids)
            sizes.push_back(PrtStdEmitterProperty::MinimumSize(id));
        PrtStdPropertyTable* t = PrtStdPropertyTable::Create(int32_t(ids.size()), ids.data(), sizes.data());
        PrtStdEmitterClass* c = PrtStdEmitterClass::Create();
        PrtStdParticleClass::SetPropertyTable(c, t);
        PrtStdPropertyTable::Destroy(t);
        if (standard)
            PrtStdEmitterStd::SetCallbacks(c);
        mEmitterClasses.push_back(c);
        return c;
    }

    PrtStdParticleClass* ParticleClass(const std::vector<int32_t>& ids, bool standard = true)
    {
        std::vector<int32_t> sizes;
        for (int32_t id : ids)
            sizes.push_back(PrtStdParticleProperty::MinimumSize(id));
        PrtStdPropertyTable* t = PrtStdPropertyTable::Create(int32_t(ids.size()), ids.data(), sizes.data());
        PrtStdParticleClass* c = PrtStdParticleClass::Create();
        PrtStdParticleClass::SetPropertyTable(c, t);
        PrtStdPropertyTable::Destroy(t);
        if (standard)
            PrtStdParticleStd::SetCallbacks(c);
        mParticleClasses.push_back(c);
        return c;
    }

    /// A particle atomic of one emitter with the particle class; destroyed by the fixture.
    Atomic* ParticleAtomic(PrtStdEmitterClass* ec, PrtStdParticleClass* pc, int32_t batchSize)
    {
        Atomic* a = PrtStdAtomic::Create(ec, nullptr);
        if (!a)
            return nullptr;
        mParticleAtomics.push_back(a);
        PrtStdEmitter::SetParticleClass(PrtStdAtomic::GetEmitters(a), pc, batchSize);
        return a;
    }

    void ForgetParticleAtomic(Atomic* a) { std::erase(mParticleAtomics, a); }

    static bool Step(Atomic* a, float dt)
    {
        PrtStdUpdateData data{dt};
        return PrtStdAtomic::UpdateEmitters(a, &data) == a;
    }

    template <typename T> static T* Particle(PrtStdBatch* batch, int32_t index, int32_t id)
    {
        const int32_t offset = PrtStdPropertyTable::GetOffset(batch->particleClass->table, id);
        return reinterpret_cast<T*>(PrtStdBatch::Records(batch) + index * batch->particleClass->recordSize + offset);
    }

    std::vector<Atomic*> mParticleAtomics;
    std::vector<PrtStdEmitterClass*> mEmitterClasses;
    std::vector<PrtStdParticleClass*> mParticleClasses;
};

} // namespace plugintest
