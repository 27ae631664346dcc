// The hero's content: a jointed figure of boxes (skeleton, skinned model), its keyframed
// animations, its model description and its two weapon scripts, all from small tables.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

/// The figure's bones in hierarchy order (node index = position).
const std::vector<std::string>& HeroBoneNames();
/// Every animation the animation-set table names for the hero's weapon kinds (bare hands and
/// knife, rifle, pistol),
/// with the states they share, sorted.
const std::vector<std::string>& HeroAnimationIds();

/// The skeleton file ("SKL").
std::string HeroSkeletonBytes();
/// The skinned model file ("MDL"): a clump whose bone frames carry the hierarchy.
std::string HeroModelBytes();
/// A standard-keyframe animation file ("ANM") whose motion follows the words of its id
/// (WALK, RUN, CROUCH, LADDER, ROLL, DEATH ...); empty for an id it cannot make.
std::string HeroAnimationBytes(const std::string& id);

/// The weapon scripts' text: a module whose Setup(weapon) fills a weapon's records.
extern const char kHeroRifleScript[];
extern const char kHeroPistolScript[];

/// The name of the hero's model description (a data container), its skeleton and model ids.
constexpr const char* kHeroModelDescription = "HE_HERO_MODEL";
constexpr const char* kHeroSkeletonId = "HE_SKELETON_SKL";
constexpr const char* kHeroModelId = "HE_BODY_MDL";
/// Height of the figure's feet above its root: they stand on the root's height.
constexpr float kHeroFeetLift = 0.0f;
