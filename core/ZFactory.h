// The class registry: creates panels (and any other registered class) from a numeric class id. Each
// registered class has one static descriptor that registers itself during static initialisation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

class ZPropertyHolder;
class ZTLink;

// Property types: the low 12 bits give a value's size in bytes; an indirect value takes 4 bytes, an
// offset into the source's own data (never a pointer). 0 ends a list of types.
inline constexpr int32_t kPropertyIndirect = 0x1000;

// Builds an instance from the values read into storage and attaches it under parent (or nowhere).
using ZCreateFunction = ZPropertyHolder* (*)(void* storage, ZTLink* parent);

// Where stored properties come from. No source exists yet; the factory is written against this.
class ZPropertySource {
  public:
    virtual ~ZPropertySource() = default;
    // Fills storage (size bytes) with the values of the given types, one after another.
    virtual bool ReadValues(const int32_t* types, int32_t count, uint8_t* storage, size_t size) = 0;
    // Gives back whatever ReadValues handed out.
    virtual void ReleaseValues(const int32_t* types, int32_t count, uint8_t* storage, size_t size) = 0;
    // The id of the next property record; false at the end of the stream.
    virtual bool ReadId(int32_t& id) = 0;
    // One value of the given type; false when the read fails.
    virtual bool ReadValue(int32_t type, intptr_t& value) = 0;
};

class ZClassDescriptor {
  public:
    // propertyTypes is a zero-terminated list (copied) or null. Registers with the current factory.
    ZClassDescriptor(int32_t classId, int32_t declaredSize, const int32_t* propertyTypes,
                     ZCreateFunction create);
    ZClassDescriptor(const ZClassDescriptor&) = delete;
    ZClassDescriptor& operator=(const ZClassDescriptor&) = delete;

    int32_t GetClassId() const { return classId_; }
    int32_t GetLookupKey() const { return KeyOf(classId_); }
    int32_t GetDeclaredSize() const { return declaredSize_; }
    const int32_t* GetPropertyTypes() const { return propertyTypes_.get(); }
    int32_t GetPropertyCount() const { return propertyCount_; }
    size_t GetInstanceDataSize() const { return instanceDataSize_; }
    ZCreateFunction GetCreateFunction() const { return create_; }

    // The registry looks classes up by the low 12 bits of their id.
    static int32_t KeyOf(int32_t classId) { return classId & 0xFFF; }
    static size_t PropertySize(int32_t type);

  private:
    void CopyPropertyTypes(const int32_t* types);

    int32_t classId_;
    int32_t declaredSize_;
    std::unique_ptr<int32_t[]> propertyTypes_;
    int32_t propertyCount_ = 0;
    size_t instanceDataSize_ = 0;
    ZCreateFunction create_;
};

class ZFactory {
  public:
    static constexpr int32_t kMaxClasses = 256;

    ZFactory() = default;
    ZFactory(const ZFactory&) = delete;
    ZFactory& operator=(const ZFactory&) = delete;
    // Destroying the current factory resets the accessor.
    virtual ~ZFactory();

    // The current factory; the process-wide one is built on first use and destroyed at exit.
    static ZFactory* GetFactory();
    // Makes factory the current one (null: the process-wide one) and returns the previous.
    static ZFactory* SetFactory(ZFactory* factory);

    // Ignored (false) when full. Among equal lookup keys the later registration comes first.
    bool Register(const ZClassDescriptor* descriptor);
    // The class whose lookup key matches the low 12 bits of classId, or null.
    const ZClassDescriptor* Find(int32_t classId) const;
    // A new instance, its stored properties set from source (or the default source), or null.
    ZPropertyHolder* Create(const ZClassDescriptor* descriptor, ZPropertySource* source,
                            ZTLink* parent) const;

    int32_t GetCount() const { return count_; }
    const ZClassDescriptor* GetEntry(int32_t index) const;
    void SetDefaultSource(ZPropertySource* source) { defaultSource_ = source; }

    // The value type of property records by id (from 1); 0 for an id outside the table.
    static int32_t RecordType(int32_t id);

  private:
    static void ReadRecords(ZPropertyHolder* object, ZPropertySource* source);

    int32_t count_ = 0;
    const ZClassDescriptor* entries_[kMaxClasses] = {};  // sorted by lookup key
    ZPropertySource* defaultSource_ = nullptr;
};
