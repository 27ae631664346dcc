// Resource groups and their three layers: a group is the console script "<name>.scr" whose
// add_ressource lines declare its resources, with an optional pack archive "<name>.PAK" of
// the same name holding its files. Loading a group mounts the archive, runs the script and
// remembers every resource it made; unloading releases exactly those. Layer 0 keeps every
// group loaded into it; layers 1 and 2 hold one group each.
#pragma once

#include "hbperclassfreelist.h"
#include "hbptrlist.h"
#include "hbroot.h"

#include <cstdint>
#include <string>
#include <vector>

struct Font2d;
typedef struct _object PyObject;

/// One resource a group made.
class ResourceRecord : public HbRoot
{
    HB_DECLARE_CLASS_POOL();

public:
    static constexpr int32_t kPoolSize = 2000;

    /// The resource (one reference), or null for the other kinds and for a failed creation.
    HbRoot* object = nullptr;
    /// The imported script module (one reference).
    PyObject* module = nullptr;
    /// The font manager's font (not owned).
    Font2d* font = nullptr;
    std::string id;
    /// The module's name, by which unloading takes it out of the interpreter's table.
    std::string moduleName;
};

struct ResourceGroup : public HbAllocated
{
    std::string name;
    /// 1 when "<name>.PAK" was mounted by the load.
    int32_t packMounted = 0;
    /// ResourceRecord pointers, in the order they were made.
    HbPtrList resources{10};
    /// What went wrong while the group loaded (as the failure handler was told); empty when
    /// every part of it was made.
    std::vector<std::string> failures;
};

constexpr int32_t kResourceLayerCount = 3;

/// ResourceGroupLoad's and ResourceGroupUnload's answers.
enum : int32_t
{
    kResourceGroupDone = 0,
    kResourceGroupUnknown = 2,
    kResourceGroupAlreadyLoaded = 4,
};

/// Layers 0, 1, 2 with the limits 9999, 1, 1, every list emptied without unloading; 0.
int32_t ResourceGroupResetLayers();
/// 0 loaded; 4 a group of the name is loaded in any layer (nothing done, though a one-group
/// layer holding another group has unloaded it first); 2 for a layer outside 0..2 or no name.
int32_t ResourceGroupLoad(const char* name, int32_t layer);
/// 0 unloaded; 2 no such group.
int32_t ResourceGroupUnload(const char* name);
/// Unloads every group of every layer, layer 0 first; 0.
int32_t ResourceGroupUnloadAll();
/// The group of the name in any layer (layer 0 first), or null.
ResourceGroup* ResourceGroupFind(const char* name);
/// 0 when "<name>.PAK" exists and was mounted (pack look-ups on, disk fallback on); else 2.
int32_t ResourceGroupMountPak(const char* name);
/// The add_ressource line in mode 3: 0 a record joined the group being loaded, 1 not. With
/// no group being loaded the path is only registered.
int32_t ResourceGroupAddResource(const char* id, const char* path);

/// Told of every group loaded ("load", after its script ran) and unloaded ("unload", before
/// its resources go), with the group's name and layer.
using ResourceGroupObserver = void (*)(const char* event, const char* name, int32_t layer);
/// One observer at a time; null for none.
void ResourceGroupSetObserver(ResourceGroupObserver observer);

/// Told after a group loaded with what went wrong: its pack that cannot be read, its script
/// that cannot be read, a line of it that failed, a resource that cannot be made. The loaded
/// part of the group stays loaded. One handler at a time; null for none.
using ResourceGroupFailureHandler = void (*)(const char* name, const std::vector<std::string>& failures);
/// The handler it replaces.
ResourceGroupFailureHandler ResourceGroupSetFailureHandler(ResourceGroupFailureHandler handler);
/// Hands what went wrong with another file the start-up runs (the key bindings) to the handler.
void ResourceGroupReportFailures(const char* name, const std::vector<std::string>& failures);

/// The group being loaded, or null.
ResourceGroup* ResourceGroupLoading();
/// The groups of a layer (null outside 0..2).
const HbPtrList* ResourceGroupLayer(int32_t layer);

/// Characters 0-1, 2-3 and 4-6 of a sector id such as W3L1S01; each is empty unless the id is
/// longer than the part's end.
std::string GroupNameGetWorldPart(const char* sectorId);
std::string GroupNameGetLevelPart(const char* sectorId);
std::string GroupNameGetSectorPart(const char* sectorId);
std::string ResourceGroupScriptName(const char* name);
std::string ResourceGroupPakName(const char* name);
