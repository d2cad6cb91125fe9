// The reference-counted base of every media object (pictures, masks, alpha planes, colour tables).
// Every getter that hands one out adds a reference that the caller releases.
#pragma once

#include <cstdint>

class ZMedia {
  public:
    ZMedia() = default;
    ZMedia(const ZMedia&) = delete;
    ZMedia& operator=(const ZMedia&) = delete;

    void AddReference() { ++refCount_; }
    // Drops one reference; the last one unloads and deletes the object. Returns the new count.
    virtual int32_t Release();
    virtual int32_t Load() { return 0; }
    // Frees the object's data; it can be loaded again if it is reloadable.
    virtual int32_t Unload() { return 0; }
    // Unloads only data that can be read again.
    virtual int32_t Purge();

    int32_t GetRefCount() const { return refCount_; }
    bool IsLoaded() const { return loaded_; }
    bool IsReloadable() const { return reloadable_; }
    bool IsPurgeable() const { return purgeable_; }
    void SetPurgeable(bool purgeable) { purgeable_ = purgeable; }

  protected:
    // Only Release deletes a media object.
    virtual ~ZMedia() = default;

    bool loaded_ = false;
    bool reloadable_ = false;

  private:
    int32_t refCount_ = 1;  // media objects live on the user-interface thread
    bool purgeable_ = true;
};
