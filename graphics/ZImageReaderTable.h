// The seam through which pictures reach the image readers. Graphics cannot depend on the readers, which
// are built on top of it, so the application installs the readers' table at start-up; until then, or for
// a type the table lacks, a picture load fails.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/ZRect.h"
#include "media/ZTypeCode.h"

class ZFile;
class ZOffscreen;

// Load flags: what a reader is asked to read (a picture passes all three of the first unless told).
enum : int32_t {
    kLoadPixels = 0x01,
    kLoadAlpha = 0x02,
    kLoadColorTable = 0x04,
    kLoadMask = 0x40,
};

// Image indices beyond the plain 0, 1, ...: all images composed into one offscreen (raw images only), or
// each into its own offscreen, chained behind the first.
enum : int32_t {
    kImageComposed = -1,
    kImageAllChained = -2,
};

struct ZImageLoad {
    int32_t flags = kLoadPixels | kLoadAlpha | kLoadColorTable;
    int32_t index = kImageAllChained;
    int32_t option = -1;
};

// What a load gives back. offscreen (with any further images chained behind it) belongs to the caller.
struct ZImageLoadResult {
    ZOffscreen* offscreen = nullptr;
    ZRect bounds;  // the image's rectangle (image 0's for all images chained)
    int32_t frameCount = 1;
    int32_t imageCount = 1;
    int32_t depth = 0;  // the depth the reader decodes in; 0 when it adapts to the target's
    int32_t width = 0;
    int32_t height = 0;
    const char* error = nullptr;  // what the reader could not decode, in a few words; null when unknown
};

// Deletes an offscreen and every offscreen chained behind it.
void DeleteOffscreenChain(ZOffscreen* first);

// One row per image type. read decodes file (windowed to the item, positioned at 0) and returns 0, or a
// non-zero code with result.offscreen null.
struct ZImageReaderEntry {
    ZTypeCode type;
    const char* name;
    int32_t (*read)(ZFile& file, ZTypeCode type, const ZImageLoad& load, ZImageLoadResult& result);
};

// Installs the table (kept by pointer; it must outlive its use); null or count 0 removes it.
void SetImageReaderTable(const ZImageReaderEntry* entries, size_t count);
// The row for type, or null.
const ZImageReaderEntry* FindImageReader(ZTypeCode type);
// Reads through the row for type; -1 when there is none.
int32_t ReadImageFile(ZFile& file, ZTypeCode type, const ZImageLoad& load, ZImageLoadResult& result);

// The process-wide depth override of the readers' offscreens: -1 for none. Alpha planes and masks set it to
// 8 while they load a picture to take its bytes.
extern int32_t gForcedDepth;

// Sets gForcedDepth for the life of the object.
class ZForcedDepth {
  public:
    explicit ZForcedDepth(int32_t depth) : saved_(gForcedDepth) { gForcedDepth = depth; }
    ~ZForcedDepth() { gForcedDepth = saved_; }
    ZForcedDepth(const ZForcedDepth&) = delete;
    ZForcedDepth& operator=(const ZForcedDepth&) = delete;

  private:
    int32_t saved_;
};
