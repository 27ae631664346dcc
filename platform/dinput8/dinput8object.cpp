// The DirectInput object: creation, the identifiers and data formats, device
// creation and the enumeration of game controllers.
#include "dinput8_local.h"

#include <cstdio>
#include <cstring>

const GUID IID_IDirectInput8A = {0xBF798030, 0x483A, 0x4DA2, {0xAA, 0x99, 0x5D, 0x64, 0xED, 0x36, 0x97, 0x00}};
const GUID GUID_SysMouse = {0x6F1D2B60, 0xD5A0, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID GUID_ConstantForce = {0x13541C20, 0x8E33, 0x11D0, {0x9A, 0xD0, 0x00, 0xA0, 0xC9, 0xA0, 0x6E, 0x35}};

// Object lists are not modelled: a format is known by its flags and state size.
const DIDATAFORMAT c_dfDIMouse = {
    sizeof(DIDATAFORMAT), sizeof(DIOBJECTDATAFORMAT), DIDF_RELAXIS, sizeof(DIMOUSESTATE), 0, nullptr};
const DIDATAFORMAT c_dfDIJoystick2 = {
    sizeof(DIDATAFORMAT), sizeof(DIOBJECTDATAFORMAT), DIDF_ABSAXIS, sizeof(DIJOYSTATE2), 0, nullptr};

namespace
{
// Instance identifiers of pads: the pad id in the first field, a fixed tail.
constexpr uint8_t kPadInstanceTail[8] = {'D', 'I', '8', 'P', 'A', 'D', 0, 0};

GUID ProductOf(const Dinput8Pad& pad)
{
    GUID product = {};
    product.Data1 = MAKELONG(pad.vendor, pad.product);
    const uint8_t tail[8] = {0, 0, 'P', 'I', 'D', 'V', 'I', 'D'};
    std::memcpy(product.Data4, tail, 8);
    return product;
}

class DirectInput8 final : public IDirectInput8A
{
public:
    DirectInput8() { Dinput8CountInterface(1); }

    ULONG AddRef() override { return ++mRefCount; }

    ULONG Release() override
    {
        ULONG count = --mRefCount;
        if (count == 0)
            delete this;
        return count;
    }

    HRESULT CreateDevice(REFGUID instance, LPDIRECTINPUTDEVICE8A* device, LPUNKNOWN outer) override
    {
        if (!device)
            return DIERR_INVALIDPARAM;
        *device = nullptr;
        if (outer)
            return DIERR_NOINTERFACE;
        if (Dinput8FaultSet(dinput8test::Fault::CreateDevice))
            return DIERR_OUTOFMEMORY;
        if (instance == GUID_SysMouse)
        {
            *device = new Dinput8Device(this, Dinput8Device::Kind::Mouse, 0);
            return DI_OK;
        }
        Dinput8Refresh();
        uint32_t id = Dinput8PadOfInstance(instance);
        Dinput8Pad* pad = id ? Dinput8FindPad(id) : nullptr;
        if (!pad)
            return DIERR_DEVICENOTREG;
        if (!pad->attached)
            return DIERR_UNPLUGGED;
        *device = new Dinput8Device(this, Dinput8Device::Kind::Pad, id);
        return DI_OK;
    }

    HRESULT EnumDevices(DWORD deviceClass, LPDIENUMDEVICESCALLBACKA callback, void* context, DWORD flags) override
    {
        if (!callback || deviceClass > DI8DEVCLASS_GAMECTRL)
            return DIERR_INVALIDPARAM;
        Dinput8Refresh();
        if (deviceClass == DI8DEVCLASS_ALL || deviceClass == DI8DEVCLASS_POINTER)
        {
            DIDEVICEINSTANCEA record = {};
            record.dwSize = sizeof record;
            record.guidInstance = GUID_SysMouse;
            record.guidProduct = GUID_SysMouse;
            record.dwDevType = DI8DEVTYPE_MOUSE;
            std::snprintf(record.tszInstanceName, sizeof record.tszInstanceName, "Mouse");
            std::snprintf(record.tszProductName, sizeof record.tszProductName, "Mouse");
            if (callback(&record, context) == DIENUM_STOP)
                return DI_OK;
        }
        if (deviceClass != DI8DEVCLASS_ALL && deviceClass != DI8DEVCLASS_GAMECTRL)
            return DI_OK;
        // The callback may make devices, which refreshes the list: walk by id.
        std::vector<uint32_t> ids;
        for (const auto& pad : Dinput8Pads())
            if (pad->attached || !(flags & DIEDFL_ATTACHEDONLY))
                ids.push_back(pad->id);
        for (uint32_t id : ids)
        {
            const Dinput8Pad* pad = Dinput8FindPad(id);
            if (!pad)
                continue;
            DIDEVICEINSTANCEA record = {};
            record.dwSize = sizeof record;
            record.guidInstance = Dinput8PadInstance(id);
            record.guidProduct = ProductOf(*pad);
            record.dwDevType = DI8DEVTYPE_GAMEPAD | (DI8DEVTYPEGAMEPAD_STANDARD << 8);
            std::snprintf(record.tszInstanceName, sizeof record.tszInstanceName, "%s", pad->name.c_str());
            std::snprintf(record.tszProductName, sizeof record.tszProductName, "%s", pad->name.c_str());
            if (callback(&record, context) == DIENUM_STOP)
                break;
        }
        return DI_OK;
    }

    HRESULT GetDeviceStatus(REFGUID instance) override
    {
        if (instance == GUID_SysMouse)
            return DI_OK;
        Dinput8Refresh();
        uint32_t id = Dinput8PadOfInstance(instance);
        const Dinput8Pad* pad = id ? Dinput8FindPad(id) : nullptr;
        if (!pad)
            return DIERR_DEVICENOTREG;
        return pad->attached ? DI_OK : DI_NOEFFECT;
    }

private:
    ~DirectInput8() override
    {
        Dinput8CountInterface(-1);
        Dinput8RemoveObject();
    }

    ULONG mRefCount = 1;
};
} // namespace

GUID Dinput8PadInstance(uint32_t id)
{
    GUID instance = {};
    instance.Data1 = id;
    std::memcpy(instance.Data4, kPadInstanceTail, 8);
    return instance;
}

uint32_t Dinput8PadOfInstance(REFGUID instance)
{
    if (instance.Data2 != 0 || instance.Data3 != 0 || std::memcmp(instance.Data4, kPadInstanceTail, 8) != 0)
        return 0;
    return instance.Data1;
}

HRESULT DirectInput8Create(HINSTANCE instance, DWORD version, REFGUID interfaceId, void** object, LPUNKNOWN outer)
{
    if (!object)
        return DIERR_INVALIDPARAM;
    *object = nullptr;
    if (!instance)
        return DIERR_INVALIDPARAM;
    if (version < DIRECTINPUT_VERSION)
        return DIERR_OLDDIRECTINPUTVERSION;
    if (version > DIRECTINPUT_VERSION)
        return DIERR_BETADIRECTINPUTVERSION;
    if (!(interfaceId == IID_IDirectInput8A))
        return DIERR_NOINTERFACE;
    if (outer)
        return DIERR_NOINTERFACE;
    if (Dinput8FaultSet(dinput8test::Fault::Create) || !Dinput8AddObject())
        return DIERR_GENERIC;
    *object = static_cast<IDirectInput8A*>(new DirectInput8());
    return DI_OK;
}
