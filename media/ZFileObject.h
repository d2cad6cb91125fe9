// One open file of the host, shared by reference count. Every operation runs under the object's mutex
// and takes an absolute offset, so any number of ZFiles on any threads can read through one handle.
#pragma once

#include <atomic>
#include <cstdint>

#include "core/ZMutex.h"
#include "media/ZFileSpec.h"

class ZFileObject {
  public:
    enum : int32_t { kModeRead = 1, kModeWrite = 2, kModeReadWrite = 3 };

    explicit ZFileObject(const ZFileSpec& spec, ZTypeCode creator = kTypeUnknown,
                         ZTypeCode fileType = kTypeUnknown);
    ZFileObject(const ZFileObject&) = delete;
    ZFileObject& operator=(const ZFileObject&) = delete;

    // Opens with at least the access asked for (accumulating with access already granted). Opening for
    // writing creates a missing file; an existing file is never truncated.
    bool Open(int32_t mode);
    // Closes the handle unless other ZFiles still share the object (then false).
    bool Close();
    bool IsOpen() const { return open_; }
    int32_t GetMode() const { return mode_; }

    // Bytes transferred at the absolute offset; 0 on any failure (a failed seek included). Opens the file
    // with the access needed when it is closed.
    virtual int32_t Read(void* buffer, int32_t offset, int32_t count);
    virtual int32_t Write(const void* buffer, int32_t offset, int32_t count);
    // Positions the handle at offset and returns 0; -1 for bad arguments or when reading is impossible.
    // Nothing is read: there is no asynchronous reading on this host.
    virtual int32_t ReadAsync(void* buffer, int32_t offset, int32_t count);
    // The file's size in bytes; 0 when closed or on error.
    int32_t GetSize();

    void AddReference() { ++refCount_; }
    // Drops one reference; the last deletes the object. Returns the new count.
    virtual int32_t Release();
    int32_t GetRefCount() const { return refCount_.load(); }

    ZFileSpec& GetSpec() { return spec_; }
    // Passed on when the file is created on hosts that keep them; kept here only to be handed back.
    ZTypeCode GetCreator() const { return creator_; }
    ZTypeCode GetFileType() const { return fileType_; }

  protected:
    virtual ~ZFileObject();

  private:
    bool SeekTo(int32_t offset);
    template <typename Io>
    int32_t Transfer(int32_t mode, int32_t offset, int32_t count, Io io);
    bool OpenLocked(int32_t mode);
    bool CloseLocked();

    int handle_ = -1;
    ZFileSpec spec_;
    ZTypeCode creator_;
    ZTypeCode fileType_;
    bool open_ = false;
    bool keepOpen_ = false;
    int32_t mode_ = 0;
    int64_t osPosition_ = 0;  // where the handle stands, to skip needless seeks
    std::atomic<int32_t> refCount_{1};
    ZMutex lock_;
};
