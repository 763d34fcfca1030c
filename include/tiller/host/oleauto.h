// OLE Automation stand-ins of the host: variants, safe arrays and wide strings, with the
// Windows type codes. Custom properties and notification parameters travel in these.
//
// Ownership: a BSTR from SysAllocString is freed with SysFreeString; a VARIANT holding a
// BSTR owns it and releases it in VariantClear; SafeArrayDestroy releases the array and
// every element it owns (BSTRs of a VT_BSTR array, the contents of a VT_VARIANT array).
#ifndef TILLER_HOST_OLEAUTO_H
#define TILLER_HOST_OLEAUTO_H

#include <cstdint>

#define KORVEX_API extern "C" __attribute__((visibility("default")))

typedef wchar_t* BSTR;
typedef uint16_t VARTYPE;
typedef int32_t HRESULT;

enum : VARTYPE {
    VT_EMPTY = 0,
    VT_I4 = 3,
    VT_R8 = 5,
    VT_BSTR = 8,
    VT_VARIANT = 12,
    VT_UI4 = 19,
    VT_VOID = 24,
    VT_BYREF = 0x4000,
};

enum : HRESULT { S_OK = 0, E_INVALIDARG = -2147024809, DISP_E_BADINDEX = -2147352565 };

// 24 bytes, as on 64-bit Windows: the type, three reserved words and a 16-byte value.
struct VARIANT {
    VARTYPE vt;
    uint16_t wReserved1;
    uint16_t wReserved2;
    uint16_t wReserved3;
    union {
        int32_t lVal;   // VT_I4
        uint32_t ulVal; // VT_UI4
        double dblVal;  // VT_R8
        BSTR bstrVal;   // VT_BSTR, owned
        void* byref;    // VT_BYREF | VT_VOID
        uint8_t raw[16];
    };
};
static_assert(sizeof(VARIANT) == 24, "VARIANT must keep the host's layout");

// A one-dimensional array of BSTRs (vt VT_BSTR) or VARIANTs (vt VT_VARIANT), lower bound 0.
struct SAFEARRAY {
    VARTYPE vt;
    uint32_t count;
    void* data;
};

KORVEX_API BSTR SysAllocString(const wchar_t* text);
KORVEX_API void SysFreeString(BSTR text);
KORVEX_API void VariantInit(VARIANT* v);
KORVEX_API HRESULT VariantClear(VARIANT* v);
KORVEX_API HRESULT VariantCopy(VARIANT* dst, const VARIANT* src);
// Copies element `index` into `out`: a new BSTR (BSTR arrays) or a VariantCopy (VARIANT arrays).
KORVEX_API HRESULT SafeArrayGetElement(SAFEARRAY* array, const int32_t* index, void* out);
KORVEX_API HRESULT SafeArrayDestroy(SAFEARRAY* array);

#endif
