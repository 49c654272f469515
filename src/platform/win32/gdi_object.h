#pragma once

#include <windows.h>

#include "base/unique_resource.h"

namespace morvane::win32 {

// A pen, brush, bitmap or other GDI object, deleted by its owner.
struct GdiTraits {
    using Value = HGDIOBJ;
    static Value none() noexcept { return nullptr; }
    static bool isValid(Value object) noexcept { return object != nullptr; }
    static bool close(Value object) noexcept { return DeleteObject(object) != FALSE; }
};

using GdiObject = UniqueResource<GdiTraits>;

}  // namespace morvane::win32
