// Reads values from the program's private profile file. The name given is turned into the file name:
// extension removed, ".ini" appended, lower-cased.
#pragma once

#include "core/ZString.h"

class ZSettingsFile {
  public:
    explicit ZSettingsFile(const char* name);
    virtual ~ZSettingsFile() = default;

    // At most 127 characters of the value; a missing file, section or key yields the default (or empty).
    // True when the result could be stored.
    bool Read(const char* section, const char* key, ZString& result,
              const char* defaultValue = nullptr) const;
    const ZString& GetFileName() const { return fileName_; }

  private:
    ZString fileName_;
};
