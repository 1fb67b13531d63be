// The interface of the test server's one class.
#pragma once

#include "platform/com/Unknown.h"

// {6C0D7E52-3B1A-4F5E-9A21-0E4B7D8C1F01}
inline constexpr CLSID CLSID_KvTestCounter = {0x6C0D7E52, 0x3B1A, 0x4F5E, {0x9A, 0x21, 0x0E, 0x4B, 0x7D, 0x8C, 0x1F, 0x01}};
// {6C0D7E52-3B1A-4F5E-9A21-0E4B7D8C1F02}
inline constexpr IID IID_ICounter = {0x6C0D7E52, 0x3B1A, 0x4F5E, {0x9A, 0x21, 0x0E, 0x4B, 0x7D, 0x8C, 0x1F, 0x02}};

struct ICounter : IUnknown {
    STDMETHOD(Add)(LONG amount) PURE;
    STDMETHOD_(LONG, Total)() PURE;
};
