#include "platform/File.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

namespace {

int OpenFlags(int access) {
    switch (access & kAccessReadWrite) {
        case kAccessWrite:
            return O_WRONLY;
        case kAccessReadWrite:
            return O_RDWR;
        default:
            return O_RDONLY;
    }
}

int OpenChecked(const char* path, int flags) {
    if (path == nullptr || path[0] == 0) {
        return -1;
    }
    int handle;
    do {
        handle = open(path, flags | O_CLOEXEC, 0666);
    } while (handle < 0 && errno == EINTR);
    if (handle < 0) {
        return -1;
    }
    struct stat info;
    if (fstat(handle, &info) != 0 || S_ISDIR(info.st_mode)) {
        close(handle);
        return -1;
    }
    return handle;
}

}  // namespace

int OpenFile(const char* path, int access) {
    return OpenChecked(path, OpenFlags(access));
}

int CreateNewFile(const char* path, int access) {
    return OpenChecked(path, OpenFlags(access) | O_CREAT | O_EXCL);
}

int CreateOrTruncateFile(const char* path, int access) {
    return OpenChecked(path, OpenFlags(access) | O_CREAT | O_TRUNC);
}

bool FileExists(const char* path) {
    struct stat info;
    return path != nullptr && path[0] != 0 && stat(path, &info) == 0 && !S_ISDIR(info.st_mode);
}

int64_t ReadFile(int handle, void* buffer, size_t count) {
    size_t done = 0;
    while (done < count) {
        ssize_t n = read(handle, static_cast<char*>(buffer) + done, count - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return done > 0 ? int64_t(done) : -1;
        }
        if (n == 0) {
            break;
        }
        done += size_t(n);
    }
    return int64_t(done);
}

int64_t WriteFile(int handle, const void* buffer, size_t count) {
    size_t done = 0;
    while (done < count) {
        ssize_t n = write(handle, static_cast<const char*>(buffer) + done, count - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return done > 0 ? int64_t(done) : -1;
        }
        done += size_t(n);
    }
    return int64_t(done);
}

int64_t SeekFile(int handle, int64_t offset, SeekFrom from) {
    int whence = from == SeekFrom::Start ? SEEK_SET : from == SeekFrom::Current ? SEEK_CUR : SEEK_END;
    off_t result = lseek(handle, off_t(offset), whence);
    return result < 0 ? -1 : int64_t(result);
}

void CloseFile(int handle) {
    if (handle >= 0) {
        close(handle);
    }
}

MemoryFile::MemoryFile(const void* data, size_t size) {
    handle_ = memfd_create("kest-memory-file", MFD_CLOEXEC);
    if (handle_ < 0) {
        return;
    }
    if ((size > 0 && WriteFile(handle_, data, size) != int64_t(size)) || lseek(handle_, 0, SEEK_SET) != 0) {
        close(handle_);
        handle_ = -1;
        return;
    }
    path_ = "/proc/self/fd/" + std::to_string(handle_);
}

MemoryFile::~MemoryFile() {
    CloseFile(handle_);
}

}  // namespace platform
