// Mobile degrees of freedom: doors, hatches and lifts that move between a closed and an open
// placement of their model along a trapezoidal speed profile, and may spin about an axis.
// MobileDofLoader is the "MDF" resource holding the motion parameters; MobileDof is the
// actor, set up from a loader and a model.
#pragma once

#include "hbroot.h"
#include "matrix.h"
#include "tsdof.h"

#include <cstdint>
#include <string>

class HbMChunkStream;

/// The motion parameters an "MDF" file holds.
struct MobileDofParameters
{
    /// Acceleration, cruise and deceleration seconds of an opening.
    float openTimes[3] = {};
    /// A closing's three seconds: close 1 ends it (deceleration), close 3 starts it.
    float closeTimes[3] = {};
    Vector spinAxis = {0.0f, 0.0f, 0.0f};
    /// Degrees per second at the closed and at the open placement.
    float spinStart = 0.0f;
    float spinEnd = 0.0f;
    int32_t spare = 0;
    std::string names[4];
};

class MobileDofLoader : public HbRoot
{
    HB_DECLARE_CLASS_DESC();

public:
    static constexpr uint32_t kChunkId = 4146;
    static constexpr const char* kTypeKey = "MDF";

    /// Reads the parameter chunk (current layout first, then the older one). 0 when the
    /// stream is no chunk stream, holds neither chunk or ends inside one (the parameters
    /// are then left as they were).
    int Load(HbStream* stream, const char* name) override;
    int ReadChunks(HbMChunkStream* stream) override;
    /// One loader serves every DOF that names it.
    int IsShared() const override { return 1; }

    MobileDofParameters mParameters;
};

class MobileDof : public TsDof
{
    HB_DECLARE_CLASS_DESC();

public:
    MobileDof();

    /// Takes the parameters of the loader resource, the model of the model resource, the end
    /// placement from the model and the rest matrix from the node. 1, or 0 when the loader
    /// is missing or is no loader, the model does not load or has no end placement.
    int32_t Setup(const char* loaderName, const char* modelName);
    /// Start := identity; end := the modelling matrix of the first frame holding an object
    /// inside the first visible child node whose frame hierarchy has exactly two frames.
    /// 0 without such a child.
    int32_t ReadEndFrames();
    /// The travel (the larger of the distance and the angle from start to end), the speeds
    /// and rates of both directions and the time ratio. A divisor within 0.001 gives 0.
    void ComputeTravel();

    Matrix mRest;
    Matrix mStart;
    Matrix mEnd;
    MobileDofParameters mParameters;
    float mOpenSpeed = 0.0f;
    float mOpenAcceleration = 0.0f;
    float mOpenDeceleration = 0.0f;
    float mCloseSpeed = 0.0f;
    /// close speed / close 1 and -(close speed / close 3).
    float mCloseRateA = 0.0f;
    float mCloseRateB = 0.0f;
    float mOpenSpinRate = 0.0f;
    float mCloseSpinRate = 0.0f;
    float mTravel = 0.0f;
    /// Total open seconds / total close seconds (1 when the closing takes no time).
    float mTimeRatio = 1.0f;

    float OpenTime() const;
    float CloseTime() const;
};

/// The identity matrix with its type flags.
Matrix MobileDofIdentity();
/// Registers "MobileDof" with the actor-type registry (once).
void MobileDofInstall();
