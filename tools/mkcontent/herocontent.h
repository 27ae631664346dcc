// The hero's content: a jointed figure of boxes (skeleton, skinned model), its keyframed
// animations, its model description and its two weapon scripts, all from small tables.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

/// The figure's bones in hierarchy order (node index = position).
const std::vector<std::string>& HeroBoneNames();
/// Every animation the animation-set table names for the weapon kinds the figure holds (bare
/// hands and knife, the hero's rifle and pistol, the soldiers' rifle), with the states they
/// share, sorted.
const std::vector<std::string>& HeroAnimationIds();

/// The skeleton file ("SKL").
std::string HeroSkeletonBytes();
/// The skinned model file ("MDL"): a clump whose bone frames carry the hierarchy.
std::string HeroModelBytes();
/// A standard-keyframe animation file ("ANM") whose motion follows the words of its id
/// (WALK, RUN, CROUCH, LADDER, ROLL, DEATH ...); empty for an id it cannot make.
std::string HeroAnimationBytes(const std::string& id);
/// The animation's event script (console lines "RdAddEvent <event> <frame>"): a foot on the
/// ground each time one lands in a stepping animation, the strike at the height of a blow;
/// empty for an animation without events.
std::string HeroAnimationEvents(const std::string& id);
/// The model's texture: a PNG of flat colour patches, one per kind of box (cloth, skin ...).
std::string HeroTextureBytes();

/// The weapon scripts' text: a module whose Setup(weapon) fills a weapon's records.
extern const char kHeroRifleScript[];
extern const char kHeroPistolScript[];

/// The name of the hero's model description (a data container), its skeleton and model ids.
constexpr const char* kHeroModelDescription = "HE_HERO_MODEL";
constexpr const char* kHeroSkeletonId = "HE_SKELETON_SKL";
constexpr const char* kHeroModelId = "HE_BODY_MDL";
/// Height of the figure's feet above its root: they stand on the root's height.
constexpr float kHeroFeetLift = 0.0f;
/// The texture's name (the model's material names it; the file is "textures\\<name>.png"
/// beside the model) and its side in texels.
constexpr const char* kHeroTextureName = "he_body";
constexpr int32_t kHeroTextureSide = 32;
/// The colour of the figure's jacket, and the grey light of the boxes' sides and tops that
/// the texture is drawn under.
constexpr uint8_t kHeroCloth[3] = {90, 105, 60};
constexpr uint8_t kHeroSideLight = 215;
constexpr uint8_t kHeroTopLight = 255;
