// The key-hint bar: the theme registry, the theme stack with its show and hide rules, and the theme base.
#include "boardcontrol.h"

#include "w2dgraphiccontainer.h"

HB_DEFINE_CLASS_DESC(BoardControlTheme, HbRoot);

// ---- BoardControlTheme ------------------------------------------------------------------------------------

BoardControlTheme::~BoardControlTheme()
{
    if (mContainer)
    {
        W2dGraphicContainer* container = mContainer;
        mContainer = nullptr;
        container->HbRoot::Release();
    }
}

int32_t BoardControlTheme::Build()
{
    if (mState & kBuilt)
        return 0;
    auto* container = new W2dGraphicContainer();
    if (!container)
        return 0;
    container->AddRef();
    mContainer = container;
    mState |= kBuilt | kShown;
    return 1;
}

int32_t BoardControlTheme::Show()
{
    if (!(mState & kBuilt) || (mState & kShown))
        return 0;
    mState |= kShown;
    if (mContainer)
    {
        for (int32_t i = 0; i < mContainer->GetChildCount(); ++i)
            mContainer->GetChild(i)->RestartEffects();
        mContainer->Show();
    }
    return 1;
}

int32_t BoardControlTheme::Update()
{
    if (!(mState & kBuilt) || !(mState & kShown))
        return 0;
    if (mContainer)
        mContainer->Update();
    return 1;
}

int32_t BoardControlTheme::Hide()
{
    if (!(mState & kBuilt) || !(mState & kShown))
        return 0;
    mState &= ~kShown;
    if (mContainer)
        mContainer->Hide();
    return 1;
}

int32_t BoardControlTheme::Release()
{
    if (!(mState & kBuilt))
        return 0;
    mState &= ~kBuilt;
    if (W2dGraphicContainer* container = mContainer)
    {
        mContainer = nullptr;
        container->Release();
        container->HbRoot::Release();
    }
    return 1;
}

void BoardControlTheme::Reset() {}

int32_t BoardControlTheme::IsBuilt() const
{
    return (mState & kBuilt) ? 1 : 0;
}

// ---- BoardControl -------------------------------------------------------------------------------------------

BoardControl::BoardControl() = default;

BoardControl::~BoardControl()
{
    mStack.RemoveAll();
    mThemes.RemoveAll();
}

bool BoardControl::Find(int32_t id, BoardControlTheme*& theme) const
{
    void* value = nullptr;
    if (!mThemes.Find(uint32_t(id), value))
        return false;
    theme = static_cast<BoardControlTheme*>(value);
    return true;
}

BoardControlTheme* BoardControl::Top() const
{
    HbPtrListNode* head = mStack.GetHead();
    return head ? static_cast<BoardControlTheme*>(head->value) : nullptr;
}

int32_t BoardControl::RegisterTheme(int32_t id, BoardControlTheme* theme)
{
    HbPosition position = mThemes.GetStartPosition();
    uint32_t key = 0;
    void* value = nullptr;
    while (mThemes.GetNextAssoc(position, key, value))
        if (int32_t(key) == id || value == theme)
            return 0;
    void** slot = mThemes.FindOrInsert(uint32_t(id));
    if (!slot)
        return 0;
    if (theme)
        theme->AddRef();
    *slot = theme;
    return 1;
}

BoardControlTheme* BoardControl::GetTheme(int32_t id) const
{
    BoardControlTheme* theme = nullptr;
    return Find(id, theme) ? theme : nullptr;
}

int32_t BoardControl::BuildTheme(int32_t id)
{
    // Only ids registered with a theme can be built: a blank or unknown id answers 0.
    BoardControlTheme* theme = GetTheme(id);
    if (!theme)
        return 0;
    int32_t built = theme->Build();
    theme->Hide();
    return built;
}

int32_t BoardControl::ReleaseTheme(int32_t id)
{
    BoardControlTheme* theme = GetTheme(id);
    if (!theme)
        return 0;
    theme->Hide();
    return theme->Release();
}

int32_t BoardControl::PushTheme(int32_t id)
{
    BoardControlTheme* theme = nullptr;
    if (!Find(id, theme))
        return 0;
    if (BoardControlTheme* top = Top())
        top->Hide();
    if (theme)
        theme->AddRef();
    if (!mStack.AddHead(theme))
    {
        if (theme)
            theme->HbRoot::Release();
        return 0;
    }
    if (theme)
    {
        if (mVisible)
            theme->Show();
        else
            theme->Hide();
    }
    return 1;
}

int32_t BoardControl::PopTheme(int32_t id)
{
    BoardControlTheme* theme = nullptr;
    if (mStack.IsEmpty() || !Find(id, theme))
        return 0;
    // A screen can only pop the theme it pushed while that theme is on top.
    BoardControlTheme* top = Top();
    if (top != theme)
        return 0;
    if (top)
    {
        top->Hide();
        top->HbRoot::Release();
    }
    mStack.PopFront();
    if (BoardControlTheme* next = Top())
    {
        if (mVisible)
            next->Show();
        else
            next->Hide();
    }
    return 1;
}

void BoardControl::PopAll()
{
    while (!mStack.IsEmpty())
    {
        if (BoardControlTheme* top = Top())
        {
            top->Hide();
            top->HbRoot::Release();
        }
        mStack.PopFront();
    }
}

int32_t BoardControl::GetTopThemeId() const
{
    if (mStack.IsEmpty())
        return 0;
    BoardControlTheme* top = Top();
    HbPosition position = mThemes.GetStartPosition();
    uint32_t key = 0;
    void* value = nullptr;
    while (mThemes.GetNextAssoc(position, key, value))
        if (value == top)
            return int32_t(key);
    return 0;
}

int32_t BoardControl::Show()
{
    if (mVisible)
        return 0;
    if (BoardControlTheme* top = Top())
        top->Show();
    mVisible = 1;
    return 0;
}

int32_t BoardControl::Hide()
{
    if (!mVisible)
        return 0;
    if (BoardControlTheme* top = Top())
        top->Hide();
    mVisible = 0;
    return 0;
}

int32_t BoardControl::Update()
{
    if (mStack.IsEmpty())
        return 0;
    if (BoardControlTheme* top = Top())
        top->Update();
    return 1;
}

int32_t BoardControl::DestroyAll()
{
    while (!mStack.IsEmpty())
    {
        if (BoardControlTheme* top = Top())
            top->HbRoot::Release();
        mStack.PopFront();
    }
    HbPosition position = mThemes.GetStartPosition();
    uint32_t key = 0;
    void* value = nullptr;
    while (mThemes.GetNextAssoc(position, key, value))
        if (auto* theme = static_cast<BoardControlTheme*>(value))
        {
            theme->Release();
            theme->HbRoot::Release();
        }
    mThemes.RemoveAll();
    return 1;
}
