// The front end's menu description: a stack of menus being described, onto which sub-menus are
// pushed and popped while entries, sliders and choices go to the menu on top, all with the
// game's label look; the circular-menu entry, full-screen picture and held-item release helpers;
// the message line's texts; and the callbacks the front end's framed menus share.
#pragma once

#include "vector.h"
#include "w2dmenu.h"

#include <cstdint>
#include <string>

class W2dAnimatedMenu;
class W2dBlendedPictureItem;
class W2dGraphicMenu;
class W2dTextGraphicItem;

// ---- The builder ----------------------------------------------------------------------------------
// Text ids are localized; the "Named" variants take a plain text. The layout record {width,
// height, third value} given to MenuBuildBegin sizes every label made until the next one.

/// Stores the layout, makes the root the build root and puts it on the stack (no reference).
void MenuBuildBegin(W2dMenu* root, const Vector& layout);
/// Empties the stack (dropping the references of sub-menus left pushed) and forgets the root.
void MenuBuildEnd();
/// The menu on top of the stack, or null outside a description.
W2dMenu* MenuBuildCurrent();
/// A framed sub-menu labelled with the plain text under the current menu, pushed with one
/// reference of the stack's; 1, or 0 without a current menu or when out of memory.
int32_t MenuBuildPushSubMenu(const char* label);
/// Drops the top menu's reference and pops it; 1 (0 on an empty stack or at the root).
int32_t MenuBuildPop();

/// Pushes a sub-menu labelled with the text, titled with the title text id (the same text id
/// when the title is empty), with its key-hint theme (-1 none) and, when given, the callback
/// run as it opens (property 4); 0 when the sub-menu could not be made, else 1.
int32_t MenuAddSubMenu(const char* textId, int32_t themeId, const char* titleTextId, W2dItemCallback onOpen);
/// The same with a plain label and no title.
int32_t MenuAddNamedSubMenu(const char* label, int32_t themeId, W2dItemCallback onOpen);
/// An entry whose choice runs the callback with the argument. The entry (the current menu holds
/// it), or null.
W2dGraphicMenu* MenuAddEntry(const char* textId, W2dMenuCallback onChoose, void* argument);
W2dGraphicMenu* MenuAddNamedEntry(const char* label, W2dMenuCallback onChoose, void* argument);
/// A slider editing the float between the bounds by the step; every change runs the callback.
/// Its gauge is sized by the value layout.
W2dGraphicMenu* MenuAddSlider(const char* textId, const Vector& valueLayout, float* value, W2dMenuCallback onChange,
                              void* changeArgument, float minimum, float maximum, float step);
W2dGraphicMenu* MenuAddNamedSlider(const char* label, const Vector& valueLayout, float* value, W2dMenuCallback onChange,
                                   void* changeArgument, float minimum, float maximum, float step);
/// A choice of one of the plain value texts for the index; the choose callback runs on a choice
/// press, the change callback on every value press.
W2dGraphicMenu* MenuAddChoice(const char* textId, const char* const* values, int32_t valueCount,
                              const Vector& valueLayout, int32_t* index, W2dMenuCallback onChoose, void* chooseArgument,
                              W2dMenuCallback onChange, void* changeArgument);
W2dGraphicMenu* MenuAddNamedChoice(const char* label, const char* const* values, int32_t valueCount,
                                   const Vector& valueLayout, int32_t* index, W2dMenuCallback onChoose,
                                   void* chooseArgument, W2dMenuCallback onChange, void* changeArgument);

// ---- Pictures -------------------------------------------------------------------------------------

/// An entry of a circular menu whose label is the picture (its height follows the texture's
/// aspect), appended to the parent; choosing it runs the callback; the focus callback lights it
/// and CircularItemFocusOff dims the others. The entry, or null.
W2dAnimatedMenu* MenuCreateCircularItem(W2dMenu* parent, const char* textureId, float width, W2dMenuCallback onChoose,
                                        void* argument, W2dItemCallback onFocus);
/// Takes a held item off the screen and drops the slot's reference, the slot cleared first: a
/// second call does nothing.
template <class Item> void MenuReleaseItem(Item*& slot)
{
    Item* held = slot;
    if (!held)
        return;
    slot = nullptr;
    held->Release();
    held->HbRoot::Release();
}
/// A menu background: a picture under every other item, covering the screen, created and shown,
/// with one reference for the caller in *out; 1, or 0 (and null) when out of memory.
int32_t MenuCreateFullScreenPicture(W2dBlendedPictureItem** out, const char* textureId);

// ---- The message line -----------------------------------------------------------------------------

/// The localized text made the item's text, its specifiers filled with the values given (at most
/// two integers and a text, in that order). Nothing when the item has no text surface.
void MessageBoxShow(W2dTextGraphicItem* item, const char* textId, int32_t valueCount = 0, int32_t first = 0,
                    int32_t second = 0, const char* third = nullptr);
/// The item's text becomes a single blank.
void MessageBoxClear(W2dTextGraphicItem* item);
/// The formatting of MessageBoxShow. A text from the language files may only ask for "%d", "%d"
/// and "%s" in that order, and no more values than were given ("%%" is a percent sign); any other
/// text is returned as it stands.
std::string MessageFormat(const std::string& format, int32_t valueCount, int32_t first, int32_t second,
                          const char* third);

// ---- Shared callbacks -----------------------------------------------------------------------------

/// The no entry of a confirmation page (context: the page): the page closes and hands input
/// back to its parent, which lays itself out again; 1.
int32_t MenuOnConfirmNo(void* page);
/// The yes entry of the quit page (context: a state): raises its profile's quit request; 0.
int32_t MenuOnQuitGame(void* state);
/// The current entry's label of a framed menu: white, its effects running.
void MenuEntryHighlight(W2dGenericItem* label);
/// The other entries' labels: dimmed, their effects back at their start and stopped.
void MenuEntryDim(W2dGenericItem* label);
/// A circular menu's entries: the focused one white, the others grey.
void CircularItemFocusOn(W2dGenericItem* item);
void CircularItemFocusOff(W2dGenericItem* item);
/// The in-play menus' entries (pause, game over): the current one white with its effects
/// running, the others dimmed with their effects stopped where they are.
void MenuFocusOn(W2dGenericItem* label);
void MenuFocusOff(W2dGenericItem* label);
/// Plays the profile's own sector again from its last checkpoint (context: a state): the load
/// request raised, the stage not yet entered, the stage requested with no start mark; 0.
int32_t MenuOnRestartSector(void* state);
