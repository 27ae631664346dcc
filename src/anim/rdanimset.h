// The animation-set table: for each weapon kind and animation state, the ordered variants an
// animation player picks from (animation, repetition range, chance, family bits), and the
// script modules "anim" and "anim_set" that publish the states and kinds.
#pragma once

#include <cstdint>

class RdAnimation;
typedef struct _object PyObject;

constexpr int32_t kAnimSetKindCount = 10;
constexpr int32_t kAnimStateCount = 85;

/// Weapon kinds ("anim_set").
enum AnimSetKind : int32_t
{
    kAnimSetKnif = 0,
    kAnimSetM1 = 1,
    kAnimSetMP = 2,
    kAnimSetP38 = 3,
    kAnimSetPan = 4,
    kAnimSetMG42 = 5,
    kAnimSetThompson = 6,
    kAnimSetMauser = 7,
    kAnimSetBoss = 8,
    kAnimSetMG42HE = 9,
};

/// One row of the table's fill.
struct AnimSetRow
{
    int32_t kind;
    int32_t state;
    const char* resourceId;
    int32_t min;
    int32_t max;
    float probability;
    uint32_t mask;
};

/// The fill, in the order AnimSetLoadAll adds it.
const AnimSetRow* AnimSetRows(int32_t* count);
/// The name of a state ("Stand" ...) or kind ("Knif" ...); null out of range.
const char* AnimStateName(int32_t state);
const char* AnimSetKindName(int32_t kind);

/// Appends a variant when the resource exists (no reference is taken: it belongs to its
/// resource group). Nothing for a kind or state out of range.
void AnimSetAddVariant(int32_t kind, int32_t state, const char* resourceId, int32_t min, int32_t max,
                       float probability, uint32_t mask);
/// Appends the whole fill to the cells (what is there already stays).
void AnimSetLoadAll();
/// Frees every variant of every cell; no resource is touched.
void AnimSetFreeAll();
int32_t AnimSetGetVariantCount(int32_t kind, int32_t state);
/// The animation of the cell's first variant, or null.
RdAnimation* AnimSetGetFirstVariant(int32_t kind, int32_t state);
/// Picks the cell's variant at the cursor (chance may pass to the next one) for an actor of
/// the family bits: the animation goes to *animation (null for an empty cell), the cursor
/// moves on, and a repetition count from the variant's range is returned; -1 for an empty or
/// one-variant cell and for a variant the family may not use (the first variant's animation
/// is given then and the cursor stays).
int32_t AnimSetPickVariant(uint32_t family, int32_t kind, int32_t state, RdAnimation** animation, int32_t* cursor);

/// Module fills: the states into "anim", the kinds into "anim_set".
void AnimModuleFill(PyObject* module, int32_t argument);
void AnimSetModuleFill(PyObject* module, int32_t argument);
