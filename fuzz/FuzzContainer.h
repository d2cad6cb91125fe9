// Opens items (made from a fuzz input) as the media server's container for one run of a target. The
// container closes again when the object goes, so no run sees another's items.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "media/ZMediaServer.h"
#include "platform/File.h"
#include "tests/support/ContainerBuilder.h"

namespace fuzzsupport {

using testsupport::Item;

// The fuzz input as an item's bytes.
inline std::string Bytes(const uint8_t* data, size_t size) {
    return std::string(reinterpret_cast<const char*>(data), size);
}

class OpenedContainer {
  public:
    // Items in id order.
    explicit OpenedContainer(const std::vector<Item>& items) : bytes_(testsupport::BuildContainer(items)) {
        gMediaServer->CloseContainer();
        file_ = std::make_unique<platform::MemoryFile>(bytes_.data(), bytes_.size());
        ZFileSpec spec(file_->GetPath().c_str());
        open_ = file_->IsValid() && gMediaServer->OpenContainer(spec, false);
    }
    ~OpenedContainer() { gMediaServer->CloseContainer(); }
    OpenedContainer(const OpenedContainer&) = delete;
    OpenedContainer& operator=(const OpenedContainer&) = delete;

    bool IsOpen() const { return open_; }

  private:
    std::vector<uint8_t> bytes_;
    std::unique_ptr<platform::MemoryFile> file_;
    bool open_ = false;
};

}  // namespace fuzzsupport
