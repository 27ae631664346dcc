// The menu description: the build stack and its labels, the picture helpers, the message line's
// bounded formatting and the shared menu callbacks.
#include "gamemenu.h"

#include "gameprofile.h"
#include "gamestate.h"
#include "hbclock.h"
#include "w2danimatedmenu.h"
#include "w2dgraphicchoicemenu.h"
#include "w2dgraphicmenu.h"
#include "w2dgraphicslidermenu.h"
#include "w2ditemeffect.h"
#include "w2dsurfacegraphicitem.h"
#include "w2dtextgraphicitem.h"

#include <cstdio>
#include <vector>

namespace
{
// The label look of every entry, sub-menu, choice and slider.
constexpr int32_t kLabelPriority = 100;
constexpr float kLabelCharHeight = 0.05f;
constexpr Rgba kLabelColour = {183, 183, 183, 255};
constexpr double kPulseHalfPeriod = 0.77;
constexpr float kPulseMinimum = 0.87f;

constexpr Rgba kHighlight = {255, 255, 255, 255};
constexpr Rgba kDim = {200, 200, 200, 80};
constexpr Rgba kCircularOff = {150, 150, 150, 150};

// The description in progress: the root, the menus pushed on it (each sub-menu with one
// reference of the stack's) and the layout of the labels.
struct Build
{
    W2dMenu* root = nullptr;
    std::vector<W2dMenu*> stack;
    Vector layout = {0.0f, 0.0f, 0.0f};
};

Build& Current()
{
    static Build build;
    return build;
}

/// A text label in the menu look, hidden, with one reference for the caller.
W2dTextGraphicItem* MakeText(const std::string& text, bool pulse)
{
    auto* item = new W2dTextGraphicItem(W2dMenu::kMenuFont, nullptr);
    if (!item)
        return nullptr;
    item->AddRef();
    item->SetPriority(kLabelPriority);
    item->Create();
    const Vector& layout = Current().layout;
    item->SetSize({layout.x, layout.y, layout.z});
    item->SetCharHeight(kLabelCharHeight);
    item->SetJustify(0);
    item->SetColour(kLabelColour);
    item->SetText(text.c_str());
    item->Hide();
    if (pulse)
    {
        const auto halfPeriod = int64_t(double(HbPerformanceFrequency()) * kPulseHalfPeriod);
        if (auto* effect = new W2dTextPulseEffect(halfPeriod, kPulseMinimum, item))
            item->AddEffect(effect);
    }
    return item;
}

/// Gives the menu its label; the item's creation reference goes.
void Label(W2dMenu* menu, const std::string& text)
{
    if (W2dTextGraphicItem* label = MakeText(text, true))
    {
        menu->SetLabel(label);
        label->HbRoot::Release();
    }
}

/// Appends the new menu to the current one; the caller's creation reference goes, the current
/// menu's entry list holds it.
template <class Menu> Menu* Append(Menu* menu)
{
    W2dMenu* current = MenuBuildCurrent();
    current->AddEntry(menu);
    menu->Release();
    return menu;
}

W2dGraphicMenu* AddEntry(const std::string& label, W2dMenuCallback onChoose, void* argument)
{
    W2dMenu* current = MenuBuildCurrent();
    if (!current)
        return nullptr;
    auto* entry = new W2dGraphicMenu(current);
    if (!entry)
        return nullptr;
    entry->AddRef();
    Label(entry, label);
    entry->SetCallback(onChoose, argument, W2dMenu::kChoose);
    return Append(entry);
}

int32_t PushSubMenu(const std::string& label)
{
    W2dMenu* current = MenuBuildCurrent();
    if (!current)
        return 0;
    auto* menu = new W2dGraphicMenu(current);
    if (!menu)
        return 0;
    menu->AddRef();
    Label(menu, label);
    current->AddEntry(menu);
    Current().stack.push_back(menu);
    return 1;
}

W2dGraphicMenu* AddSlider(const std::string& label, const Vector& valueLayout, float* value, W2dMenuCallback onChange,
                          void* argument, float minimum, float maximum, float step)
{
    W2dMenu* current = MenuBuildCurrent();
    if (!current)
        return nullptr;
    auto* slider = new W2dGraphicSliderMenu(current);
    if (!slider)
        return nullptr;
    slider->AddRef();
    Label(slider, label);
    slider->SetGaugeWidth(valueLayout);
    slider->SetValuePointer(value);
    slider->SetRange(minimum, maximum, step);
    slider->SetCallback(onChange, argument, W2dMenu::kChoose);
    return Append(slider);
}

W2dGraphicMenu* AddChoice(const std::string& label, const char* const* values, int32_t count, const Vector& valueLayout,
                          int32_t* index, W2dMenuCallback onChoose, void* chooseArgument, W2dMenuCallback onChange,
                          void* changeArgument)
{
    W2dMenu* current = MenuBuildCurrent();
    if (!current)
        return nullptr;
    auto* choice = new W2dGraphicChoiceMenu(current);
    if (!choice)
        return nullptr;
    choice->AddRef();
    Label(choice, label);
    for (int32_t i = 0; values && i < count; ++i)
        if (W2dTextGraphicItem* item = MakeText(values[i] ? values[i] : "", false))
        {
            choice->AddChoice(item);
            item->HbRoot::Release();
        }
    choice->SetValuePlacement(valueLayout);
    choice->SetValuePointer(index);
    choice->SetChooseCallback(onChoose, chooseArgument);
    choice->SetCallback(onChange, changeArgument, W2dMenu::kChoose);
    return Append(choice);
}

/// Appends the decimal value of the integer.
void AppendInt(std::string& out, int32_t value)
{
    char digits[16];
    std::snprintf(digits, sizeof(digits), "%d", value);
    out += digits;
}
} // namespace

// ---- The builder ----------------------------------------------------------------------------------

void MenuBuildBegin(W2dMenu* root, const Vector& layout)
{
    Build& build = Current();
    build.layout = layout;
    build.root = root;
    build.stack.clear();
    if (root)
        build.stack.push_back(root);
}

void MenuBuildEnd()
{
    Build& build = Current();
    // A description that forgot a pop must not keep its sub-menus alive for ever.
    for (size_t i = build.stack.size(); i > 1; --i)
        build.stack[i - 1]->Release();
    build.stack.clear();
    build.root = nullptr;
}

W2dMenu* MenuBuildCurrent()
{
    const Build& build = Current();
    return build.stack.empty() ? nullptr : build.stack.back();
}

int32_t MenuBuildPushSubMenu(const char* label)
{
    return PushSubMenu(label ? label : "");
}

int32_t MenuBuildPop()
{
    Build& build = Current();
    // The root is not the stack's to release.
    if (build.stack.size() < 2)
        return 0;
    W2dMenu* top = build.stack.back();
    build.stack.pop_back();
    top->Release();
    return 1;
}

int32_t MenuAddSubMenu(const char* textId, int32_t themeId, const char* titleTextId, W2dItemCallback onOpen)
{
    if (!PushSubMenu(GetLocalizedText(textId)))
        return 0;
    W2dMenu* menu = MenuBuildCurrent();
    const char* title = titleTextId && *titleTextId ? titleTextId : textId;
    const Vector& layout = Current().layout;
    menu->SetTitleText(title, {layout.x, layout.y, layout.z});
    menu->SetBoardThemeId(themeId);
    if (onOpen)
        menu->SetProperty(4, onOpen);
    return 1;
}

int32_t MenuAddNamedSubMenu(const char* label, int32_t themeId, W2dItemCallback onOpen)
{
    if (!PushSubMenu(label ? label : ""))
        return 0;
    W2dMenu* menu = MenuBuildCurrent();
    menu->SetBoardThemeId(themeId);
    if (onOpen)
        menu->SetProperty(4, onOpen);
    return 1;
}

W2dGraphicMenu* MenuAddEntry(const char* textId, W2dMenuCallback onChoose, void* argument)
{
    return AddEntry(GetLocalizedText(textId), onChoose, argument);
}

W2dGraphicMenu* MenuAddNamedEntry(const char* label, W2dMenuCallback onChoose, void* argument)
{
    return AddEntry(label ? label : "", onChoose, argument);
}

W2dGraphicMenu* MenuAddSlider(const char* textId, const Vector& valueLayout, float* value, W2dMenuCallback onChange,
                              void* changeArgument, float minimum, float maximum, float step)
{
    return AddSlider(GetLocalizedText(textId), valueLayout, value, onChange, changeArgument, minimum, maximum, step);
}

W2dGraphicMenu* MenuAddNamedSlider(const char* label, const Vector& valueLayout, float* value, W2dMenuCallback onChange,
                                   void* changeArgument, float minimum, float maximum, float step)
{
    return AddSlider(label ? label : "", valueLayout, value, onChange, changeArgument, minimum, maximum, step);
}

W2dGraphicMenu* MenuAddChoice(const char* textId, const char* const* values, int32_t valueCount,
                              const Vector& valueLayout, int32_t* index, W2dMenuCallback onChoose, void* chooseArgument,
                              W2dMenuCallback onChange, void* changeArgument)
{
    return AddChoice(GetLocalizedText(textId), values, valueCount, valueLayout, index, onChoose, chooseArgument,
                     onChange, changeArgument);
}

W2dGraphicMenu* MenuAddNamedChoice(const char* label, const char* const* values, int32_t valueCount,
                                   const Vector& valueLayout, int32_t* index, W2dMenuCallback onChoose,
                                   void* chooseArgument, W2dMenuCallback onChange, void* changeArgument)
{
    return AddChoice(label ? label : "", values, valueCount, valueLayout, index, onChoose, chooseArgument, onChange,
                     changeArgument);
}

// ---- Pictures -------------------------------------------------------------------------------------

W2dAnimatedMenu* MenuCreateCircularItem(W2dMenu* parent, const char* textureId, float width, W2dMenuCallback onChoose,
                                        void* argument, W2dItemCallback onFocus)
{
    if (!parent)
        return nullptr;
    auto* entry = new W2dAnimatedMenu(parent);
    if (!entry)
        return nullptr;
    entry->AddRef();
    if (auto* picture = new W2dPictureItem(textureId, -1.0f, nullptr))
    {
        picture->AddRef();
        picture->Create();
        // Square until the texture tells its shape: a missing texture must not fill the screen.
        picture->SetSize({width, width, 0.0f});
        picture->SetWidth(width);
        // The wheel shows its labels once it has laid them out.
        picture->Hide();
        entry->SetLabel(picture);
        picture->HbRoot::Release();
    }
    entry->SetCallback(onChoose, argument, W2dMenu::kChoose);
    entry->SetProperty(1, onFocus);
    entry->SetProperty(3, CircularItemFocusOff);
    parent->AddEntry(entry);
    // The wheel lays its entries' labels out with its own properties.
    parent->SetProperty(1, onFocus);
    parent->SetProperty(3, CircularItemFocusOff);
    entry->Release();
    return entry;
}

int32_t MenuCreateFullScreenPicture(W2dBlendedPictureItem** out, const char* textureId)
{
    if (!out)
        return 0;
    auto* picture = new W2dBlendedPictureItem(textureId, -1.0f, nullptr);
    *out = picture;
    if (!picture)
        return 0;
    picture->AddRef();
    picture->SetPriority(-100);
    picture->Create();
    picture->SetSize({1.0f, 1.0f, 0.0f});
    picture->SetPosition({0.0f, 0.0f, 0.0f});
    picture->Show();
    return 1;
}

// ---- The message line -----------------------------------------------------------------------------

std::string MessageFormat(const std::string& format, int32_t valueCount, int32_t first, int32_t second,
                          const char* third)
{
    // The only series a message may ask for, in this order.
    static const char kExpected[3] = {'d', 'd', 's'};
    std::string out;
    int32_t used = 0;
    for (size_t i = 0; i < format.size(); ++i)
    {
        if (format[i] != '%')
        {
            out += format[i];
            continue;
        }
        if (i + 1 < format.size() && format[i + 1] == '%')
        {
            out += '%';
            ++i;
            continue;
        }
        if (i + 1 >= format.size() || used >= 3 || used >= valueCount || format[i + 1] != kExpected[used])
            return format;
        switch (used)
        {
        case 0:
            AppendInt(out, first);
            break;
        case 1:
            AppendInt(out, second);
            break;
        default:
            out += third ? third : "";
            break;
        }
        ++used;
        ++i;
    }
    return out;
}

void MessageBoxShow(W2dTextGraphicItem* item, const char* textId, int32_t valueCount, int32_t first, int32_t second,
                    const char* third)
{
    if (!item || !item->GetSurface())
        return;
    item->SetText(MessageFormat(GetLocalizedText(textId), valueCount, first, second, third).c_str());
}

void MessageBoxClear(W2dTextGraphicItem* item)
{
    if (item)
        item->SetText(" ");
}

// ---- Shared callbacks -----------------------------------------------------------------------------

int32_t MenuOnConfirmNo(void* page)
{
    auto* menu = static_cast<W2dMenu*>(page);
    if (!menu)
        return 1;
    menu->SetState(W2dMenu::kClosing);
    if (W2dMenu* parent = menu->GetParent())
    {
        parent->SetDirty(1);
        menu->SetActiveMenu(parent);
    }
    return 1;
}

int32_t MenuOnQuitGame(void* state)
{
    auto* owner = static_cast<GameState*>(state);
    if (owner && owner->GetProfile())
        owner->GetProfile()->quitRequest = 1;
    return 0;
}

void MenuEntryHighlight(W2dGenericItem* label)
{
    if (!label)
        return;
    label->SetColour(kHighlight);
    label->StartEffects();
}

void MenuEntryDim(W2dGenericItem* label)
{
    if (!label)
        return;
    label->SetColour(kDim);
    label->RestartEffects();
    label->StopEffects();
}

void CircularItemFocusOn(W2dGenericItem* item)
{
    if (item)
        item->SetColour(kHighlight);
}

void CircularItemFocusOff(W2dGenericItem* item)
{
    if (item)
        item->SetColour(kCircularOff);
}

void MenuFocusOn(W2dGenericItem* label)
{
    if (!label)
        return;
    label->SetColour(kHighlight);
    label->StartEffects();
}

void MenuFocusOff(W2dGenericItem* label)
{
    if (!label)
        return;
    label->SetColour(kDim);
    label->StopEffects();
}

int32_t MenuOnRestartSector(void* state)
{
    auto* owner = static_cast<GameState*>(state);
    GameProfile* profile = owner ? owner->GetProfile() : nullptr;
    if (!profile)
        return 0;
    profile->loadRequest = 1;
    profile->stageEntered = 0;
    const std::string sector = profile->sectorId;
    profile->RequestStage(sector.c_str(), "");
    return 0;
}
