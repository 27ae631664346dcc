// Objective and ObjectiveAction: one objective of a mission (its slot, whether it is current and
// done, its category, sector and texts, its actions and the objectives it waits for) and one
// thing to do for it in its sector (reach a mark shown by an effect marker, or deal with a
// named actor). The scenario layer's mission files build them; the markers, the texts and the
// marks are reached through MissionServices (missionmanager.h).
#pragma once

#include "hbperclassfreelist.h"
#include "hbroot.h"

#include <cstdint>
#include <string>
#include <vector>

class Objective;

/// What an action shows in the world at its point: built by the scenario layer, which holds
/// the node and the effect. Destroying it takes the node out of the scene and stops the effect.
class MissionMarker
{
public:
    virtual ~MissionMarker() = default;
    /// Puts the marker at the point in the current level and starts its effect; 0 (nothing
    /// done) when no level is current.
    virtual int32_t Show(const float point[3]) = 0;
    /// Takes it out of the level and stops the effect; 0 when no level is current.
    virtual int32_t Hide() = 0;
    /// The marker's world position; 0 when it has none.
    virtual int32_t GetWorldPosition(float out[3]) const = 0;
};

class ObjectiveAction : public HbRoot
{
    HB_DECLARE_CLASS_DESC();
    HB_DECLARE_CLASS_POOL();

public:
    static constexpr int32_t kPoolSize = 50;
    ObjectiveAction() = default;
    /// Destroys the marker.
    ~ObjectiveAction() override;

    /// The marker's world position while active and shown, otherwise the point.
    void GetPosition(float out[3]) const;
    /// Sets both flags and nothing else (a restored snapshot).
    void SetState(int32_t active, int32_t done)
    {
        mActive = active;
        mDone = done;
    }
    /// Shows or hides the marker; nothing when the flag already says so, without a marker,
    /// or when no level is current.
    void SetMarkerVisible(int32_t show);
    /// Done once: inactive, marker hidden, then its message shown. Nothing when done already.
    void Complete();
    /// Reads the point again from the mark; an unknown mark leaves it.
    void ReadPoint();
    /// Takes the marker (null: none); the action destroys it.
    void SetMarker(MissionMarker* marker);
    MissionMarker* GetMarker() const { return mMarker; }

    int32_t mId = 0;
    int32_t mDone = 0;
    int32_t mActive = 0;
    int32_t mMarkerShown = 0;
    float mPoint[3] = {};
    std::string mMarkName;
    std::string mActorName;
    std::string mArgument;
    std::string mMessageText;
    /// The signaletic effect id given at creation, or -1.
    int32_t mEffectId = -1;

private:
    MissionMarker* mMarker = nullptr;
};

class Objective : public HbRoot
{
    HB_DECLARE_CLASS_DESC();
    HB_DECLARE_CLASS_POOL();

public:
    static constexpr int32_t kPoolSize = 20;
    static constexpr int32_t kMaxActions = 15;

    struct Needed
    {
        int32_t id;
        int32_t satisfied;
    };

    Objective() = default;
    /// Releases the actions.
    ~Objective() override;

    int32_t GetId() const { return mId; }
    int32_t IsActive() const { return mActive; }
    int32_t IsDone() const { return mDone; }
    int32_t GetCategory() const { return mCategory; }
    const std::string& GetSector() const { return mSector; }
    /// Text id shown when the objective is done; empty for none.
    const std::string& GetCompletionText() const { return mCompletionText; }
    /// Text id of the description in the front end's lists; empty for none.
    const std::string& GetDescriptionText() const { return mDescriptionText; }

    /// The action in the slot; null for an empty slot or an index outside 0 to 14.
    ObjectiveAction* GetAction(int32_t index) const;
    /// Stores the action in its slot with one reference, releasing what was there; 0 (nothing
    /// stored) for an index outside 0 to 14.
    int32_t SetAction(int32_t index, ObjectiveAction* action);
    using ActionFunction = int32_t (*)(Objective* objective, ObjectiveAction* action, void* data);
    /// Calls the function for the filled slots in order; stops at the first 0 and answers 0.
    int32_t ForEachAction(ActionFunction function, void* data);

    /// active = a; every action takes the flag, then shows or hides its marker.
    void SetActive(int32_t active, int32_t showMarkers);
    /// 0 done (also when done already); 1 not active; 2 no such action.
    int32_t CompleteAction(int32_t index);
    /// Hears that another objective is done: when it waits for it and everything it waits for
    /// is done, it becomes active (markers only when its sector is the current one).
    void OnObjectiveDone(const Objective* finished, const std::string& currentSector);
    /// After restored action states: done when every action is, active when every action not
    /// done is; a done objective is not active. No actions: done.
    void RecomputeState();
    /// Marks the needed entries satisfied exactly when their id is in the list; nothing for
    /// an objective done, active or waiting for nothing. Does not activate it.
    void RecomputeNeeded(const std::vector<int32_t>& doneIds);
    /// Makes it inactive (markers hidden) and waits for the objective.
    void AddNeeded(int32_t id);

    int32_t mId = 0;
    int32_t mActive = 0;
    int32_t mDone = 0;
    int32_t mCategory = 0;
    std::string mSector;
    std::string mCompletionText;
    std::string mDescriptionText;
    std::vector<Needed> mNeeded;

private:
    ObjectiveAction* mActions[kMaxActions] = {};
};
