// Text items and localized texts.
#include "w2dtextgraphicitem.h"

#include "hbresource.h"
#include "hbtext.h"
#include "w2dtextsurface.h"

HB_DEFINE_CLASS_DESC(W2dTextGraphicItem, W2dSurfaceGraphicItem);

namespace
{
const std::string kEmpty;

W2dTextSurface* TextSurface(W2dSurface* surface)
{
    return surface ? HbCastTo<W2dTextSurface>(surface) : nullptr;
}
} // namespace

W2dTextGraphicItem::W2dTextGraphicItem(const char* fontId, W2dSurfaceList* list)
    : W2dSurfaceGraphicItem(list), mFontId(fontId ? fontId : "")
{
}

int32_t W2dTextGraphicItem::Create()
{
    if (mSurface)
        return 0;
    auto* surface = new W2dTextSurface(mFontId.c_str(), mPosition.x, mPosition.y, mSize.x, mSize.y, mPriority);
    if (!surface)
        return 0;
    surface->SetText("");
    surface->SetTextHeight(mCharHeight);
    return CreateWith(surface);
}

void W2dTextGraphicItem::SetText(const char* text)
{
    if (W2dTextSurface* surface = TextSurface(mSurface))
        surface->SetText(text);
}

int32_t W2dTextGraphicItem::SetCharHeight(float height)
{
    mCharHeight = height;
    if (W2dTextSurface* surface = TextSurface(mSurface))
        surface->SetTextHeight(height);
    return 1;
}

int32_t W2dTextGraphicItem::SetJustify(int32_t kind)
{
    W2dTextSurface* surface = TextSurface(mSurface);
    if (!surface)
        return 0;
    surface->SetJustification(kind);
    return 1;
}

const std::string& W2dTextGraphicItem::GetText() const
{
    W2dTextSurface* surface = TextSurface(mSurface);
    return surface ? surface->GetText() : kEmpty;
}

int32_t W2dTextGraphicItem::GetCharHeight(float* height) const
{
    W2dTextSurface* surface = TextSurface(mSurface);
    if (!surface)
        return 0;
    *height = surface->GetTextHeight();
    return 1;
}

float W2dTextGraphicItem::GetTextWidth() const
{
    W2dTextSurface* surface = TextSurface(mSurface);
    return surface ? surface->GetTextWidth() : 0.0f;
}

std::string GetLocalizedText(const char* textId)
{
    if (!textId || !*textId)
        return std::string();
    HbResourceManager* manager = HbResourceManager::Instance();
    HbRoot* resource = manager ? manager->GetResource(textId) : nullptr;
    if (!resource)
        return std::string();
    // The copy is taken while a reference is held; a shared text outlives this call through the cache.
    resource->AddRef();
    HbText* text = HbCastTo<HbText>(resource);
    std::string copy = text ? text->GetText() : std::string();
    resource->Release();
    return copy;
}
