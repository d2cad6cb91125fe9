#include "tools/kestimg/ImageTool.h"

#include <cstring>
#include <fstream>
#include <memory>

#include "graphics/ZColorTable.h"
#include "graphics/ZImageReaderTable.h"
#include "graphics/ZOffscreen.h"
#include "imaging/ZImageReader.h"
#include "media/ZMediaServer.h"
#include "platform/Snapshot.h"
#include "tools/common/ItemSource.h"

namespace imgtool {

namespace {

constexpr const char* kUsage =
    "Usage: kestimg COMMAND ...\n"
    "\n"
    "  info SOURCE                         print the type, size, depth, images and frames of an image\n"
    "  convert SOURCE OUT [--depth D] [--layer N | --frame N]\n"
    "                                      decode SOURCE into an offscreen of depth D (8, 15, 16, 24 or\n"
    "                                      32; 32 when not given) and write it to OUT (.png or .ppm): the\n"
    "                                      whole picture (a document's merged image, an animation's\n"
    "                                      frames as one strip), or only its image (layer) N or frame N,\n"
    "                                      counted from 0\n"
    "\n"
    "SOURCE is an image file, its type taken from its extension (.jpg, .jpeg, .rix, ...), or an item of a\n"
    "media container as FILE:ID, the container plain or appended to a program.\n";

// The image to read: the file, windowed to the item for a container item, and its type.
struct Source {
    ZFile file;
    ZTypeCode type = kTypeUnknown;
};

bool OpenSource(const std::string& text, Source& source, std::string& error) {
    std::string path;
    uint16_t id = 0;
    if (toolsupport::SplitItem(text, path, id)) {
        source.type = kTypeRix;  // what pictures ask for; the entry's own type comes back
        return toolsupport::OpenContainerItem(path, id, source.file, source.type, error);
    }
    if (!toolsupport::OpenPlainFile(text, source.file, error)) {
        return false;
    }
    source.type = ZFileSpec(text.c_str()).TypeFromExtension(ZFileSpec::kCategoryPicture);
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

// Convert's options: --depth D, --layer N, --frame N, each as two words or NAME=VALUE.
struct ConvertOptions {
    int32_t depth = 32;
    int32_t layer = -1;  // -1: the whole picture
    int32_t frame = -1;  // -1: every frame
    std::vector<std::string> positional;
};

bool ParseIndex(const std::string& text, int32_t& index) {
    if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    index = std::stoi(text);
    return true;
}

bool ParseConvertOptions(const std::vector<std::string>& args, ConvertOptions& options, std::string& error) {
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i].rfind("--", 0) != 0) {
            options.positional.push_back(args[i]);
            continue;
        }
        size_t equals = args[i].find('=');
        std::string name = args[i].substr(0, equals);
        std::string value;
        if (equals != std::string::npos) {
            value = args[i].substr(equals + 1);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        }
        if (name == "--depth") {
            if (!ParseDepth(value, options.depth)) {
                error = "--depth takes 8, 15, 16, 24 or 32";
                return false;
            }
        } else if (name == "--layer" || name == "--frame") {
            if (!ParseIndex(value, name == "--layer" ? options.layer : options.frame)) {
                error = name + " takes a number from 0";
                return false;
            }
        } else {
            error = "unknown option " + args[i];
            return false;
        }
    }
    if (options.layer >= 0 && options.frame >= 0) {
        error = "--layer and --frame do not go together";
        return false;
    }
    if (options.positional.size() != 2) {
        error = "convert needs SOURCE and OUT";
        return false;
    }
    return true;
}

// What to ask the reader for: a document's merged image unless one layer is chosen, and which frame of
// the strip to keep (-1: all). False with a reason when the chosen layer or frame does not exist.
bool ChooseImage(ZFile& file, ZTypeCode type, const ConvertOptions& options, int64_t maxPixels,
                 ZImageLoad& load, std::string& error) {
    std::unique_ptr<ZImageReader> reader(CreateImageReader(&file, type));
    if (reader == nullptr || reader->ReadHeader() != 0) {
        const char* why = reader != nullptr ? reader->GetError() : nullptr;
        error = why != nullptr ? why : "cannot be decoded";
        return false;
    }
    int32_t images = reader->GetImageCount(), frames = reader->GetFrameCount();
    ZRect bounds;
    reader->GetBounds(bounds, kImageComposed);
    if (int64_t(bounds.Width()) * bounds.Height() > maxPixels) {
        error =
            "too large (" + std::to_string(bounds.Width()) + " x " + std::to_string(bounds.Height()) + ")";
        return false;
    }
    if (options.layer >= images) {
        error = "has " + std::to_string(images) + (images == 1 ? " layer" : " layers") + " (0 to " +
                std::to_string(images - 1) + ")";
        return false;
    }
    if (options.frame >= frames) {
        error = "has " + std::to_string(frames) + (frames == 1 ? " frame" : " frames") + " (0 to " +
                std::to_string(frames - 1) + ")";
        return false;
    }
    load.index = options.layer >= 0 ? options.layer : kImageComposed;
    // The output keeps no alpha; without asking for it a layered document gives its merged image rather
    // than its layers composed.
    load.flags &= ~kLoadAlpha;
    return true;
}

// Decodes the source as the options choose, at their depth, into R, G, B rows. False with a one-line
// reason naming text.
bool Decode(const std::string& text, Source& source, const ConvertOptions& options, int64_t maxPixels,
            RgbPicture& out, std::string& error) {
    ZImageLoad load;
    if (!CheckType(text, source.type, error)) {
        return false;
    }
    if (!ChooseImage(source.file, source.type, options, maxPixels, load, error)) {
        error = text + ": " + error;
        return false;
    }
    // An 8-bit target dithers to the system palette, as the screen would hold it.
    ZColorTable* palette = options.depth == 8 ? ZColorTable::CreateBuiltIn(0) : nullptr;
    SetCurrentColorTable(palette);
    ZImageLoadResult result;
    {
        ZForcedDepth forced(options.depth);
        ReadImageFile(source.file, source.type, load, result);
    }
    if (result.offscreen == nullptr) {
        error = text + ": " + (result.error != nullptr ? result.error : "cannot be decoded");
    } else {
        out.rgb = RgbOf(*result.offscreen);
        out.width = result.offscreen->GetWidth();
        out.height = result.offscreen->GetHeight();
        if (options.frame >= 0 && result.frameCount > 1) {
            // The frames are bands of equal height, stacked from the top.
            out.height /= result.frameCount;
            size_t band = size_t(out.width) * size_t(out.height) * 3;
            auto first = out.rgb.begin() + std::ptrdiff_t(band * size_t(options.frame));
            out.rgb = std::vector<uint8_t>(first, first + std::ptrdiff_t(band));
        }
        DeleteOffscreenChain(result.offscreen);
    }
    SetCurrentColorTable(nullptr);
    if (palette != nullptr) {
        palette->Release();
    }
    return result.offscreen != nullptr;
}

int Convert(const std::vector<std::string>& args, std::ostream& err) {
    ConvertOptions options;
    std::string error;
    if (!ParseConvertOptions(args, options, error)) {
        err << "kestimg: " << error << "\n";
        return 1;
    }
    const std::string& text = options.positional[0];
    const std::string& output = options.positional[1];
    bool png = EndsWith(output, ".png");
    if (!png && !EndsWith(output, ".ppm")) {
        err << "kestimg: " << output << ": the output must end in .png or .ppm\n";
        return 1;
    }
    Source source;
    RgbPicture picture;
    bool written =
        OpenSource(text, source, error) &&
        Decode(text, source, options, imagesize::kMaxPixels, picture, error) &&
        (png ? platform::WritePngRgb(output, picture.width, picture.height, picture.rgb.data(), error)
             : WritePpm(output, picture.width, picture.height, picture.rgb, error));
    if (!written) {
        err << "kestimg: " << error << "\n";
        return 1;
    }
    return 0;
}

}  // namespace

bool DecodeFile(const std::string& path, ZTypeCode type, int64_t maxPixels, RgbPicture& out,
                std::string& error) {
    InstallImageReaders();
    Source source;
    source.type = type;
    source.file.SetFileSpec(ZFileSpec(path.c_str()));
    if (!source.file.Open(ZFileObject::kModeRead)) {
        error = "cannot open";
        return false;
    }
    ConvertOptions options;
    options.frame = 0;  // an animation's first frame; a still picture whole
    return Decode(path, source, options, maxPixels, out, error);
}

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
