// W2dMenu: a node of a menu tree and the front end's navigation engine. A menu is a row of its parent
// (its label) and a list of entries of its own (child menus whose labels it lays out). Once per frame
// its owner calls HandleInput on the menu that receives input and keeps the result as the next receiver.
#pragma once

#include "hbhashmap.h"
#include "hbptrlist.h"
#include "hbroot.h"
#include "vector.h"
#include "w2dgenericitem.h"

#include <cstdint>
#include <string>

class BoardControl;
class HbInputAction;

/// Event callbacks (choose 5, confirm 6, back 7) answer 0 to refuse; the input callback's answer is
/// ignored.
using W2dMenuCallback = int32_t (*)(void* context);

class W2dMenu : public HbRoot
{
public:
    enum Event : int32_t
    {
        kChoose = 5,
        kConfirm = 6,
        kBack = 7,
    };
    enum State : int32_t
    {
        kOpening = 0,
        kClosing = 1,
        kOpen = 2,
    };
    /// The font resource of every menu text (titles and entry labels).
    static const char* const kMenuFont;

    /// An empty menu; a reference on the parent when one is given, but the parent's entries are the
    /// builder's to add to.
    explicit W2dMenu(W2dMenu* parent);
    /// Frees the list nodes, the properties and the command; releases nothing (Clear does).
    ~W2dMenu() override;

    // ---- Tree ----------------------------------------------------------------------------------------------
    /// Forwards to the parent; nothing at a root.
    virtual void Create();
    /// Hides the menu, clears and releases every entry, releases the label, the parent and the title
    /// and forgets the bar: the only way to break the tree's cycle of references. The choose callback
    /// and the command stay.
    virtual void Clear();
    /// The menu becomes the last entry (parent set, one reference), the first entry current; this menu
    /// is hidden.
    virtual void AddEntry(W2dMenu* menu);
    /// 0 when the menu is not an entry; else unparented, released and unlinked, the first entry
    /// current; 1.
    virtual int32_t RemoveEntry(W2dMenu* menu);
    virtual void RemoveAllEntries();

    // ---- Navigation ----------------------------------------------------------------------------------------
    /// With wrap-around; an empty menu is left alone.
    virtual void Next();
    virtual void Previous();
    /// Clamped to the last entry; the first entry current, then Next that many times.
    virtual void SetCurrentIndex(int32_t index);
    virtual void Show();
    /// The menu that receives input next frame: itself, a menu handing over, or null (back to the root).
    virtual W2dMenu* HandleInput();
    virtual void Hide();

    // ---- Parts ---------------------------------------------------------------------------------------------
    virtual void SetParent(W2dMenu* menu);
    virtual W2dMenu* GetParent() const;
    /// Expects an item.
    virtual void SetLabel(W2dGenericItem* item);
    /// A hidden title text in the menu font: the size, character height 0.05, the localized text,
    /// centred, grey (183, 183, 183).
    virtual void SetTitleText(const char* textId, const Vector& size);
    virtual void SetTitle(W2dGenericItem* item);
    virtual W2dGenericItem* GetLabel() const;
    virtual W2dGenericItem* GetTitle() const;
    /// Position and step reach every entry, so one call sets a whole tree; no new layout.
    virtual void SetPosition(const Vector& position);
    virtual void SetStep(const Vector& step);
    /// Kinds 5, 6 and 7; others are ignored.
    virtual void SetCallback(W2dMenuCallback callback, void* context, int32_t kind);
    virtual void SetCommand(const char* line);
    /// Stored here and passed to every entry; 0 as soon as one refuses, else 1.
    virtual int32_t SetProperty(int32_t id, W2dItemCallback callback);
    virtual int32_t SetInputCallback(W2dMenuCallback callback, void* context);
    /// Kind 5: the choose callback's answer; without one, a command's run maps to 1 when it was done
    /// and 0 when it failed or is unknown (so a successful command counts as chosen); 1 without
    /// either. Kinds 6 and 7: their callbacks' answers, 1 without. Others: 1.
    virtual int32_t Notify(int32_t kind);
    virtual int32_t HasEntries() const;
    /// The menu is one of this menu's entries.
    bool HasEntry(const W2dMenu* menu) const;
    virtual void SetDirty(int32_t flag);
    virtual W2dItemCallback GetProperty(int32_t id) const;
    /// Null for an empty menu.
    virtual W2dMenu* GetCurrentEntry() const;

    // ---- Input actions (looked up again only when the bindings change) -----------------------------------
    virtual int32_t IsNextPressed();
    virtual int32_t IsPreviousPressed();
    virtual int32_t IsChoosePressed();
    virtual int32_t IsBackPressed();

    virtual int32_t IsFirstEntry(W2dMenu* menu) const;
    virtual int32_t IsNonEmpty() const;
    virtual int32_t HasTitle() const;
    /// Nothing here; framed menus show their label.
    virtual void ShowLabel();
    /// The per-frame refresh: open at once, every entry's label placed along the step with the current
    /// entry's label given property 1 and the others property 0, each updated once. Itself.
    virtual W2dMenu* Layout();

    // ---- Not virtual -----------------------------------------------------------------------------------------
    /// Restarts the state's clock (real clock).
    void SetState(int32_t state);
    void SetActiveMenu(W2dMenu* menu) { mActiveMenu = menu; }
    /// This menu only; -1 for none.
    void SetBoardThemeId(int32_t id) { mBoardThemeId = id; }
    /// This menu and, recursively, every entry.
    void SetBoardControl(BoardControl* bar);
    /// Pushes the theme unless there is no bar, no theme, or it is pushed already. A refused push
    /// (an unregistered id) leaves it not pushed.
    void PushBoardTheme();
    /// Pops only a theme this menu pushed.
    void PopBoardTheme();

    // Inspection.
    int32_t GetState() const { return mState; }
    int64_t GetStateTime() const { return mStateTime; }
    W2dMenu* GetActiveMenu() const { return mActiveMenu; }
    int32_t IsShown() const { return mShown; }
    int32_t IsDirty() const { return mDirty; }
    int32_t IsThemePushed() const { return mThemePushed; }
    int32_t IsSoundPlayed() const { return mSoundPlayed; }
    int32_t GetEntryCount() const { return mEntries.GetCount(); }
    /// Null outside the entries.
    W2dMenu* GetEntry(int32_t index) const;
    const Vector& GetPosition() const { return mPosition; }
    const Vector& GetStep() const { return mStep; }

    int32_t mBackRequested = 0;

protected:
    /// An action handle cached with the binding generation it was found at.
    struct ActionCache
    {
        HbInputAction* action = nullptr;
        uint32_t generation = 0;
        bool looked = false;
    };
    /// The action's IsTriggered, looked up by name only when never looked up or the bindings changed;
    /// 0 while no action has the name.
    static int32_t IsActionTriggered(ActionCache& cache, const char* name);
    void SetSoundPlayed(int32_t flag) { mSoundPlayed = flag; }
    void MarkShown(int32_t flag) { mShown = flag; }
    /// The input callback, when set.
    void RunInputCallback()
    {
        if (mInputCallback)
            mInputCallback(mInputContext);
    }

private:
    std::string mCommand;
    W2dMenuCallback mChooseCallback = nullptr;
    void* mChooseContext = nullptr;
    W2dMenuCallback mBackCallback = nullptr;
    void* mBackContext = nullptr;
    W2dMenuCallback mConfirmCallback = nullptr;
    void* mConfirmContext = nullptr;
    HbIntHashMap mProperties{17, 10};
    W2dMenuCallback mInputCallback = nullptr;
    void* mInputContext = nullptr;
    W2dGenericItem* mLabel = nullptr;
    W2dMenu* mParent = nullptr;
    HbPtrList mEntries{10};
    HbPtrListNode* mCurrent = nullptr;
    int32_t mShown = 0;
    int32_t mDirty = 0;
    Vector mPosition = {0.0f, 0.0f, 0.0f};
    Vector mStep = {0.0f, 0.1f, 0.0f};
    W2dGenericItem* mTitle = nullptr;
    int32_t mState = kOpening;
    int64_t mStateTime = 0;
    W2dMenu* mActiveMenu = nullptr;
    int32_t mSoundPlayed = 0;
    BoardControl* mBoardControl = nullptr;
    int32_t mBoardThemeId = -1;
    int32_t mThemePushed = 0;
};
