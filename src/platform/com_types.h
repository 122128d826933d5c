// Status codes in the platform's HRESULT form, shared by the automation
// stand-in and the download stand-in.
#pragma once

#include <cstdint>

namespace leafstash {

using HRESULT = std::int32_t;

constexpr HRESULT MakeHResult(std::uint32_t Bits) { return static_cast<HRESULT>(Bits); }

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_FAIL = MakeHResult(0x80004005u);

// Automation (late-bound dispatch) failures.
constexpr HRESULT DISP_E_UNKNOWNNAME = MakeHResult(0x80020006u);
constexpr HRESULT DISP_E_MEMBERNOTFOUND = MakeHResult(0x80020003u);
constexpr HRESULT DISP_E_TYPEMISMATCH = MakeHResult(0x80020005u);
constexpr HRESULT DISP_E_BADINDEX = MakeHResult(0x8002000Bu);
constexpr HRESULT DISP_E_BADPARAMCOUNT = MakeHResult(0x8002000Eu);

constexpr bool SUCCEEDED(HRESULT Status) { return Status >= 0; }
constexpr bool FAILED(HRESULT Status) { return Status < 0; }

}  // namespace leafstash
