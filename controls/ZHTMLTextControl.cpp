#include "controls/ZHTMLTextControl.h"

#include <algorithm>
#include <new>

#include "controls/ZFont.h"
#include "graphics/ZPicture.h"
#include "media/ZFileSpec.h"

namespace {

using Kind = ZTextBlock::Kind;

constexpr int32_t kParagraphSpace = 8;
constexpr int32_t kListIndent = 16;
constexpr int32_t kBulletSize = 4;

// Headings h1..h6: how much larger than the current size.
constexpr int32_t kHeadingGrowth[6] = {8, 6, 4, 3, 2, 1};

// Which block a closing tag ends, and past which block it does not look.
struct Closer {
    int32_t tag;
    Kind kind;
    Kind stop;
};
constexpr Closer kClosers[] = {
    {html::kTagTd, Kind::kCell, Kind::kTable}, {html::kTagTh, Kind::kCell, Kind::kTable},
    {html::kTagTr, Kind::kRow, Kind::kTable},  {html::kTagTable, Kind::kTable, Kind::kRoot},
    {html::kTagSub, Kind::kSub, Kind::kRoot},  {html::kTagSup, Kind::kSup, Kind::kRoot},
    {html::kTagUl, Kind::kList, Kind::kRoot},  {html::kTagLi, Kind::kItem, Kind::kList},
};

}  // namespace

std::string_view ZHTMLTextControl::Source() const {
    const char* text = source_->GetText();
    return text != nullptr ? std::string_view(text, size_t(source_->GetLength())) : std::string_view();
}

void ZHTMLTextControl::SetText(ZString* text, ZRedraw redraw) {
    if (text != nullptr) {
        html::PrepareSource(*text);
    }
    ZHyperTextControl::SetText(text, redraw);
}

int32_t ZHTMLTextControl::ScanRun(int32_t pos) const {
    std::string_view s = Source();
    size_t end = s.find_first_of("<&>", size_t(std::max(pos, 0)));
    return int32_t((end == std::string_view::npos ? s.size() : end) - size_t(pos));
}

std::string_view ZHTMLTextControl::DecodeEntity(int32_t pos, int32_t& end, bool& consumed) const {
    html::DecodedEntity entity = html::DecodeEntity(Source(), size_t(pos));
    end = int32_t(entity.end);
    consumed = entity.consumed;
    return entity.replacement;
}

ZPicture* ZHTMLTextControl::LoadPicture(const char* path) {
    ZFileSpec spec;
    spec.SetPath(ZString(path, int32_t(std::string_view(path).size())), nullptr);
    return new (std::nothrow) ZPicture(spec, kTypeUnknown);
}

// ---- The markup scan

void ZHTMLTextControl::ParseMarkup(ZTextBlock& block, int32_t depth) {
    std::string_view s = Source();
    char c = s[size_t(pos_)];
    if (c == '&') {
        int32_t end = pos_;
        bool consumed = false;
        std::string_view text = DecodeEntity(pos_, end, consumed);
        if (!consumed) {
            text = "&";  // an ampersand that starts no entity is itself
            end = pos_ + 1;
        }
        if (!text.empty() && !style_.hidden && style_.font != nullptr) {
            int32_t width = style_.font->TextWidth(text.data(), int32_t(text.size()));
            if (width > WidthLeft(block) && block.Count() > block.lineStart) {
                EndLine(block, false);
            }
            PlaceText(block, pos_, end - pos_, int32_t(text.size()), width, text);
        }
        pos_ = std::max(end, pos_ + 1);
        return;
    }
    if (c != '<') {
        ++pos_;  // a '>' on its own
        return;
    }
    html::ParsedTag tag;
    size_t start = size_t(pos_);
    if (!html::ParseTag(s, start, tag)) {
        ++pos_;
        return;
    }
    pos_ = int32_t(tag.end);
    if (tag.closing) {
        CloseTag(block, depth, tag.id);
    } else {
        OpenTag(block, depth, tag, start);
    }
}

void ZHTMLTextControl::EndLineIfFilled(ZTextBlock& block) {
    if (block.Count() > block.lineStart) {
        EndLine(block, false);
    }
}

void ZHTMLTextControl::SkipWhiteSpace() {
    std::string_view s = Source();
    while (size_t(pos_) < s.size() && uint8_t(s[size_t(pos_)]) < '!') {
        ++pos_;
    }
}

void ZHTMLTextControl::Break(ZTextBlock& block) {
    // A zero-width break keeps the line as tall as the font, so empty lines keep their height.
    int32_t start = pos_;
    PlaceText(block, start, 0, 0, 0, {});
    if (ZTextSegment* seg = block.At(block.Count() - 1)) {
        seg->flags |= kSegLineBreak;
    }
    EndLine(block, true);
}

void ZHTMLTextControl::OpenTag(ZTextBlock& block, int32_t depth, const html::ParsedTag& tag,
                               size_t tagStart) {
    std::string_view attributes = html::TagAttributes(Source(), tag);
    switch (tag.id) {
        case html::kTagBr:
            Break(block);
            SkipWhiteSpace();
            break;
        case html::kTagP:
            EndLineIfFilled(block);
            block.y += kParagraphSpace;
            block.alignment = html::GetAlignAttribute(attributes, "align", alignment_);
            break;
        case html::kTagA:
        case html::kTagLink: {
            html::AttributeMatch href = html::FindAttribute(attributes, "href");
            if (href.presence == html::AttributePresence::kWithValue) {
                style_.linkFirst = INT32_MAX;  // named by its first segment
                style_.linkOffset = int32_t(tag.attributeStart + href.valueStart);
                style_.linkLength = int32_t(href.valueLength);
            }
            if (html::FindAttribute(attributes, "name").presence == html::AttributePresence::kWithValue) {
                PlaceItem(block, 0, 0, 0, kSegAnchor);
            }
            break;
        }
        case html::kTagFont:
            OpenFont(attributes);
            break;
        case html::kTagStrong:
        case html::kTagB:
            PushFont(platform::kFontBold);
            break;
        case html::kTagEm:
        case html::kTagI:
            PushFont(platform::kFontItalic);
            break;
        case html::kTagU:
            PushFont(platform::kFontUnderline);
            break;
        case html::kTagH1:
        case html::kTagH2:
        case html::kTagH3:
        case html::kTagH4:
        case html::kTagH5:
        case html::kTagH6:
            EndLineIfFilled(block);
            OpenHeading(tag.id);
            SkipWhiteSpace();
            break;
        case html::kTagSub:
        case html::kTagSup:
            OpenScript(block, depth, tag.id == html::kTagSub);
            break;
        case html::kTagTable:
            OpenTable(block, depth, attributes);
            break;
        case html::kTagTr:
            OpenRow(block, depth, attributes, tagStart);
            break;
        case html::kTagTd:
        case html::kTagTh:
            OpenCell(block, depth, attributes, tagStart);
            break;
        case html::kTagUl:
        case html::kTagLi:
            OpenList(block, depth, tag.id == html::kTagLi, tagStart);
            break;
        case html::kTagBody: {
            uint8_t rgb[3];
            if (html::GetColorAttribute(attributes, "bgcolor", rgb)) {
                if (block.kind == Kind::kRoot) {
                    SetBackground(rgb[0], rgb[1], rgb[2]);
                } else {
                    std::copy_n(rgb, 3, block.background);
                    block.hasBackground = true;
                }
            }
            if (html::GetColorAttribute(attributes, "text", rgb)) {
                std::copy_n(rgb, 3, style_.color);
            }
            if (html::GetColorAttribute(attributes, "link", rgb)) {
                std::copy_n(rgb, 3, linkColor_);
            }
            break;
        }
        case html::kTagHead:
            style_.hidden = true;
            break;
        case html::kTagImg:
            if (!style_.hidden) {
                OpenImage(block, attributes);
            }
            break;
        case html::kTagCenter:
            EndLineIfFilled(block);
            block.alignment = html::kAlignCenter;
            break;
        default:
            break;
    }
}

void ZHTMLTextControl::CloseTag(ZTextBlock& block, int32_t depth, int32_t id) {
    (void)depth;
    switch (id) {
        case html::kTagP:
        case html::kTagCenter:
            EndLineIfFilled(block);
            block.alignment = block.kind == Kind::kRoot ? alignment_ : html::kAlignLeft;
            return;
        case html::kTagA:
        case html::kTagLink:
            style_.linkFirst = -1;
            style_.linkOffset = -1;
            style_.linkLength = 0;
            return;
        case html::kTagFont:
            PopFont();
            PopColor();
            return;
        case html::kTagStrong:
        case html::kTagB:
        case html::kTagEm:
        case html::kTagI:
        case html::kTagU:
            PopFont();
            return;
        case html::kTagH1:
        case html::kTagH2:
        case html::kTagH3:
        case html::kTagH4:
        case html::kTagH5:
        case html::kTagH6:
            PopFont();
            EndLineIfFilled(block);
            SkipWhiteSpace();
            return;
        case html::kTagHead:
            style_.hidden = false;
            return;
        default:
            break;
    }
    for (const Closer& closer : kClosers) {
        if (closer.tag == id) {
            // A closer without its block open ends nothing.
            closeTo_ = FindOpen(closer.kind, closer.stop);
            return;
        }
    }
}

int32_t ZHTMLTextControl::FindOpen(Kind kind, Kind stop) const {
    for (int32_t d = int32_t(open_.size()) - 1; d > 0; --d) {
        if (open_[size_t(d)]->kind == kind) {
            return d;
        }
        if (open_[size_t(d)]->kind == stop) {
            break;
        }
    }
    return -1;
}

// ---- Fonts

void ZHTMLTextControl::OpenFont(std::string_view attributes) {
    ZFont* current = style_.font;
    ZFont* font = nullptr;
    int32_t resid = html::GetIntAttribute(attributes, "resid");
    if (resid > 0) {
        font = ZFont::FindPictureFont(resid, std::max(html::GetIntAttribute(attributes, "residmetrics"), 0));
    } else if (current != nullptr) {
        std::string face(current->GetFaceName().GetText() != nullptr ? current->GetFaceName().GetText() : "");
        if (auto value = html::GetStringAttribute(attributes, "face"); value && !value->empty()) {
            face = std::string(*value);
        }
        int32_t size = current->GetSize();
        if (auto value = html::GetStringAttribute(attributes, "size")) {
            int32_t base = defaultStyle_.font != nullptr ? defaultStyle_.font->GetSize() : size;
            size = html::FontSizeFromAttribute(*value, size, base);
        }
        font = ZFont::FindFont(face.c_str(), size, current->GetStyle(), nullptr, true);
    }
    PushFontAs(font);
    uint8_t rgb[3];
    if (!html::GetColorAttribute(attributes, "color", rgb)) {
        std::copy_n(style_.color, 3, rgb);  // pushed unchanged, so the closer's pop balances
    }
    SetColor(rgb[0], rgb[1], rgb[2]);
}

void ZHTMLTextControl::OpenHeading(int32_t id) {
    // One push for the bold and the size together, so that the one closer restores the font.
    ZFont* current = style_.font;
    ZFont* font = nullptr;
    if (current != nullptr && current->IsPlatformFont()) {
        int32_t size = std::clamp(current->GetSize() + kHeadingGrowth[id - html::kTagH1], html::kMinFontSize,
                                  html::kMaxFontSize);
        font = ZFont::FindFont(current->GetFaceName().GetText(), size,
                               current->GetStyle() | platform::kFontBold, nullptr, true);
    }
    PushFontAs(font);
}

// ---- Nested blocks

void ZHTMLTextControl::PlaceBlock(ZTextBlock& block, ZTextBlock* nested, int32_t ascent, uint32_t flags) {
    if (nested == nullptr) {
        return;
    }
    int32_t width =
        nested->kind == Kind::kSub || nested->kind == Kind::kSup ? nested->contentWidth : nested->width;
    if (width > WidthLeft(block) && block.Count() > block.lineStart) {
        EndLine(block, false);
    }
    ZTextSegment* seg =
        PlaceItem(block, width, nested->height, std::min(ascent, nested->height), kSegBlock | flags);
    if (seg == nullptr) {
        delete nested;
        return;
    }
    seg->block = nested;
    block.minWidth = std::max({block.minWidth, nested->minWidth, nested->kind == Kind::kTable ? width : 0});
}

void ZHTMLTextControl::OpenScript(ZTextBlock& block, int32_t depth, bool sub) {
    if (depth + 1 >= kMaxDepth || style_.font == nullptr) {
        return;
    }
    ZFont* current = style_.font;
    int32_t size = std::clamp(current->GetSize() * 4 / 5, html::kMinFontSize, html::kMaxFontSize);
    ZFont* smaller = current->IsPlatformFont() ? ZFont::FindFont(current->GetFaceName().GetText(), size,
                                                                 current->GetStyle(), nullptr, true)
                                               : nullptr;
    int32_t baseAscent = LineAscent(current);
    PushFontAs(smaller);
    auto* nested =
        new (std::nothrow) ZTextBlock(sub ? Kind::kSub : Kind::kSup, std::max(WidthLeft(block), 1));
    LayoutNested(nested, depth);
    PopFont();
    if (nested != nullptr) {
        // A subscript hangs from half the ascent; a superscript stands on it.
        int32_t ascent = sub ? baseAscent / 2 : nested->height + baseAscent / 3;
        PlaceBlock(block, nested, ascent, sub ? kSegSubscript : kSegSuperscript);
    }
}

void ZHTMLTextControl::OpenTable(ZTextBlock& block, int32_t depth, std::string_view attributes) {
    if (depth + 1 >= kMaxDepth) {
        return;
    }
    EndLineIfFilled(block);
    int32_t width = WidthLeft(block);
    if (auto value = html::GetStringAttribute(attributes, "width"); value && !value->empty()) {
        int32_t n = html::GetIntAttribute(attributes, "width");
        width = value->back() == '%' ? int32_t(int64_t(block.width) * std::clamp(n, 0, 100) / 100) - 4 : n;
    }
    width = std::clamp(width, 1, std::max(block.width, 1));
    auto prepare = [&](ZTextBlock& table) {
        int32_t border = html::GetIntAttribute(attributes, "border");
        table.border = border > 0 || border == -1;
        int32_t padding = std::max(html::GetIntAttribute(attributes, "cellpadding"), 0);
        table.rowGap = table.columnGap = padding;
        if (html::FindAttribute(attributes, "rowpadding").presence != html::AttributePresence::kAbsent) {
            table.rowGap = std::max(html::GetIntAttribute(attributes, "rowpadding"), 0);
        }
        if (html::FindAttribute(attributes, "columnpadding").presence != html::AttributePresence::kAbsent) {
            table.columnGap = std::max(html::GetIntAttribute(attributes, "columnpadding"), 0);
        }
        table.alignment = html::GetAlignAttribute(attributes, "align", alignment_);
        ReadColor(attributes, "bgcolor", table);
        table.y = table.rowGap / 2;
    };
    // A trial layout measures the columns; the second lays the cells out at the widths they get.
    Style style = style_;
    Stacks stacks = stacks_;
    int32_t start = pos_;
    int32_t index = nextIndex_;
    tables_.push_back(Table{true, {}, {}, width});
    auto* trial = new (std::nothrow) ZTextBlock(Kind::kTable, width);
    if (trial != nullptr) {
        prepare(*trial);
        LayoutNested(trial, depth);
        delete trial;
    }
    closeTo_ = -1;
    Table& measured = tables_.back();
    measured.measuring = false;
    ZTextBlock gaps(Kind::kTable, width);
    prepare(gaps);
    html::ComputeColumnWidths(measured.measures, width, gaps.columnGap, measured.widths);
    style_ = style;
    stacks_ = stacks;
    pos_ = start;
    nextIndex_ = index;
    auto* table = new (std::nothrow) ZTextBlock(Kind::kTable, width);
    if (table != nullptr) {
        prepare(*table);
        LayoutNested(table, depth);
        table->height += table->rowGap / 2;
    }
    tables_.pop_back();
    PlaceBlock(block, table, 0, 0);
    EndLineIfFilled(block);
}

void ZHTMLTextControl::ReadColor(std::string_view attributes, std::string_view name, ZTextBlock& block) {
    if (html::GetColorAttribute(attributes, name, block.background)) {
        block.hasBackground = true;
    }
}

void ZHTMLTextControl::OpenRow(ZTextBlock& block, int32_t depth, std::string_view attributes,
                               size_t tagStart) {
    int32_t tableDepth = FindOpen(Kind::kTable, Kind::kRoot);
    if (tableDepth < 0 || tables_.empty()) {
        return;
    }
    if (tableDepth != depth) {
        // A row inside an unclosed row or cell: close them and read the tag again in the table.
        closeTo_ = tableDepth + 1;
        pos_ = int32_t(tagStart);
        return;
    }
    auto* row = new (std::nothrow) ZTextBlock(Kind::kRow, block.width);
    if (row == nullptr) {
        return;
    }
    row->columnGap = block.columnGap;
    row->alignment = html::GetAlignAttribute(attributes, "align", block.alignment);
    ReadColor(attributes, "bgcolor", *row);
    LayoutNested(row, depth);
    PlaceBlock(block, row, 0, 0);
    EndLineIfFilled(block);
    block.y += block.rowGap;
}

void ZHTMLTextControl::OpenCell(ZTextBlock& block, int32_t depth, std::string_view attributes,
                                size_t tagStart) {
    int32_t rowDepth = FindOpen(Kind::kRow, Kind::kTable);
    if (rowDepth < 0 || tables_.empty() || depth + 1 >= kMaxDepth) {
        return;
    }
    if (rowDepth != depth) {
        closeTo_ = rowDepth + 1;
        pos_ = int32_t(tagStart);
        return;
    }
    // By index: nested tables in the cell grow tables_ and move its entries.
    size_t tableIndex = tables_.size() - 1;
    const Table& table = tables_[tableIndex];
    int32_t column = block.cells++;
    int32_t sized = std::min(column, kMaxColumns - 1);  // columns past the tenth take the tenth's width
    int32_t width = table.measuring ? table.width : std::max(table.widths[size_t(sized)], 1);
    auto* cell = new (std::nothrow) ZTextBlock(Kind::kCell, width);
    if (cell == nullptr) {
        return;
    }
    cell->alignment = html::GetAlignAttribute(attributes, "align", block.alignment);
    int32_t tableDepth = FindOpen(Kind::kTable, Kind::kRoot);
    cell->border = tableDepth >= 0 && open_[size_t(tableDepth)]->border;
    ReadColor(attributes, "bgcolor", *cell);
    int32_t explicitWidth = 0;
    if (auto value = html::GetStringAttribute(attributes, "width"); value && !value->empty()) {
        int32_t n = std::max(html::GetIntAttribute(attributes, "width"), 0);
        explicitWidth = value->back() == '%' ? int32_t(int64_t(table.width) * std::min(n, 100) / 100) - 4 : n;
        // No cell is wider than its table, so positions stay far from the int range.
        explicitWidth = std::clamp(explicitWidth, 0, table.width);
    }
    // Cells keep their own font changes.
    Style style = style_;
    Stacks stacks = stacks_;
    LayoutNested(cell, depth);
    style_ = style;
    stacks_ = stacks;
    Table& after = tables_[tableIndex];
    if (after.measuring && column < kMaxColumns) {
        html::ColumnMeasure& m = after.measures[size_t(column)];
        m.explicitWidth = std::max(m.explicitWidth, explicitWidth);
        m.minimumWidth = std::max(m.minimumWidth, cell->minWidth);
        m.naturalWidth = std::max(m.naturalWidth, cell->contentWidth);
        m.weight += cell->height;
    }
    block.x += block.columnGap / 2;
    PlaceBlock(block, cell, 0, kSegCell);
    block.x += block.columnGap - block.columnGap / 2;
}

void ZHTMLTextControl::OpenList(ZTextBlock& block, int32_t depth, bool item, size_t tagStart) {
    if (depth + 1 >= kMaxDepth) {
        return;
    }
    if (item) {
        int32_t listDepth = FindOpen(Kind::kList, Kind::kRoot);
        if (listDepth < 0) {
            return;
        }
        if (listDepth != depth) {
            closeTo_ = listDepth + 1;  // the previous item ends here
            pos_ = int32_t(tagStart);
            return;
        }
    }
    EndLineIfFilled(block);
    auto* nested =
        new (std::nothrow) ZTextBlock(item ? Kind::kItem : Kind::kList, std::max(WidthLeft(block), 1));
    if (nested == nullptr) {
        return;
    }
    nested->inset = item ? kListIndent : 0;  // items indent, so nested lists step in once per level
    nested->alignment = html::kAlignLeft;
    if (item) {
        // The bullet stands in the indent, level with the first line's text.
        int32_t ascent = LineAscent(style_.font);
        ZTextBlock& target = *nested;
        target.x = kListIndent / 2 - kBulletSize / 2;
        ZTextSegment* bullet = target.Add();
        if (bullet != nullptr) {
            bullet->flags = kSegBullet;
            bullet->x = target.x;
            bullet->y = std::max(ascent - kBulletSize, 0);
            bullet->width = kBulletSize;
            bullet->height = kBulletSize;
            std::copy_n(style_.color, 3, bullet->color);
            bullet->index = nextIndex_++;
            bullet->offset = pos_;
            bullet->line = -1;
        }
    }
    LayoutNested(nested, depth);
    PlaceBlock(block, nested, 0, 0);
    EndLineIfFilled(block);
}

void ZHTMLTextControl::OpenImage(ZTextBlock& block, std::string_view attributes) {
    ZPicture* picture = nullptr;
    int32_t resid = html::GetIntAttribute(attributes, "resid");
    if (resid > 0) {
        picture = new (std::nothrow) ZPicture(uint16_t(resid));
    } else if (auto src = html::GetStringAttribute(attributes, "src")) {
        std::string path;
        if (!mediaDirectory_.empty() && html::ResolvePictureName(*src, mediaDirectory_, path)) {
            picture = LoadPicture(path.c_str());
        }
    }
    if (picture == nullptr) {
        return;
    }
    ZRect bounds = picture->GetBounds();
    int32_t width = std::max(bounds.Width(), 0);
    int32_t height = std::max(bounds.Height(), 0);
    int32_t align = html::GetAlignAttribute(attributes, "align", html::kAlignCenter);
    block.minWidth = std::max(block.minWidth, width);
    bool floating = align == html::kAlignLeft || align == html::kAlignRight;
    if (floating || (width > WidthLeft(block) && block.Count() > block.lineStart)) {
        EndLineIfFilled(block);
    }
    // Placed as any item, so that it is a link segment inside a link.
    ZTextSegment* seg = PlaceItem(block, width, height, height, kSegPicture);
    if (seg == nullptr) {
        picture->Release();
        return;
    }
    seg->picture = picture;
    if (floating) {
        // A floating picture stands on no line and holds its margin for the lines beside it; floats on
        // the same side stand side by side while the earlier one still holds.
        bool left = align == html::kAlignLeft;
        int32_t& floatWidth = left ? block.leftFloatWidth : block.rightFloatWidth;
        int32_t& floatBottom = left ? block.leftFloatBottom : block.rightFloatBottom;
        int32_t beside = block.y < floatBottom ? floatWidth : 0;
        seg->x = left ? block.inset + beside : std::max(block.width - beside - width, 0);
        seg->line = -1;
        floatWidth = beside + width;
        floatBottom = std::max(floatBottom, block.y + height);
        StartLine(block);
    }
}
