#include "tools/kestdemo/PhotoAlbum.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <vector>

#include "tools/kestdemo/Captions.h"
#include "tools/kestdemo/DemoMedia.h"
#include "tools/kestdemo/PhotoReader.h"

namespace album {

namespace {

namespace fs = std::filesystem;

constexpr int32_t kFeatureWidth = 252, kFeatureHeight = 224, kBubbleSize = 60;
constexpr int32_t kPictureWidth = 800, kPictureHeight = 600;
constexpr size_t kSetPhotos = 2 * demo::kSetSize;
// The set photographs, then the background and the mosaic picture.
constexpr size_t kWanted = kSetPhotos + 2;

// The progress line is redrawn in place on a terminal; elsewhere each state is a line of its own.
class Progress {
  public:
    Progress(std::ostream& err, bool terminal) : err_(err), terminal_(terminal) {}
    void Status(const std::string& line) {
        if (terminal_) {
            err_ << "\rkestdemo: " << line << "\033[K" << std::flush;
            shown_ = true;
        } else {
            err_ << "kestdemo: " << line << "\n";
        }
    }
    void Note(const std::string& line) {
        Clear();
        err_ << "kestdemo: " << line << "\n";
    }
    void Clear() {
        if (shown_) {
            err_ << "\r\033[K";
            shown_ = false;
        }
    }

  private:
    std::ostream& err_;
    bool terminal_;
    bool shown_ = false;
};

demo::Canvas ToCanvas(const photo::Image& image) {
    demo::Canvas c(image.width, image.height);
    const uint8_t* p = image.rgb.data();
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x, p += 3) {
            c.At(x, y) = demo::Rgb8(p[0], p[1], p[2]);
        }
    }
    return c;
}

// The folder's visible regular files, sorted by name.
bool ListFolder(const std::string& folder, std::vector<fs::path>& files, std::string& error) {
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (!name.empty() && name[0] != '.' && it->is_regular_file(ec)) {
            files.push_back(it->path());
        }
    }
    if (ec) {
        error = "cannot read the folder " + folder + ": " + ec.message();
        return false;
    }
    std::sort(files.begin(), files.end(),
              [](const fs::path& a, const fs::path& b) { return a.filename() < b.filename(); });
    return true;
}

bool ReadCaptionsFile(const std::string& path, std::map<std::string, std::string>& captions,
                      Progress& progress, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) {
        error = "cannot read the captions file " + path;
        return false;
    }
    std::vector<std::string> problems;
    captions::Parse(text, captions, problems);
    for (const std::string& problem : problems) {
        progress.Note(path + ": " + problem + " (skipped)");
    }
    return true;
}

std::string CaptionOf(const std::string& name, const exif::Info& exif,
                      const std::map<std::string, std::string>& given) {
    auto it = given.find(name);
    std::string text = it != given.end()                                     ? it->second
                       : captions::IsMeaningfulDescription(exif.description) ? exif.description
                                                                             : captions::FromFileName(name);
    return captions::ToStored(text);
}

// A usable photograph: its set pictures, or for the last two its full-size picture.
struct Usable {
    fs::path path;
    demo::SetPhoto set;
};

demo::Canvas Picture(const photo::Image& image) {
    return ToCanvas(photo::CropToFill(image, kPictureWidth, kPictureHeight));
}

}  // namespace

int Run(const Options& options, std::ostream& err) {
    Progress progress(err, options.terminal);
    std::string error;
    std::map<std::string, std::string> given;
    std::vector<fs::path> files;
    if (!demo::CheckOutputFolder(options.output, error) ||
        (!options.captionsFile.empty() && !ReadCaptionsFile(options.captionsFile, given, progress, error)) ||
        !ListFolder(options.folder, files, error)) {
        err << "kestdemo: " << error << "\n";
        return 1;
    }

    std::vector<Usable> usable;
    std::vector<demo::Canvas> pictures;  // the background and the mosaic picture, when there are 42
    size_t skipped = 0;
    for (size_t i = 0; i < files.size() && usable.size() + pictures.size() < kWanted; ++i) {
        std::string name = files[i].filename().string();
        progress.Status("photo " + std::to_string(i + 1) + " of " + std::to_string(files.size()) + ": " +
                        name);
        bool forSets = usable.size() < kSetPhotos;
        photo::Photo photo;
        if (!photo::ReadPhoto(files[i].string(), forSets ? kFeatureWidth : kPictureWidth,
                              forSets ? kFeatureHeight : kPictureHeight, photo, error)) {
            progress.Note("skipped " + name + ": " + error);
            ++skipped;
            continue;
        }
        if (!forSets) {
            pictures.push_back(Picture(photo.image));
            continue;
        }
        usable.push_back({files[i],
                          {ToCanvas(photo::CropToFill(photo.image, kFeatureWidth, kFeatureHeight)),
                           ToCanvas(photo::CropToFill(photo.image, kBubbleSize, kBubbleSize)),
                           CaptionOf(name, photo.exif, given)}});
    }
    progress.Clear();
    if (usable.empty()) {
        err << "kestdemo: no photograph could be read in " << options.folder << "; nothing written\n";
        return 1;
    }

    size_t own = pictures.size();
    // Too few for the background and the mosaic: the first photographs serve again, at full size.
    for (size_t i = 0; pictures.size() < 2; ++i) {
        photo::Photo photo;
        const fs::path& path = usable[i % usable.size()].path;
        if (!photo::ReadPhoto(path.string(), kPictureWidth, kPictureHeight, photo, error)) {
            err << "kestdemo: cannot read " << path.filename().string() << " again: " << error << "\n";
            return 1;
        }
        pictures.push_back(Picture(photo.image));
    }
    demo::ShowPictures show{pictures[0], pictures[1], {}, {"Photos", "More photos"}};
    for (size_t i = 0; i < kSetPhotos; ++i) {
        show.sets[i / demo::kSetSize].push_back(usable[i % usable.size()].set);
    }
    if (!demo::WriteContainer(show, options.output, error)) {
        err << "kestdemo: " << error << "\n";
        return 1;
    }
    std::error_code ec;
    err << "kestdemo: photos used: " << usable.size() + own
        << ", repeats in the sets: " << kSetPhotos - usable.size()
        << ", reused for the background and mosaic: " << 2 - own << ", files skipped: " << skipped
        << "; wrote " << options.output << " (" << fs::file_size(options.output, ec) << " bytes)\n";
    return 0;
}

}  // namespace album
