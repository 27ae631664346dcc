// BoardControl: the key-hint bar, with its registry of themes by id and the stack of themes pushed by the
// screens that are open; only the top theme is shown. BoardControlTheme: the base of every theme, which
// owns a graphic container of items.
#pragma once

#include "hbhashmap.h"
#include "hbptrlist.h"
#include "hbroot.h"

#include <cstdint>

class W2dGraphicContainer;

class BoardControlTheme : public HbRoot
{
    HB_DECLARE_CLASS_DESC();

public:
    enum StateBit : uint32_t
    {
        kBuilt = 1,
        kShown = 2,
    };

    BoardControlTheme() = default;
    /// Drops the reference on the container, if any.
    ~BoardControlTheme() override;

    /// Builds the items once: both bits set, an unnamed container made (neither created nor shown);
    /// 0 when already built.
    virtual int32_t Build();
    /// Restarts the container's children's effects and shows the container; 0 when not built or
    /// already shown.
    virtual int32_t Show();
    /// The container's update; 0 unless built and shown.
    virtual int32_t Update();
    /// 0 unless built and shown.
    virtual int32_t Hide();
    /// Releases and drops the container and clears the built bit (the shown bit stays); the theme can
    /// be built again. 0 when not built. Hides HbRoot's Release: a holder drops its reference with
    /// theme->HbRoot::Release().
    virtual int32_t Release();
    /// Back to the starting state; nothing here.
    virtual void Reset();
    /// 0 or 1.
    virtual int32_t IsBuilt() const;

    uint32_t GetState() const { return mState; }
    W2dGraphicContainer* GetContainer() const { return mContainer; }

protected:
    uint32_t mState = 0;
    W2dGraphicContainer* mContainer = nullptr;
};

class BoardControl : public HbAllocated
{
public:
    /// Empty registry and stack, visible.
    BoardControl();
    /// Frees the stack's nodes and empties the registry without dropping theme references (DestroyAll
    /// has done that).
    ~BoardControl();
    BoardControl(const BoardControl&) = delete;
    BoardControl& operator=(const BoardControl&) = delete;

    // ---- Registry ----------------------------------------------------------------------------------------
    /// Makes a new unbuilt theme (no reference held yet).
    using ThemeFactory = BoardControlTheme* (*)();
    /// The maker of the in-game theme (id 1), set by the head-up display's layer before CreateThemes.
    static void SetInGameThemeFactory(ThemeFactory factory);
    /// Registers the ten themes in the order 0, 2, 4, 1, 5, 8, 3, 6, 7, 9 (0 blank, none built); 1.
    int32_t CreateThemes();
    /// Takes a reference on the theme (which may be null: a blank face); 0 when the id, or the same
    /// theme object, is registered already.
    int32_t RegisterTheme(int32_t id, BoardControlTheme* theme);
    /// Null for an id not registered, and for a blank one.
    BoardControlTheme* GetTheme(int32_t id) const;
    /// The theme's Build, then its Hide; Build's answer, or 0 for an id without a theme.
    int32_t BuildTheme(int32_t id);
    /// The theme's Hide, then its Release's answer; 0 for an id without a theme.
    int32_t ReleaseTheme(int32_t id);

    // ---- Stack -------------------------------------------------------------------------------------------
    /// Hides the top theme and puts the id's theme on top, shown while the bar is visible, else hidden;
    /// 0 for an id not registered.
    int32_t PushTheme(int32_t id);
    /// Pops the top only when it is the id's theme, then the new top is shown (or hidden while the bar
    /// is not visible); 1 when it popped.
    int32_t PopTheme(int32_t id);
    /// Every entry hidden and popped; nothing below is shown.
    void PopAll();
    /// The first registered id whose theme is the top's; 0 for an empty stack.
    int32_t GetTopThemeId() const;

    // ---- Visibility and the frame ------------------------------------------------------------------------
    /// Show or hide the top theme and set the visible flag; nothing when already in that state. 0.
    int32_t Show();
    int32_t Hide();
    /// Only the top theme is updated, whatever the visible flag says; 0 for an empty stack, else 1.
    int32_t Update();
    /// Pops the stack without hiding anything, releases every registered theme and drops the
    /// registry's references; 1.
    int32_t DestroyAll();

    int32_t IsVisible() const { return mVisible; }
    int32_t GetStackDepth() const { return mStack.GetCount(); }

private:
    /// 1 and the theme when the id is registered.
    bool Find(int32_t id, BoardControlTheme*& theme) const;
    BoardControlTheme* Top() const;

    HbIntHashMap mThemes{17, 10};
    HbPtrList mStack{10};
    int32_t mVisible = 1;
};
