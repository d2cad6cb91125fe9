// Media objects end with Release, not delete: a smart pointer that releases its reference.
#pragma once

#include <memory>

#include "graphics/ZColorTable.h"

namespace testsupport {

struct Releaser {
    template <typename Media>
    void operator()(Media* media) const {
        if (media != nullptr) {
            media->Release();
        }
    }
};

using TablePtr = std::unique_ptr<ZColorTable, Releaser>;

}  // namespace testsupport
