#include "media/ZFileSpec.h"

#include <cstring>

#include "platform/File.h"

namespace {

struct ExtensionType {
    int32_t category;
    const char* extension;
    ZTypeCode type;
};

// In category order: the first match wins.
constexpr ExtensionType kExtensionTypes[] = {
    {ZFileSpec::kCategoryText, "txt", MakeTypeCode("TEXT")},
    {ZFileSpec::kCategoryText, "text", MakeTypeCode("TEXT")},
    {ZFileSpec::kCategoryPicture, "rix", MakeTypeCode("RIX ")},
    {ZFileSpec::kCategoryPicture, "xpm", MakeTypeCode(".XPM")},
    {ZFileSpec::kCategoryPicture, "xbm", MakeTypeCode(".XBM")},
    {ZFileSpec::kCategoryPicture, "pic", MakeTypeCode("PICT")},
    {ZFileSpec::kCategoryPicture, "pict", MakeTypeCode("PICT")},
    {ZFileSpec::kCategoryPicture, "bmp", MakeTypeCode(".BMP")},
    {ZFileSpec::kCategoryPicture, "htm", MakeTypeCode(".HTM")},
    {ZFileSpec::kCategoryPicture, "html", MakeTypeCode("HTML")},
    {ZFileSpec::kCategoryPicture, "jpg", MakeTypeCode("JPEG")},
    {ZFileSpec::kCategoryPicture, "jpeg", MakeTypeCode("JPEG")},
    {ZFileSpec::kCategoryPicture, "gif", MakeTypeCode("GIFf")},
    {ZFileSpec::kCategoryPicture, "tif", MakeTypeCode("TIFF")},
    {ZFileSpec::kCategoryPicture, "tiff", MakeTypeCode("TIFF")},
    {ZFileSpec::kCategoryPicture, "tga", MakeTypeCode("TPIC")},
    {ZFileSpec::kCategoryPicture, "psd", MakeTypeCode("8BPS")},
    {ZFileSpec::kCategoryPicture, "rax", MakeTypeCode("RAX ")},
    {ZFileSpec::kCategoryColorTable, "rcx", MakeTypeCode("RCX ")},
    {ZFileSpec::kCategorySound, "snd", MakeTypeCode("sfil")},
    {ZFileSpec::kCategorySound, "aif", MakeTypeCode("AIFF")},
    {ZFileSpec::kCategorySound, "aiff", MakeTypeCode("AIFF")},
    {ZFileSpec::kCategorySound, "wav", MakeTypeCode("WAVE")},
    {ZFileSpec::kCategorySound, "wave", MakeTypeCode("WAVE")},
    {ZFileSpec::kCategorySound, "rsx", MakeTypeCode("RSX ")},
    {ZFileSpec::kCategorySound, "mp3", MakeTypeCode("MPG ")},
    {ZFileSpec::kCategorySound, "mp2", MakeTypeCode("MPG ")},
    {ZFileSpec::kCategoryMovie, "mov", MakeTypeCode("MooV")},
    {ZFileSpec::kCategoryMovie, "moov", MakeTypeCode("MooV")},
    {ZFileSpec::kCategoryMovie, "avi", MakeTypeCode("VfW ")},
    {ZFileSpec::kCategoryMovie, "mpg", MakeTypeCode("MPG ")},
    {ZFileSpec::kCategoryMovie, "mpeg", MakeTypeCode("MPG ")},
    {ZFileSpec::kCategoryOther, "game", MakeTypeCode("GAME")},
    {ZFileSpec::kCategoryOther, "gam", MakeTypeCode("GAME")},
    {ZFileSpec::kCategoryOther, "ini", MakeTypeCode("pref")},
    {ZFileSpec::kCategoryOther, "msf", MakeTypeCode("MSF ")},
    {ZFileSpec::kCategoryOther, "mf", MakeTypeCode("MF  ")},
    {ZFileSpec::kCategoryOther, "ifl", MakeTypeCode("IFL ")},
};

}  // namespace

ZFileSpec::ZFileSpec(const ZString& text, const ZFileSpec* base) {
    SetPath(text, base);
}

ZFileSpec::ZFileSpec(const char* text, const ZFileSpec* base) {
    SetPath(ZString(text, ZString::kMaxCapacity), base);
}

void ZFileSpec::SetPath(const ZString& text, const ZFileSpec* base) {
    // Copy first: text may be this spec's own path, or the base's.
    std::string rewritten =
        text.GetText() != nullptr ? std::string(text.GetText(), size_t(text.GetLength())) : "";
    for (size_t i = 0; i < rewritten.size(); ++i) {
        char& c = rewritten[i];
        if (c == '/' || (c == ':' && i != 1)) {
            c = '\\';
        }
    }
    bool absolute =
        (rewritten.size() > 1 && rewritten[0] == '\\') || (rewritten.size() > 2 && rewritten[1] == ':');
    std::string result;
    if (!absolute && base != nullptr && base->valid_ && base->path_.GetText() != nullptr) {
        result.assign(base->path_.GetText(), size_t(base->path_.GetLength()));
        if (!rewritten.empty() && rewritten[0] == '\\' && !result.empty() && result.back() == '\\') {
            result.pop_back();
        }
    }
    if (!rewritten.empty() && !result.empty() && rewritten[0] != '\\' && result.back() != '\\') {
        result += '\\';
    }
    result += rewritten;
    path_.Assign(result.c_str());
    valid_ = !result.empty() && path_.GetLength() == int32_t(result.size());
}

const ZString& ZFileSpec::GetPath() {
    if (!valid_) {
        path_.Clear();
    }
    return path_;
}

std::string ZFileSpec::NativePath() {
    const ZString& path = GetPath();
    std::string native = path.GetText() != nullptr ? path.GetText() : "";
    for (char& c : native) {
        if (c == '\\') {
            c = '/';
        }
    }
    return native;
}

bool ZFileSpec::CheckExists() {
    // No shortening is needed here: host paths have no 128-character limit.
    std::string native = NativePath();
    valid_ = platform::FileExists(native.c_str());
    return valid_;
}

bool ZFileSpec::CreateEmptyFile() {
    std::string native = NativePath();
    platform::CloseFile(platform::CreateOrTruncateFile(native.c_str(), platform::kAccessWrite));
    return CheckExists();
}

ZTypeCode ZFileSpec::TypeFromExtension(int32_t categories) const {
    const char* path = path_.GetText();
    int32_t n = path != nullptr ? path_.GetLength() : 0;
    if (n == 0) {
        return kTypeUnknown;
    }
    // The '.' is looked for among the four characters that start 5 from the end (or at the start of a
    // short path), never outside the text.
    int32_t window = n >= 6 ? n - 5 : 0;
    int32_t dot = -1;
    for (int32_t i = window; i < window + 4 && i < n; ++i) {
        if (path[i] == '.') {
            dot = i;
            break;
        }
    }
    if (dot < 0) {
        return kTypeUnknown;
    }
    std::string extension(path + dot + 1, size_t(n - dot - 1));
    for (char& c : extension) {
        if (c >= 'A' && c <= 'Z') {
            c = char(c + 32);
        }
    }
    for (const ExtensionType& e : kExtensionTypes) {
        if ((categories & e.category) != 0 && extension == e.extension) {
            return e.type;
        }
    }
    return kTypeUnknown;
}
