// The interface through which an object made by the class factory receives its stored properties.
// Every operation answers false unless a class overrides it. The factory calls only SetProperty; the
// other two are for classes that exchange properties themselves.
#pragma once

#include <cstdint>

class ZPropertyHolder {
  public:
    virtual ~ZPropertyHolder() = default;
    virtual bool GetProperty(int32_t /*id*/, int32_t /*type*/, intptr_t* /*value*/) { return false; }
    virtual bool SetProperty(int32_t /*id*/, intptr_t /*value*/) { return false; }
    virtual bool CheckProperties(intptr_t /*context*/) { return false; }
};
