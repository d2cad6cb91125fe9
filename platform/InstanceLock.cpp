#include "platform/InstanceLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>

namespace platform {

namespace {

// Titles may hold any character; the file name keeps the safe ones.
std::string FileNamePart(const std::string& title) {
    std::string out;
    for (char c : title) {
        bool safe = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                    c == '_' || c == '.';
        out += safe ? c : '_';
    }
    return out;
}

uint32_t ReadHandle(int fd) {
    unsigned char bytes[4] = {0, 0, 0, 0};
    if (pread(fd, bytes, sizeof bytes, 0) != 4) {
        return 0;
    }
    return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 | uint32_t(bytes[3]) << 24;
}

}  // namespace

std::string InstanceLock::LockPath(const std::string& title) {
    std::string name = "ZInstanceChecker_MMF_" + FileNamePart(title);
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/') {
        return std::string(runtime) + "/" + name + ".lock";
    }
    return "/tmp/" + name + "-" + std::to_string(getuid()) + ".lock";
}

bool InstanceLock::Acquire(const std::string& title) {
    if (fd_ >= 0) {
        return true;
    }
    int fd = open(LockPath(title).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        return false;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return false;
    }
    fd_ = fd;
    return WriteWindow(0);
}

void InstanceLock::Release() {
    if (fd_ >= 0) {
        close(fd_);  // closing drops the flock
        fd_ = -1;
    }
}

bool InstanceLock::WriteWindow(uint32_t window) {
    if (fd_ < 0) {
        return false;
    }
    unsigned char bytes[4] = {static_cast<unsigned char>(window), static_cast<unsigned char>(window >> 8),
                              static_cast<unsigned char>(window >> 16),
                              static_cast<unsigned char>(window >> 24)};
    return pwrite(fd_, bytes, sizeof bytes, 0) == 4;
}

uint32_t InstanceLock::ReadRunningWindow(const std::string& title) {
    int fd = open(LockPath(title).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return 0;
    }
    uint32_t window = ReadHandle(fd);
    close(fd);
    return window;
}

}  // namespace platform
