// The text resource and the 8-bit to UTF-16 widening.
#include "hbtext.h"

#include "hbfile.h"
#include "hbresource.h"

#include <cstring>

HB_DEFINE_CLASS_DESC(HbText, HbRoot);
HB_QUEUE_CLASS_ID(12296, "src\\hbtext");
HB_REGISTER_RESOURCE_TYPE(HbText, "TXT");
HB_DEFINE_CLASS_POOL(HbText, "HbText", 400);

int HbText::Load(HbStream*, const char* name)
{
    mText.clear();
    HbResourceManager* manager = HbResourceManager::Instance();
    if (!manager)
        return 1;
    std::string path = manager->GetPath(name);
    HbFile* file = path.empty() ? nullptr : HbFileOpen(path.c_str(), "rt");
    if (!file)
        return 1;
    std::string bytes;
    char block[2048];
    size_t got = 0;
    while ((got = HbFileRead(block, 1, sizeof(block), file)) > 0)
        bytes.append(block, got);
    HbFileClose(file);

    size_t length = std::strlen(bytes.c_str());
    if (length > 0 && bytes[length - 1] == '\n')
        --length;
    if (length > 0 && bytes[length - 1] == '\r')
        --length;
    mText.assign(bytes, 0, length);
    return 1;
}

const char16_t* HbAsciiToWide(const char* text)
{
    static std::u16string sWide;
    sWide.clear();
    if (text)
        for (const char* p = text; *p; ++p)
            sWide.push_back(static_cast<char16_t>(static_cast<unsigned char>(*p)));
    return sWide.c_str();
}
