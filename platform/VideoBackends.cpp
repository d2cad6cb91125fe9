#include <cstring>

#include "platform/VideoBackend.h"
#include "platform/headless/HeadlessVideo.h"

namespace platform {

#ifdef KEST_WITH_SDL
extern const VideoBootstrap kSdlBootstrap;
#endif

namespace {

// In order of preference; headless can always run and comes last as the fallback.
const VideoBootstrap* const kBootstraps[] = {
#ifdef KEST_WITH_SDL
    &kSdlBootstrap,
#endif
    &kHeadlessBootstrap,
    nullptr,
};

VideoBackend* gBackend = nullptr;

}  // namespace

const VideoBootstrap* const* GetVideoBootstraps() {
    return kBootstraps;
}

std::unique_ptr<VideoBackend> CreateVideoBackend(const char* name, const VideoOptions& options,
                                                 std::string& error) {
    for (const VideoBootstrap* const* entry = kBootstraps; *entry != nullptr; ++entry) {
        if (name != nullptr && std::strcmp(name, (*entry)->name) != 0) {
            continue;
        }
        std::string reason;
        std::unique_ptr<VideoBackend> backend = (*entry)->create(options, reason);
        if (backend != nullptr) {
            return backend;
        }
        if (name != nullptr) {
            error = std::string("video backend '") + name + "' cannot run here: " + reason;
            return nullptr;
        }
    }
    error = name != nullptr ? std::string("unknown video backend '") + name + "'"
                            : "no video backend can run here";
    return nullptr;
}

VideoBackend* GetVideoBackend() {
    return gBackend;
}

void SetVideoBackend(VideoBackend* backend) {
    gBackend = backend;
}

}  // namespace platform
