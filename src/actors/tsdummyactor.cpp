// The dummy actor.
#include "tsdummyactor.h"

#include "scriptworldmanager.h"
#include "tsmarksystem.h"
#include "w3dframe.h"
#include "wscene.h"
#include "yoscenaricmark.h"

HB_DEFINE_CLASS_DESC(TsDummyActor, TsActor);

W3dNode* TsActorsLevelRoot();

TsDummyActor::TsDummyActor() : mFrame(W3dFrame::Create())
{
    if (mFrame)
        mFrame->AddRef();
}

TsDummyActor::~TsDummyActor()
{
    if (mFrame)
    {
        RemoveNodeFromParent();
        mFrame->Release();
    }
}

W3dNode* TsDummyActor::GetNode()
{
    return mFrame;
}

int32_t TsDummyActor::PlaceAtMark(const char* name)
{
    if (!mFrame)
        return 0;
    if (W3dNode* root = TsActorsLevelRoot(); root && mFrame->GetParent() != root)
        root->AttachChild(mFrame);
    TsMarkSystem* marks = TsGetMarkSystem();
    YoScenaricMark* mark = marks ? marks->FindMark(name) : nullptr;
    if (!mark)
        return 0;
    SetPosition(&mark->GetPosition());
    return 1;
}
