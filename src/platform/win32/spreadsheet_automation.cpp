#include "platform/win32/spreadsheet_automation.h"

#include <windows.h>

#include <oleauto.h>

#include <chrono>
#include <cstdint>
#include <cwchar>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "base/failure.h"
#include "base/win32/wide.h"
#include "platform/win32/busy_server_retry.h"
#include "platform/win32/com.h"
#include "platform/win32/os_error.h"

namespace morvane::win32 {

namespace {

// Automation numbers: errors raised by automation servers (facility
// FACILITY_CONTROL) are known by their low word, as in 1004; every other
// HRESULT keeps its full value as a signed number.
int automationNumber(HRESULT hr) {
    if (HRESULT_FACILITY(hr) == FACILITY_CONTROL) {
        return HRESULT_CODE(hr);
    }
    return static_cast<int>(hr);
}

Failure comFailure(HRESULT hr) {
    return Failure(FailureOrigin::ComResult, automationNumber(hr),
                   errorText(static_cast<std::uint32_t>(hr)));
}

// A class that is not registered, a registration without a usable server
// and a server that does not start all mean the same to the user: the
// program is not available.
Failure creationFailure(HRESULT hr) {
    switch (hr) {
        case REGDB_E_CLASSNOTREG:
        case CO_E_CLASSSTRING:
        case CO_E_APPNOTFOUND:
        case CO_E_SERVER_EXEC_FAILURE:
        case HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND):
        case HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND):
            return Failure::of(err::CannotCreateObject);
        default:
            return comFailure(hr);
    }
}

class Variant {
public:
    Variant() noexcept { VariantInit(&value_); }
    ~Variant() { VariantClear(&value_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    VARIANT* get() noexcept { return &value_; }

private:
    VARIANT value_;
};

// The texts a server fills in when its method raises an exception.
class ExceptionInfo {
public:
    ExceptionInfo() noexcept : info_{} {}
    ~ExceptionInfo() {
        SysFreeString(info_.bstrSource);
        SysFreeString(info_.bstrDescription);
        SysFreeString(info_.bstrHelpFile);
    }
    ExceptionInfo(const ExceptionInfo&) = delete;
    ExceptionInfo& operator=(const ExceptionInfo&) = delete;
    EXCEPINFO* get() noexcept { return &info_; }

    Failure failure() {
        if (info_.pfnDeferredFillIn != nullptr) {
            info_.pfnDeferredFillIn(&info_);
        }
        const int number = info_.wCode != 0 ? info_.wCode : automationNumber(info_.scode);
        if (info_.bstrDescription != nullptr && SysStringLen(info_.bstrDescription) != 0) {
            return Failure(FailureOrigin::ComResult, number,
                           narrow(std::wstring_view(info_.bstrDescription,
                                                    SysStringLen(info_.bstrDescription))));
        }
        const HRESULT code = info_.scode != 0 ? info_.scode : DISP_E_EXCEPTION;
        return Failure(FailureOrigin::ComResult, number,
                       errorText(static_cast<std::uint32_t>(code)));
    }

private:
    EXCEPINFO info_;
};

class ComSpreadsheetInstance final : public SpreadsheetInstance {
public:
    explicit ComSpreadsheetInstance(std::chrono::milliseconds patience) : patience_(patience) {
        // A thread in another apartment model can still make the calls.
        HRESULT hr = apartment_.enter();
        if (FAILED(hr) && hr != RPC_E_CHANGED_MODE) {
            throw comFailure(hr);
        }
        // A starting or busy spreadsheet program rejects calls for a while.
        filter_.emplace(patience_);
        CLSID clsid{};
        hr = CLSIDFromProgID(L"Excel.Application", &clsid);
        if (FAILED(hr)) {
            throw creationFailure(hr);
        }
        hr = CoCreateInstance(clsid, nullptr, CLSCTX_SERVER, IID_IDispatch,
                              reinterpret_cast<void**>(dispatch_.put()));
        if (FAILED(hr)) {
            throw creationFailure(hr);
        }
    }

    std::string version() override { return property(L"Version"); }
    std::string path() override { return property(L"Path"); }

private:
    std::string property(const wchar_t* name) {
        DISPID id = DISPID_UNKNOWN;
        LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
        HRESULT hr = retryWhileRejected(patience_, [&] {
            return dispatch_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
        });
        if (FAILED(hr)) {
            throw comFailure(hr);
        }
        DISPPARAMS noArguments{nullptr, nullptr, 0, 0};
        Variant result;
        ExceptionInfo exception;
        UINT argumentError = 0;
        // The filter has COM repeat a rejected call; a rejection that still
        // reaches this thread (one the server answers itself, or where COM
        // leaves it to the caller) is repeated here within the same time.
        hr = retryWhileRejected(patience_, [&] {
            return dispatch_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET,
                                     &noArguments, result.get(), exception.get(), &argumentError);
        });
        if (hr == DISP_E_EXCEPTION) {
            throw exception.failure();
        }
        if (FAILED(hr)) {
            throw comFailure(hr);
        }
        hr = VariantChangeType(result.get(), result.get(), 0, VT_BSTR);
        if (FAILED(hr)) {
            throw comFailure(hr);
        }
        const BSTR text = V_BSTR(result.get());
        if (text == nullptr) {
            return {};
        }
        return narrow(std::wstring_view(text, SysStringLen(text)));
    }

    std::chrono::milliseconds patience_;
    // Declared first so that COM and the filter outlive the interface
    // released before them.
    ComApartment apartment_;
    std::optional<BusyServerFilter> filter_;
    ComPtr<IDispatch> dispatch_;
};

// The default value of a key below HKEY_CLASSES_ROOT, environment strings
// expanded; nullopt when there is none.
std::optional<std::wstring> classesValue(const std::wstring& subKey) {
    DWORD size = 0;
    if (RegGetValueW(HKEY_CLASSES_ROOT, subKey.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, nullptr,
                     &size) != ERROR_SUCCESS ||
        size < sizeof(wchar_t)) {
        return std::nullopt;
    }
    std::wstring value(size / sizeof(wchar_t), L'\0');
    if (RegGetValueW(HKEY_CLASSES_ROOT, subKey.c_str(), nullptr, RRF_RT_REG_SZ, nullptr,
                     value.data(), &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    value.resize(std::wcslen(value.c_str()));
    return value;
}

}  // namespace

std::unique_ptr<SpreadsheetInstance> ComSpreadsheetAutomation::create() {
    return std::make_unique<ComSpreadsheetInstance>(patience_);
}

std::string ComSpreadsheetAutomation::registeredServer() {
    const std::optional<std::wstring> classId = classesValue(L"Excel.Application\\CLSID");
    if (!classId) {
        return {};
    }
    const std::optional<std::wstring> server =
        classesValue(L"CLSID\\" + *classId + L"\\LocalServer32");
    return server ? narrow(*server) : std::string();
}

}  // namespace morvane::win32
