#include "controls/ZPictureFont.h"

#include <algorithm>
#include <new>
#include <vector>

#include "core/ZByteCursor.h"
#include "graphics/ZAlphaChannel.h"
#include "graphics/ZGraphicDevice.h"
#include "graphics/ZOffscreen.h"
#include "graphics/ZPicture.h"
#include "media/ZMediaServer.h"

namespace {

constexpr ZTypeCode kTypeRdx = MakeTypeCode("RDX ");
// No metrics item is anywhere near this; a larger one is not read.
constexpr int32_t kMaxMetricsSize = 1 << 20;
constexpr size_t kMaxFaceName = 255;

template <typename Media>
void ReleaseMedia(Media*& media) {
    if (media != nullptr) {
        media->Release();
        media = nullptr;
    }
}

}  // namespace

ZPictureFont::ZPictureFont(int32_t mediaId, int32_t metricsId) {
    mediaId_ = mediaId;
    measured_ = true;
    rendered_.set();
    LoadStrip(uint16_t(mediaId));
    if (!LoadMetrics(uint16_t(metricsId))) {
        // Without metrics nothing says where a glyph lies in the strip.
        ReleaseMedia(picture_);
        ReleaseMedia(alpha_);
        ascent_ = 0;
        descent_ = 0;
    }
    ComputeOffsets();
}

ZPictureFont::ZPictureFont(ZFont& source) : source_(&source) {
    faceName_.Assign(source.GetFaceName());
    size_ = source.GetSize();
    style_ = source.GetStyle();
    std::copy_n(source.GetWidths(nullptr), 256, widths_);
    ascent_ = int16_t(source.GetAscent(nullptr));
    descent_ = int16_t(source.GetDescent(nullptr));
    measured_ = true;
    ComputeOffsets();
    int32_t width = offsets_[255] + widths_[255];
    if (width > 0 && width <= ZOffscreen::kMaxEdge && size_ > 0 && size_ <= ZOffscreen::kMaxEdge) {
        alpha_ = new (std::nothrow) ZAlphaChannel(ZRect::FromSize(width, size_));
        if (alpha_ != nullptr &&
            (alpha_->GetPlane() == nullptr || alpha_->GetPlane()->GetPixels() == nullptr)) {
            ReleaseMedia(alpha_);
        }
    }
}

ZPictureFont::~ZPictureFont() {
    delete tinted_;
    ReleaseMedia(picture_);
    ReleaseMedia(alpha_);
}

void ZPictureFont::LoadStrip(uint16_t mediaId) {
    ZFile file;
    ZTypeCode type = kTypeRix;
    if (gMediaServer == nullptr || !gMediaServer->OpenItem(mediaId, file, type)) {
        return;
    }
    if (type == kTypeRix) {
        picture_ = new (std::nothrow) ZPicture(mediaId);
        ZOffscreen* first = picture_ != nullptr ? picture_->GetFirstOffscreen() : nullptr;
        if (first == nullptr || first->GetPixels() == nullptr) {
            ReleaseMedia(picture_);
            return;
        }
        size_ = first->GetHeight();
    } else if (type == kTypeRax) {
        alpha_ = new (std::nothrow) ZAlphaChannel(mediaId);
        if (alpha_ == nullptr || alpha_->GetPlane() == nullptr) {
            ReleaseMedia(alpha_);
            return;
        }
        size_ = alpha_->GetPlane()->GetHeight();
    }
}

bool ZPictureFont::ParseMetrics(const uint8_t* bytes, size_t size, bool withName, Metrics& out) {
    ZByteCursor cursor(bytes, size);
    out.ascent = cursor.S16LE();
    out.descent = cursor.S16LE();
    for (uint8_t& width : out.widths) {
        width = uint8_t(cursor.U16LE());
    }
    if (withName) {
        uint32_t length = cursor.U32LE();
        // The name and the style after it must lie inside the item.
        if (!cursor.Ok() || length > cursor.Remaining() || cursor.Remaining() - length < 2) {
            return false;
        }
        out.face.assign(reinterpret_cast<const char*>(cursor.Here()), std::min<size_t>(length, kMaxFaceName));
        cursor.Skip(length);
        out.style = cursor.S16LE();
    }
    // A line cannot reach a negative distance above or below its baseline.
    return cursor.Ok() && out.ascent >= 0 && out.descent >= 0;
}

bool ZPictureFont::LoadMetrics(uint16_t metricsId) {
    ZFile file;
    ZTypeCode type = kTypeFont;
    if (gMediaServer == nullptr || !gMediaServer->OpenItem(metricsId, file, type) ||
        (type != kTypeFont && type != kTypeRdx)) {
        return false;
    }
    int32_t size = file.GetSize();
    if (size <= 0 || size > kMaxMetricsSize) {
        return false;
    }
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    Metrics metrics;
    if (file.Read(bytes.data(), size) != size ||
        !ParseMetrics(bytes.data(), bytes.size(), type == kTypeFont, metrics)) {
        return false;
    }
    ascent_ = metrics.ascent;
    descent_ = metrics.descent;
    std::copy_n(metrics.widths, 256, widths_);
    faceName_.Assign(metrics.face.c_str());
    style_ = metrics.style;
    return true;
}

void ZPictureFont::ComputeOffsets() {
    offsets_[0] = 0;
    for (int32_t c = 1; c < 256; ++c) {
        offsets_[c] = offsets_[c - 1] + widths_[c - 1];
    }
}

bool ZPictureFont::HasStrip() const {
    return picture_ != nullptr || alpha_ != nullptr;
}

void ZPictureFont::SetColor(uint8_t r, uint8_t g, uint8_t b) {
    if (tint_[0] != r || tint_[1] != g || tint_[2] != b) {
        tint_[0] = r;
        tint_[1] = g;
        tint_[2] = b;
        delete tinted_;
        tinted_ = nullptr;
    }
}

ZOffscreen* ZPictureFont::GlyphSource() {
    if (picture_ != nullptr) {
        return picture_->GetFirstOffscreen();
    }
    if (alpha_ == nullptr) {
        return nullptr;
    }
    if (tinted_ == nullptr) {
        // A fill of the tint through the strip's coverage; it shares the strip, so new glyphs show at once.
        tinted_ = new (std::nothrow) ZOffscreen(alpha_->GetBounds(), tint_);
        if (tinted_ != nullptr) {
            tinted_->SetAlphaChannel(alpha_);
        }
    }
    return tinted_;
}

void ZPictureFont::RenderGlyph(uint8_t c) {
    rendered_.set(c);
    char byte = char(c);
    ZAlphaChannel* glyph = source_ != nullptr ? WorkDevice().RenderTextAlpha(&byte, 1, *source_, 0) : nullptr;
    if (glyph == nullptr || alpha_ == nullptr) {
        ReleaseMedia(glyph);
        return;
    }
    ZOffscreen& from = *glyph->GetPlane();
    ZOffscreen& to = *alpha_->GetPlane();
    int32_t rows = std::min(from.GetHeight(), to.GetHeight());
    int32_t columns = std::min({from.GetWidth(), int32_t(widths_[c]), to.GetWidth() - offsets_[c]});
    for (int32_t y = 0; y < rows; ++y) {
        std::copy_n(from.RowAddress(y), std::max(columns, 0), to.RowAddress(y) + offsets_[c]);
    }
    glyph->Release();
}

int32_t ZPictureFont::TextWidth(const char* text, int32_t maxCount) {
    int32_t width = 0;
    for (int32_t i = 0, n = RunLength(text, maxCount); i < n; ++i) {
        width += widths_[uint8_t(text[i])];
    }
    return width;
}

void ZPictureFont::DrawText(ZGraphicDevice& device, int32_t x, int32_t baselineY, const char* text,
                            int32_t maxCount, const ZRect* clip, const uint8_t* rgb) {
    if (rgb != nullptr) {
        SetColor(rgb[0], rgb[1], rgb[2]);
    }
    ZOffscreen* strip = GlyphSource();
    int32_t n = RunLength(text, maxCount);
    if (strip == nullptr || n == 0) {
        return;
    }
    int32_t top = baselineY - ascent_;
    // Never more rows than the strip has, nor glyph columns beyond its right edge.
    int32_t rows = std::min(size_, strip->GetHeight());
    ZRect area = device.GetTargetBounds();
    if (clip != nullptr) {
        area = area.Intersect(*clip);
    }
    ZRect run{top, x, top + rows, x + TextWidth(text, n)};
    bool clipEach = run.Intersect(area) != run;
    for (int32_t i = 0; i < n; ++i) {
        uint8_t c = uint8_t(text[i]);
        int32_t w = widths_[c];
        if (w == 0) {
            continue;
        }
        if (clipEach && x >= area.right) {
            break;
        }
        if (!rendered_[c]) {
            RenderGlyph(c);
        }
        int32_t visible = std::min(w, strip->GetWidth() - offsets_[c]);
        ZRect to{top, x, top + rows, x + std::max(visible, 0)};
        if (clipEach) {
            to = to.Intersect(area);
        }
        if (!to.IsEmpty()) {
            ZRect from = to.Offset(offsets_[c] - x, -top);
            device.DrawOffscreen(*strip, &from, &to);
        }
        x += w;
    }
}
