#include "tools/kestdemo/Captions.h"

#include <algorithm>
#include <cctype>
#include <cstdint>

namespace captions {

namespace {

std::string_view Trim(std::string_view s) {
    auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!s.empty() && space(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && space(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

// The next code point of utf8 from i, which it steps past; -1 for a broken sequence (one byte skipped).
int32_t NextCodePoint(std::string_view utf8, size_t& i) {
    uint8_t lead = uint8_t(utf8[i++]);
    if (lead < 0x80) {
        return lead;
    }
    int extra = lead >= 0xC2 && lead <= 0xDF   ? 1
                : lead >= 0xE0 && lead <= 0xEF ? 2
                : lead >= 0xF0 && lead <= 0xF4 ? 3
                                               : -1;
    if (extra < 0) {
        return -1;
    }
    int32_t value = lead & (0x3F >> extra);
    for (int k = 0; k < extra; ++k) {
        if (i >= utf8.size() || (uint8_t(utf8[i]) & 0xC0) != 0x80) {
            return -1;
        }
        value = (value << 6) | (uint8_t(utf8[i++]) & 0x3F);
    }
    return value;
}

}  // namespace

void Parse(std::string_view text, std::map<std::string, std::string>& captions,
           std::vector<std::string>& problems) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") {  // a byte-order mark some editors write
        text.remove_prefix(3);
    }
    for (size_t start = 0, number = 1; start < text.size(); ++number) {
        size_t end = std::min(text.find('\n', start), text.size());
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (Trim(line).empty() || line.front() == '#') {
            continue;
        }
        size_t tab = line.find('\t');
        std::string_view name = tab == line.npos ? line : Trim(line.substr(0, tab));
        std::string_view caption = tab == line.npos ? std::string_view() : Trim(line.substr(tab + 1));
        if (tab == line.npos || name.empty() || caption.empty()) {
            problems.push_back("line " + std::to_string(number) + ": expected \"file name<TAB>caption\"");
            continue;
        }
        captions[std::string(name)] = std::string(caption);
    }
}

std::string ToStored(std::string_view utf8) {
    std::string out;
    for (size_t i = 0; i < utf8.size();) {
        int32_t c = NextCodePoint(utf8, i);
        bool control = (c >= 0 && c < 0x20) || (c >= 0x7F && c < 0xA0);
        char byte = c < 0 || c > 0xFF ? '?' : control ? ' ' : char(uint8_t(c));
        if (byte != ' ' || (!out.empty() && out.back() != ' ')) {
            out += byte;
        }
    }
    out = std::string(Trim(out));
    if (out.size() > kMostCaptionBytes) {
        // Cut at the last space in the final third, else mid-word.
        size_t space = out.rfind(' ', kMostCaptionBytes);
        out.resize(space != out.npos && space > kMostCaptionBytes * 2 / 3 ? space : kMostCaptionBytes);
    }
    return out;
}

bool IsMeaningfulDescription(std::string_view description) {
    static const char* const kCameraWords[] = {"OLYMPUS DIGITAL CAMERA",
                                               "SONY DSC",
                                               "DIGITAL CAMERA",
                                               "KODAK DIGITAL STILL CAMERA",
                                               "MINOLTA DIGITAL CAMERA",
                                               "SAMSUNG DIGITAL CAMERA",
                                               "DCIM"};
    std::string upper(Trim(description));
    if (upper.empty()) {
        return false;
    }
    std::transform(upper.begin(), upper.end(), upper.begin(), [](char c) { return char(std::toupper(c)); });
    return std::none_of(std::begin(kCameraWords), std::end(kCameraWords),
                        [&](const char* word) { return upper == word; });
}

std::string FromFileName(const std::string& name) {
    size_t dot = name.rfind('.');
    std::string out = name.substr(0, dot != name.npos && dot > 0 ? dot : name.size());
    std::replace(out.begin(), out.end(), '_', ' ');
    std::replace(out.begin(), out.end(), '-', ' ');
    return out;
}

}  // namespace captions
