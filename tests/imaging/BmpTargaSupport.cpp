#include "tests/imaging/BmpTargaSupport.h"

#include <stb_image.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "graphics/ZColorTable.h"
#include "imaging/ZImageReader.h"
#include "media/ZFile.h"
#include "platform/File.h"
#include "tests/support/ToolRun.h"
#include "tools/kestimg/ImageTool.h"

namespace fs = std::filesystem;

namespace bmptga {

std::unique_ptr<ZOffscreen> Decode(const Bytes& bytes, ZTypeCode type, std::string& error, int32_t depth) {
    platform::MemoryFile memory(bytes.data(), bytes.size());
    ZFile file;
    file.SetFileSpec(ZFileSpec(memory.GetPath().c_str()));
    file.Open(ZFileObject::kModeRead);
    std::unique_ptr<ZImageReader> reader(CreateImageReader(&file, type));
    if (reader == nullptr) {
        error = "no reader";
        return nullptr;
    }
    ZForcedDepth forced(depth);
    std::unique_ptr<ZOffscreen> offscreen(reader->CreateOffscreen(kLoadPixels | kLoadColorTable, 0, 0));
    error = reader->GetError() != nullptr ? reader->GetError() : "";
    return offscreen;
}

Rgb PictureOf(const ZOffscreen& offscreen) {
    Rgb rgb{offscreen.GetWidth(), offscreen.GetHeight(), {}};
    for (int32_t y = 0; y < rgb.height; ++y) {
        for (int32_t x = 0; x < rgb.width; ++x) {
            rgb.pixels.push_back(offscreen.ColorAt(x, y));
        }
    }
    return rgb;
}

Rgb StbPicture(const Bytes& bytes) {
    int width = 0, height = 0, channels = 0;
    stbi_uc* data = stbi_load_from_memory(bytes.data(), int(bytes.size()), &width, &height, &channels, 3);
    Rgb rgb;
    if (data == nullptr) {
        return rgb;
    }
    rgb.width = width;
    rgb.height = height;
    for (int i = 0; i < width * height; ++i) {
        const stbi_uc* p = data + i * 3;
        rgb.pixels.push_back(uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2]);
    }
    stbi_image_free(data);
    return rgb;
}

void ExpectSamePicture(const Rgb& got, const Rgb& want, int32_t tolerance, const std::string& what) {
    ASSERT_EQ(got.width, want.width) << what;
    ASSERT_EQ(got.height, want.height) << what;
    int32_t wrong = 0;
    for (int32_t y = 0; y < got.height; ++y) {
        for (int32_t x = 0; x < got.width; ++x) {
            uint32_t a = got.At(x, y), b = want.At(x, y);
            for (int shift : {0, 8, 16}) {
                int32_t d = std::abs(int32_t((a >> shift) & 0xFF) - int32_t((b >> shift) & 0xFF));
                if (d > tolerance && wrong++ < 4) {
                    ADD_FAILURE() << what << " at " << x << "," << y << ": " << std::hex << a << " want "
                                  << b;
                }
            }
        }
    }
}

ToolFolder::ToolFolder() {
    dir_ = (fs::temp_directory_path() / ("kest-bmptga-" + std::to_string(getpid()) + "-" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name()))
               .string();
    fs::create_directories(dir_);
}

ToolFolder::~ToolFolder() {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
}

std::string ToolFolder::Write(const std::string& name, const Bytes& bytes) const {
    std::string path = (fs::path(dir_) / name).string();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path;
}

int ToolFolder::Kestimg(const std::vector<std::string>& args, std::string& err) {
    testsupport::ToolResult result = testsupport::RunTool(imgtool::Run, args);
    err = result.err;
    return result.status;
}

Rgb ToolFolder::ReadPpm(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int width = 0, height = 0, max = 0;
    in >> magic >> width >> height >> max;
    in.get();
    Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Rgb rgb;
    if (magic != "P6" || max != 255 || bytes.size() != size_t(width) * size_t(height) * 3) {
        return rgb;
    }
    rgb.width = width;
    rgb.height = height;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        rgb.pixels.push_back(uint32_t(bytes[i]) << 16 | uint32_t(bytes[i + 1]) << 8 | bytes[i + 2]);
    }
    return rgb;
}

void WriteSeedsIfAsked(const std::string& corpus, const std::vector<std::pair<std::string, Bytes>>& seeds) {
    const char* root = std::getenv("KEST_WRITE_SEEDS");
    if (root == nullptr) {
        return;
    }
    fs::path dir = fs::path(root) / corpus;
    fs::create_directories(dir);
    for (const auto& [name, bytes] : seeds) {
        std::ofstream((dir / name).string(), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
}

void BmpTargaTest::SetUp() {
    ProcessStateTest::SetUp();
    // Placing black and white changes the palette's nearest colours; the pictures here are compared as
    // stored.
    ZColorTable::SetBlackWhitePlacement(false);
    InstallImageReaders();
}

}  // namespace bmptga
