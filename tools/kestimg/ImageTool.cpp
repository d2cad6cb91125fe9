#include "tools/kestimg/ImageTool.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>

#include "graphics/ZColorTable.h"
#include "graphics/ZImageReaderTable.h"
#include "graphics/ZOffscreen.h"
#include "imaging/ZImageReader.h"
#include "media/ZMediaServer.h"
#include "platform/Snapshot.h"

namespace imgtool {

namespace {

constexpr const char* kUsage =
    "Usage: kestimg COMMAND ...\n"
    "\n"
    "  info SOURCE                         print the type, size, depth, images and frames of an image\n"
    "  convert SOURCE OUT [--depth D]      decode SOURCE into an offscreen of depth D (8, 15, 16, 24 or\n"
    "                                      32; 32 when not given) and write it to OUT (.png or .ppm)\n"
    "\n"
    "SOURCE is an image file, its type taken from its extension (.jpg, .jpeg, .rix, ...), or an item of a\n"
    "media container as FILE:ID, the container plain or appended to a program.\n";

// The image to read: the file, windowed to the item for a container item, and its type.
struct Source {
    ZFile file;
    ZTypeCode type = kTypeUnknown;
};

bool IsRegularFile(const std::string& path) {
    struct stat info;
    errno = 0;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// "FILE:ID" names a container item when ID is a number 1..65535 and FILE exists.
bool SplitItem(const std::string& text, std::string& path, uint16_t& id) {
    size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon + 1 >= text.size() || colon + 6 < text.size()) {
        return false;
    }
    uint32_t value = 0;
    for (size_t i = colon + 1; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
        value = value * 10 + uint32_t(text[i] - '0');
    }
    if (value < 1 || value > 0xFFFF || !IsRegularFile(text.substr(0, colon))) {
        return false;
    }
    path = text.substr(0, colon);
    id = uint16_t(value);
    return true;
}

bool OpenItem(const std::string& path, uint16_t id, Source& source, std::string& error) {
    ZFileSpec spec(path.c_str());
    gMediaServer->CloseContainer();  // a container still open from an earlier call would answer instead
    if (!gMediaServer->OpenContainer(spec, false) && !gMediaServer->OpenContainer(spec, true)) {
        error = path + ": not a media container";
        return false;
    }
    source.type = kTypeRix;  // what pictures ask for; the entry's own type comes back
    if (!gMediaServer->OpenItem(id, source.file, source.type)) {
        error = path + ": no item " + std::to_string(id);
        return false;
    }
    return true;
}

bool OpenSource(const std::string& text, Source& source, std::string& error) {
    std::string path;
    uint16_t id = 0;
    if (SplitItem(text, path, id)) {
        return OpenItem(path, id, source, error);
    }
    if (!IsRegularFile(text)) {
        error = text + ": " + (errno != 0 ? std::strerror(errno) : "not a file");
        return false;
    }
    ZFileSpec spec(text.c_str());
    source.type = spec.TypeFromExtension(ZFileSpec::kCategoryPicture);
    source.file.SetFileSpec(spec);
    if (!source.file.Open(ZFileObject::kModeRead)) {
        error = text + ": cannot open";
        return false;
    }
    return true;
}

// The readers' rows name every type that decodes.
bool CheckType(const std::string& text, ZTypeCode type, std::string& error) {
    if (FindImageReader(type) != nullptr) {
        return true;
    }
    error = text + ": " +
            (type == kTypeUnknown ? std::string("unknown image type")
                                  : "no reader for type \"" + TypeCodeText(type) + "\"");
    return false;
}

int Info(const std::string& text, std::ostream& out, std::ostream& err) {
    Source source;
    std::string error;
    if (!OpenSource(text, source, error) || !CheckType(text, source.type, error)) {
        err << "kestimg: " << error << "\n";
        return 1;
    }
    std::unique_ptr<ZImageReader> reader(CreateImageReader(&source.file, source.type));
    if (reader == nullptr || reader->ReadHeader() != 0) {
        const char* why = reader != nullptr ? reader->GetError() : nullptr;
        err << "kestimg: " << text << ": " << (why != nullptr ? why : "cannot be decoded") << "\n";
        return 1;
    }
    ZRect bounds;
    reader->GetBounds(bounds, kImageAllChained);
    out << "type: " << TypeCodeText(source.type) << "\n";
    out << "size: " << bounds.Width() << "x" << bounds.Height() << "\n";
    if (reader->GetDepth() > 0) {
        out << "depth: " << reader->GetDepth() << "\n";
    } else {
        out << "depth: any (decodes at the target's depth)\n";
    }
    out << "images: " << reader->GetImageCount() << "\n";
    out << "frames: " << reader->GetFrameCount() << "\n";
    return 0;
}

bool EndsWith(const std::string& text, const char* suffix) {
    size_t n = std::strlen(suffix);
    if (text.size() < n) {
        return false;
    }
    for (size_t i = 0; i < n; ++i) {
        char c = text[text.size() - n + i];
        if ((c >= 'A' && c <= 'Z' ? char(c + 32) : c) != suffix[i]) {
            return false;
        }
    }
    return true;
}

bool WritePpm(const std::string& path, int32_t width, int32_t height, const std::vector<uint8_t>& rgb,
              std::string& error) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << "P6\n" << width << " " << height << "\n255\n";
    file.write(reinterpret_cast<const char*>(rgb.data()), std::streamsize(rgb.size()));
    file.close();
    if (!file) {
        error = path + ": cannot write";
        return false;
    }
    return true;
}

// The offscreen's pixels as packed R, G, B rows.
std::vector<uint8_t> RgbOf(const ZOffscreen& offscreen) {
    int32_t width = offscreen.GetWidth();
    int32_t height = offscreen.GetHeight();
    std::vector<uint8_t> rgb(size_t(width) * size_t(height) * 3);
    uint8_t* p = rgb.data();
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            uint32_t c = offscreen.ColorAt(x, y);
            *p++ = uint8_t(c >> 16);
            *p++ = uint8_t(c >> 8);
            *p++ = uint8_t(c);
        }
    }
    return rgb;
}

bool ParseDepth(const std::string& text, int32_t& depth) {
    for (int32_t d : {8, 15, 16, 24, 32}) {
        if (text == std::to_string(d)) {
            depth = d;
            return true;
        }
    }
    return false;
}

int Convert(const std::vector<std::string>& args, std::ostream& err) {
    std::vector<std::string> positional;
    int32_t depth = 32;
    for (size_t i = 1; i < args.size(); ++i) {
        std::string value;
        if (args[i] == "--depth" && i + 1 < args.size()) {
            value = args[++i];
        } else if (args[i].rfind("--depth=", 0) == 0) {
            value = args[i].substr(8);
        } else if (args[i].rfind("--", 0) == 0) {
            err << "kestimg: unknown option " << args[i] << "\n";
            return 1;
        } else {
            positional.push_back(args[i]);
            continue;
        }
        if (!ParseDepth(value, depth)) {
            err << "kestimg: --depth takes 8, 15, 16, 24 or 32\n";
            return 1;
        }
    }
    if (positional.size() != 2) {
        err << "kestimg: convert needs SOURCE and OUT\n";
        return 1;
    }
    const std::string& text = positional[0];
    const std::string& output = positional[1];
    bool png = EndsWith(output, ".png");
    if (!png && !EndsWith(output, ".ppm")) {
        err << "kestimg: " << output << ": the output must end in .png or .ppm\n";
        return 1;
    }
    Source source;
    std::string error;
    if (!OpenSource(text, source, error) || !CheckType(text, source.type, error)) {
        err << "kestimg: " << error << "\n";
        return 1;
    }
    // An 8-bit target dithers to the system palette, as the screen would hold it.
    ZColorTable* palette = depth == 8 ? ZColorTable::CreateBuiltIn(0) : nullptr;
    SetCurrentColorTable(palette);
    ZImageLoadResult result;
    {
        ZForcedDepth forced(depth);
        ReadImageFile(source.file, source.type, ZImageLoad{}, result);
    }
    bool written = false;
    if (result.offscreen == nullptr) {
        error = text + ": " + (result.error != nullptr ? result.error : "cannot be decoded");
    } else {
        std::vector<uint8_t> rgb = RgbOf(*result.offscreen);
        int32_t width = result.offscreen->GetWidth();
        int32_t height = result.offscreen->GetHeight();
        written = png ? platform::WritePngRgb(output, width, height, rgb.data(), error)
                      : WritePpm(output, width, height, rgb, error);
        DeleteOffscreenChain(result.offscreen);
    }
    SetCurrentColorTable(nullptr);
    if (palette != nullptr) {
        palette->Release();
    }
    if (!written) {
        err << "kestimg: " << error << "\n";
        return 1;
    }
    return 0;
}

}  // namespace

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    InstallImageReaders();
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        (args.empty() ? err : out) << kUsage;
        return args.empty() ? 1 : 0;
    }
    const std::string& command = args[0];
    if (command == "info" && args.size() == 2) {
        return Info(args[1], out, err);
    }
    if (command == "info") {
        err << "kestimg: info needs one SOURCE\n";
        return 1;
    }
    if (command == "convert") {
        return Convert(args, err);
    }
    err << "kestimg: unknown command " << command << " (see kestimg --help)\n";
    return 1;
}

}  // namespace imgtool
