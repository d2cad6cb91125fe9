// One fixture for tests that touch process-wide state: the media server's container, the current colour
// table, the dithering and scaling settings, the readers' depth override, the default storage kind and
// black-and-white placement all start from their defaults and are put back afterwards, so tests never
// leak into each other.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "graphics/ZColorTable.h"
#include "graphics/ZDitherer.h"
#include "graphics/ZImageReaderTable.h"
#include "graphics/ZOffscreen.h"
#include "graphics/ZScaler.h"
#include "media/ZMediaServer.h"
#include "platform/File.h"
#include "tests/support/ContainerBuilder.h"

namespace testsupport {

inline void ResetProcessState() {
    gMediaServer->CloseContainer();
    SetCurrentColorTable(nullptr);
    SetPaletteDitherMethod(kDitherErrorDiffusion);
    SetHighColorDitherMethod(kDitherOrdered);
    SetScaleMethods(ZScaleMethods());
    gForcedDepth = -1;
    ZOffscreen::SetDefaultKind(kKindMemory);
    ZColorTable::SetBlackWhitePlacement(true);
}

class ProcessStateTest : public ::testing::Test {
  protected:
    void SetUp() override { ResetProcessState(); }
    void TearDown() override { ResetProcessState(); }

    // Opens a container of the items (in id order) as the media server's, in place of any open one; it
    // lives until the next one or the end of the test.
    bool OpenContainer(const std::vector<Item>& items) {
        gMediaServer->CloseContainer();
        bytes_ = BuildContainer(items);
        file_ = std::make_unique<platform::MemoryFile>(bytes_.data(), bytes_.size());
        ZFileSpec spec(file_->GetPath().c_str());
        return file_->IsValid() && gMediaServer->OpenContainer(spec, false);
    }

  private:
    std::vector<uint8_t> bytes_;
    std::unique_ptr<platform::MemoryFile> file_;
};

}  // namespace testsupport
