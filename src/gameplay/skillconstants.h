// The integer-constant script modules of the animation states and path modes: "map_states",
// "sap_states", "target_path", "he_map", "he_sap", "pan_map", "pan_sap" and "pan_action"; and
// those of the ammunition's model kinds, "casing" and "projectil". The game's start-up queues
// them with the script host, which fills them when the interpreter starts.
#pragma once

#include <cstdint>

typedef struct _object PyObject;

/// Any state in the animation players' transition tables.
constexpr int32_t kAnimStateAll = 0xFFFF;

/// The fill of the module of that name (the script host's module fill), or null when the
/// name is not one of them.
using SkillConstantModuleFill = void (*)(PyObject* module, int32_t argument);
SkillConstantModuleFill SkillConstantModuleFor(const char* name);
/// Fills the module with the constants of its own name; nothing for another module. 1 when
/// the name was one of the eight.
int32_t SkillConstantModuleFillByName(PyObject* module, const char* name);
/// The value of a constant of one of the modules; -1 when either is unknown.
int32_t SkillConstantValue(const char* module, const char* name);
