// Opens a media container from arbitrary bytes, plain and appended, and reads every item in every way a
// media object would; then lets kestmsf check the same bytes.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "media/ZMediaServer.h"
#include "platform/File.h"
#include "tools/kestmsf/MsfTool.h"

namespace {

void ReadItem(ZFile& item) {
    uint8_t chunk[64];
    item.Buffer(3, 40);
    int32_t value = 0;
    item.ReadLong(value);
    ZString text;
    item.ReadString(text);
    item.Seek(0, true);
    while (item.Read(chunk, sizeof chunk) > 0) {
    }
    item.Unbuffer();
}

void OpenAndReadAll(const std::string& path, bool appended) {
    ZMediaServer server;
    ZFileSpec spec(path.c_str());
    if (!server.OpenContainer(spec, appended)) {
        return;
    }
    std::vector<ZMediaEntry> directory = server.GetDirectory();
    for (const ZMediaEntry& e : directory) {
        for (ZTypeCode asked : {e.type, kTypeMsf, kTypeText}) {
            ZFile item;
            ZTypeCode type = asked;
            if (server.OpenItem(e.id, item, type)) {
                ReadItem(item);
            }
        }
        ZString text;
        server.ReadTextItem(e.id, text);
    }
    server.CloseContainer();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    platform::MemoryFile file(data, size);
    if (!file.IsValid()) {
        return 0;
    }
    OpenAndReadAll(file.GetPath(), false);
    OpenAndReadAll(file.GetPath(), true);
    std::ostringstream out, err;
    msftool::Run({"check", file.GetPath()}, out, err);
    msftool::Run({"list", file.GetPath()}, out, err);
    return 0;
}
