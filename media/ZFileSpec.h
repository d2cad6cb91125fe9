// The name of a file. Paths are kept with backslash separators whatever the host uses; NativePath turns
// them back into the host's form when a file is opened.
#pragma once

#include <cstdint>
#include <string>

#include "core/ZString.h"
#include "media/ZTypeCode.h"

class ZFileSpec {
  public:
    // Categories for TypeFromExtension.
    enum : int32_t {
        kCategoryText = 0x01,
        kCategoryPicture = 0x02,
        kCategoryColorTable = 0x04,
        kCategorySound = 0x08,
        kCategoryMovie = 0x10,
        kCategoryOther = 0x20,
    };

    ZFileSpec() = default;
    // Joins text to base's path (see SetPath).
    explicit ZFileSpec(const ZString& text, const ZFileSpec* base = nullptr);
    explicit ZFileSpec(const char* text, const ZFileSpec* base = nullptr);

    // Sets the path from text: separators become backslashes (a drive letter's colon stays), an absolute
    // text replaces base, a relative one is joined to base with exactly one separator.
    void SetPath(const ZString& text, const ZFileSpec* base);
    // The path; empty while the name is not valid.
    const ZString& GetPath();
    // The path in the host's form ('/' separators); empty while the name is not valid.
    std::string NativePath();
    bool IsValid() const { return valid_; }
    void SetValid(bool valid) { valid_ = valid; }

    // Whether the file exists; the result also becomes the valid flag.
    bool CheckExists();
    // Creates the file or empties an existing one, then checks that it exists.
    bool CreateEmptyFile();
    // The type code that the path's extension suggests within the given categories; "????" when none.
    ZTypeCode TypeFromExtension(int32_t categories) const;

  private:
    bool valid_ = false;
    ZString path_;
};
