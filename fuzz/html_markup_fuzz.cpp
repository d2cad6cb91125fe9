// Prepares arbitrary bytes as an HTML source, then walks the result tag by tag and entity by entity,
// reading every attribute the tag handlers read, as the HTML text control's layout does.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "controls/ZHTMLMarkup.h"
#include "core/ZString.h"

namespace {

constexpr std::string_view kAttributeNames[] = {
    "align",         "href",    "name",  "face",   "size",        "resid",
    "residmetrics",  "color",   "width", "border", "cellpadding", "rowpadding",
    "columnpadding", "bgcolor", "text",  "link",   "src"};

void ReadAttributes(std::string_view attributes) {
    for (std::string_view name : kAttributeNames) {
        uint8_t rgb[3] = {};
        html::GetColorAttribute(attributes, name, rgb);
        html::GetIntAttribute(attributes, name);
        html::GetAlignAttribute(attributes, name, html::kAlignLeft);
        if (auto value = html::GetStringAttribute(attributes, name)) {
            html::FontSizeFromAttribute(*value, 12, 12);
            std::string path;
            html::ResolvePictureName(*value, "media", path);
        }
    }
}

// Walks the text as the markup scan does; every step must move forward and stay inside the text.
void Walk(std::string_view text) {
    std::vector<html::ColumnMeasure> columns;
    size_t at = 0;
    while (at < text.size()) {
        size_t next = at + 1;
        if (text[at] == '<') {
            html::ParsedTag tag;
            if (!html::ParseTag(text, at, tag) || tag.end <= at || tag.end > text.size() ||
                tag.attributeStart + tag.attributeLength > text.size()) {
                __builtin_trap();
            }
            ReadAttributes(html::TagAttributes(text, tag));
            int32_t width = html::GetIntAttribute(html::TagAttributes(text, tag), "width");
            columns.push_back({width, int32_t(tag.attributeLength), int32_t(tag.nameLength), int32_t(at)});
            next = tag.end;
        } else if (text[at] == '&') {
            html::DecodedEntity entity = html::DecodeEntity(text, at);
            if (entity.consumed && (entity.end <= at || entity.end > text.size())) {
                __builtin_trap();
            }
            next = entity.consumed ? entity.end : at + 1;
        }
        at = next;
    }
    std::vector<int32_t> widths(columns.size());
    html::ComputeColumnWidths(columns, int32_t(text.size()), 4, widths);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 16)) {
        return 0;
    }
    std::string raw(reinterpret_cast<const char*>(data), size);
    Walk(raw);
    ZString source(raw.c_str(), int32_t(raw.size()));
    html::PrepareSource(source);
    if (source.GetText() != nullptr) {
        std::string_view prepared(source.GetText(), size_t(source.GetLength()));
        Walk(prepared);
        // The preparation never creates markup, so a second one changes nothing.
        if (html::ReplaceEntities(prepared) != prepared) {
            __builtin_trap();
        }
    }
    for (int c = 0; c < 256; ++c) {
        std::string out;
        html::EscapeChar(char(c), out);
    }
    return 0;
}
