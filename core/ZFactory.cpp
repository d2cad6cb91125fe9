#include "core/ZFactory.h"

#include <algorithm>
#include <new>

#include "core/ZPropertyHolder.h"

namespace {

ZFactory* gFactory = nullptr;

// Stored property records carry 32-bit integers: ids 1 to 8.
constexpr int32_t kRecordTypes[] = {4, 4, 4, 4, 4, 4, 4, 4};
constexpr int32_t kRecordTypeCount = static_cast<int32_t>(sizeof(kRecordTypes) / sizeof(kRecordTypes[0]));

constexpr size_t kIndirectSize = 4;

bool KeyLess(const ZClassDescriptor* entry, int32_t key) {
    return entry->GetLookupKey() < key;
}

}  // namespace

ZClassDescriptor::ZClassDescriptor(int32_t classId, int32_t declaredSize, const int32_t* propertyTypes,
                                   ZCreateFunction create)
    : classId_(classId), declaredSize_(declaredSize), create_(create) {
    CopyPropertyTypes(propertyTypes);
    ZFactory::GetFactory()->Register(this);
}

size_t ZClassDescriptor::PropertySize(int32_t type) {
    return (type & kPropertyIndirect) != 0 ? kIndirectSize : static_cast<size_t>(type & 0xFFF);
}

void ZClassDescriptor::CopyPropertyTypes(const int32_t* types) {
    int32_t count = 0;
    while (types != nullptr && types[count] != 0) {
        ++count;
    }
    if (count == 0) {
        return;
    }
    propertyTypes_.reset(new (std::nothrow) int32_t[count]);
    if (propertyTypes_ == nullptr) {
        create_ = nullptr;  // a class that lost its property types must not be built without them
        return;
    }
    propertyCount_ = count;
    for (int32_t i = 0; i < count; ++i) {
        propertyTypes_[i] = types[i];
        instanceDataSize_ += PropertySize(types[i]);
    }
}

ZFactory::~ZFactory() {
    if (gFactory == this) {
        gFactory = nullptr;
    }
}

ZFactory* ZFactory::GetFactory() {
    if (gFactory == nullptr) {
        static ZFactory processFactory;
        gFactory = &processFactory;
    }
    return gFactory;
}

ZFactory* ZFactory::SetFactory(ZFactory* factory) {
    ZFactory* previous = gFactory;
    gFactory = factory;
    return previous;
}

bool ZFactory::Register(const ZClassDescriptor* descriptor) {
    if (descriptor == nullptr || count_ >= kMaxClasses) {
        return false;
    }
    const ZClassDescriptor** end = entries_ + count_;
    const ZClassDescriptor** at = std::lower_bound(entries_, end, descriptor->GetLookupKey(), KeyLess);
    std::move_backward(at, end, end + 1);
    *at = descriptor;
    ++count_;
    return true;
}

// Finds the first entry with the key, which is the latest registered among equal keys.
const ZClassDescriptor* ZFactory::Find(int32_t classId) const {
    int32_t key = ZClassDescriptor::KeyOf(classId);
    const ZClassDescriptor* const* end = entries_ + count_;
    const ZClassDescriptor* const* at = std::lower_bound(entries_, end, key, KeyLess);
    return at != end && (*at)->GetLookupKey() == key ? *at : nullptr;
}

const ZClassDescriptor* ZFactory::GetEntry(int32_t index) const {
    return index >= 0 && index < count_ ? entries_[index] : nullptr;
}

int32_t ZFactory::RecordType(int32_t id) {
    return id >= 1 && id <= kRecordTypeCount ? kRecordTypes[id - 1] : 0;
}

ZPropertyHolder* ZFactory::Create(const ZClassDescriptor* descriptor, ZPropertySource* source,
                                  ZTLink* parent) const {
    if (descriptor == nullptr || descriptor->GetCreateFunction() == nullptr) {
        return nullptr;
    }
    if (source == nullptr) {
        source = defaultSource_;
    }
    const int32_t* types = descriptor->GetPropertyTypes();
    int32_t typeCount = descriptor->GetPropertyCount();
    size_t size = std::max<size_t>(descriptor->GetInstanceDataSize(), 1);
    std::unique_ptr<uint8_t[]> storage(new (std::nothrow) uint8_t[size]());
    if (storage == nullptr) {
        return nullptr;
    }
    if (source != nullptr ? !source->ReadValues(types, typeCount, storage.get(), size) : typeCount > 0) {
        return nullptr;  // the class needs property values that nobody can give it
    }
    ZPropertyHolder* object = descriptor->GetCreateFunction()(storage.get(), parent);
    if (source != nullptr) {
        source->ReleaseValues(types, typeCount, storage.get(), size);
    }
    if (object != nullptr && source != nullptr) {
        ReadRecords(object, source);
    }
    return object;
}

// Records follow until the stream ends, a read fails or an id has no known type.
void ZFactory::ReadRecords(ZPropertyHolder* object, ZPropertySource* source) {
    int32_t id = 0;
    intptr_t value = 0;
    while (source->ReadId(id)) {
        int32_t type = RecordType(id);
        if (type == 0 || !source->ReadValue(type, value)) {
            break;
        }
        object->SetProperty(id, value);
    }
}
