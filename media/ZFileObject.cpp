#include "media/ZFileObject.h"

#include <string>

#include "platform/File.h"

ZFileObject::ZFileObject(const ZFileSpec& spec, ZTypeCode creator, ZTypeCode fileType)
    : spec_(spec), creator_(creator), fileType_(fileType) {}

ZFileObject::~ZFileObject() {
    ZMutexLock lock(lock_);
    keepOpen_ = false;
    CloseLocked();
}

bool ZFileObject::Open(int32_t mode) {
    ZMutexLock lock(lock_);
    return OpenLocked(mode);
}

bool ZFileObject::OpenLocked(int32_t mode) {
    mode &= kModeReadWrite;
    if (open_ && (mode & ~mode_) == 0) {
        return true;
    }
    // Widening access closes the old handle first when nobody else shares it; when others do, the old
    // handle is replaced below all the same, so the object ends with one handle of the widened access.
    int32_t wanted = mode | mode_;  // taken before closing, which forgets the access granted
    if (!CloseLocked() && open_) {
        platform::CloseFile(handle_);
        handle_ = -1;
        open_ = false;
    }
    osPosition_ = 0;
    std::string path = spec_.NativePath();
    int handle = platform::OpenFile(path.c_str(), wanted);
    if (handle < 0 && !path.empty() && (wanted & kModeWrite) != 0) {
        // A missing file is created; an existing one that could not be opened stays as it is.
        handle = platform::CreateNewFile(path.c_str(), wanted);
    }
    handle_ = handle;
    open_ = handle >= 0;
    if (open_) {
        mode_ = wanted;
        spec_.SetValid(true);
    }
    return open_;
}

bool ZFileObject::Close() {
    ZMutexLock lock(lock_);
    return CloseLocked();
}

bool ZFileObject::CloseLocked() {
    if (keepOpen_) {
        return true;
    }
    if (open_ && refCount_.load() > 1) {
        return false;
    }
    if (open_) {
        platform::CloseFile(handle_);
    }
    handle_ = -1;
    open_ = false;
    mode_ = 0;
    return true;
}

bool ZFileObject::SeekTo(int32_t offset) {
    if (osPosition_ == offset) {
        return true;
    }
    int64_t at = platform::SeekFile(handle_, offset, platform::SeekFrom::Start);
    if (at != offset) {
        // Resynchronise with wherever the handle now stands.
        osPosition_ = platform::SeekFile(handle_, 0, platform::SeekFrom::Current);
        return false;
    }
    osPosition_ = at;
    return true;
}

// One read or write under the lock: opens with the access it needs, positions the handle, and keeps the
// cached position in step with the handle whatever happens.
template <typename Io>
int32_t ZFileObject::Transfer(int32_t mode, int32_t offset, int32_t count, Io io) {
    if (count <= 0 || offset < 0) {
        return 0;
    }
    ZMutexLock lock(lock_);
    if ((!open_ || (mode_ & mode) == 0) && !OpenLocked(mode)) {
        return 0;
    }
    if (!SeekTo(offset)) {
        return 0;
    }
    int64_t n = io(handle_, size_t(count));
    if (n < 0) {
        osPosition_ = platform::SeekFile(handle_, 0, platform::SeekFrom::Current);
        return 0;
    }
    osPosition_ += n;
    return int32_t(n);
}

int32_t ZFileObject::Read(void* buffer, int32_t offset, int32_t count) {
    if (buffer == nullptr) {
        return 0;
    }
    return Transfer(kModeRead, offset, count,
                    [buffer](int handle, size_t n) { return platform::ReadFile(handle, buffer, n); });
}

int32_t ZFileObject::Write(const void* buffer, int32_t offset, int32_t count) {
    if (buffer == nullptr) {
        return 0;
    }
    return Transfer(kModeWrite, offset, count,
                    [buffer](int handle, size_t n) { return platform::WriteFile(handle, buffer, n); });
}

int32_t ZFileObject::ReadAsync(void* buffer, int32_t offset, int32_t count) {
    if (buffer == nullptr || count <= 0 || offset < 0) {
        return -1;
    }
    ZMutexLock lock(lock_);
    if ((!open_ || (mode_ & kModeRead) == 0) && !OpenLocked(kModeRead)) {
        return -1;
    }
    return SeekTo(offset) ? 0 : -1;
}

int32_t ZFileObject::GetSize() {
    ZMutexLock lock(lock_);
    if (!open_) {
        return 0;
    }
    int64_t size = platform::SeekFile(handle_, 0, platform::SeekFrom::End);
    // The cached position no longer matches the handle; the next read seeks.
    osPosition_ = size;
    if (size < 0 || size > INT32_MAX) {
        osPosition_ = -1;
        return size < 0 ? 0 : INT32_MAX;
    }
    return int32_t(size);
}

int32_t ZFileObject::Release() {
    int32_t count = --refCount_;
    if (count == 0) {
        delete this;
    }
    return count;
}
