// Lists: containers that lay their children out as a column. The simple list stacks them and can trim
// the oldest when fixed rows overflow; the progressive list also colours them in a gradient; the
// message list builds each child itself as a framed text; the timed list removes each child a fixed
// game-clock time after it was added and plays the text sounds.
#pragma once

#include "raster.h"
#include "w2dgraphiccontainer.h"

#include <cstdint>
#include <string>

class W2dSimpleListGraphicContainer : public W2dGraphicContainer
{
    HB_DECLARE_CLASS_DESC();

public:
    /// Size 0, 0, 0; stacking on, fixed rows off.
    explicit W2dSimpleListGraphicContainer(const char* name);

    /// The container's AddChild (0 for a duplicate non-empty name), then the child is created and
    /// shown and the list laid out; 1.
    int32_t AddChild(W2dGenericItem* item) override;
    /// The container's removal, laid out again when a child went; the index or -1.
    int32_t RemoveChildByName(const char* name) override;

    /// Neither setter lays the list out again.
    virtual void SetReversed(int32_t value);
    virtual void SetFixedRows(int32_t value);
    /// Places the children. With fixed rows every child becomes one row as high as the first child,
    /// the oldest removed while the rows overflow the list's height; without, the children sit on one
    /// another upward from the list's bottom edge with their own heights.
    virtual void Layout();
    /// The first child, found by its name through the container's own removal (never a subclass's,
    /// which would drop what belongs to it twice). Nothing on an empty list.
    virtual void RemoveFirst();
    /// The last child, found by identity. Nothing on an empty list.
    virtual void RemoveLast();

    int32_t IsReversed() const { return mReversed; }
    int32_t HasFixedRows() const { return mFixedRows; }

private:
    int32_t mReversed = 1;
    int32_t mFixedRows = 0;
};

class W2dProgressiveListGraphicContainer : public W2dSimpleListGraphicContainer
{
    HB_DECLARE_CLASS_DESC();

public:
    /// Start colour opaque white, end colour transparent black.
    explicit W2dProgressiveListGraphicContainer(const char* name);

    /// The simple layout, then the gradient: a running colour stepped by (start - end) / n per child
    /// from the start colour (stacking on) or the end colour (off); each child's top corners get the
    /// colour after its step, its bottom corners the colour before.
    void Layout() override;
    /// Neither setter lays the list out again.
    virtual void SetStartColour(const Rgba& colour);
    virtual void SetEndColour(const Rgba& colour);

private:
    Rgba mStart = {255, 255, 255, 255};
    Rgba mEnd = {0, 0, 0, 0};
};

class W2dMessageList : public W2dProgressiveListGraphicContainer
{
    HB_DECLARE_CLASS_DESC();

public:
    /// Justification left (1), text size 0.025, the standard font.
    explicit W2dMessageList(const char* name);

    /// Appends a message: a 0.8 x 0.25 text at priority 100 in the font, framed by a panel and placed
    /// inside the frame's margins. The width and text size do not change how a message looks. 1, or 0
    /// when nothing could be built.
    virtual int32_t AddMessage(const char* text, float width, float textSize, const char* fontId, const Rgba& colour);
    /// White.
    virtual int32_t AddMessage(const char* text, float width, float textSize, const char* fontId);
    /// The list's font.
    virtual int32_t AddMessage(const char* text, float width, float textSize);
    /// The list's width and text size.
    virtual int32_t AddMessage(const char* text);
    /// The justification every later message's text gets; 1.
    virtual int32_t SetJustify(int32_t kind);
    /// Only sizes in (0, 1]: 1, else 0 and no change.
    virtual int32_t SetTextSize(float size);
    /// 1.
    virtual int32_t SetFont(const char* fontId);
    virtual float GetTextSize() const;
    virtual std::string GetFont() const;

private:
    int32_t mJustify = 1;
    float mTextSize = 0.025f;
    std::string mFont;
};

class W2dTimedListGraphicContainer : public W2dSimpleListGraphicContainer
{
    HB_DECLARE_CLASS_DESC();

public:
    /// Lifetime -1: children never expire.
    explicit W2dTimedListGraphicContainer(const char* name);

    /// The simple list's AddChild; an accepted child is stamped with the game clock's time and
    /// "SD_I_TEXTS_ON_S2DSB" plays. 1, or 0 when refused (no stamp, no sound).
    int32_t AddChild(W2dGenericItem* item) override;
    /// The container's update, then, with a lifetime above 0, every child older than the lifetime
    /// from the first on is removed with "SD_I_TEXTS_ON_S2DSB" and the list laid out again; the first
    /// young enough child stops the walk. 1.
    int32_t Update() override;
    /// The simple list's removal with the child's stamp and "SD_I_TEXTS_OFF_S2DSB"; 1, or 0 when no
    /// child has the name.
    int32_t RemoveChildByName(const char* name) override;
    /// The stamp goes with the child.
    int32_t RemoveChild(W2dGenericItem* item) override;
    void RemoveFirst() override;
    void RemoveLast() override;
    void RemoveAllChildren() override;
    /// Seconds; -1 or 0 never expire. 1.
    virtual int32_t SetLifetime(float seconds);

    float GetLifetime() const { return mLifetime; }
    int32_t GetStampCount() const { return mStamps.GetCount(); }
    /// The game-clock time the child at the index was added at; 0 outside the stamps.
    int64_t GetStamp(int32_t index) const;

private:
    void RemoveStamp(int32_t index);

    HbGrowArray<int64_t> mStamps;
    float mLifetime = -1.0f;
};
