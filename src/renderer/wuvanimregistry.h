// The scene graph's UV animations: the dictionary of each object, world or sky resource read
// from the ".uva" file beside it while its geometry loads, and the registry of materials that
// ended up animated, which the renderer advances every frame.
#pragma once

#include <cstdint>
#include <string>

struct Material;
struct Stream;

/// The UV-animation dictionary operations the loading needs; by default the UV-animation
/// plug-in's dictionaries and material animation. Any left null is skipped (a dictionary chunk
/// is then not read, and materials are not advanced).
struct UVAnimDictionaryOps
{
    /// Reads a dictionary whose chunk header (body of size bytes) was just found; null when it
    /// cannot.
    void* (*streamRead)(Stream* stream, uint32_t size) = nullptr;
    /// Makes the dictionary (or none) the one names resolve against.
    void (*setCurrent)(void* dictionary) = nullptr;
    void (*destroy)(void* dictionary) = nullptr;
    /// 1 when the material carries UV animations; null: the plug-in's material extension.
    int32_t (*hasUVAnim)(Material* material) = nullptr;
    void (*addTime)(Material* material, float seconds) = nullptr;
    void (*update)(Material* material) = nullptr;
};
/// Null restores the plug-in's operations.
void UVAnimSetDictionaryOps(const UVAnimDictionaryOps* ops);

/// The engine's dictionary chunk.
constexpr uint32_t kUVAnimDictionaryChunk = 43;

/// At renderer start: an empty registry.
void UVAnimRegistryInit();
/// At renderer stop: everything cleared, the registry destroyed.
void UVAnimRegistryShutdown();
/// Between UVAnimRegistryInit and UVAnimRegistryShutdown.
bool UVAnimRegistryIsOpen();
/// Materials registered.
int32_t UVAnimRegistryCount();
Material* UVAnimRegistryMaterial(int32_t index);
/// Dictionaries read so far.
int32_t UVAnimDictionaryCount();
/// The dictionary read for the resource loading now, until its materials are attached.
void* UVAnimPendingDictionary();

/// When the resource's data container says LOAD_UVA: its ".uva" (else ".UVA") file, and
/// the dictionary chunk in it read, kept and made current. 1 when a file was opened, 0 when
/// the gate or both names fail (nothing changes then).
int32_t LoadUVAnimations(const char* id);
/// With a pending dictionary: every material with UV animations of the clump's atomics is
/// registered once; the dictionary stops being current and pending.
void UVAnimAttachToClump(struct Clump* clump);
/// The same over a world's materials, then the clumps in it.
void UVAnimAttachToWorld(struct World* world);
/// A load that failed after LoadUVAnimations: its dictionary stops being current and pending
/// (it stays kept until the level is left).
void UVAnimAbandonPending();
/// Every frame: by dt seconds when dt is above 0, each registered material advances.
void UVAnimUpdate(float dt);
/// When a level is left: every material forgotten and every dictionary destroyed.
void UVAnimClearAll();

/// The path with everything from its last '.' (in its last component) replaced by ext; the
/// extension appended when there is none.
std::string ReplaceExtension(const std::string& path, const char* ext);

class HbResourceStream;
/// The side file of resource id (its path with extension lower, else upper), opened only
/// when the resource's data container sets the boolean gate; null otherwise. The caller
/// closes and deletes it.
HbResourceStream* OpenGatedSideFile(const char* id, const char* gate, const char* lower, const char* upper);
