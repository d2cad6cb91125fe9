// Tables of 32-bit values indexed by a possibly negative integer, which the pixel routines read in place
// of clamping and multiplying, and the cache that shares equal tables across the application.
//
// Reading a table: a table covers the indices start <= i < end (end exclusive). Its values live in one
// block of end - start words; the value of index i is Values()[i - GetStart()]. View() wraps that for
// the hot loops (view[i] for an index in range), At(i) is the checked read for everything else. We
// never keep a pointer biased by -start: it would point outside the block. A rebuild replaces the block,
// so read Values() or View() anew for each use.
#pragma once

#include <cstdint>

#include "core/ZLinkedList.h"

class ZLookupTableManager;

// Reads a table by its own indices. operator[] does no check: i must lie in start <= i < end.
template <typename T>
class ZTableView {
  public:
    ZTableView() = default;
    ZTableView(const T* block, int32_t start, int32_t end) : block_(block), start_(start), end_(end) {}

    bool Contains(int32_t i) const { return block_ != nullptr && i >= start_ && i < end_; }
    T operator[](int32_t i) const { return block_[static_cast<int64_t>(i) - start_]; }

  private:
    const T* block_ = nullptr;
    int32_t start_ = 0;
    int32_t end_ = 0;
};

class ZLookupTable : public ZListElement {
  public:
    static constexpr int32_t kClip = 0;
    static constexpr int32_t kMultiply = 1;
    static constexpr int32_t kUnsignedMultiply = 2;
    // The widest table we build; the largest one the pixel routines ask for has 2 048 values.
    static constexpr int64_t kMaxValues = int64_t(1) << 20;

    // Frees the block. Only ReleaseTable and the manager delete a table.
    ~ZLookupTable() override;

    // Fills a new block over start <= i < end and replaces the old one; on failure (empty or too wide a
    // range, no memory, a value that does not fit the kind) the table keeps its old block and range.
    virtual bool Build(int32_t start, int32_t end) = 0;
    // True when other holds the same values over the indices both cover.
    virtual bool Matches(const ZLookupTable& other) const { return kind_ == other.kind_; }

    int32_t GetKind() const { return kind_; }
    int32_t GetStart() const { return start_; }
    int32_t GetEnd() const { return end_; }
    bool IsBuilt() const { return block_ != nullptr; }
    bool Contains(int32_t i) const { return block_ != nullptr && i >= start_ && i < end_; }

    // The block, or null before a successful build.
    const int32_t* Values() const { return block_; }
    ZTableView<int32_t> View() const { return ZTableView<int32_t>(block_, start_, end_); }
    // The value of index i, or 0 when i lies outside the table.
    int32_t At(int32_t i) const { return Contains(i) ? block_[static_cast<int64_t>(i) - start_] : 0; }

    int32_t GetRefCount() const { return refCount_; }
    void AddReference() { ++refCount_; }
    // The cache holding this table, or null.
    ZLookupTableManager* GetCache() const { return cache_; }

  protected:
    // A table with one reference (the creator's) and no block yet; start and end are the range to build.
    ZLookupTable(int32_t kind, int32_t start, int32_t end) : start_(start), end_(end), kind_(kind) {}

    // A zero-filled block for start <= i < end, or null for an empty or too wide range or no memory.
    static int32_t* AllocateBlock(int32_t start, int32_t end);
    // Takes block (filled for start <= i < end) as the table's values and frees the old one.
    void Adopt(int32_t* block, int32_t start, int32_t end);

  private:
    friend class ZLookupTableManager;
    friend void ReleaseTable(ZLookupTable* table);

    int32_t* block_ = nullptr;  // large block
    int32_t start_ = 0;
    int32_t end_ = 0;
    int32_t refCount_ = 1;
    int32_t kind_ = kClip;
    ZLookupTableManager* cache_ = nullptr;  // lets the last release unlink the table
};

// value(i) = offset + clamp(i, low, high - 1): offset + low below low, offset + high - 1 from high on.
class ZClipTable : public ZLookupTable {
  public:
    ZClipTable(int32_t offset, int32_t low, int32_t high, int32_t start, int32_t end)
        : ZLookupTable(kClip, start, end), offset_(offset), low_(low), high_(high) {}

    bool Build(int32_t start, int32_t end) override;
    bool Matches(const ZLookupTable& other) const override;

    int32_t GetOffset() const { return offset_; }
    int32_t GetLow() const { return low_; }
    int32_t GetHigh() const { return high_; }

  private:
    int32_t offset_;
    int32_t low_;
    int32_t high_;
};

// value(i) = i * factor + addend, rounded half away from zero. Every value must fit a signed 32-bit word.
class ZMultiplyTable : public ZLookupTable {
  public:
    ZMultiplyTable(double factor, double addend, int32_t start, int32_t end)
        : ZMultiplyTable(kMultiply, factor, addend, start, end) {}

    bool Build(int32_t start, int32_t end) override;
    bool Matches(const ZLookupTable& other) const override;

    double GetFactor() const { return factor_; }
    double GetAddend() const { return addend_; }

  protected:
    ZMultiplyTable(int32_t kind, double factor, double addend, int32_t start, int32_t end)
        : ZLookupTable(kind, start, end), factor_(factor), addend_(addend) {}

    // Builds with every rounded value required to lie in lowest..highest; stores it as a 32-bit word.
    bool BuildWithin(int32_t start, int32_t end, int64_t lowest, int64_t highest);

  private:
    double factor_;
    double addend_;
};

// The same rule with unsigned 32-bit values: the pre-multiplied fill colours of 16-bit alpha fills
// (a packed colour code times 0..31) need the full 32 bits. Read them through the unsigned accessors.
class ZUnsignedMultiplyTable : public ZMultiplyTable {
  public:
    ZUnsignedMultiplyTable(double factor, double addend, int32_t start, int32_t end)
        : ZMultiplyTable(kUnsignedMultiply, factor, addend, start, end) {}

    bool Build(int32_t start, int32_t end) override;

    // The block as unsigned words (same layout as Values()), or null before a successful build.
    const uint32_t* UnsignedValues() const { return reinterpret_cast<const uint32_t*>(Values()); }
    ZTableView<uint32_t> UnsignedView() const {
        return ZTableView<uint32_t>(UnsignedValues(), GetStart(), GetEnd());
    }
    uint32_t UnsignedAt(int32_t i) const { return static_cast<uint32_t>(At(i)); }
};

// The cache of shared tables; it holds one reference to each table in its list.
class ZLookupTableManager : public ZLinkedList {
  public:
    ZLookupTableManager() = default;
    // Drops the cache's reference to every table and deletes those nobody else holds; the others stay
    // alive, no longer cached, until their last release. Clears the current manager if it is this one.
    ~ZLookupTableManager() override;

    // Takes over the caller's reference to candidate and returns the shared table with a reference for
    // the caller: a cached table that matches (grown to cover the candidate's range as well), or the
    // candidate itself, built and cached. Null when candidate is null or a build fails.
    ZLookupTable* Acquire(ZLookupTable* candidate);
    // Unlinks table if this manager caches it; with destroy the cache's reference is dropped as well,
    // deleting the table when that was the last one.
    void Remove(ZLookupTable* table, bool destroy);

  private:
    ZLookupTable* FindMatch(const ZLookupTable& candidate) const;
    ZLookupTable* Share(ZLookupTable* found, ZLookupTable* candidate);
    ZLookupTable* Insert(ZLookupTable* candidate);
};

// The application's manager (null when there is none). The application creates one at start, sets it
// here and deletes it at exit; without one the acquire functions return unshared tables.
ZLookupTableManager* GetLookupTableManager();
void SetLookupTableManager(ZLookupTableManager* manager);

// Each returns a table with a reference for the caller (give it back with ReleaseTable), or null.
ZClipTable* AcquireClipTable(int32_t offset, int32_t low, int32_t high, int32_t start, int32_t end);
ZMultiplyTable* AcquireMultiplyTable(double factor, double addend, int32_t start, int32_t end);
ZUnsignedMultiplyTable* AcquireUnsignedMultiplyTable(double factor, double addend, int32_t start,
                                                     int32_t end);
// Drops one reference; at 0 or below the table leaves its cache and is deleted. Null is ignored.
void ReleaseTable(ZLookupTable* table);
