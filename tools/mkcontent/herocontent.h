// The hero's content: a jointed figure of boxes (skeleton, skinned model), its keyframed
// animations, the model descriptions of the hero and of the soldiers (the same figure in two
// uniforms) and the two weapon scripts, all from small tables.
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
/// The skinned model file ("MDL") of the model id (kHeroModelId or kSoldierModelId): a clump
/// whose bone frames carry the hierarchy, its skin textured by the uniform's texture.
std::string HeroModelBytes(const std::string& id);
/// A standard-keyframe animation file ("ANM") whose motion follows the words of its id
/// (WALK, RUN, CROUCH, LADDER, ROLL, DEATH ...); empty for an id it cannot make.
std::string HeroAnimationBytes(const std::string& id);
/// The animation's event script (console lines "RdAddEvent <event> <frame>"): a foot on the
/// ground each time one lands in a stepping animation, the strike at the height of a blow;
/// empty for an animation without events.
std::string HeroAnimationEvents(const std::string& id);
/// A uniform's texture (kHeroTextureName or kSoldierTextureName): a PNG of flat colour
/// patches, one per kind of box (jacket, skin ...).
std::string HeroTextureBytes(const std::string& name);

/// The weapon scripts' text: a module whose Setup(weapon) fills a weapon's records.
extern const char kHeroRifleScript[];
extern const char kHeroPistolScript[];

/// The model descriptions (data containers) of the hero and of the soldiers, their skeleton and
/// their model ids.
constexpr const char* kHeroModelDescription = "HE_HERO_MODEL";
constexpr const char* kSoldierModelDescription = "EN_SOLDIER_MODEL";
constexpr const char* kHeroSkeletonId = "HE_SKELETON_SKL";
constexpr const char* kHeroModelId = "HE_BODY_MDL";
constexpr const char* kSoldierModelId = "EN_SOLDIER_MDL";
/// Height of the figure's feet above its root: they stand on the root's height.
constexpr float kHeroFeetLift = 0.0f;
/// The textures' names (the model's material names one; the file is "textures\\<name>.png"
/// beside the model) and their side in texels.
constexpr const char* kHeroTextureName = "he_body";
constexpr const char* kSoldierTextureName = "en_body";
constexpr int32_t kHeroTextureSide = 32;
/// The colours of the hero's and of the soldiers' jackets, and the grey light of the boxes'
/// sides and tops that the texture is drawn under.
constexpr uint8_t kHeroCloth[3] = {90, 105, 60};
constexpr uint8_t kSoldierCloth[3] = {125, 128, 118};
constexpr uint8_t kHeroSideLight = 215;
constexpr uint8_t kHeroTopLight = 255;
