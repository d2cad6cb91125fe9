#include "tools/common/ItemSource.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "media/ZMediaServer.h"

namespace toolsupport {

bool IsRegularFile(const std::string& path) {
    struct stat info;
    errno = 0;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool SplitItem(const std::string& text, std::string& path, uint16_t& id) {
    size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon + 1 >= text.size() || colon + 6 < text.size()) {
        return false;
    }
    uint32_t value = 0;
    for (size_t i = colon + 1; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
        value = value * 10 + uint32_t(text[i] - '0');
    }
    if (value < 1 || value > 0xFFFF || !IsRegularFile(text.substr(0, colon))) {
        return false;
    }
    path = text.substr(0, colon);
    id = uint16_t(value);
    return true;
}

bool OpenContainerItem(const std::string& path, uint16_t id, ZFile& file, ZTypeCode& type,
                       std::string& error) {
    ZFileSpec spec(path.c_str());
    gMediaServer->CloseContainer();  // a container still open from an earlier call would answer instead
    if (!gMediaServer->OpenContainer(spec, false) && !gMediaServer->OpenContainer(spec, true)) {
        error = path + ": not a media container";
        return false;
    }
    if (!gMediaServer->OpenItem(id, file, type)) {
        error = path + ": no item " + std::to_string(id);
        return false;
    }
    return true;
}

bool OpenPlainFile(const std::string& path, ZFile& file, std::string& error) {
    if (!IsRegularFile(path)) {
        error = path + ": " + (errno != 0 ? std::strerror(errno) : "not a file");
        return false;
    }
    file.SetFileSpec(ZFileSpec(path.c_str()));
    if (!file.Open(ZFileObject::kModeRead)) {
        error = path + ": cannot open";
        return false;
    }
    return true;
}

}  // namespace toolsupport
