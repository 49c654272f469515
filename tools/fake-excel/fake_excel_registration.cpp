#include "fake_excel_registration.h"

#include <windows.h>

#include <objbase.h>

#include "fake_excel_ids.h"

namespace morvane::fake_excel {
namespace {

const std::wstring kProgIdKey = L"Software\\Classes\\Excel.Application";
const std::wstring kClassKey = std::wstring(L"Software\\Classes\\CLSID\\") + kClassId;

// Per-user classes are what Windows offers without administrator rights;
// Wine reads classes only from the machine's part of the registry.
const HKEY kClassRoots[] = {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE};

bool setDefault(HKEY root, const std::wstring& subKey, const std::wstring& value) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(root, subKey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
        return false;
    }
    const auto bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
    const bool ok =
        RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       bytes) == ERROR_SUCCESS;
    RegCloseKey(key);
    return ok;
}

}  // namespace

bool registerServer(const std::wstring& server) {
    bool registered = false;
    for (const HKEY root : kClassRoots) {
        registered = (setDefault(root, kProgIdKey + L"\\CLSID", kClassId) &&
                      setDefault(root, kClassKey + L"\\ProgID", L"Excel.Application") &&
                      setDefault(root, kClassKey + L"\\LocalServer32", server)) ||
                     registered;
    }
    return registered;
}

void removeRegistration() {
    for (const HKEY root : kClassRoots) {
        wchar_t registered[64] = {};
        DWORD size = sizeof(registered);
        if (RegGetValueW(root, (kProgIdKey + L"\\CLSID").c_str(), nullptr, RRF_RT_REG_SZ, nullptr,
                         registered, &size) == ERROR_SUCCESS &&
            lstrcmpiW(registered, kClassId) == 0) {
            RegDeleteTreeW(root, kProgIdKey.c_str());
        }
        RegDeleteTreeW(root, kClassKey.c_str());
    }
}

std::optional<std::wstring> registeredClass() {
    const HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    CLSID classId{};
    std::optional<std::wstring> text;
    if (SUCCEEDED(CLSIDFromProgID(L"Excel.Application", &classId))) {
        wchar_t buffer[64] = {};
        StringFromGUID2(classId, buffer, 64);
        text = buffer;
    }
    if (SUCCEEDED(init)) {
        CoUninitialize();
    }
    return text;
}

}  // namespace morvane::fake_excel
