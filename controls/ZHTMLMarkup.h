// The pieces of the HTML dialect that the HTML text control reads: its tag vocabulary, one tag at a
// time, character entities, attribute values, the preparation of a new source text, and the sizing rules
// of the font tag and of table columns. Pure functions over byte strings; nothing here knows about
// controls, fonts or pixels, so the layout can be built and tested on top of it piece by piece.
//
// Every function reads only inside the text it is given, whatever that holds: markup comes from media
// files and from what users type.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

class ZString;

namespace html {

// ---- Tags -----------------------------------------------------------------------------------------

// Ids of the tag table, in table order. The layout switches on the named ones; every name the table
// does not hold is kTagUnknown.
enum TagId : int32_t {
    kTagBr = 0,
    kTagHr = 1,
    kTagP = 2,
    kTagA = 3,
    kTagFont = 4,
    kTagTh = 5,
    kTagTd = 6,
    kTagTr = 7,
    kTagCaption = 20,
    kTagStrong = 21,
    kTagCenter = 22,
    kTagScript = 29,
    kTagTable = 30,
    kTagTitle = 32,
    kTagLink = 36,
    kTagHtml = 38,
    kTagBody = 39,
    kTagHead = 40,
    kTagPre = 48,
    kTagComment = 50,  // "!": declarations and comments
    kTagImg = 51,
    kTagSub = 58,
    kTagSup = 59,
    kTagH1 = 60,
    kTagH2 = 61,
    kTagH3 = 62,
    kTagH4 = 63,
    kTagH5 = 64,
    kTagH6 = 65,
    kTagEm = 66,
    kTagTt = 67,
    kTagUl = 71,
    kTagLi = 72,
    kTagOl = 73,
    kTagB = 74,
    kTagI = 75,
    kTagU = 76,
    kTagUnknownEntry = 77,  // the table's own "unknown tag" entry
    kTagUnknown = 78,       // any name outside the table
};

inline constexpr int32_t kTagTableSize = 78;

// The lower-case name of a table id; empty for kTagUnknown and anything outside the table.
std::string_view TagName(int32_t id);

// The id of a tag name, compared case-insensitively; kTagUnknown when the table does not hold it.
int32_t LookupTag(std::string_view name);

// One tag as it stands in the text. Offsets are into the text the tag was parsed from.
struct ParsedTag {
    int32_t id = kTagUnknown;
    bool closing = false;  // written "</name"
    size_t nameStart = 0;  // the name as written
    size_t nameLength = 0;
    size_t attributeStart = 0;  // from just after the name up to, not including, '>'
    size_t attributeLength = 0;
    size_t end = 0;  // just past '>', or the end of the text when the tag is not closed
};

// Parses the tag that starts with '<' at `at`. The name runs to white space, '>' or a '/' after its
// first byte; a name starting with '!' is the declaration tag "!". False when there is no '<' at `at`.
bool ParseTag(std::string_view text, size_t at, ParsedTag& tag);

// The attribute text of a parsed tag.
inline std::string_view TagAttributes(std::string_view text, const ParsedTag& tag) {
    return text.substr(tag.attributeStart, tag.attributeLength);
}

// ---- Entities -------------------------------------------------------------------------------------

// One entity: a name (empty when the entry has none) and the text it stands for.
struct EntityEntry {
    std::string_view name;
    std::string_view replacement;
};

// Entries 0..255 are the character codes, followed by the entities that have a name only.
std::span<const EntityEntry> EntityTable();

// The result of decoding an entity at '&'.
struct DecodedEntity {
    std::string_view replacement;  // the text to show; empty for an unknown or out-of-range entity
    // False when the '&' starts no entity ("& ", "&;", "&#12x;"): it is then an ordinary character.
    bool consumed = false;
    size_t end = 0;  // just past the entity and its ';' when consumed; otherwise the '&' itself
};

// Decodes the entity starting with '&' at `at`. "&#digits" ends at ';' or a byte up to ' ', and
// decodes codes 0..255; a named entity is compared case-sensitively and ends at ';' or a byte below '!'.
// A consumed entity reaches just past its ';', stopping without consuming at '<' or a byte below '!'.
DecodedEntity DecodeEntity(std::string_view text, size_t at);

// How a typed character enters the source: CR and LF become "<BR>", '&', '<' and '>' their entities
// (true); any other byte stays itself (false).
bool EscapeChar(char c, std::string& out);

// ---- Attributes -----------------------------------------------------------------------------------

enum class AttributePresence { kAbsent, kWithoutValue, kWithValue };

struct AttributeMatch {
    AttributePresence presence = AttributePresence::kAbsent;
    size_t valueStart = 0;  // into the attribute text
    size_t valueLength = 0;
};

// Finds the attribute with exactly this name (case-insensitive) in a tag's attribute text. A value is
// written after '=' (white space around it allowed), either in double quotes (to the next quote or the
// end) or up to the next white space.
AttributeMatch FindAttribute(std::string_view attributes, std::string_view name);

// The value; empty when present without one; nothing when absent.
std::optional<std::string_view> GetStringAttribute(std::string_view attributes, std::string_view name);

// Absent 0; present without value -1; otherwise an optional '-', an optional '+' and decimal digits up
// to the first non-digit. Negative only for "-" without "+"; saturates at the int32 range.
int32_t GetIntAttribute(std::string_view attributes, std::string_view name);

// An optional '#' and up to six hexadecimal digits, two per byte in the order red, green, blue; missing
// digits count as 0. False (rgb untouched) when absent or when the value starts with no hex digit.
bool GetColorAttribute(std::string_view attributes, std::string_view name, uint8_t rgb[3]);

// Alignment codes of the layout.
inline constexpr int32_t kAlignLeft = 1;
inline constexpr int32_t kAlignRight = 4;
inline constexpr int32_t kAlignCenter = 18;

// "left", "justify", "justified" 1; "right" 4; "center", "top", "bottom", "middle", "absmiddle" 18, each
// matching a value that starts with it (case-insensitive); anything else, or absent: fallback.
int32_t GetAlignAttribute(std::string_view attributes, std::string_view name, int32_t fallback);

// ---- Source preparation ---------------------------------------------------------------------------

// Replaces every entity by its text, except where that text is '<', '>' or '&': those stay escaped
// (written "&lt;", "&gt;", "&amp;"), whatever spelling they had, so that no entity creates markup or
// vanishes as a stray '>'. Entities that decode to nothing disappear; a '&' that starts no entity is
// written "&amp;". The result holds no '&' but those three escapes, so preparing it again changes nothing.
std::string ReplaceEntities(std::string_view text);

// What a new source goes through before it is laid out: white space collapsed, then ReplaceEntities.
void PrepareSource(ZString& source);

// ---- Layout rules ---------------------------------------------------------------------------------

inline constexpr int32_t kMinFontSize = 1;
inline constexpr int32_t kMaxFontSize = 256;

// The size the font tag's "size" value selects: "+n" / "-n" add to the current size; otherwise 1 is the
// base size - 2, 2 the base size - 1, 3 the base size and any other n the base size + n. Clamped to
// kMinFontSize..kMaxFontSize. A value without digits keeps the current size.
int32_t FontSizeFromAttribute(std::string_view value, int32_t currentSize, int32_t baseSize);

// What the layout gathers over one table column's cells.
struct ColumnMeasure {
    int32_t explicitWidth = 0;  // the largest "width" given, 0 for none
    int32_t minimumWidth = 0;   // the widest item that cannot be broken
    int32_t naturalWidth = 0;   // the widest line
    int32_t weight = 0;         // the sum of the cells' laid-out heights
};

// Sizes every column to share the table width: explicit widths first (each column also takes one column
// gap), then columns whose share would fall below their minimum width get that width, then those whose
// share would exceed their natural width get that, and the rest share what is left by weight. Shares
// are computed in 64 bits; negative measures count as 0; every width is at least 1. `widths` must be as
// long as `columns`; false (widths untouched) otherwise.
bool ComputeColumnWidths(std::span<const ColumnMeasure> columns, int32_t tableWidth, int32_t columnGap,
                         std::span<int32_t> widths);

// ---- Pictures -------------------------------------------------------------------------------------

// The file an "img src" names, inside mediaDirectory. Refuses (false) an empty name, an absolute path
// ('/' or '\\' first, or a drive letter), any ".." component and NUL bytes, so markup can only reach
// pictures below the media directory.
bool ResolvePictureName(std::string_view name, std::string_view mediaDirectory, std::string& path);

}  // namespace html
