#include "graphics/ZLookupTable.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

#include "platform/Memory.h"

namespace {

ZLookupTableManager* gManager = nullptr;  // the application's thread only

// The values are 32-bit words; the signed tables read them as int32_t, the unsigned one as uint32_t.
int32_t AsWord(int64_t value) {
    return static_cast<int32_t>(static_cast<uint32_t>(value));
}

// Builds a candidate that no cache will share.
template <typename Table>
Table* BuildUnshared(Table* candidate) {
    if (!candidate->Build(candidate->GetStart(), candidate->GetEnd())) {
        ReleaseTable(candidate);
        return nullptr;
    }
    return candidate;
}

// The kinds map one to one onto the classes, so a table matching candidate has candidate's class.
template <typename Table>
Table* AcquireShared(Table* candidate) {
    if (candidate == nullptr) {
        return nullptr;
    }
    if (gManager == nullptr) {
        return BuildUnshared(candidate);
    }
    return static_cast<Table*>(gManager->Acquire(candidate));
}

}  // namespace

// ---- ZLookupTable

ZLookupTable::~ZLookupTable() {
    // Deleted behind the cache's back (a list's DeleteAll): do not leave a dangling link behind.
    if (cache_ != nullptr) {
        cache_->Remove(this, false);
    }
    platform::FreeLarge(block_);
}

int32_t* ZLookupTable::AllocateBlock(int32_t start, int32_t end) {
    int64_t count = static_cast<int64_t>(end) - start;
    if (count <= 0 || count > kMaxValues) {
        return nullptr;
    }
    return static_cast<int32_t*>(platform::AllocLarge(static_cast<size_t>(count) * sizeof(int32_t)));
}

void ZLookupTable::Adopt(int32_t* block, int32_t start, int32_t end) {
    platform::FreeLarge(block_);
    block_ = block;
    start_ = start;
    end_ = end;
}

// ---- ZClipTable

bool ZClipTable::Build(int32_t start, int32_t end) {
    int32_t* block = AllocateBlock(start, end);
    if (block == nullptr) {
        return false;
    }
    for (int64_t i = start; i < end; ++i) {
        // In 64 bits: offset plus an index can leave the 32-bit range, and then the table is refused.
        int64_t index = i < low_ ? low_ : (i < high_ ? i : static_cast<int64_t>(high_) - 1);
        int64_t value = offset_ + index;
        if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max()) {
            platform::FreeLarge(block);
            return false;
        }
        block[i - start] = static_cast<int32_t>(value);
    }
    Adopt(block, start, end);
    return true;
}

bool ZClipTable::Matches(const ZLookupTable& other) const {
    if (!ZLookupTable::Matches(other)) {
        return false;
    }
    const auto& clip = static_cast<const ZClipTable&>(other);
    return offset_ == clip.offset_ && low_ == clip.low_ && high_ == clip.high_;
}

// ---- ZMultiplyTable

bool ZMultiplyTable::Build(int32_t start, int32_t end) {
    return BuildWithin(start, end, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max());
}

bool ZMultiplyTable::BuildWithin(int32_t start, int32_t end, int64_t lowest, int64_t highest) {
    int32_t* block = AllocateBlock(start, end);
    if (block == nullptr) {
        return false;
    }
    const long double factor = factor_;
    const long double addend = addend_;
    for (int64_t i = start; i < end; ++i) {
        // Each value from its own index rather than a running sum, so no error accumulates along the
        // table; an index times a double is exact in extended precision. std::round goes half away
        // from zero.
        long double value = std::round(static_cast<long double>(i) * factor + addend);
        // Written so that NaN fails too.
        if (!(value >= static_cast<long double>(lowest) && value <= static_cast<long double>(highest))) {
            platform::FreeLarge(block);
            return false;
        }
        block[i - start] = AsWord(static_cast<int64_t>(value));
    }
    Adopt(block, start, end);
    return true;
}

bool ZMultiplyTable::Matches(const ZLookupTable& other) const {
    if (!ZLookupTable::Matches(other)) {
        return false;
    }
    const auto& multiply = static_cast<const ZMultiplyTable&>(other);
    return factor_ == multiply.factor_ && addend_ == multiply.addend_;
}

bool ZUnsignedMultiplyTable::Build(int32_t start, int32_t end) {
    return BuildWithin(start, end, 0, std::numeric_limits<uint32_t>::max());
}

// ---- ZLookupTableManager

ZLookupTableManager::~ZLookupTableManager() {
    // The list's own destructor would delete every element, including tables users still hold.
    while (GetHead() != nullptr) {
        auto* table = static_cast<ZLookupTable*>(GetHead());
        ZLinkedList::Remove(table, false);
        table->cache_ = nullptr;
        if (--table->refCount_ <= 0) {
            delete table;
        }
    }
    if (gManager == this) {
        gManager = nullptr;
    }
}

ZLookupTable* ZLookupTableManager::Acquire(ZLookupTable* candidate) {
    if (candidate == nullptr) {
        return nullptr;
    }
    if (candidate->cache_ != nullptr && candidate->cache_ != this) {
        // Already shared elsewhere; linking it here too would join the two lists.
        return candidate;
    }
    if (candidate->end_ <= candidate->start_) {
        // An empty range would otherwise be "inside" any cached table; refuse it as a build would.
        ReleaseTable(candidate);
        return nullptr;
    }
    ZLookupTable* found = FindMatch(*candidate);
    return found != nullptr ? Share(found, candidate) : Insert(candidate);
}

void ZLookupTableManager::Remove(ZLookupTable* table, bool destroy) {
    if (table == nullptr || table->cache_ != this) {
        return;
    }
    ZLinkedList::Remove(table, false);
    table->cache_ = nullptr;
    if (destroy) {
        ReleaseTable(table);
    }
}

ZLookupTable* ZLookupTableManager::FindMatch(const ZLookupTable& candidate) const {
    for (ZListElement* e = GetHead(); e != nullptr; e = e->next) {
        auto* table = static_cast<ZLookupTable*>(e);
        if (candidate.Matches(*table)) {
            return table;
        }
    }
    return nullptr;
}

ZLookupTable* ZLookupTableManager::Share(ZLookupTable* found, ZLookupTable* candidate) {
    if (candidate->start_ < found->start_ || candidate->end_ > found->end_) {
        // Build allocates the wider block before it lets go of the old one, so a failure leaves the
        // cached table whole for its other users.
        int32_t start = std::min(candidate->start_, found->start_);
        int32_t end = std::max(candidate->end_, found->end_);
        if (!found->Build(start, end)) {
            ReleaseTable(candidate);
            return nullptr;
        }
    }
    // Gain before losing: candidate may be found itself.
    found->AddReference();
    ReleaseTable(candidate);
    return found;
}

ZLookupTable* ZLookupTableManager::Insert(ZLookupTable* candidate) {
    if (!candidate->Build(candidate->start_, candidate->end_)) {
        ReleaseTable(candidate);
        return nullptr;
    }
    candidate->AddReference();
    candidate->cache_ = this;
    Append(candidate);
    return candidate;
}

ZLookupTableManager* GetLookupTableManager() {
    return gManager;
}

void SetLookupTableManager(ZLookupTableManager* manager) {
    gManager = manager;
}

// ---- Acquire and release

ZClipTable* AcquireClipTable(int32_t offset, int32_t low, int32_t high, int32_t start, int32_t end) {
    return AcquireShared(new (std::nothrow) ZClipTable(offset, low, high, start, end));
}

ZMultiplyTable* AcquireMultiplyTable(double factor, double addend, int32_t start, int32_t end) {
    return AcquireShared(new (std::nothrow) ZMultiplyTable(factor, addend, start, end));
}

ZUnsignedMultiplyTable* AcquireUnsignedMultiplyTable(double factor, double addend, int32_t start,
                                                     int32_t end) {
    return AcquireShared(new (std::nothrow) ZUnsignedMultiplyTable(factor, addend, start, end));
}

void ReleaseTable(ZLookupTable* table) {
    if (table == nullptr || --table->refCount_ > 0) {
        return;
    }
    // Leave the cache first, so that no list ever links a deleted table.
    if (table->cache_ != nullptr) {
        table->cache_->Remove(table, false);
    }
    delete table;
}
