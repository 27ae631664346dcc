// Writes emitter definitions as effect-script text that KEmitterDef::Parse reads back: every
// setting as its keyword, then the tracks that differ from their defaults in their sections.
// Test fixtures and the sample content's effect scripts are made with it.
#pragma once

#include <string>
#include <vector>

class KEmitterDef;

struct FxScriptWriter
{
    /// One block, "{" to "}". Orientations are written as a direction and a spin rounded to
    /// the tenth of a degree the reader resolves.
    static std::string Block(const KEmitterDef& def);
    /// The blocks one after the other.
    static std::string Script(const std::vector<const KEmitterDef*>& defs);
    /// The script into a file; false when it cannot be written.
    static bool WriteFile(const std::string& path, const std::vector<const KEmitterDef*>& defs);
};
