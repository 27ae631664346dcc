// The user-interface tests' fixture: a started renderer on a 640 x 480 window, the clocks under the
// test's hand, resources of the test's own and the textures the items use.
#pragma once

#include "renderer_fixture.h"
#include "uisupport.h"
#include "w2dsurface.h"
#include "w2dsurfacelist.h"
#include "wrenderer.h"

#include <gtest/gtest.h>

#include <memory>

namespace uitest
{

constexpr uint32_t kClear = 0xFF000000u;

class UiTest : public renderertest::RendererTest
{
protected:
    void SetUp() override
    {
        RendererTest::SetUp();
        mRenderer = Started();
        ASSERT_NE(mRenderer, nullptr);
        mClocks = std::make_unique<Clocks>();
        mResources = std::make_unique<Resources>();
    }

    void TearDown() override
    {
        mResources.reset();
        mClocks.reset();
        RendererTest::TearDown();
    }

    W2dSurfaceList* Screen() const { return mRenderer->GetSurfaceList(); }

    WRenderer* mRenderer = nullptr;
    std::unique_ptr<Clocks> mClocks;
    std::unique_ptr<Resources> mResources;
};

} // namespace uitest
