// Text controls that read markup. ZHyperTextControl shows a hand over links; ZHTMLTextControl reads a
// small HTML dialect: line and paragraph breaks, links, font, colour and style changes, headings, sub-
// and superscripts, tables, lists, pictures from the media container or the media directory, and
// character entities. Tags it does not know are ignored and their content shown as text.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "controls/ZHTMLMarkup.h"
#include "controls/ZTextControl.h"

class ZHyperTextControl : public ZTextControl {
  public:
    static constexpr int32_t kLinkCursor = 32649;  // the platform's hand
    using ZTextControl::ZTextControl;
    int32_t GetLinkCursor(const ZTextSegment* segment) const override {
        return segment != nullptr && (segment->flags & kSegLink) != 0 ? kLinkCursor : 0;
    }
};

class ZHTMLTextControl : public ZHyperTextControl {
  public:
    // Nested blocks (tables, rows, cells, lists, sub- and superscripts) deeper than this are read as
    // unknown tags, which bounds the layout's recursion and the trial layouts of nested tables.
    static constexpr int32_t kMaxDepth = 12;
    static constexpr int32_t kMaxColumns = 10;

    using ZHyperTextControl::ZHyperTextControl;

    // The source is prepared (white space collapsed, entities replaced) before it is laid out.
    void SetText(ZString* text, ZRedraw redraw) override;
    int32_t ScanRun(int32_t pos) const override;
    void ParseMarkup(ZTextBlock& block, int32_t depth) override;
    bool EscapeChar(char c, std::string& out) const override { return html::EscapeChar(c, out); }
    std::string_view DecodeEntity(int32_t pos, int32_t& end, bool& consumed) const override;
    // A picture file; null only without memory (a file that cannot be read gives an empty picture).
    virtual ZPicture* LoadPicture(const char* path);
    // Where "img src" names are looked up; without one they are not loaded.
    void SetMediaDirectory(std::string directory) { mediaDirectory_ = std::move(directory); }

  private:
    struct Table {
        bool measuring = false;
        std::array<html::ColumnMeasure, kMaxColumns> measures{};
        std::array<int32_t, kMaxColumns> widths{};
        int32_t width = 0;
    };

    std::string_view Source() const;
    void OpenTag(ZTextBlock& block, int32_t depth, const html::ParsedTag& tag, size_t tagStart);
    void CloseTag(ZTextBlock& block, int32_t depth, int32_t id);
    void EndLineIfFilled(ZTextBlock& block);
    void Break(ZTextBlock& block);
    void SkipWhiteSpace();
    void OpenFont(std::string_view attributes);
    void OpenHeading(int32_t id);
    void OpenScript(ZTextBlock& block, int32_t depth, bool sub);
    void OpenTable(ZTextBlock& block, int32_t depth, std::string_view attributes);
    void OpenRow(ZTextBlock& block, int32_t depth, std::string_view attributes, size_t tagStart);
    void OpenCell(ZTextBlock& block, int32_t depth, std::string_view attributes, size_t tagStart);
    void OpenList(ZTextBlock& block, int32_t depth, bool item, size_t tagStart);
    void OpenImage(ZTextBlock& block, std::string_view attributes);
    // The depth of the innermost open block of kind, not looking past a block of kind stop; -1 none.
    int32_t FindOpen(ZTextBlock::Kind kind, ZTextBlock::Kind stop) const;
    // Places a laid-out nested block inline, as one item.
    void PlaceBlock(ZTextBlock& block, ZTextBlock* nested, int32_t ascent, uint32_t flags);
    static void ReadColor(std::string_view attributes, std::string_view name, ZTextBlock& block);

    std::vector<Table> tables_;
    std::string mediaDirectory_;
};
