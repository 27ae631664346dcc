// Pieces the script-world benchmarks share: an actor that is only a node, the renderer and the
// interpreter started in the benchmark window, and the script world's tear-down.
#pragma once

#include "tsactor.h"

#include <cstdint>
#include <vector>

class ScriptWorldManager;
class W3dFrame;
class WRenderer;
class WScene;
struct Vector;

class BenchActor : public TsActor
{
public:
    ~BenchActor() override;
    W3dNode* GetNode() override;
    W3dFrame* mNode = nullptr;
};

/// Opens the benchmark window and starts the renderer in it and the interpreter; false after
/// saying on stderr what failed. renderer is set as soon as the instance exists.
bool BenchStartRendererAndInterpreter(const char* className, const char* title, WRenderer*& renderer);

/// A held actor of the family whose node stands at `at` under the scene's root.
BenchActor* BenchMakeActor(WScene* scene, uint32_t family, const Vector& at);

/// Takes the actors out of the script world, releases them and deletes the script world
/// (null: nothing to do).
void BenchDeleteScriptWorld(ScriptWorldManager* scriptWorld, const std::vector<BenchActor*>& actors);
