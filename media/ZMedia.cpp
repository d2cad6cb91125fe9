#include "media/ZMedia.h"

int32_t ZMedia::Release() {
    int32_t count = --refCount_;
    if (count == 0) {
        Unload();
        delete this;
    }
    return count;
}

int32_t ZMedia::Purge() {
    return purgeable_ && reloadable_ ? Unload() : 0;
}
