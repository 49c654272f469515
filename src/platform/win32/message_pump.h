#pragma once

namespace morvane::win32 {

// Gives the window system every pending message of the calling thread. A
// WM_QUIT ends the pump and is put back, so that the thread's own message
// loop still sees it.
void dispatchPendingMessages();

}  // namespace morvane::win32
