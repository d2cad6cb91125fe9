// The reader framework: the factory, the readers' table and the checked sizes.
#include <gtest/gtest.h>

#include "imaging/ZImageReader.h"
#include "media/ZFile.h"

TEST(ImagingFactory, KnowsItsTypesAndNoOthers) {
    ZFile file;
    for (const char* type : {"RIX ", "RIW ", "JPEG"}) {
        std::unique_ptr<ZImageReader> reader(
            CreateImageReader(&file, MakeTypeCode({type[0], type[1], type[2], type[3], 0})));
        EXPECT_NE(reader, nullptr) << type;
    }
    EXPECT_EQ(CreateImageReader(&file, MakeTypeCode("TIFF")), nullptr);
    EXPECT_EQ(CreateImageReader(&file, MakeTypeCode(".XPM")), nullptr);
}
