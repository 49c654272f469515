// FakeExcel.exe: a COM local server that stands in for the spreadsheet
// program's automation object in tests. Its object answers the dispatch
// properties "Version" and "Path"; the process ends when the last object is
// released, or after 30 seconds when no client ever asked for one.
//
// The class is registered for single use, so every new automation instance
// starts a new server process, as a real invisible instance would.
//
// Asked to be busy, its message filter rejects dispatch calls with
// SERVERCALL_RETRYLATER, which COM turns into a retry by the caller's filter.
// Where COM lets such a call through all the same (Wine), the object answers
// it itself with RPC_E_CALL_REJECTED, as a caller without a filter would see.

#include <windows.h>

#include <oleauto.h>

#include <climits>
#include <cwchar>
#include <new>
#include <string>
#include <utility>

#include "fake_excel_ids.h"

namespace {

constexpr DISPID kVersionId = 1;
constexpr DISPID kPathId = 2;
constexpr UINT kIdleMilliseconds = 30000;

DWORD mainThread = 0;
// Live objects plus server locks; the server ends when this drops to zero.
LONG liveCount = 0;

void serverReferenceAdded() {
    InterlockedIncrement(&liveCount);
}

void serverReferenceDropped() {
    if (InterlockedDecrement(&liveCount) == 0) {
        PostThreadMessageW(mainThread, WM_QUIT, 0, 0);
    }
}

std::wstring environment(const wchar_t* name) {
    const DWORD needed = GetEnvironmentVariableW(name, nullptr, 0);
    if (needed == 0) {
        return {};
    }
    std::wstring value(needed, L'\0');
    const DWORD length = GetEnvironmentVariableW(name, value.data(), needed);
    value.resize(length < needed ? length : 0);
    return value;
}

std::wstring ownFolder() {
    std::wstring file(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, file.data(), static_cast<DWORD>(file.size()));
        if (length == 0) {
            return {};
        }
        if (length < file.size()) {
            file.resize(length);
            break;
        }
        file.resize(file.size() * 2);
    }
    const auto slash = file.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : file.substr(0, slash);
}

std::wstring propertyValue(DISPID id) {
    if (id == kVersionId) {
        std::wstring version = environment(morvane::fake_excel::kVersionVariable);
        return version.empty() ? L"16.0" : version;
    }
    std::wstring path = environment(morvane::fake_excel::kPathVariable);
    return path.empty() ? ownFolder() : path;
}

// Dispatch calls still to be rejected as busy.
long busyCallsLeft = 0;
// Whether the filter rejected the call being dispatched now.
bool rejectingThisCall = false;

long busyCallsRequested() {
    const std::wstring busy = environment(morvane::fake_excel::kBusyVariable);
    if (lstrcmpiW(busy.c_str(), L"all") == 0) {
        return LONG_MAX;
    }
    return busy.empty() ? 0 : std::wcstol(busy.c_str(), nullptr, 10);
}

bool failureRequested(DISPID id) {
    const std::wstring failing = environment(morvane::fake_excel::kFailVariable);
    if (failing.empty()) {
        return false;
    }
    return lstrcmpiW(failing.c_str(), id == kVersionId ? L"Version" : L"Path") == 0;
}

class Application final : public IDispatch {
public:
    Application() { serverReferenceAdded(); }
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) {
            return E_POINTER;
        }
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
            *object = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        return static_cast<ULONG>(InterlockedIncrement(&references_));
    }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&references_);
        if (left == 0) {
            delete this;
            serverReferenceDropped();
        }
        return static_cast<ULONG>(left);
    }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count == nullptr) {
            return E_POINTER;
        }
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (info != nullptr) {
            *info = nullptr;
        }
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override {
        if (names == nullptr || ids == nullptr) {
            return E_POINTER;
        }
        if (std::exchange(rejectingThisCall, false)) {
            return RPC_E_CALL_REJECTED;
        }
        HRESULT result = S_OK;
        for (UINT i = 0; i < count; ++i) {
            if (lstrcmpiW(names[i], L"Version") == 0) {
                ids[i] = kVersionId;
            } else if (lstrcmpiW(names[i], L"Path") == 0) {
                ids[i] = kPathId;
            } else {
                ids[i] = DISPID_UNKNOWN;
                result = DISP_E_UNKNOWNNAME;
            }
        }
        return result;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* parameters,
                                     VARIANT* result, EXCEPINFO* exception, UINT*) override {
        if (std::exchange(rejectingThisCall, false)) {
            return RPC_E_CALL_REJECTED;
        }
        if (id != kVersionId && id != kPathId) {
            return DISP_E_MEMBERNOTFOUND;
        }
        if ((flags & DISPATCH_PROPERTYGET) == 0) {
            return DISP_E_MEMBERNOTFOUND;
        }
        if (parameters != nullptr && parameters->cArgs != 0) {
            return DISP_E_BADPARAMCOUNT;
        }
        if (failureRequested(id)) {
            if (exception != nullptr) {
                *exception = EXCEPINFO{};
                exception->bstrSource = SysAllocString(L"FakeExcel");
                exception->bstrDescription = SysAllocString(morvane::fake_excel::kFailureText);
                exception->scode = morvane::fake_excel::kFailureCode;
            }
            return DISP_E_EXCEPTION;
        }
        if (result == nullptr) {
            return S_OK;
        }
        const std::wstring value = propertyValue(id);
        VariantInit(result);
        const BSTR text = SysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
        if (text == nullptr) {
            return E_OUTOFMEMORY;
        }
        V_VT(result) = VT_BSTR;
        V_BSTR(result) = text;
        return S_OK;
    }

private:
    ~Application() = default;

    LONG references_ = 1;
};

// Lives as long as the process; its own references do not count.
class Factory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) {
            return E_POINTER;
        }
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
            *object = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
        if (object == nullptr) {
            return E_POINTER;
        }
        *object = nullptr;
        if (outer != nullptr) {
            return CLASS_E_NOAGGREGATION;
        }
        auto* application = new (std::nothrow) Application();
        if (application == nullptr) {
            return E_OUTOFMEMORY;
        }
        const HRESULT hr = application->QueryInterface(riid, object);
        application->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock) {
            serverReferenceAdded();
        } else {
            serverReferenceDropped();
        }
        return S_OK;
    }
};

// Rejects dispatch calls while the server is to be busy; every other call
// (activation, reference counting) is taken.
class BusyFilter final : public IMessageFilter {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) {
            return E_POINTER;
        }
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IMessageFilter)) {
            *object = static_cast<IMessageFilter*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    DWORD STDMETHODCALLTYPE HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO call) override {
        rejectingThisCall =
            call != nullptr && IsEqualIID(call->iid, IID_IDispatch) && busyCallsLeft > 0;
        if (!rejectingThisCall) {
            return SERVERCALL_ISHANDLED;
        }
        if (busyCallsLeft != LONG_MAX) {
            --busyCallsLeft;
        }
        return SERVERCALL_RETRYLATER;
    }
    DWORD STDMETHODCALLTYPE RetryRejectedCall(HTASK, DWORD, DWORD) override {
        return static_cast<DWORD>(-1);
    }
    DWORD STDMETHODCALLTYPE MessagePending(HTASK, DWORD, DWORD) override {
        return PENDINGMSG_WAITDEFPROCESS;
    }
};

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    mainThread = GetCurrentThreadId();
    MSG message;
    // Creates the thread's message queue before any release can post to it.
    PeekMessageW(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE);

    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        return 1;
    }
    CLSID classId{};
    if (FAILED(CLSIDFromString(morvane::fake_excel::kClassId, &classId))) {
        CoUninitialize();
        return 1;
    }
    busyCallsLeft = busyCallsRequested();
    static BusyFilter busyFilter;
    if (busyCallsLeft > 0) {
        CoRegisterMessageFilter(&busyFilter, nullptr);
    }
    static Factory factory;
    DWORD cookie = 0;
    if (FAILED(CoRegisterClassObject(classId, &factory, CLSCTX_LOCAL_SERVER, REGCLS_SINGLEUSE,
                                     &cookie))) {
        CoUninitialize();
        return 1;
    }
    SetTimer(nullptr, 0, kIdleMilliseconds, nullptr);
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_TIMER && message.hwnd == nullptr && liveCount == 0) {
            break;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    CoRevokeClassObject(cookie);
    CoUninitialize();
    return 0;
}
