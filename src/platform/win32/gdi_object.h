#pragma once

#include <windows.h>

namespace morvane::win32 {

// A pen, brush, bitmap or other GDI object that this object deletes.
class GdiObject {
public:
    explicit GdiObject(HGDIOBJ object) noexcept : object_(object) {}
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;
    ~GdiObject() {
        if (object_ != nullptr) {
            DeleteObject(object_);
        }
    }
    HGDIOBJ get() const noexcept { return object_; }

private:
    HGDIOBJ object_;
};

}  // namespace morvane::win32
