// HbText, the text resource (type key TXT) that the front end's menus and
// messages read, and the widening of 8-bit text to UTF-16.
#pragma once

#include "hbperclassfreelist.h"
#include "hbroot.h"

#include <string>

/// A whole text file. Shared: every request hands out the same object.
class HbText : public HbRoot
{
    HB_DECLARE_CLASS_POOL();
    HB_DECLARE_CLASS_DESC();

public:
    HbText() = default;
    ~HbText() override = default;

    /// Ignores the stream and reads the identifier's current path (opened "rt"
    /// through the file layer) whole, whatever its size. The text ends at the
    /// first zero byte, and one line end at its end (LF, CR LF or CR) is
    /// dropped. Always 1: a file that cannot be opened leaves the text empty.
    int Load(HbStream* stream, const char* name) override;
    std::string GetTypeKey() const override { return "TXT"; }
    int IsShared() const override { return 1; }

    virtual const std::string& GetText() const { return mText; }

private:
    std::string mText;
};

/// Each byte becomes one 16-bit unit of the same value (0x80 to 0xFF included),
/// followed by a zero unit. One shared buffer that the next call overwrites.
const char16_t* HbAsciiToWide(const char* text);
