// The base of the sound readers. A reader parses a sound file's header into the stream's sample format
// and the byte range of its sample data, then hands out that data in whole frames on request. Prototypes
// of each kind live in the sound registry; CreateForFile makes a working reader of the same kind.
#pragma once

#include <cstdint>
#include <memory>

#include "audio/ZAudioDecoderConfig.h"
#include "audio/ZAudioFormat.h"
#include "media/ZFile.h"
#include "media/ZTypeCode.h"

inline constexpr ZTypeCode kTypeWave = MakeTypeCode("WAVE");
inline constexpr ZTypeCode kTypeRawSound = MakeTypeCode("RSX ");

class ZSoundReader {
  public:
    // The highest sample rate a stream may declare; anything faster is a damaged header.
    static constexpr int32_t kMaxRate = 192000;

    // Reads through its own view of file's file object (null for a prototype).
    explicit ZSoundReader(const ZFile* file);
    ZSoundReader(const ZSoundReader&) = delete;
    ZSoundReader& operator=(const ZSoundReader&) = delete;
    virtual ~ZSoundReader();

    // Fills in the format and the data range: 0 on success, -1 for a file this reader cannot take.
    virtual int32_t ParseHeader() = 0;
    // Reads up to count bytes of sample data from the current position, into buffer or, when it is null,
    // into the reader's own buffer. The count is cut to whole frames and to the data that remains, and
    // gives back the bytes delivered. Returns the bytes, or null with count 0 at the end of the data
    // and on failure (error tells the two apart).
    virtual uint8_t* Read(uint8_t* buffer, int32_t& count, bool& error);
    virtual std::unique_ptr<ZSoundReader> CreateForFile(const ZFile* file) const = 0;
    virtual ZTypeCode GetType() const = 0;
    // The compressed stream's configuration, or null for uncompressed samples. Not a new reference.
    virtual ZAudioDecoderConfig* GetDecoderConfig() const { return nullptr; }

    const ZAudioEncodingFormat& GetFormat() const { return format_; }
    int64_t GetDataStart() const { return dataStart_; }
    int64_t GetDataEnd() const { return dataEnd_; }
    int64_t GetPosition() const { return position_; }
    // Moves to offset bytes into the data, kept inside it and on a frame boundary.
    void SetPosition(int64_t offset);
    bool PastEnd(int64_t offset) const { return offset + dataStart_ >= dataEnd_; }
    bool AtEnd() const { return PastEnd(position_); }

  protected:
    // Position, format and data range back to nothing, as a parse starts.
    void Reset();
    // Sets an uncompressed format: one or two channels, a rate in 1..kMaxRate, 8 or 16 bits.
    bool SetPcmFormat(int32_t channels, int64_t rate, int32_t bits);
    static bool IsValidLayout(int32_t channels, int64_t rate) {
        return (channels == 1 || channels == 2) && rate >= 1 && rate <= kMaxRate;
    }
    // Sets the data range from start for size bytes, kept inside the file and cut to whole frames so
    // that every read stays on a frame boundary. Needs the format first.
    void SetDataRange(int64_t start, int64_t size);
    int64_t FileSize();
    // Reads exactly count bytes at offset; false on a short read.
    bool ReadAt(int64_t offset, void* out, int32_t count);

    ZFile file_;
    ZAudioEncodingFormat format_;

  private:
    int64_t position_ = 0;
    int64_t dataStart_ = 0;
    int64_t dataEnd_ = 0;
    std::unique_ptr<uint8_t[]> buffer_;
    int32_t bufferSize_ = 0;
};
