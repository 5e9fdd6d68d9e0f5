#include "com.h"

#include <cstdio>

namespace velmora {

std::string Guid::toString() const {
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  unsigned(data1), unsigned(data2), unsigned(data3), data4[0], data4[1], data4[2],
                  data4[3], data4[4], data4[5], data4[6], data4[7]);
    return text;
}

namespace {

const char* systemText(HRESULT hr) {
    switch (hr) {
    case E_NOTIMPL:
        return "Not implemented";
    case E_NOINTERFACE:
        return "No such interface supported";
    case E_POINTER:
        return "Invalid pointer";
    case E_ABORT:
        return "Operation aborted";
    case E_FAIL:
        return "Unspecified error";
    case E_UNEXPECTED:
        return "Catastrophic failure";
    case E_ACCESSDENIED:
        return "Access is denied.";
    case E_OUTOFMEMORY:
        return "Not enough memory resources are available to complete this operation.";
    case E_INVALIDARG:
        return "The parameter is incorrect.";
    case REGDB_E_CLASSNOTREG:
        return "Class not registered";
    default:
        return nullptr;
    }
}

} // namespace

std::string ErrorMessageText(HRESULT hr) {
    if (const char* text = systemText(hr))
        return text;
    const auto code = static_cast<std::uint32_t>(hr);
    char text[64];
    if (code > 0x80040200u && code <= 0x8004FFFFu)
        std::snprintf(text, sizeof text, "IDispatch error #%d", int((code & 0xFFFFu) - 0x200u));
    else
        std::snprintf(text, sizeof text, "Unknown error 0x%0lX", static_cast<unsigned long>(code));
    return text;
}

} // namespace velmora
