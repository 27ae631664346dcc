// TsDummyActor: a bare placeable frame (the base of triggers), placed at scenario marks.
#pragma once

#include "tsactor.h"

class W3dFrame;

class TsDummyActor : public TsActor
{
    HB_DECLARE_CLASS_DESC();

public:
    /// Its node: a new frame node.
    TsDummyActor();
    ~TsDummyActor() override;

    W3dNode* GetNode() override;
    /// The model name is a mark name: PlaceAtMark.
    int32_t LoadModel(const char* name) override { return PlaceAtMark(name); }

    /// Hangs the node under the level's root and moves it to the mark's position. 1, or 0
    /// when no mark has the name (the node stays hung).
    int32_t PlaceAtMark(const char* name);

private:
    W3dFrame* mFrame = nullptr;
};
