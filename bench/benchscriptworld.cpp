// Pieces the script-world benchmarks share.
#include "benchscriptworld.h"

#include "benchwindow.h"
#include "scriptinterpreter.h"
#include "scriptworldmanager.h"
#include "w3dframe.h"
#include "wrenderer.h"
#include "wscene.h"

#include <cstdio>

BenchActor::~BenchActor()
{
    if (mNode)
    {
        if (W3dNode* parent = mNode->GetParent())
            parent->RemoveChild(mNode);
        mNode->Release();
    }
}

W3dNode* BenchActor::GetNode()
{
    return mNode;
}

bool BenchStartRendererAndInterpreter(const char* className, const char* title, WRenderer*& renderer)
{
    if (!BenchStartRenderer(className, title, renderer))
    {
        std::fprintf(stderr, "the renderer could not start\n");
        return false;
    }
    if (!ScriptInterpreter::Start())
    {
        std::fprintf(stderr, "the interpreter could not start\n");
        return false;
    }
    return true;
}

BenchActor* BenchMakeActor(WScene* scene, uint32_t family, const Vector& at)
{
    auto* actor = new BenchActor();
    actor->AddRef();
    actor->mFamily = family;
    actor->mNode = W3dFrame::Create();
    actor->mNode->AddRef();
    actor->mNode->SetWorldPosition(&at);
    scene->GetRoot()->AttachChild(actor->mNode);
    return actor;
}

void BenchDeleteScriptWorld(ScriptWorldManager* scriptWorld, const std::vector<BenchActor*>& actors)
{
    if (!scriptWorld)
        return;
    for (BenchActor* actor : actors)
        scriptWorld->RemoveActor(actor);
    for (BenchActor* actor : actors)
        actor->Release();
    scriptWorld->SetScene(nullptr);
    delete scriptWorld;
}
