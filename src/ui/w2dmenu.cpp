// Menus: the tree of entries and its references, navigation with wrap-around, the per-frame input step
// with its sounds and callbacks, the labels' layout and the key-hint theme while shown.
#include "w2dmenu.h"

#include "boardcontrol.h"
#include "hbclock.h"
#include "hbcommand.h"
#include "hbinputaction.h"
#include "hbinputmanager.h"
#include "tssoundmodule.h"
#include "w2dtextgraphicitem.h"

const char* const W2dMenu::kMenuFont = "ID_ARIAL_BLACK_FONT";

namespace
{
const char* const kSelectSound = "SD_I_SELECT_S2DSB";
const char* const kConfirmSound = "SD_I_CONFIRM_S2DSB";
const char* const kCancelSound = "SD_I_CANCEL_S2DSB";

constexpr float kTitleCharHeight = 0.05f;
constexpr int32_t kTitlePriority = 100;
constexpr Rgba kTitleColour = {183, 183, 183, 255};

W2dMenu* EntryOf(const HbPtrListNode* node)
{
    return node ? static_cast<W2dMenu*>(node->value) : nullptr;
}

/// Drops a held item: its own Release first when asked, then the reference.
void DropItem(W2dGenericItem*& item, bool release)
{
    if (!item)
        return;
    W2dGenericItem* held = item;
    item = nullptr;
    if (release)
        held->Release();
    held->HbRoot::Release();
}

// Property ids are stored as hash-map keys, their callbacks as the values.
void* AsValue(W2dItemCallback callback)
{
    return reinterpret_cast<void*>(callback);
}

W2dItemCallback AsCallback(void* value)
{
    return reinterpret_cast<W2dItemCallback>(value);
}
} // namespace

W2dMenu::W2dMenu(W2dMenu* parent) : mParent(parent)
{
    if (parent)
        parent->AddRef();
}

W2dMenu::~W2dMenu()
{
    mEntries.RemoveAll();
    mProperties.RemoveAll();
}

// ---- Tree ----------------------------------------------------------------------------------------------

void W2dMenu::Create()
{
    if (mParent)
        mParent->Create();
}

void W2dMenu::Clear()
{
    Hide();
    for (HbPtrListNode* node = mEntries.GetHead(); node; node = node->next)
        if (W2dMenu* entry = EntryOf(node))
        {
            entry->Clear();
            entry->Release();
        }
    mEntries.RemoveAll();
    mCurrent = nullptr;
    mActiveMenu = nullptr;
    DropItem(mLabel, true);
    mChooseContext = nullptr;
    if (W2dMenu* parent = mParent)
    {
        mParent = nullptr;
        parent->Release();
    }
    DropItem(mTitle, true);
    mBoardControl = nullptr;
}

void W2dMenu::AddEntry(W2dMenu* menu)
{
    if (!menu)
        return;
    if (!mEntries.AddTail(menu))
        return;
    menu->SetParent(this);
    menu->AddRef();
    mCurrent = mEntries.GetHead();
    mDirty = 1;
    Hide();
}

int32_t W2dMenu::RemoveEntry(W2dMenu* menu)
{
    HbPtrListNode* node = mEntries.GetHead();
    while (node && node->value != menu)
        node = node->next;
    if (!node)
        return 0;
    menu->SetParent(nullptr);
    mEntries.RemoveAt(node);
    menu->Release();
    mCurrent = mEntries.GetHead();
    mDirty = 1;
    return 1;
}

void W2dMenu::RemoveAllEntries()
{
    if (mEntries.IsEmpty())
        return;
    for (HbPtrListNode* node = mEntries.GetHead(); node; node = node->next)
        if (W2dMenu* entry = EntryOf(node))
        {
            entry->Clear();
            entry->Release();
        }
    mEntries.RemoveAll();
    mCurrent = nullptr;
    mDirty = 1;
}

// ---- Navigation ------------------------------------------------------------------------------------------

void W2dMenu::Next()
{
    if (mEntries.IsEmpty())
        return;
    mCurrent = mCurrent && mCurrent->next ? mCurrent->next : mEntries.GetHead();
    mDirty = 1;
}

void W2dMenu::Previous()
{
    if (mEntries.IsEmpty())
        return;
    mCurrent = mCurrent && mCurrent->prev ? mCurrent->prev : mEntries.GetTail();
    mDirty = 1;
}

void W2dMenu::SetCurrentIndex(int32_t index)
{
    int32_t last = mEntries.GetCount() - 1;
    if (index > last)
        index = last;
    mCurrent = mEntries.GetHead();
    // Through the virtual Next, so menus that animate a step animate here too.
    for (int32_t i = 0; i < index; ++i)
        Next();
}

void W2dMenu::Show()
{
    for (HbPtrListNode* node = mEntries.GetHead(); node; node = node->next)
        if (W2dGenericItem* label = EntryOf(node)->GetLabel())
        {
            label->StartEffects();
            label->Show();
        }
    if (mLabel)
    {
        mLabel->Show();
        mLabel->StartEffects();
    }
    if (mTitle)
        mTitle->Show();
    mDirty = 1;
    PushBoardTheme();
    mShown = 1;
}

namespace
{
/// One reference on a menu for the scope.
struct Held
{
    explicit Held(W2dMenu* held) : menu(held) { menu->AddRef(); }
    ~Held() { menu->Release(); }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
    /// Nobody else holds the menu any more: it goes when the scope ends.
    bool Alone() const { return menu->GetRefCount() <= 1; }
    W2dMenu* menu;
};
} // namespace

bool W2dMenu::HasEntry(const W2dMenu* menu) const
{
    for (HbPtrListNode* node = mEntries.GetHead(); node; node = node->next)
        if (node->value == menu)
            return true;
    return false;
}

W2dMenu* W2dMenu::HandleInput()
{
    if (mEntries.IsEmpty())
        return this;
    W2dMenu* next = Layout();
    if (mState != kOpen)
        return next;
    auto input = [this]()
    {
        if (mInputCallback)
            mInputCallback(mInputContext);
    };
    // One step per frame at most, asked in this order: previous wins over next.
    if (IsPreviousPressed())
    {
        input();
        Previous();
        TsFModPlaySoundAt(kSelectSound, nullptr);
        return next;
    }
    if (IsNextPressed())
    {
        input();
        Next();
        TsFModPlaySoundAt(kSelectSound, nullptr);
        return next;
    }
    W2dMenu* entry = GetCurrentEntry();
    if (IsChoosePressed() && entry)
    {
        // The callbacks may take the row out of the menu or drop the menu's other references:
        // both stay alive until the press is handled.
        const Held heldMenu(this);
        const Held heldEntry(entry);
        if (!Notify(kConfirm))
            return heldMenu.Alone() ? nullptr : this;
        input();
        if (!entry->Notify(kChoose) || heldMenu.Alone())
            return nullptr;
        if (!HasEntry(entry))
            return next;
        if (entry->HasEntries())
        {
            TsFModPlaySoundAt(kConfirmSound, nullptr);
            SetState(kClosing);
            mActiveMenu = entry;
            entry->SetCurrentIndex(0);
            return this;
        }
        return next;
    }
    if (IsBackPressed() && mParent)
    {
        // The sound comes before anything can refuse.
        TsFModPlaySoundAt(kCancelSound, nullptr);
        const Held heldMenu(this);
        const Held heldParent(mParent);
        input();
        // A callback that cleared this page left it without a parent to go back to.
        if (!Notify(kBack) || heldMenu.Alone() || mParent != heldParent.menu)
            return nullptr;
        SetState(kClosing);
        mActiveMenu = mParent;
        mParent->SetCurrentIndex(0);
        return this;
    }
    return next;
}

void W2dMenu::Hide()
{
    for (HbPtrListNode* node = mEntries.GetHead(); node; node = node->next)
        if (W2dGenericItem* label = EntryOf(node)->GetLabel())
        {
            label->StopEffects();
            label->Hide();
        }
    if (mLabel)
    {
        mLabel->Hide();
        mLabel->StopEffects();
    }
    if (mTitle)
        mTitle->Hide();
    PopBoardTheme();
    mShown = 0;
}

// ---- Parts ---------------------------------------------------------------------------------------------

void W2dMenu::SetParent(W2dMenu* menu)
{
    if (menu)
        menu->AddRef();
    W2dMenu* old = mParent;
    mParent = menu;
    if (old)
        old->Release();
}

W2dMenu* W2dMenu::GetParent() const
{
    return mParent;
}

void W2dMenu::SetLabel(W2dGenericItem* item)
{
    if (item)
        item->AddRef();
    W2dGenericItem* old = mLabel;
    mLabel = item;
    DropItem(old, false);
}

void W2dMenu::SetTitleText(const char* textId, const Vector& size)
{
    auto* title = new W2dTextGraphicItem(kMenuFont, nullptr);
    if (!title)
        return;
    title->AddRef();
    title->SetPriority(kTitlePriority);
    title->Create();
    title->SetSize(size);
    title->SetCharHeight(kTitleCharHeight);
    title->SetText(GetLocalizedText(textId).c_str());
    title->SetJustify(0);
    title->SetColour(kTitleColour);
    title->Hide();
    SetTitle(title);
    title->HbRoot::Release();
}

void W2dMenu::SetTitle(W2dGenericItem* item)
{
    if (item)
        item->AddRef();
    W2dGenericItem* old = mTitle;
    mTitle = item;
    DropItem(old, true);
}

W2dGenericItem* W2dMenu::GetLabel() const
{
    return mLabel;
}

W2dGenericItem* W2dMenu::GetTitle() const
{
    return mTitle;
}

void W2dMenu::SetPosition(const Vector& position)
{
    mPosition = position;
    for (HbPtrListNode* node = mEntries.GetHead(); node; node = node->next)
        EntryOf(node)->SetPosition(position);
}

void W2dMenu::SetStep(const Vector& step)
{
    mStep = step;
    for (HbPtrListNode* node = mEntries.GetHead(); node; node = node->next)
        EntryOf(node)->SetStep(step);
}

void W2dMenu::SetCallback(W2dMenuCallback callback, void* context, int32_t kind)
{
    switch (kind)
    {
    case kChoose:
        mChooseCallback = callback, mChooseContext = context;
        break;
    case kConfirm:
        mConfirmCallback = callback, mConfirmContext = context;
        break;
    case kBack:
        mBackCallback = callback, mBackContext = context;
        break;
    default:
        break;
    }
}

void W2dMenu::SetCommand(const char* line)
{
    mCommand = line ? line : "";
}

int32_t W2dMenu::SetProperty(int32_t id, W2dItemCallback callback)
{
    void** slot = mProperties.FindOrInsert(uint32_t(id));
    if (!slot)
        return 0;
    *slot = AsValue(callback);
    for (HbPtrListNode* node = mEntries.GetHead(); node; node = node->next)
        if (!EntryOf(node)->SetProperty(id, callback))
            return 0;
    return 1;
}

int32_t W2dMenu::SetInputCallback(W2dMenuCallback callback, void* context)
{
    mInputCallback = callback;
    mInputContext = context;
    for (HbPtrListNode* node = mEntries.GetHead(); node; node = node->next)
        if (!EntryOf(node)->SetInputCallback(callback, context))
            return 0;
    return 1;
}

int32_t W2dMenu::Notify(int32_t kind)
{
    switch (kind)
    {
    case kChoose:
        if (mChooseCallback)
            return mChooseCallback(mChooseContext);
        if (!mCommand.empty())
        {
            // The console answers 0 when the command was done; the menu's callers read 0 as a refusal
            // that sends the owner back to its root, so the answer is turned round.
            HbCommandManager* commands = HbCommandManager::Instance();
            return commands && commands->ExecuteLine(mCommand.c_str()) == HbCommandManager::kDone ? 1 : 0;
        }
        return 1;
    case kConfirm:
        return mConfirmCallback ? mConfirmCallback(mConfirmContext) : 1;
    case kBack:
        return mBackCallback ? mBackCallback(mBackContext) : 1;
    default:
        return 1;
    }
}

int32_t W2dMenu::HasEntries() const
{
    return mEntries.GetCount() > 0 ? 1 : 0;
}

void W2dMenu::SetDirty(int32_t flag)
{
    mDirty = flag;
}

W2dItemCallback W2dMenu::GetProperty(int32_t id) const
{
    void* value = nullptr;
    return mProperties.Find(uint32_t(id), value) ? AsCallback(value) : nullptr;
}

W2dMenu* W2dMenu::GetCurrentEntry() const
{
    return EntryOf(mCurrent);
}

// ---- Input actions ---------------------------------------------------------------------------------------

int32_t W2dMenu::IsActionTriggered(ActionCache& cache, const char* name)
{
    HbInputManager* manager = HbInputManager::Instance();
    if (!manager)
        return 0;
    uint32_t generation = HbInputManager::BindingCounter();
    if (!cache.looked || cache.generation != generation)
    {
        cache.action = manager->FindAction(name);
        cache.generation = generation;
        cache.looked = true;
    }
    return cache.action ? cache.action->IsTriggered() : 0;
}

int32_t W2dMenu::IsNextPressed()
{
    static ActionCache cache;
    return IsActionTriggered(cache, "MENU_NEXT");
}

int32_t W2dMenu::IsPreviousPressed()
{
    static ActionCache cache;
    return IsActionTriggered(cache, "MENU_PREVIOUS");
}

int32_t W2dMenu::IsChoosePressed()
{
    static ActionCache cache;
    return IsActionTriggered(cache, "MENU_CHOOSE");
}

int32_t W2dMenu::IsBackPressed()
{
    static ActionCache cache;
    return IsActionTriggered(cache, "MENU_UP");
}

int32_t W2dMenu::IsFirstEntry(W2dMenu* menu) const
{
    return !mEntries.IsEmpty() && EntryOf(mEntries.GetHead()) == menu ? 1 : 0;
}

int32_t W2dMenu::IsNonEmpty() const
{
    return HasEntries();
}

int32_t W2dMenu::HasTitle() const
{
    return mTitle ? 1 : 0;
}

void W2dMenu::ShowLabel() {}

W2dMenu* W2dMenu::Layout()
{
    mState = kOpen;
    W2dItemCallback others = GetProperty(0);
    W2dItemCallback current = GetProperty(1);
    Vector at = mPosition;
    for (HbPtrListNode* node = mEntries.GetHead(); node; node = node->next)
    {
        // Entries without a label keep their place in the column.
        if (W2dGenericItem* label = EntryOf(node)->GetLabel())
        {
            label->SetPosition(at);
            label->SetUpdateCallback(node == mCurrent ? current : others);
            label->Update();
        }
        at = {at.x + mStep.x, at.y + mStep.y, at.z + mStep.z};
    }
    return this;
}

// ---- Not virtual -----------------------------------------------------------------------------------------

void W2dMenu::SetState(int32_t state)
{
    mState = state;
    mSoundPlayed = 0;
    HbRealClock* clock = HbRealClock::Instance();
    mStateTime = clock ? clock->mCurrentTime : 0;
}

void W2dMenu::SetBoardControl(BoardControl* bar)
{
    mBoardControl = bar;
    for (HbPtrListNode* node = mEntries.GetHead(); node; node = node->next)
        EntryOf(node)->SetBoardControl(bar);
}

void W2dMenu::PushBoardTheme()
{
    if (!mBoardControl || mBoardThemeId == -1 || mThemePushed)
        return;
    mThemePushed = mBoardControl->PushTheme(mBoardThemeId) ? 1 : 0;
}

void W2dMenu::PopBoardTheme()
{
    if (!mBoardControl || mBoardThemeId == -1 || !mThemePushed)
        return;
    mBoardControl->PopTheme(mBoardThemeId);
    mThemePushed = 0;
}

W2dMenu* W2dMenu::GetEntry(int32_t index) const
{
    HbPtrListNode* node = mEntries.GetHead();
    for (int32_t i = 0; node && i < index; ++i)
        node = node->next;
    return index >= 0 ? EntryOf(node) : nullptr;
}
