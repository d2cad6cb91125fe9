// A cheap view onto a shared ZFileObject: its own position, a window (base and length) that can confine
// it to a byte range of the file, an optional memory buffer over part of the file, and typed reads and
// writes. A plain ZFile keeps typed values in little-endian order; ZBigEndianFile in big-endian order.
// Positions are absolute in the file; Tell and Seek work relative to the window.
#pragma once

#include <cstdint>

#include "core/ZRect.h"
#include "core/ZString.h"
#include "media/ZFileObject.h"

struct ZAsyncProgress {
    int32_t transferred = 0;
};

class ZFile {
  public:
    static constexpr int32_t kUnbounded = 0x3FFFFFFF;

    // Takes a reference to fileObject (which may be null).
    explicit ZFile(ZFileObject* fileObject = nullptr);
    // Shares other's file object, position and window; not its buffer.
    ZFile(const ZFile& other);
    ZFile& operator=(const ZFile& other);
    explicit ZFile(const ZFileSpec& spec, ZTypeCode creator = kTypeUnknown,
                   ZTypeCode fileType = kTypeUnknown);
    // Writes a dirty buffer back, then releases the file object.
    virtual ~ZFile();

    // A new file object for spec; position and window back to their defaults.
    void SetFileSpec(const ZFileSpec& spec);
    // Shares another file object (one more reference), keeping position and window.
    void SetFileObject(ZFileObject* fileObject);
    ZFileObject* GetFileObject() const { return fileObject_; }

    bool Open(int32_t mode);
    // The window length when one is set, else the bytes of the file behind the base.
    int32_t GetSize();
    int32_t Tell() const { return position_ - base_; }
    // Moves to offset from the window start (fromStart) or from the current position, kept in the window.
    void Seek(int32_t offset, bool fromStart = true);
    int32_t GetBase() const { return base_; }
    // A position before the new window moves to its start, so that no read begins outside the window.
    void SetBase(int32_t base) {
        base_ = base < 0 ? 0 : base;
        position_ = position_ < base_ ? base_ : position_;
    }
    int32_t GetLength() const { return length_; }
    void SetLength(int32_t length) { length_ = length < 0 ? 0 : length; }
    // Appends up to maxCount bytes (no more than remain in the window) to text; its length then ends at
    // the first NUL. Returns the bytes read.
    int32_t ReadAppend(ZString& text, int32_t maxCount);

    // Copies part of the window (offset relative to it) into memory so that small reads are served from
    // there. Returns the block, or null when nothing could be buffered.
    virtual uint8_t* Buffer(int32_t offset, int32_t count);
    // Drops the buffer, writing it back first when it was written to.
    virtual void Unbuffer();

    // Reads return the bytes read; array operations take an element count in and give the elements
    // transferred back. Values that did not arrive whole read as 0.
    virtual int32_t ReadType(ZTypeCode& code);
    virtual int32_t ReadString(ZString& text);
    virtual int32_t ReadRGB(uint8_t rgb[3]);
    virtual int32_t ReadRect(ZRect& rect);
    virtual int32_t ReadPoint(ZPoint& point);
    virtual int32_t ReadDoubles(double* values, int32_t& count);
    virtual int32_t ReadDouble(double& value);
    virtual int32_t ReadFloats(float* values, int32_t& count);
    virtual int32_t ReadFloat(float& value);
    virtual int32_t ReadLongs(int32_t* values, int32_t& count);
    virtual int32_t ReadLong(int32_t& value);
    virtual int32_t ReadShorts(int16_t* values, int32_t& count);
    virtual int32_t ReadShort(int16_t& value);
    virtual int32_t Read(void* buffer, int32_t count);
    // Copies what the buffer holds, then lets the file object start on the rest; -1 without a file object.
    virtual int32_t ReadAsync(void* buffer, int32_t count, ZAsyncProgress* progress);

    virtual int32_t WriteType(ZTypeCode code);
    virtual int32_t WriteString(const ZString& text);
    virtual int32_t WriteRGB(const uint8_t rgb[3]);
    virtual int32_t WriteRect(const ZRect& rect);
    virtual int32_t WritePoint(const ZPoint& point);
    // Array writes leave the caller's values as they were.
    virtual int32_t WriteDoubles(double* values, int32_t& count);
    virtual int32_t WriteDouble(double value);
    virtual int32_t WriteFloats(float* values, int32_t& count);
    virtual int32_t WriteFloat(float value);
    virtual int32_t WriteLongs(int32_t* values, int32_t& count);
    virtual int32_t WriteLong(int32_t value);
    virtual int32_t WriteShorts(int16_t* values, int32_t& count);
    virtual int32_t WriteShort(int16_t value);
    virtual int32_t Write(const void* buffer, int32_t count);

  protected:
    // Whether typed values are stored big-endian.
    virtual bool IsBigEndian() const { return false; }

  private:
    template <typename T>
    int32_t ReadValues(T* values, int32_t& count);
    template <typename T>
    int32_t WriteValues(T* values, int32_t& count);
    // The end of the window, never beyond what a position can hold.
    int64_t WindowEnd() const;

    ZFileObject* fileObject_ = nullptr;
    int32_t position_ = 0;
    int32_t base_ = 0;
    int32_t length_ = kUnbounded;
    uint8_t* buffer_ = nullptr;
    bool dirty_ = false;
    int32_t bufferFirst_ = 0;
    int32_t bufferLast_ = 0;
};

class ZBigEndianFile : public ZFile {
  public:
    using ZFile::ZFile;

  protected:
    bool IsBigEndian() const override { return true; }
};
