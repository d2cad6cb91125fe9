#include "controls/ZHTMLMarkup.h"

#include <algorithm>
#include <array>
#include <limits>

#include "core/ZString.h"

namespace html {

namespace {

constexpr std::array<std::string_view, kTagTableSize> kTagNames = {
    "br",         "hr",         "p",         "a",        "font",     "th",          "td",       "tr",
    "htmltagje1", "blockquote", "plaintext", "textarea", "footnote", "abstract",    "frameset", "cdoemail",
    "address",    "isindex",    "listing",   "printed",  "caption",  "strong",      "center",   "select",
    "option",     "nextid",     "online",    "margin",   "nowrap",   "script",      "table",    "input",
    "title",      "frame",      "meta",      "code",     "link",     "base",        "html",     "body",
    "head",       "cite",       "samp",      "menu",     "form",     "math",        "note",     "area",
    "pre",        "dir",        "!",         "img",      "kbd",      "var",         "dfn",      "fig",
    "lit",        "map",        "sub",       "sup",      "h1",       "h2",          "h3",       "h4",
    "h5",         "h6",         "em",        "tt",       "dl",       "dt",          "dd",       "ul",
    "li",         "ol",         "b",         "i",        "u",        "unknown tag",
};

// ISO 8859-1 entity names for codes 160..255.
constexpr std::array<std::string_view, 96> kLatin1Names = {
    "nbsp",   "iexcl",  "cent",   "pound",  "curren", "yen",    "brvbar", "sect",   "uml",    "copy",
    "ordf",   "laquo",  "not",    "shy",    "reg",    "macr",   "deg",    "plusmn", "sup2",   "sup3",
    "acute",  "micro",  "para",   "middot", "cedil",  "sup1",   "ordm",   "raquo",  "frac14", "frac12",
    "frac34", "iquest", "Agrave", "Aacute", "Acirc",  "Atilde", "Auml",   "Aring",  "AElig",  "Ccedil",
    "Egrave", "Eacute", "Ecirc",  "Euml",   "Igrave", "Iacute", "Icirc",  "Iuml",   "ETH",    "Ntilde",
    "Ograve", "Oacute", "Ocirc",  "Otilde", "Ouml",   "times",  "Oslash", "Ugrave", "Uacute", "Ucirc",
    "Uuml",   "Yacute", "THORN",  "szlig",  "agrave", "aacute", "acirc",  "atilde", "auml",   "aring",
    "aelig",  "ccedil", "egrave", "eacute", "ecirc",  "euml",   "igrave", "iacute", "icirc",  "iuml",
    "eth",    "ntilde", "ograve", "oacute", "ocirc",  "otilde", "ouml",   "divide", "oslash", "ugrave",
    "uacute", "ucirc",  "uuml",   "yacute", "thorn",  "yuml",
};

// Every byte once, so a code's replacement can be a view of one byte.
constexpr std::array<char, 256> kBytes = [] {
    std::array<char, 256> bytes{};
    for (int i = 0; i < 256; ++i) {
        bytes[size_t(i)] = char(i);
    }
    return bytes;
}();

constexpr size_t kNamedOnlyCount = 5;

constexpr std::array<EntityEntry, 256 + kNamedOnlyCount> kEntities = [] {
    std::array<EntityEntry, 256 + kNamedOnlyCount> table{};
    for (int code = 0; code < 256; ++code) {
        // Control bytes other than tab and line ends would disturb the layout; they show as '#'.
        bool shown = code == 9 || code == 10 || code == 13 || (code >= 32 && code <= 126) || code >= 160;
        table[size_t(code)].replacement = shown ? std::string_view(&kBytes[size_t(code)], 1) : "#";
        if (code >= 160) {
            table[size_t(code)].name = kLatin1Names[size_t(code - 160)];
        }
    }
    table['"'].name = "quot";
    table['&'].name = "amp";
    table['<'].name = "lt";
    table['>'].name = "gt";
    table[256] = {"ensp", " "};
    table[257] = {"emsp", "  "};
    table[258] = {"endash", "-"};
    table[259] = {"emdash", "--"};
    table[260] = {"trade", "(TM)"};
    return table;
}();

bool IsSpace(char c) {
    return uint8_t(c) < '!';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

char ToLower(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return ToLower(x) == ToLower(y); });
}

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualsIgnoringCase(text.substr(0, prefix.size()), prefix);
}

// Decimal digits from `at`, saturating at INT32_MAX; `at` ends on the first non-digit.
int32_t ReadDigits(std::string_view text, size_t& at) {
    int64_t value = 0;
    for (; at < text.size() && IsDigit(text[at]); ++at) {
        value = std::min<int64_t>(value * 10 + (text[at] - '0'), std::numeric_limits<int32_t>::max());
    }
    return int32_t(value);
}

// The end of an entity that starts at `at`: just past its ';', or at '<', a byte below '!' or the end.
size_t EntityEnd(std::string_view text, size_t at) {
    size_t i = at + 1;
    while (i < text.size() && text[i] != '<' && !IsSpace(text[i])) {
        if (text[i++] == ';') {
            break;
        }
    }
    return i;
}

DecodedEntity DecodeNumeric(std::string_view text, size_t at) {
    size_t i = at + 2;
    size_t digitsStart = i;
    int32_t code = ReadDigits(text, i);
    bool ended = i == text.size() || text[i] == ';' || uint8_t(text[i]) <= ' ';
    if (!ended) {
        return {{}, false, at};
    }
    DecodedEntity result{{}, true, EntityEnd(text, at)};
    if (i > digitsStart && code <= 255) {
        result.replacement = kEntities[size_t(code)].replacement;
    }
    return result;
}

}  // namespace

std::string_view TagName(int32_t id) {
    return id >= 0 && id < kTagTableSize ? kTagNames[size_t(id)] : std::string_view();
}

int32_t LookupTag(std::string_view name) {
    for (int32_t id = 0; id < kTagTableSize; ++id) {
        if (EqualsIgnoringCase(name, kTagNames[size_t(id)])) {
            return id;
        }
    }
    return kTagUnknown;
}

bool ParseTag(std::string_view text, size_t at, ParsedTag& tag) {
    if (at >= text.size() || text[at] != '<') {
        return false;
    }
    tag = ParsedTag{};
    size_t i = at + 1;
    if (i < text.size() && text[i] == '/') {
        tag.closing = true;
        ++i;
    }
    tag.nameStart = i;
    if (i < text.size() && text[i] == '!') {
        ++i;  // "<!DOCTYPE" and "<!--" are all the declaration tag
    } else {
        while (i < text.size() && !IsSpace(text[i]) && text[i] != '>' &&
               !(text[i] == '/' && i > tag.nameStart)) {
            ++i;
        }
    }
    tag.nameLength = i - tag.nameStart;
    tag.id = LookupTag(text.substr(tag.nameStart, tag.nameLength));
    size_t close = text.find('>', i);
    tag.attributeStart = i;
    tag.attributeLength = (close == std::string_view::npos ? text.size() : close) - i;
    tag.end = close == std::string_view::npos ? text.size() : close + 1;
    return true;
}

std::span<const EntityEntry> EntityTable() {
    return kEntities;
}

DecodedEntity DecodeEntity(std::string_view text, size_t at) {
    if (at >= text.size() || text[at] != '&') {
        return {{}, false, at};
    }
    if (at + 1 < text.size() && text[at + 1] == '#') {
        return DecodeNumeric(text, at);
    }
    if (at + 1 == text.size() || text[at + 1] == ';' || uint8_t(text[at + 1]) <= ' ') {
        return {{}, false, at};
    }
    std::string_view rest = text.substr(at + 1);
    DecodedEntity result{{}, true, EntityEnd(text, at)};
    for (const EntityEntry& entry : kEntities) {
        if (!entry.name.empty() && rest.starts_with(entry.name) &&
            (rest.size() == entry.name.size() || rest[entry.name.size()] == ';' ||
             IsSpace(rest[entry.name.size()]))) {
            result.replacement = entry.replacement;
            break;
        }
    }
    return result;
}

bool EscapeChar(char c, std::string& out) {
    switch (c) {
        case '\r':
        case '\n':
            out = "<BR>";
            return true;
        case '&':
            out = "&amp;";
            return true;
        case '<':
            out = "&lt;";
            return true;
        case '>':
            out = "&gt;";
            return true;
        default:
            out.assign(1, c);
            return false;
    }
}

AttributeMatch FindAttribute(std::string_view attributes, std::string_view name) {
    const std::string_view& text = attributes;
    size_t i = 0;
    auto skipSpace = [&] {
        while (i < text.size() && IsSpace(text[i])) {
            ++i;
        }
    };
    while (true) {
        skipSpace();
        if (i >= text.size()) {
            return {};
        }
        size_t nameStart = i;
        while (i < text.size() && !IsSpace(text[i]) && text[i] != '=') {
            ++i;
        }
        // Whole names only: "bordercolor" is not "border".
        bool match = EqualsIgnoringCase(text.substr(nameStart, i - nameStart), name);
        skipSpace();
        if (i >= text.size() || text[i] != '=') {
            if (match) {
                return {AttributePresence::kWithoutValue, 0, 0};
            }
            continue;
        }
        ++i;
        skipSpace();
        size_t valueStart = i;
        size_t valueEnd = 0;
        if (i < text.size() && text[i] == '"') {
            ++valueStart;
            size_t quote = text.find('"', valueStart);
            valueEnd = quote == std::string_view::npos ? text.size() : quote;
            i = quote == std::string_view::npos ? text.size() : quote + 1;
        } else {
            while (i < text.size() && !IsSpace(text[i])) {
                ++i;
            }
            valueEnd = i;
        }
        if (match) {
            return {AttributePresence::kWithValue, valueStart, valueEnd - valueStart};
        }
    }
}

std::optional<std::string_view> GetStringAttribute(std::string_view attributes, std::string_view name) {
    AttributeMatch match = FindAttribute(attributes, name);
    if (match.presence == AttributePresence::kAbsent) {
        return std::nullopt;
    }
    return attributes.substr(match.valueStart, match.valueLength);
}

int32_t GetIntAttribute(std::string_view attributes, std::string_view name) {
    AttributeMatch match = FindAttribute(attributes, name);
    if (match.presence != AttributePresence::kWithValue) {
        return match.presence == AttributePresence::kAbsent ? 0 : -1;
    }
    std::string_view value = attributes.substr(match.valueStart, match.valueLength);
    size_t i = 0;
    bool negative = i < value.size() && value[i] == '-';
    i += negative ? 1 : 0;
    if (i < value.size() && value[i] == '+') {
        negative = false;  // "-+5" is 5
        ++i;
    }
    int32_t number = ReadDigits(value, i);
    return negative ? -number : number;
}

bool GetColorAttribute(std::string_view attributes, std::string_view name, uint8_t rgb[3]) {
    std::optional<std::string_view> value = GetStringAttribute(attributes, name);
    if (!value) {
        return false;
    }
    std::string_view digits = value->starts_with('#') ? value->substr(1) : *value;
    uint8_t bytes[3] = {0, 0, 0};
    size_t count = 0;
    for (; count < 6 && count < digits.size(); ++count) {
        char c = ToLower(digits[count]);
        int nibble = IsDigit(c) ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : -1;
        if (nibble < 0) {
            break;
        }
        bytes[count / 2] = uint8_t(bytes[count / 2] * 16 + nibble);
    }
    if (count == 0) {
        return false;  // a colour name or garbage: keep the colour there was
    }
    std::copy(bytes, bytes + 3, rgb);
    return true;
}

int32_t GetAlignAttribute(std::string_view attributes, std::string_view name, int32_t fallback) {
    struct Keyword {
        std::string_view word;
        int32_t code;
    };
    static constexpr Keyword kKeywords[] = {
        {"left", kAlignLeft},     {"right", kAlignRight},      {"center", kAlignCenter},
        {"justify", kAlignLeft},  {"justified", kAlignLeft},   {"top", kAlignCenter},
        {"bottom", kAlignCenter}, {"absmiddle", kAlignCenter}, {"middle", kAlignCenter},
    };
    std::optional<std::string_view> value = GetStringAttribute(attributes, name);
    if (value) {
        for (const Keyword& keyword : kKeywords) {
            if (StartsWithIgnoringCase(*value, keyword.word)) {
                return keyword.code;
            }
        }
    }
    return fallback;
}

std::string ReplaceEntities(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] != '&') {
            out += text[i++];
            continue;
        }
        DecodedEntity entity = DecodeEntity(text, i);
        if (!entity.consumed) {
            // Escaped too, so that no '&' is left to join with text that follows a removed entity
            // ("&#60&x;;" would otherwise become "&#60;").
            out += "&amp;";
            ++i;
            continue;
        }
        // Decoded markup characters stay escaped in one spelling the layout knows.
        if (entity.replacement == "<") {
            out += "&lt;";
        } else if (entity.replacement == ">") {
            out += "&gt;";
        } else if (entity.replacement == "&") {
            out += "&amp;";
        } else {
            out += entity.replacement;
        }
        i = entity.end;
    }
    return out;
}

void PrepareSource(ZString& source) {
    source.CollapseWhitespace();
    const char* text = source.GetText();
    if (text == nullptr) {
        return;
    }
    std::string prepared = ReplaceEntities(std::string_view(text, size_t(source.GetLength())));
    source.Assign(prepared.c_str());
}

int32_t FontSizeFromAttribute(std::string_view value, int32_t currentSize, int32_t baseSize) {
    size_t i = 0;
    bool relative = !value.empty() && (value[0] == '+' || value[0] == '-');
    i += relative ? 1 : 0;
    size_t digitsStart = i;
    int64_t n = ReadDigits(value, i);
    if (i == digitsStart) {
        return std::clamp(currentSize, kMinFontSize, kMaxFontSize);
    }
    // 1, 2 and 3 step down to the base size; larger numbers are added to it.
    int64_t size = relative ? (value[0] == '-' ? currentSize - n : currentSize + n)
                            : baseSize + (n >= 1 && n <= 3 ? n - 3 : n);
    return int32_t(std::clamp<int64_t>(size, kMinFontSize, kMaxFontSize));
}

bool ComputeColumnWidths(std::span<const ColumnMeasure> columns, int32_t tableWidth, int32_t columnGap,
                         std::span<int32_t> widths) {
    if (widths.size() != columns.size()) {
        return false;
    }
    auto positive = [](int32_t v) { return int64_t(std::max(v, 0)); };
    int64_t remaining = positive(tableWidth);
    std::fill(widths.begin(), widths.end(), 0);
    for (size_t c = 0; c < columns.size(); ++c) {
        widths[c] = int32_t(positive(columns[c].explicitWidth));
        remaining -= positive(columnGap) + widths[c];
    }
    remaining = std::max<int64_t>(remaining, 1);

    // Each rule compares every unsized column with its part of what remains, in proportion to its weight,
    // as the earlier rules left it. The product stays below 2^62: both factors are below 2^31.
    auto settleWhere = [&](auto rule) {
        int64_t weights = 1;
        for (size_t c = 0; c < columns.size(); ++c) {
            weights += widths[c] == 0 ? positive(columns[c].weight) : 0;
        }
        const int64_t available = remaining;
        for (size_t c = 0; c < columns.size(); ++c) {
            int64_t share = available * positive(columns[c].weight) / weights;
            if (widths[c] == 0) {
                std::optional<int64_t> width = rule(columns[c], share);
                if (width) {
                    widths[c] = int32_t(std::max<int64_t>(*width, 1));
                    remaining = std::max<int64_t>(remaining - widths[c], 1);
                }
            }
        }
    };
    settleWhere([&](const ColumnMeasure& m, int64_t share) {
        return share < positive(m.minimumWidth) ? std::optional(positive(m.minimumWidth)) : std::nullopt;
    });
    settleWhere([&](const ColumnMeasure& m, int64_t share) {
        return share > positive(m.naturalWidth) ? std::optional(positive(m.naturalWidth)) : std::nullopt;
    });
    settleWhere([](const ColumnMeasure&, int64_t share) { return std::optional(share); });
    return true;
}

bool ResolvePictureName(std::string_view name, std::string_view mediaDirectory, std::string& path) {
    bool driveLetter = name.size() >= 2 && name[1] == ':';
    if (name.empty() || name[0] == '/' || name[0] == '\\' || driveLetter ||
        name.find('\0') != std::string_view::npos) {
        return false;
    }
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find_first_of("/\\", start);
        end = end == std::string_view::npos ? name.size() : end;
        if (name.substr(start, end - start) == "..") {
            return false;
        }
        start = end + 1;
    }
    path.assign(mediaDirectory);
    if (!path.empty() && path.back() != '/') {
        path += '/';
    }
    path += name;
    return true;
}

}  // namespace html
