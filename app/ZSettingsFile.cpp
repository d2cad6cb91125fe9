#include "app/ZSettingsFile.h"

#include <string>

#include "platform/Host.h"

ZSettingsFile::ZSettingsFile(const char* name) : fileName_(name, 1 << 20) {
    fileName_.StripExtension();
    fileName_.Append(".ini");
    fileName_.ToLower();
}

bool ZSettingsFile::Read(const char* section, const char* key, ZString& result,
                         const char* defaultValue) const {
    if (fileName_.GetText() == nullptr) {
        return false;
    }
    std::string value = platform::ReadProfileString(fileName_.GetText(), section, key, defaultValue, 127);
    result.Assign(value.c_str());
    return result.GetText() != nullptr;
}
