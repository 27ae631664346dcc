// TsHeroActor: the actor-layer base of the player's character: the hero state machine, the
// light level and visibility class that decide how far enemies see the hero, and the
// camera-relative movement direction with its smoothed heading.
#pragma once

#include "hbgrowarray.h"
#include "hbptr.h"
#include "tsanimactor.h"

#include <cstdint>

class HbInputAction;
class HeroStateMachine;

class TsHeroActor : public TsAnimActor
{
    HB_DECLARE_CLASS_DESC();

public:
    /// The light boost's fall per second of game time.
    static constexpr float kBoostDecay = 0.2f;

    /// A state machine from its pool, light level 1, move direction (1, 0, 0).
    TsHeroActor();
    /// The machine's states go and the machine returns to its pool.
    ~TsHeroActor() override;

    /// UpdateLightLevel, then the state machine's step.
    void Update() override;
    /// Class 3 above light 1; else 0 above 2/3, 1 above 1/3, else 2.
    void UpdateVisibilityClass() override;

    /// From the light field of the node's level (1 without one); a light boost above it takes
    /// its place. The boost falls every frame and becomes -1 when it reaches 0.
    void UpdateLightLevel();
    /// The vector at unit length, components clamped to [-1, 1]; the headings follow it.
    void SetMoveDirection(const Vector* direction);
    /// Smoothed direction, input, target, previous and smoothed headings from the direction.
    void ResetHeading(const Vector* direction);
    /// The frame's input (pad 1's stick, else the arrow actions; right beats left and up
    /// beats down), the move direction and the headings; the smoothed heading follows the
    /// target at the turn rate.
    void ReadMoveInput(float frameSeconds, float turnRate);
    /// The same from a raw input (x, 0, z): none within 0.001 on both axes only clears the
    /// input strength.
    void ApplyMoveInput(const Vector* raw, float frameSeconds, float turnRate);
    /// The current camera's horizontal view direction, normalised. 0 without a current
    /// camera or with a vertical view (out untouched), else 1.
    int32_t GetCameraHeadingVector(Vector* out) const;
    /// A camera-relative input (x right, z forward) as a normalised world direction in the
    /// horizontal plane. Without a camera heading the input is taken as a world direction
    /// (normalised) and 0 is answered, else 1.
    int32_t CameraToWorldDirection(const Vector* input, Vector* out) const;

    HeroStateMachine* GetStateMachine() const { return mStateMachine; }

    int32_t mObjectiveWord = 0;
    /// Referenced objectives.
    HbPtrArray mObjectives;
    HbHandlePtr mHandle;
    Vector mMoveDirection = {1.0f, 0.0f, 0.0f};
    float mTargetHeading = 0.0f;
    float mInputHeading = 0.0f;
    float mPreviousInputHeading = 0.0f;
    float mInputStrength = 0.0f;
    float mPreviousInputStrength = 0.0f;
    int32_t mTurns = 0;
    float mHeadingStep = 0.0f;
    Vector mSmoothedDirection = {1.0f, 0.0f, 0.0f};
    float mSmoothedHeading = 0.0f;

private:
    void UpdateHeading();
    void ReadRawInput(Vector* raw);

    HeroStateMachine* mStateMachine = nullptr;
    /// The arrow actions (left, right, down, up), found again when the bindings change.
    HbInputAction* mArrows[4] = {};
    uint32_t mArrowBindings = 0;
    bool mArrowsFound = false;
};
