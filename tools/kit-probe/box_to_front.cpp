// box-to-front: a box that a separately started program shows comes in front
// of the program the user works in, which holds the foreground.

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "kit_probe.h"
#include "platform/user_interface.h"
#include "platform/win32/user_interface.h"

namespace morvane::kit {
namespace {

constexpr wchar_t kOtherClass[] = L"MorvaneKitOtherProgram";
constexpr DWORD kOtherLifetimeMilliseconds = 60000;
constexpr auto kPoll = std::chrono::milliseconds(50);

LRESULT CALLBACK otherWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

struct BoxSearch {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK takeBoxOf(HWND window, LPARAM search) {
    auto& wanted = *reinterpret_cast<BoxSearch*>(search);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t name[16] = {};
    if (owner == wanted.processId && GetClassNameW(window, name, 16) > 0 &&
        lstrcmpW(name, L"#32770") == 0 && IsWindowVisible(window)) {
        wanted.found = window;
        return FALSE;
    }
    return TRUE;
}

// Whether `window` comes before `other` in the z-order, walking up from it.
bool above(HWND window, HWND other) {
    for (HWND before = GetWindow(other, GW_HWNDPREV); before != nullptr;
         before = GetWindow(before, GW_HWNDPREV)) {
        if (before == window) {
            return true;
        }
    }
    return false;
}

// Whether the point in the middle of `window` shows `window`, not another.
bool seenAtItsCentre(HWND window) {
    RECT frame{};
    GetWindowRect(window, &frame);
    const POINT centre{(frame.left + frame.right) / 2, (frame.top + frame.bottom) / 2};
    const HWND hit = WindowFromPoint(centre);
    return hit != nullptr && GetAncestor(hit, GA_ROOT) == window;
}

const char* yesNo(bool value) {
    return value ? "yes" : "no";
}

}  // namespace

HWND shownBoxOf(DWORD processId) {
    BoxSearch search{processId, nullptr};
    EnumWindows(takeBoxOf, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The program the user works in: a window that takes the foreground.
int otherProgram() {
    WNDCLASSW cls{};
    cls.lpfnWndProc = otherWindowProc;
    cls.hInstance = GetModuleHandleW(nullptr);
    cls.lpszClassName = kOtherClass;
    cls.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
    RegisterClassW(&cls);
    // Large enough that the box appears over it wherever it is placed.
    const HWND window =
        CreateWindowExW(0, kOtherClass, L"Anderes Programm", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                        GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), nullptr,
                        nullptr, cls.hInstance, nullptr);
    if (window == nullptr) {
        return 1;
    }
    SetForegroundWindow(window);
    SetTimer(window, 1, kOtherLifetimeMilliseconds, nullptr);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_TIMER) {
            DestroyWindow(window);
        }
        DispatchMessageW(&message);
    }
    return 0;
}

// A box as a run of the updater shows it, from a process of its own.
int showBox() {
    win32::Win32UserInterface ui;
    ui.messageBox("Die Datei ist in Verwendung.", box::Exclamation, "");
    return 0;
}

int boxToFront() {
    const std::wstring self = L"\"" + kitFolder() + L"\\KitProbe.exe\"";
    const auto other = startProgram(self + L" other-program");
    if (!other) {
        return 1;
    }
    HWND otherWindow = nullptr;
    for (int i = 0; i < 100 && (otherWindow == nullptr || GetForegroundWindow() != otherWindow);
         ++i) {
        std::this_thread::sleep_for(kPoll);
        otherWindow = FindWindowW(kOtherClass, nullptr);
    }
    const bool premise = otherWindow != nullptr && GetForegroundWindow() == otherWindow;
    std::printf("the other program holds the foreground: %s\n", yesNo(premise));

    int verdict = kCannotJudge;
    if (premise) {
        const auto boxProgram = startProgram(self + L" show-box");
        HWND box = nullptr;
        for (int i = 0; boxProgram && i < 200 && box == nullptr; ++i) {
            std::this_thread::sleep_for(kPoll);
            box = shownBoxOf(boxProgram->id);
        }
        if (box == nullptr) {
            std::puts("the separately started program showed no box");
            if (boxProgram) {
                TerminateProcess(boxProgram->process.get(), 1);
            }
            verdict = 1;
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(500));  // settled
            const bool visible = IsWindowVisible(box) != FALSE;
            const bool inFront = above(box, otherWindow);
            const bool seen = seenAtItsCentre(box);
            std::printf(
                "box visible: %s; above the other window: %s; seen at its centre: %s; "
                "in the foreground: %s\n",
                yesNo(visible), yesNo(inFront), yesNo(seen), yesNo(GetForegroundWindow() == box));
            verdict = visible && inFront && seen ? 0 : 1;
            PostMessageW(box, WM_COMMAND, IDOK, 0);
            WaitForSingleObject(boxProgram->process.get(), 10000);
        }
    } else {
        std::puts("cannot judge: the premise, another program in the foreground, does not hold");
    }
    if (otherWindow != nullptr) {
        PostMessageW(otherWindow, WM_CLOSE, 0, 0);
    }
    WaitForSingleObject(other->process.get(), 10000);
    return verdict;
}

}  // namespace morvane::kit
