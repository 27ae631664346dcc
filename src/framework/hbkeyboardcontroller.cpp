// The keyboard controller and its key names.
#include "hbkeyboardcontroller.h"

#include "win32keyboard.h"

#include <string>

HB_DEFINE_CLASS_DESC(HbKeyboardController, HbController);

namespace
{
struct KeyName
{
    const char* name;
    int32_t code;
};

// The named keys; digits, letters, the numeric pad and the function keys are
// added by range below.
constexpr KeyName kKeyNames[] = {
    {"VK_CANCEL", VK_CANCEL},
    {"VK_BACK", VK_BACK},
    {"VK_TAB", VK_TAB},
    {"VK_CLEAR", VK_CLEAR},
    {"VK_RETURN", VK_RETURN},
    {"VK_SHIFT", VK_SHIFT},
    {"VK_CONTROL", VK_CONTROL},
    {"VK_MENU", VK_MENU},
    {"VK_PAUSE", VK_PAUSE},
    {"VK_CAPITAL", VK_CAPITAL},
    {"VK_KANA", VK_KANA},
    {"VK_HANGEUL", VK_HANGEUL},
    {"VK_HANGUL", VK_HANGUL},
    {"VK_JUNJA", VK_JUNJA},
    {"VK_FINAL", VK_FINAL},
    {"VK_HANJA", VK_HANJA},
    {"VK_KANJI", VK_KANJI},
    {"VK_ESCAPE", VK_ESCAPE},
    {"VK_CONVERT", VK_CONVERT},
    {"VK_NONCONVERT", VK_NONCONVERT},
    {"VK_ACCEPT", VK_ACCEPT},
    {"VK_MODECHANGE", VK_MODECHANGE},
    {"VK_SPACE", VK_SPACE},
    {"VK_PRIOR", VK_PRIOR},
    {"VK_NEXT", VK_NEXT},
    {"VK_END", VK_END},
    {"VK_HOME", VK_HOME},
    {"VK_LEFT", VK_LEFT},
    {"VK_UP", VK_UP},
    {"VK_RIGHT", VK_RIGHT},
    {"VK_DOWN", VK_DOWN},
    {"VK_SELECT", VK_SELECT},
    {"VK_PRINT", VK_PRINT},
    {"VK_EXECUTE", VK_EXECUTE},
    {"VK_SNAPSHOT", VK_SNAPSHOT},
    {"VK_INSERT", VK_INSERT},
    {"VK_DELETE", VK_DELETE},
    {"VK_HELP", VK_HELP},
    {"VK_LWIN", VK_LWIN},
    {"VK_RWIN", VK_RWIN},
    {"VK_APPS", VK_APPS},
    {"VK_MULTIPLY", VK_MULTIPLY},
    {"VK_ADD", VK_ADD},
    {"VK_SEPARATOR", VK_SEPARATOR},
    {"VK_SUBTRACT", VK_SUBTRACT},
    {"VK_DECIMAL", VK_DECIMAL},
    {"VK_DIVIDE", VK_DIVIDE},
    {"VK_NUMLOCK", VK_NUMLOCK},
    {"VK_SCROLL", VK_SCROLL},
    {"VK_LSHIFT", VK_LSHIFT},
    {"VK_RSHIFT", VK_RSHIFT},
    {"VK_LCONTROL", VK_LCONTROL},
    {"VK_RCONTROL", VK_RCONTROL},
    {"VK_LMENU", VK_LMENU},
    {"VK_RMENU", VK_RMENU},
    {"VK_PROCESSKEY", VK_PROCESSKEY},
    {"VK_ATTN", VK_ATTN},
    {"VK_CRSEL", VK_CRSEL},
    {"VK_EXSEL", VK_EXSEL},
    {"VK_EREOF", VK_EREOF},
    {"VK_PLAY", VK_PLAY},
    {"VK_ZOOM", VK_ZOOM},
    {"VK_NONAME", VK_NONAME},
    {"VK_PA1", VK_PA1},
    {"VK_OEM_CLEAR", VK_OEM_CLEAR},
};
} // namespace

HbKeyboardController::HbKeyboardController() : HbController(kHbControllerKeyboard, "Keyboard")
{
    InitKeyNames();
}

int HbKeyboardController::Update()
{
    if (!CheckConnection())
        return 0;
    Dispatch(1);
    return 1;
}

void HbKeyboardController::InitKeyNames()
{
    for (const KeyName& key : kKeyNames)
        AddKeyName(key.name, key.code);
    for (char c = '0'; c <= '9'; ++c)
        AddKeyName((std::string("VK_") + c).c_str(), c);
    for (char c = 'A'; c <= 'Z'; ++c)
        AddKeyName((std::string("VK_") + c).c_str(), c);
    for (int i = 0; i <= 9; ++i)
        AddKeyName(("VK_NUMPAD" + std::to_string(i)).c_str(), VK_NUMPAD0 + i);
    for (int i = 1; i <= 12; ++i)
        AddKeyName(("VK_F" + std::to_string(i)).c_str(), VK_F1 + i - 1);
}
