#pragma once

// The component model the program talks to its outside components through:
// interface ids, result codes, COM errors, flags and interface queries.

#include <compare>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>

namespace velmora {

using HRESULT = std::int32_t;

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
constexpr HRESULT E_ABORT = static_cast<HRESULT>(0x80004004u);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);
constexpr HRESULT E_ACCESSDENIED = static_cast<HRESULT>(0x80070005u);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);

constexpr bool FAILED(HRESULT hr) {
    return hr < 0;
}
constexpr bool SUCCEEDED(HRESULT hr) {
    return hr >= 0;
}

// A class or interface id, written as {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}.
struct Guid {
    std::uint32_t data1 = 0;
    std::uint16_t data2 = 0;
    std::uint16_t data3 = 0;
    std::uint8_t data4[8] = {};

    auto operator<=>(const Guid&) const = default;
    std::string toString() const;
};

// A flag crosses the component boundary as a VARIANT_BOOL, which counts as
// true only when it is exactly -1.
using VariantBool = std::int16_t;
constexpr VariantBool VARIANT_TRUE = -1;
constexpr VariantBool VARIANT_FALSE = 0;
constexpr bool IsTrue(VariantBool flag) {
    return flag == VARIANT_TRUE;
}
constexpr VariantBool ToVariantBool(bool value) {
    return value ? VARIANT_TRUE : VARIANT_FALSE;
}

// The text the system gives for a result code, as a COM error's message.
std::string ErrorMessageText(HRESULT hr);

// A failed call on a component: the result code and the interface called.
// The readable text of a proxy failure is not in it but in the proxy's last
// error text (components/proxy/service_http.h tells the whole way).
class ComError : public std::exception {
public:
    ComError(HRESULT hr, const Guid& iid) : hr_(hr), iid_(iid), message_(ErrorMessageText(hr)) {}

    HRESULT hr() const { return hr_; }
    const Guid& iid() const { return iid_; }
    const std::string& message() const { return message_; }
    const char* what() const noexcept override { return message_.c_str(); }

private:
    HRESULT hr_;
    Guid iid_;
    std::string message_;
};

// The root of every component object. Objects are held by shared_ptr, which
// stands for the reference count.
class IComObject {
public:
    virtual ~IComObject() = default;
};

using ComPtr = std::shared_ptr<IComObject>;

// The query for an interface: null when the object does not offer it (the
// E_NOINTERFACE answer) or when there is no object.
template <class Interface> std::shared_ptr<Interface> QueryInterface(const ComPtr& object) {
    return std::dynamic_pointer_cast<Interface>(object);
}

} // namespace velmora
