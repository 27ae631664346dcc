// The scenario's numbered slots: 200 weak slots through which commands, the sector data and
// the stage name actors, triggers, nodes, sound records and effects, with a stored place per
// slot, and the tables of positional sounds (150) and effects (120) that hold references.
#pragma once

#include "hbroot.h"
#include "matrix.h"

#include <cstdint>
#include <string>

class KFX;

/// A positional sound: its resource name, position and the sound layer's channel while it
/// plays (-1 when none).
class T3DSoundData : public HbRoot
{
    HB_DECLARE_CLASS_DESC();

public:
    std::string mSound;
    Vector mPosition = {0, 0, 0};
    int32_t mChannel = -1;
};

class ScenarioActorSlots
{
public:
    static constexpr int32_t kCount = 200;

    static bool IsIndex(int32_t index) { return index >= 0 && index < kCount; }
    /// Takes the object when the slot holds no live one; nothing otherwise (or for a bad index).
    static void Set(int32_t index, HbRoot* object);
    /// The live object; null (the dead slot cleared) otherwise.
    static HbRoot* Get(int32_t index);
    /// The live object when it is a T.
    template <typename T> static T* GetAs(int32_t index) { return HbCastTo<T>(Get(index)); }
    /// Copies into a live slot; a dead slot is cleared instead.
    static void SetPosition(int32_t index, const Vector& position);
    static void SetDirection(int32_t index, const Vector& direction);
    /// The stored place of a live slot; null (the slot cleared) otherwise.
    static const Vector* GetPosition(int32_t index);
    static const Vector* GetDirection(int32_t index);
    /// Set with index 0 (the hero at level start).
    static void SetFirst(HbRoot* object) { Set(0, object); }
    /// Every handle released, places back to (0, 0, 0) facing (0, 1, 0).
    static void Reset();
};

constexpr int32_t kScenarioSoundTableSize = 150;
constexpr int32_t kScenarioEffectTableSize = 120;

/// When the entry is empty: one reference kept and the object put in the slot of that index.
/// 1 when taken, 0 when the entry was filled or the index is out of the table.
int32_t ScenarioSoundTableAdd(int32_t index, T3DSoundData* sound);
int32_t ScenarioEffectTableAdd(int32_t index, KFX* effect);
T3DSoundData* ScenarioSoundTableGet(int32_t index);
KFX* ScenarioEffectTableGet(int32_t index);
/// fn(effect, index, data) for each filled entry in index order; 0 from fn stops (0 answered).
using ScenarioEffectFn = int32_t (*)(KFX* effect, int32_t index, void* data);
int32_t ScenarioEffectTableForEach(ScenarioEffectFn fn, void* data);
/// Keeps one reference on an object only a weak slot names (a node fetched for a slot, a record
/// or effect its table did not take) until the level's tables are reset or released.
void ScenarioKeepForLevel(HbRoot* object);
/// Level start: the slots reset and both tables emptied. Entries a level left behind are
/// released here rather than leaked.
void ScenarioLookupsReset();
/// Level release: the slots reset and both tables released and emptied.
void ScenarioTablesRelease();
