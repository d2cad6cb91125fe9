#include "media/ZFile.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "platform/Memory.h"

namespace {

template <typename T>
void SwapBytes(T* values, int32_t count) {
    for (int32_t i = 0; i < count; ++i) {
        uint8_t bytes[sizeof(T)];
        std::memcpy(bytes, &values[i], sizeof(T));
        std::reverse(bytes, bytes + sizeof(T));
        std::memcpy(&values[i], bytes, sizeof(T));
    }
}

}  // namespace

ZFile::ZFile(ZFileObject* fileObject) : fileObject_(fileObject) {
    if (fileObject_ != nullptr) {
        fileObject_->AddReference();
    }
}

ZFile::ZFile(const ZFile& other)
    : fileObject_(other.fileObject_), position_(other.position_), base_(other.base_), length_(other.length_) {
    if (fileObject_ != nullptr) {
        fileObject_->AddReference();
    }
}

ZFile& ZFile::operator=(const ZFile& other) {
    if (this != &other) {
        SetFileObject(other.fileObject_);
        position_ = other.position_;
        base_ = other.base_;
        length_ = other.length_;
    }
    return *this;
}

ZFile::ZFile(const ZFileSpec& spec, ZTypeCode creator, ZTypeCode fileType)
    : fileObject_(new ZFileObject(spec, creator, fileType)) {}

ZFile::~ZFile() {
    Unbuffer();
    if (fileObject_ != nullptr) {
        fileObject_->Release();
    }
}

void ZFile::SetFileSpec(const ZFileSpec& spec) {
    Unbuffer();
    if (fileObject_ != nullptr) {
        fileObject_->Release();
    }
    fileObject_ = new ZFileObject(spec);
    position_ = 0;
    base_ = 0;
    length_ = kUnbounded;
}

void ZFile::SetFileObject(ZFileObject* fileObject) {
    Unbuffer();
    if (fileObject != nullptr) {
        fileObject->AddReference();  // first, in case it is the one held now
    }
    if (fileObject_ != nullptr) {
        fileObject_->Release();
    }
    fileObject_ = fileObject;
}

bool ZFile::Open(int32_t mode) {
    if (fileObject_ == nullptr || !fileObject_->IsOpen()) {
        position_ = base_;  // positions are absolute: a fresh file starts at its window
    }
    return fileObject_ != nullptr && fileObject_->Open(mode);
}

int32_t ZFile::GetSize() {
    if (length_ != kUnbounded) {
        return length_;
    }
    int32_t size = fileObject_ != nullptr ? fileObject_->GetSize() : 0;
    return std::max(size - base_, 0);
}

int64_t ZFile::WindowEnd() const {
    return std::min<int64_t>(int64_t(base_) + length_, INT32_MAX);
}

void ZFile::Seek(int32_t offset, bool fromStart) {
    int64_t target = int64_t(offset) + (fromStart ? base_ : position_);
    position_ = int32_t(std::clamp<int64_t>(target, base_, WindowEnd()));
}

int32_t ZFile::ReadAppend(ZString& text, int32_t maxCount) {
    if (!Open(ZFileObject::kModeRead)) {
        return 0;
    }
    int64_t n = std::min<int64_t>(maxCount, int64_t(GetSize()) - Tell());
    int32_t length = text.GetLength();
    n = std::min<int64_t>(n, int64_t(ZString::kMaxCapacity) - length);
    if (n <= 0) {
        return 0;
    }
    char* chars = text.GetBuffer(length + int32_t(n));
    if (chars == nullptr) {
        return 0;
    }
    int32_t got = Read(chars + length, int32_t(n));
    chars[length + std::max(got, 0)] = 0;
    text.ReleaseBuffer();
    return got;
}

uint8_t* ZFile::Buffer(int32_t offset, int32_t count) {
    Unbuffer();
    if (fileObject_ == nullptr || !Open(ZFileObject::kModeRead)) {
        return buffer_;
    }
    int64_t end = std::min<int64_t>(fileObject_->GetSize(), WindowEnd());
    // The buffer never starts before the window.
    int64_t start = std::max<int64_t>(base_, int64_t(offset) + base_);
    start = std::min<int64_t>(start, end - 1);
    int64_t n = std::min<int64_t>(std::max(count, 0), end - start);
    if (n <= 0 || start < base_) {  // a window that lies beyond the end of the file has nothing to buffer
        return buffer_;
    }
    auto* block = static_cast<uint8_t*>(platform::AllocLarge(size_t(n)));
    if (block == nullptr) {
        return buffer_;
    }
    int32_t got = fileObject_->Read(block, int32_t(start), int32_t(n));
    if (got <= 0) {
        platform::FreeLarge(block);
        return buffer_;
    }
    // Only what arrived is served from memory.
    buffer_ = block;
    bufferFirst_ = int32_t(start);
    bufferLast_ = int32_t(start) + got - 1;
    Seek(0, false);
    return buffer_;
}

void ZFile::Unbuffer() {
    if (buffer_ == nullptr) {
        return;
    }
    if (dirty_ && fileObject_ != nullptr) {
        fileObject_->Write(buffer_, bufferFirst_, bufferLast_ - bufferFirst_ + 1);
    }
    platform::FreeLarge(buffer_);
    buffer_ = nullptr;
    dirty_ = false;
    bufferFirst_ = 0;
    bufferLast_ = 0;
}

int32_t ZFile::Read(void* buffer, int32_t count) {
    int64_t wanted = std::min<int64_t>(count, WindowEnd() - position_);
    if (buffer == nullptr || wanted <= 0) {
        return 0;
    }
    auto* out = static_cast<uint8_t*>(buffer);
    int32_t remaining = int32_t(wanted);
    int32_t fromBuffer = 0;
    if (buffer_ != nullptr && position_ >= bufferFirst_ && position_ <= bufferLast_) {
        fromBuffer = std::min(remaining, bufferLast_ - position_ + 1);
        std::memcpy(out, buffer_ + (position_ - bufferFirst_), size_t(fromBuffer));
        position_ += fromBuffer;
        remaining -= fromBuffer;
    }
    int32_t fromFile = 0;
    if (remaining > 0 && fileObject_ != nullptr) {
        fromFile = fileObject_->Read(out + fromBuffer, position_, remaining);
        position_ += remaining;  // as if everything asked for had arrived
    }
    return fromBuffer + fromFile;
}

int32_t ZFile::Write(const void* buffer, int32_t count) {
    int64_t wanted = std::min<int64_t>(count, WindowEnd() - position_);
    if (buffer == nullptr || wanted <= 0) {
        return 0;
    }
    auto* in = static_cast<const uint8_t*>(buffer);
    int32_t remaining = int32_t(wanted);
    int32_t toBuffer = 0;
    if (buffer_ != nullptr && position_ >= bufferFirst_ && position_ <= bufferLast_) {
        toBuffer = std::min(remaining, bufferLast_ - position_ + 1);
        std::memcpy(buffer_ + (position_ - bufferFirst_), in, size_t(toBuffer));
        dirty_ = true;
        position_ += toBuffer;
        remaining -= toBuffer;
    }
    int32_t toFile = 0;
    if (remaining > 0 && fileObject_ != nullptr) {
        toFile = fileObject_->Write(in + toBuffer, position_, remaining);
        position_ += remaining;
    }
    return toBuffer + toFile;
}

int32_t ZFile::ReadAsync(void* buffer, int32_t count, ZAsyncProgress* progress) {
    if (fileObject_ == nullptr) {
        return -1;
    }
    int32_t copied = 0;
    if (buffer != nullptr && count > 0 && buffer_ != nullptr && position_ >= bufferFirst_ &&
        position_ <= bufferLast_) {
        copied = std::min(count, bufferLast_ - position_ + 1);
        std::memcpy(buffer, buffer_ + (position_ - bufferFirst_), size_t(copied));
        position_ += copied;
        if (progress != nullptr) {
            progress->transferred += copied;
        }
    }
    return fileObject_->ReadAsync(static_cast<uint8_t*>(buffer) + copied, position_, count - copied);
}

template <typename T>
int32_t ZFile::ReadValues(T* values, int32_t& count) {
    if (values == nullptr || count <= 0 || count > INT32_MAX / int32_t(sizeof(T))) {
        count = 0;
        return 0;
    }
    int32_t bytes = Read(values, count * int32_t(sizeof(T)));
    count = bytes / int32_t(sizeof(T));
    if (IsBigEndian() != (std::endian::native == std::endian::big)) {
        SwapBytes(values, count);
    }
    return bytes;
}

template <typename T>
int32_t ZFile::WriteValues(T* values, int32_t& count) {
    if (values == nullptr || count <= 0 || count > INT32_MAX / int32_t(sizeof(T))) {
        count = 0;
        return 0;
    }
    bool swap = IsBigEndian() != (std::endian::native == std::endian::big);
    if (swap) {
        SwapBytes(values, count);
    }
    int32_t bytes = Write(values, count * int32_t(sizeof(T)));
    if (swap) {
        SwapBytes(values, count);  // the caller's values stay as they were
    }
    count = bytes / int32_t(sizeof(T));
    return bytes;
}

int32_t ZFile::ReadType(ZTypeCode& code) {
    uint8_t bytes[4] = {0, 0, 0, 0};
    int32_t n = Read(bytes, 4);
    code = n == 4 ? uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
                        uint32_t(bytes[3]) << 24
                  : 0;
    return n;
}

int32_t ZFile::ReadString(ZString& text) {
    int32_t length = 0;
    int32_t n = ReadLong(length);
    if (n != 4) {
        return n;
    }
    // A length beyond the bytes that remain is cut to them; a negative one reads nothing.
    int64_t count = std::min<int64_t>(std::max(length, 0), std::max<int64_t>(int64_t(GetSize()) - Tell(), 0));
    count = std::min<int64_t>(count, ZString::kMaxCapacity);
    text.Clear();
    char* chars = text.GetBuffer(int32_t(count));
    if (chars == nullptr) {
        return 4;
    }
    int32_t got = count > 0 ? Read(chars, int32_t(count)) : 0;
    chars[std::max(got, 0)] = 0;
    text.ReleaseBuffer();
    return got + 4;
}

int32_t ZFile::ReadRGB(uint8_t rgb[3]) {
    return Read(rgb, 3) == 3 ? 3 : 0;
}

int32_t ZFile::ReadRect(ZRect& rect) {
    int32_t values[4] = {0, 0, 0, 0};
    int32_t count = 4;
    int32_t n = ReadLongs(values, count);
    if (count != 4) {
        return 0;
    }
    rect = ZRect{values[1], values[0], values[3], values[2]};  // stored left, top, right, bottom
    return n;
}

int32_t ZFile::ReadPoint(ZPoint& point) {
    int32_t values[2] = {0, 0};
    int32_t count = 2;
    int32_t n = ReadLongs(values, count);
    if (count != 2) {
        return 0;
    }
    point = ZPoint{values[0], values[1]};
    return n;
}

int32_t ZFile::ReadDoubles(double* values, int32_t& count) {
    return ReadValues(values, count);
}
int32_t ZFile::ReadFloats(float* values, int32_t& count) {
    return ReadValues(values, count);
}
int32_t ZFile::ReadLongs(int32_t* values, int32_t& count) {
    return ReadValues(values, count);
}
int32_t ZFile::ReadShorts(int16_t* values, int32_t& count) {
    return ReadValues(values, count);
}

// Single values are read whole or come back as 0.
template <typename T>
static int32_t ReadOne(ZFile& file, T& value, int32_t (ZFile::*readArray)(T*, int32_t&)) {
    T v{};
    int32_t count = 1;
    int32_t n = (file.*readArray)(&v, count);
    value = count == 1 ? v : T{};
    return n;
}

int32_t ZFile::ReadDouble(double& value) {
    return ReadOne(*this, value, &ZFile::ReadDoubles);
}
int32_t ZFile::ReadFloat(float& value) {
    return ReadOne(*this, value, &ZFile::ReadFloats);
}
int32_t ZFile::ReadLong(int32_t& value) {
    return ReadOne(*this, value, &ZFile::ReadLongs);
}
int32_t ZFile::ReadShort(int16_t& value) {
    return ReadOne(*this, value, &ZFile::ReadShorts);
}

int32_t ZFile::WriteType(ZTypeCode code) {
    uint8_t bytes[4] = {uint8_t(code), uint8_t(code >> 8), uint8_t(code >> 16), uint8_t(code >> 24)};
    return Write(bytes, 4);
}

int32_t ZFile::WriteString(const ZString& text) {
    int32_t length = text.GetText() != nullptr ? text.GetLength() : 0;
    int32_t n = WriteLong(length);
    return length > 0 ? n + Write(text.GetText(), length) : n;
}

int32_t ZFile::WriteRGB(const uint8_t rgb[3]) {
    return Write(rgb, 3);
}

int32_t ZFile::WriteRect(const ZRect& rect) {
    int32_t values[4] = {rect.left, rect.top, rect.right, rect.bottom};
    int32_t count = 4;
    int32_t n = WriteLongs(values, count);
    return count == 4 ? n : 0;
}

int32_t ZFile::WritePoint(const ZPoint& point) {
    int32_t values[2] = {point.x, point.y};
    int32_t count = 2;
    int32_t n = WriteLongs(values, count);
    return count == 2 ? n : 0;
}

int32_t ZFile::WriteDoubles(double* values, int32_t& count) {
    return WriteValues(values, count);
}
int32_t ZFile::WriteFloats(float* values, int32_t& count) {
    return WriteValues(values, count);
}
int32_t ZFile::WriteLongs(int32_t* values, int32_t& count) {
    return WriteValues(values, count);
}
int32_t ZFile::WriteShorts(int16_t* values, int32_t& count) {
    return WriteValues(values, count);
}

int32_t ZFile::WriteDouble(double value) {
    int32_t count = 1;
    return WriteDoubles(&value, count);
}
int32_t ZFile::WriteFloat(float value) {
    int32_t count = 1;
    return WriteFloats(&value, count);
}
int32_t ZFile::WriteLong(int32_t value) {
    int32_t count = 1;
    return WriteLongs(&value, count);
}
int32_t ZFile::WriteShort(int16_t value) {
    int32_t count = 1;
    return WriteShorts(&value, count);
}
