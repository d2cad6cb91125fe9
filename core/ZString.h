// A growable 8-bit string that keeps a one-byte length prefix in front of its text. The buffer holds
// the prefix (the length clamped to 255), the characters and a NUL. Not thread-safe.
#pragma once

#include <cstdint>

// The default size used across the framework: string capacity and other default buffers.
inline constexpr int32_t kDefaultCapacity = 128;

class ZString {
  public:
    static constexpr int32_t kDefaultCapacity = ::kDefaultCapacity;
    // Capacities from this size on come from the platform's large-block allocator.
    static constexpr int32_t kLargeCapacity = 65534;
    // No string grows beyond this; a larger request fails like an allocation that ran out of memory.
    static constexpr int32_t kMaxCapacity = int32_t(1) << 30;

    ZString() : ZString(kDefaultCapacity) {}
    explicit ZString(int32_t capacity);
    ZString(const ZString& other);
    // Takes at most maxLength characters of text; null text gives an empty string.
    ZString(const char* text, int32_t maxLength);
    virtual ~ZString();

    ZString& operator=(const ZString& other) { return Assign(other); }

    // NUL-terminated text, or null when there is no buffer (after a failed allocation).
    const char* GetText() const;
    int32_t GetLength() const { return length_; }
    int32_t GetCapacity() const { return capacity_; }
    uint8_t GetPrefix() const { return buffer_ != nullptr ? buffer_[0] : 0; }
    bool IsBufferOpen() const { return bufferOpen_; }

    // Capacity becomes the smallest 128 * 2^k that holds needed characters; grows and shrinks.
    ZString& SetCapacity(int32_t needed);
    ZString& Truncate(int32_t newLength);
    // Empties the string and gives memory back down to the default capacity.
    ZString& Clear();
    ZString& Assign(const ZString& other);
    ZString& Assign(const char* text);
    ZString& Append(const ZString& other);
    ZString& Append(const char* text);
    ZString& Append(char c);
    ZString& Insert(const ZString& other, int32_t index);
    bool Delete(int32_t index, int32_t count);
    bool Equals(const char* text) const;
    ZString& ToLower();
    // Reads the first signed decimal number in the text; false when there is none.
    bool ToInteger(int32_t& value) const;
    // Drops leading and trailing control bytes and spaces.
    ZString& Trim();
    // Turns runs of white space into single spaces and joins words hyphenated across line breaks.
    ZString& CollapseWhitespace();
    ZString& StripExtension();
    // The part after the last path separator, or the whole string when there is none.
    void GetFileName(ZString& out) const;
    // Room for at least minCapacity characters; the caller writes a NUL-terminated text there and then
    // calls ReleaseBuffer. Null when there is no buffer.
    char* GetBuffer(int32_t minCapacity);
    ZString& ReleaseBuffer();

  private:
    bool Reserve(int64_t needed);
    void Release();
    void SetLength(int32_t length);
    bool PointsInside(const char* text) const;
    char* Chars() { return reinterpret_cast<char*>(buffer_ + 1); }
    const char* Chars() const { return reinterpret_cast<const char*>(buffer_ + 1); }

    uint8_t* buffer_ = nullptr;  // prefix, capacity characters, NUL
    int32_t length_ = 0;
    int32_t capacity_ = 0;
    bool bufferOpen_ = false;
};
