// Four-character type codes: four ASCII characters stored in reading order and compared as one 32-bit
// word. The word's lowest byte is the first character, which is how the code lies in memory and in files.
#pragma once

#include <cstdint>
#include <string>

using ZTypeCode = uint32_t;

constexpr ZTypeCode MakeTypeCode(const char (&text)[5]) {
    return uint32_t(uint8_t(text[0])) | uint32_t(uint8_t(text[1])) << 8 | uint32_t(uint8_t(text[2])) << 16 |
           uint32_t(uint8_t(text[3])) << 24;
}

inline constexpr ZTypeCode kTypeUnknown = MakeTypeCode("????");
inline constexpr ZTypeCode kTypeMsf = MakeTypeCode("MSF ");
inline constexpr ZTypeCode kTypeText = MakeTypeCode("TEXT");
inline constexpr ZTypeCode kTypeJpeg = MakeTypeCode("JPEG");
inline constexpr ZTypeCode kTypeRix = MakeTypeCode("RIX ");
inline constexpr ZTypeCode kTypeRax = MakeTypeCode("RAX ");
inline constexpr ZTypeCode kTypeRcx = MakeTypeCode("RCX ");
inline constexpr ZTypeCode kTypeFont = MakeTypeCode("FONT");
inline constexpr ZTypeCode kTypePhotoshop = MakeTypeCode("8BPS");
inline constexpr ZTypeCode kTypeGif = MakeTypeCode("GIFf");
inline constexpr ZTypeCode kTypeBmp = MakeTypeCode(".BMP");
inline constexpr ZTypeCode kTypeTarga = MakeTypeCode("TPIC");
inline constexpr ZTypeCode kTypePict = MakeTypeCode("PICT");

// The four characters of a code, in reading order.
inline std::string TypeCodeText(ZTypeCode code) {
    return std::string{char(code & 0xFF), char((code >> 8) & 0xFF), char((code >> 16) & 0xFF),
                       char(code >> 24)};
}

// The code of a text of exactly four bytes; false for any other length.
inline bool ParseTypeCode(const std::string& text, ZTypeCode& code) {
    if (text.size() != 4) {
        return false;
    }
    code = uint32_t(uint8_t(text[0])) | uint32_t(uint8_t(text[1])) << 8 | uint32_t(uint8_t(text[2])) << 16 |
           uint32_t(uint8_t(text[3])) << 24;
    return true;
}
