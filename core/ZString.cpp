#include "core/ZString.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "platform/Memory.h"

namespace {

// A block of capacity characters plus the prefix byte and the NUL.
uint8_t* AllocateBlock(int32_t capacity) {
    size_t bytes = static_cast<size_t>(capacity) + 2;
    if (capacity >= ZString::kLargeCapacity) {
        return static_cast<uint8_t*>(platform::AllocLarge(bytes));
    }
    return new (std::nothrow) uint8_t[bytes];
}

// The capacity decides which allocator the block came from.
void FreeBlock(uint8_t* block, int32_t capacity) {
    if (capacity >= ZString::kLargeCapacity) {
        platform::FreeLarge(block);
    } else {
        delete[] block;
    }
}

bool IsPathSeparator(char c) {
    return c == '/' || c == ':' || c == '\\';
}

bool IsLineBreak(uint8_t c) {
    return c == '\r' || c == '\n';
}

}  // namespace

ZString::ZString(int32_t capacity) {
    Reserve(capacity);
}

ZString::ZString(const ZString& other) {
    Assign(other);
}

ZString::ZString(const char* text, int32_t maxLength) {
    size_t count = text != nullptr ? strnlen(text, static_cast<size_t>(std::max(maxLength, 0))) : 0;
    if (Reserve(static_cast<int64_t>(count)) && count > 0) {
        std::memcpy(Chars(), text, count);
        SetLength(static_cast<int32_t>(count));
    }
}

ZString::~ZString() {
    Release();
}

const char* ZString::GetText() const {
    return buffer_ != nullptr ? Chars() : nullptr;
}

ZString& ZString::SetCapacity(int32_t needed) {
    Reserve(needed);
    return *this;
}

// Applies the capacity rule; false when the string was left without a buffer. The text survives a
// reallocation as far as it fits.
bool ZString::Reserve(int64_t needed) {
    int64_t capacity = kDefaultCapacity;
    while (capacity < needed && capacity < kMaxCapacity) {
        capacity *= 2;
    }
    if (capacity < needed) {
        Release();
        return false;
    }
    if (buffer_ != nullptr && capacity == capacity_) {
        return true;
    }
    uint8_t* block = AllocateBlock(static_cast<int32_t>(capacity));
    if (block == nullptr) {
        Release();
        return false;
    }
    int32_t kept = 0;
    if (buffer_ != nullptr) {
        kept =
            static_cast<int32_t>(strnlen(Chars(), static_cast<size_t>(std::min<int64_t>(length_, capacity))));
        std::memcpy(block + 1, buffer_ + 1, static_cast<size_t>(kept));
        FreeBlock(buffer_, capacity_);
    }
    buffer_ = block;
    capacity_ = static_cast<int32_t>(capacity);
    SetLength(kept);
    return true;
}

void ZString::Release() {
    if (buffer_ != nullptr) {
        FreeBlock(buffer_, capacity_);
    }
    buffer_ = nullptr;
    capacity_ = 0;
    length_ = 0;
}

// Keeps the invariants: the prefix is the length clamped to 255 and a NUL follows the text.
void ZString::SetLength(int32_t length) {
    length_ = length;
    buffer_[0] = static_cast<uint8_t>(std::min(length, 255));
    buffer_[length + 1] = 0;
}

bool ZString::PointsInside(const char* text) const {
    if (buffer_ == nullptr || text == nullptr) {
        return false;
    }
    auto at = reinterpret_cast<uintptr_t>(text);
    auto start = reinterpret_cast<uintptr_t>(buffer_);
    return at >= start && at < start + static_cast<uintptr_t>(capacity_) + 2;
}

ZString& ZString::Truncate(int32_t newLength) {
    if (newLength >= 0 && newLength < length_) {
        SetLength(newLength);
    }
    return *this;
}

ZString& ZString::Clear() {
    if (buffer_ != nullptr) {
        SetLength(0);
    }
    Reserve(0);
    return *this;
}

ZString& ZString::Assign(const ZString& other) {
    if (&other == this) {
        return *this;
    }
    if (!Reserve(other.capacity_)) {
        return *this;
    }
    int32_t count = other.buffer_ != nullptr ? other.length_ : 0;
    if (count > 0) {
        std::memcpy(Chars(), other.Chars(), static_cast<size_t>(count));
    }
    SetLength(count);
    return *this;
}

ZString& ZString::Assign(const char* text) {
    if (text == nullptr) {
        return Clear();
    }
    if (PointsInside(text)) {
        // Our own text: take a copy first, since the buffer may move or shrink under it.
        ZString copy(text, INT32_MAX);
        return Assign(copy);
    }
    size_t count = std::strlen(text);
    if (Reserve(static_cast<int64_t>(count))) {
        std::memcpy(Chars(), text, count);
        SetLength(static_cast<int32_t>(count));
    }
    return *this;
}

ZString& ZString::Append(const ZString& other) {
    int32_t count = other.length_;
    if (!Reserve(int64_t(length_) + count)) {
        return *this;
    }
    if (count > 0) {
        // Read other's text only now: appending the string to itself sees the new buffer.
        std::memcpy(Chars() + length_, other.Chars(), static_cast<size_t>(count));
    }
    SetLength(length_ + count);
    return *this;
}

ZString& ZString::Append(const char* text) {
    if (text == nullptr) {
        return *this;
    }
    if (PointsInside(text)) {
        ZString copy(text, INT32_MAX);
        return Append(copy);
    }
    size_t count = std::strlen(text);
    if (Reserve(int64_t(length_) + static_cast<int64_t>(count))) {
        std::memcpy(Chars() + length_, text, count);
        SetLength(length_ + static_cast<int32_t>(count));
    }
    return *this;
}

ZString& ZString::Append(char c) {
    if (c == 0 || !Reserve(int64_t(length_) + 1)) {
        return *this;
    }
    Chars()[length_] = c;
    SetLength(length_ + 1);
    return *this;
}

ZString& ZString::Insert(const ZString& other, int32_t index) {
    if (other.length_ == 0) {
        return *this;
    }
    if (&other == this) {
        // The tail moves before the insertion is copied in, so insert a copy.
        ZString copy(*this);
        return Insert(copy, index);
    }
    int32_t count = other.length_;
    if (!Reserve(int64_t(length_) + count)) {
        return *this;
    }
    index = std::clamp(index, 0, length_);
    std::memmove(Chars() + index + count, Chars() + index, static_cast<size_t>(length_ - index));
    std::memcpy(Chars() + index, other.Chars(), static_cast<size_t>(count));
    SetLength(length_ + count);
    return *this;
}

bool ZString::Delete(int32_t index, int32_t count) {
    if (index < 0 || count < 0 || index > length_) {
        return false;
    }
    count = std::min(count, length_ - index);
    if (count == 0) {
        return true;
    }
    std::memmove(Chars() + index, Chars() + index + count, static_cast<size_t>(length_ - index - count));
    SetLength(length_ - count);
    return true;
}

bool ZString::Equals(const char* text) const {
    if (text == nullptr) {
        return false;
    }
    if (length_ == 0) {
        return text[0] == 0;
    }
    size_t count = static_cast<size_t>(length_);
    return strnlen(text, count + 1) == count && std::memcmp(Chars(), text, count) == 0;
}

ZString& ZString::ToLower() {
    for (int32_t i = 0; i < length_; ++i) {
        uint8_t c = buffer_[i + 1];
        if (c >= 'A' && c <= 'Z') {
            buffer_[i + 1] = static_cast<uint8_t>(c - 'A' + 'a');
        }
    }
    return *this;
}

// Overflow wraps modulo 2^32, as the framework always did, but without undefined behaviour.
bool ZString::ToInteger(int32_t& value) const {
    value = 0;
    const uint8_t* text = buffer_ != nullptr ? buffer_ + 1 : nullptr;
    int32_t i = 0;
    while (i < length_ && text[i] != '+' && text[i] != '-' && (text[i] < '0' || text[i] > '9')) {
        ++i;
    }
    if (i == length_) {
        return false;
    }
    bool negative = text[i] == '-';
    if (text[i] == '+' || text[i] == '-') {
        ++i;
    }
    uint32_t total = 0;
    for (; i < length_ && text[i] >= '0' && text[i] <= '9'; ++i) {
        total = total * 10u + static_cast<uint32_t>(text[i] - '0');
    }
    value = static_cast<int32_t>(negative ? 0u - total : total);
    return true;
}

ZString& ZString::Trim() {
    if (length_ == 0) {
        return *this;
    }
    const uint8_t* text = buffer_ + 1;
    int32_t first = 0;
    while (first < length_ && text[first] <= 0x20) {
        ++first;
    }
    int32_t last = length_;
    while (last > first && text[last - 1] <= 0x20) {
        --last;
    }
    std::memmove(Chars(), Chars() + first, static_cast<size_t>(last - first));
    SetLength(last - first);
    return *this;
}

// One pass with a read and a write position; the write position never passes the read position.
// Before the first character counts as a space, so leading white space goes.
ZString& ZString::CollapseWhitespace() {
    if (length_ == 0) {
        return *this;
    }
    uint8_t* text = buffer_ + 1;
    int32_t write = 0;
    auto lastWritten = [&] { return write > 0 ? text[write - 1] : uint8_t(' '); };
    int32_t read = 0;
    while (read < length_) {
        uint8_t c = text[read];
        if (IsLineBreak(c)) {
            int32_t end = read;
            while (end < length_ && IsLineBreak(text[end])) {
                ++end;
            }
            // A break at the end goes; a break after a hyphen joins the word.
            if (end < length_ && lastWritten() != '-' && lastWritten() != ' ') {
                text[write++] = ' ';
            }
            read = end;
            continue;
        }
        if (c > 0x20) {
            text[write++] = c;
        } else if ((c == ' ' || c == '\t') && lastWritten() != ' ') {
            text[write++] = ' ';
        }
        ++read;
    }
    while (write > 0 && text[write - 1] <= 0x20) {
        --write;
    }
    SetLength(write);
    return *this;
}

// The first character is never examined, so ".profile" keeps its dot.
ZString& ZString::StripExtension() {
    for (int32_t i = length_ - 1; i >= 1; --i) {
        char c = Chars()[i];
        if (c == '.') {
            return Truncate(i);
        }
        if (IsPathSeparator(c)) {
            break;
        }
    }
    return *this;
}

void ZString::GetFileName(ZString& out) const {
    if (length_ == 0) {
        out.Clear();
        return;
    }
    for (int32_t i = length_ - 1; i >= 1; --i) {
        if (IsPathSeparator(Chars()[i])) {
            if (i + 1 < length_) {
                out.Assign(Chars() + i + 1);
                return;
            }
            break;
        }
    }
    out.Assign(*this);
}

char* ZString::GetBuffer(int32_t minCapacity) {
    if (buffer_ == nullptr || minCapacity > capacity_) {
        Reserve(std::max(minCapacity, capacity_));
    }
    if (buffer_ == nullptr) {
        return nullptr;
    }
    bufferOpen_ = true;
    return Chars();
}

ZString& ZString::ReleaseBuffer() {
    bufferOpen_ = false;
    if (buffer_ != nullptr) {
        SetLength(static_cast<int32_t>(strnlen(Chars(), static_cast<size_t>(capacity_))));
    }
    return *this;
}
