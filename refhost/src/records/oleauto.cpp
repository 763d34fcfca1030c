// OLE Automation stand-ins: counted wide strings, variants and one-dimensional safe arrays of
// BSTRs or VARIANTs. Element storage belongs to the array record; the BSTRs an array or a
// variant holds are records of their own.
#include "records.h"

#include <cstring>
#include <cwchar>
#include <new>

namespace {

constexpr HRESULT OutOfMemory = static_cast<HRESULT>(0x8007000E);

bool holdsArrayKind(VARTYPE vt) {
    return vt == VT_BSTR || vt == VT_VARIANT;
}

BSTR* bstrElements(SAFEARRAY* array) {
    return static_cast<BSTR*>(array->data);
}
VARIANT* variantElements(SAFEARRAY* array) {
    return static_cast<VARIANT*>(array->data);
}

bool isValidIndex(const SAFEARRAY* array, const int32_t* index) {
    return index && *index >= 0 && static_cast<uint32_t>(*index) < array->count;
}

void releaseElements(SAFEARRAY* array) {
    for (uint32_t i = 0; i < array->count; ++i) {
        if (array->vt == VT_BSTR)
            SysFreeString(bstrElements(array)[i]);
        else
            VariantClear(&variantElements(array)[i]);
    }
}

void allocateElements(SAFEARRAY* array) {
    if (array->vt == VT_BSTR) {
        array->data = new BSTR[array->count]();
        return;
    }
    auto* elements = new VARIANT[array->count];
    for (uint32_t i = 0; i < array->count; ++i)
        VariantInit(&elements[i]);
    array->data = elements;
}

void freeElementStorage(SAFEARRAY* array) {
    if (array->vt == VT_BSTR)
        delete[] bstrElements(array);
    else
        delete[] variantElements(array);
}

// A null text stays null; otherwise a new counted copy, or an error when it cannot be made.
HRESULT copyString(const wchar_t* text, BSTR* out) {
    *out = nullptr;
    if (!text) return S_OK;
    *out = SysAllocString(text);
    return *out ? S_OK : OutOfMemory;
}

} // namespace

KORVEX_API BSTR SysAllocString(const wchar_t* text) {
    if (!text || !korvex::admitRecord(KvBstr)) return nullptr;
    const size_t length = std::wcslen(text);
    auto* copy = new (std::nothrow) wchar_t[length + 1];
    if (!copy) {
        korvex::releaseRecord(KvBstr);
        return nullptr;
    }
    std::wmemcpy(copy, text, length + 1);
    return copy;
}

KORVEX_API void SysFreeString(BSTR text) {
    if (!text) return;
    delete[] text;
    korvex::releaseRecord(KvBstr);
}

KORVEX_API void VariantInit(VARIANT* v) {
    if (!v) return;
    std::memset(v, 0, sizeof *v);
    v->vt = VT_EMPTY;
}

KORVEX_API HRESULT VariantClear(VARIANT* v) {
    if (!v) return E_INVALIDARG;
    if (v->vt == VT_BSTR) SysFreeString(v->bstrVal);
    VariantInit(v);
    return S_OK;
}

// On failure dst is left empty.
KORVEX_API HRESULT VariantCopy(VARIANT* dst, const VARIANT* src) {
    if (!dst || !src) return E_INVALIDARG;
    if (dst == src) return S_OK;
    VariantClear(dst);
    if (src->vt != VT_BSTR) {
        *dst = *src;
        return S_OK;
    }
    BSTR copy = nullptr;
    const HRESULT result = copyString(src->bstrVal, &copy);
    if (result != S_OK) return result;
    dst->vt = VT_BSTR;
    dst->bstrVal = copy;
    return S_OK;
}

KORVEX_API HRESULT SafeArrayGetElement(SAFEARRAY* array, const int32_t* index, void* out) {
    if (!array || !out) return E_INVALIDARG;
    if (!isValidIndex(array, index)) return DISP_E_BADINDEX;
    if (array->vt == VT_BSTR)
        return copyString(bstrElements(array)[*index], static_cast<BSTR*>(out));
    auto* variant = static_cast<VARIANT*>(out);
    VariantInit(variant);
    return VariantCopy(variant, &variantElements(array)[*index]);
}

KORVEX_API HRESULT SafeArrayDestroy(SAFEARRAY* array) {
    if (!array) return S_OK;
    releaseElements(array);
    freeElementStorage(array);
    korvex::deleteRecord(KvSafeArray, array);
    return S_OK;
}

KORVEX_API SAFEARRAY* kvSafeArrayCreate(VARTYPE vt, uint32_t count) {
    if (!holdsArrayKind(vt)) return nullptr;
    auto* array = korvex::newRecord<SAFEARRAY>(KvSafeArray);
    if (!array) return nullptr;
    array->vt = vt;
    array->count = count;
    try {
        allocateElements(array);
    } catch (const std::bad_alloc&) {
        korvex::deleteRecord(KvSafeArray, array);
        return nullptr;
    }
    return array;
}

KORVEX_API HRESULT kvSafeArrayPutElement(SAFEARRAY* array, uint32_t index, const void* value) {
    if (!array || !value) return E_INVALIDARG;
    if (index >= array->count) return DISP_E_BADINDEX;
    if (array->vt == VT_VARIANT)
        return VariantCopy(&variantElements(array)[index], static_cast<const VARIANT*>(value));
    BSTR& element = bstrElements(array)[index];
    SysFreeString(element);
    return copyString(static_cast<const wchar_t*>(value), &element);
}
