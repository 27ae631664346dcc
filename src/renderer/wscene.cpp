// The scene.
#include "wscene.h"

#include "frame.h"
#include "w3dframe.h"
#include "w3dlevel.h"

HB_DEFINE_CLASS_DESC(WScene, HbRoot);

WScene::WScene() : mRoot(W3dFrame::Create())
{
    if (mRoot)
        mRoot->AddRef();
}

WScene::~WScene()
{
    if (mLevel)
    {
        if (mRoot)
            mRoot->RemoveFromScene();
        mLevel->Unbind(this);
        mLevel->Release();
        mLevel = nullptr;
    }
    // Nodes still listed must not point back at a scene that is gone.
    for (uint32_t i = 0; i < mUpdateCount; ++i)
        if (mUpdateList[i])
            mUpdateList[i]->mUpdateScene = nullptr;
    mUpdateCount = 0;
    if (mRoot)
        mRoot->Release();
    mRoot = nullptr;
}

// ---- The update list ---------------------------------------------------------------------------------

int32_t WScene::AddUpdatable(W3dNode* node)
{
    if (!node || mUpdateCount >= kMaxUpdatables)
        return 0;
    // A node is listed in one scene at a time; its destructor takes it off that one.
    if (node->mUpdateScene && node->mUpdateScene != this)
        node->mUpdateScene->ForgetUpdatable(node);
    mUpdateList[mUpdateCount++] = node;
    node->mUpdateScene = this;
    return 1;
}

int32_t WScene::RemoveUpdatable(W3dNode* node)
{
    if (!node)
        return 0;
    bool found = false;
    bool listedAgain = false;
    for (uint32_t i = 0; i < mUpdateCount; ++i)
    {
        if (mUpdateList[i] != node)
            continue;
        if (!found)
        {
            mUpdateList[i] = nullptr;
            found = true;
        }
        else
        {
            listedAgain = true;
            break;
        }
    }
    if (found && !listedAgain)
        node->mUpdateScene = nullptr;
    return found ? 1 : 0;
}

void WScene::ForgetUpdatable(W3dNode* node)
{
    for (uint32_t i = 0; i < mUpdateCount; ++i)
        if (mUpdateList[i] == node)
            mUpdateList[i] = nullptr;
    if (node->mUpdateScene == this)
        node->mUpdateScene = nullptr;
}

void WScene::Update()
{
    uint32_t i = 0;
    while (i < mUpdateCount)
    {
        if (W3dNode* node = mUpdateList[i])
        {
            node->Update();
            ++i;
            continue;
        }
        uint32_t last = mUpdateCount - 1;
        mUpdateList[i] = mUpdateList[last];
        mUpdateList[last] = nullptr;
        mUpdateCount = last;
    }
}

// ---- The level -----------------------------------------------------------------------------------------

void WScene::SetLevel(W3dLevel* level)
{
    if (level == mLevel)
        return;
    if (mLevel)
    {
        if (mRoot)
            mRoot->RemoveFromScene();
        mLevel->Unbind(this);
        mLevel->Release();
        mLevel = nullptr;
    }
    if (!level)
        return;
    level->AddRef();
    mLevel = level;
    if (mRoot)
    {
        // The root's frame is marked so the tree is synchronised with the new level.
        if (Frame* frame = mRoot->GetEngineFrame())
            Frame::UpdateObjects(frame);
        mRoot->AddToScene(this);
    }
    mLevel->Bind(this);
}

World* WScene::GetMainWorld() const
{
    return mLevel ? mLevel->GetMainWorld() : nullptr;
}
