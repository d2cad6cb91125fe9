// An audio device streams the output of one callback (the mixer) to a sound output in fixed-size blocks.
// When it cannot play, it keeps pulling at the real-time rate so that sounds still advance. The mixer's
// thread services the device; the user-interface thread opens, closes and reformats it. Locks are taken
// in one order: the device lock, then the device's own inner locks, then the mixer's channel lock.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "audio/ZAudioCallback.h"
#include "audio/ZAudioFormat.h"
#include "core/ZMutex.h"

// Keeps a device without sound output asking for blocks at the real-time rate. Time is kept in frames
// from an anchor tick, so that blocks of a fractional number of milliseconds never drift.
class ZAudioPacer {
  public:
    // Further behind than this, the pacer starts again from now: after a pause the sounds go on where
    // they were instead of racing through the time missed.
    static constexpr int32_t kMaxCatchUpMs = 200;

    // Starts again at the next call.
    void Reset() { started_ = false; }
    // The number of blocks of blockFrames due at now, counted as taken. The first call after a reset
    // answers one.
    int64_t TakeDueBlocks(uint32_t now, int32_t rate, int64_t blockFrames);

  private:
    bool started_ = false;
    uint32_t anchor_ = 0;  // the tick at which frames_ counts from
    int64_t frames_ = 0;   // frames taken since anchor_
};

class ZAudioDevice {
  public:
    // Kinds of device: this framework's devices all pull their data through a callback.
    enum : int32_t { kKindPull = 1 };
    // Callback states.
    enum : int32_t { kCallbackIdle = 0, kCallbackRunning = 1, kCallbackSuspended = 2 };
    // Time between attempts to open an output that failed.
    static constexpr uint32_t kRetryMs = 2000;

    // blockBytes 0 takes the block size rule of the format. The new device becomes the current one.
    ZAudioDevice(const ZAudioEncodingFormat& format, int32_t blockBytes);
    ZAudioDevice(const ZAudioDevice&) = delete;
    ZAudioDevice& operator=(const ZAudioDevice&) = delete;
    virtual ~ZAudioDevice();

    // The device created last and not yet deleted, or null.
    static ZAudioDevice* GetCurrent();

    // Called by the mixer's thread about every 10 ms, under the device lock: while output runs, retries a
    // closed output at most every kRetryMs, then feeds the open output; with no output playing, pulls
    // blocks at the real-time rate so that sounds still advance. Returns at once on the thread that
    // created the device, which only opens, closes and reformats it.
    virtual void Service();
    // Milliseconds of output written and not yet played; 0 when not open.
    virtual double GetBufferedMilliseconds() = 0;
    // Milliseconds of output played since the output opened, as the output counts them; 0 when it is not
    // open or cannot tell.
    virtual double GetPlayedMilliseconds() { return 0.0; }
    virtual int32_t GetKind() const { return kKindPull; }
    // Takes channels, rate and bits from format, with the encoding customary for the sample size.
    bool SetFormatFrom(const ZAudioFormat& format) { return SetFormat(ZAudioEncodingFormat(format)); }
    // Only one callback at a time: -1 while another is registered, else its id (never -1).
    virtual int32_t RegisterCallback(ZAudioCallback* callback);
    // Clears the callback when id names it.
    virtual void UnregisterCallback(int32_t id);
    // Lets a suspended callback run again; returns the state it had.
    virtual int32_t ResumeCallback(int32_t id);
    // Stops asking the callback until it is resumed (the mixer asks this when it had nothing to give).
    virtual void SuspendCallback(int32_t id);
    virtual void Close() = 0;
    virtual bool Open() = 0;
    virtual bool IsOpen() const;
    // Why the last open failed, in one line for the user; empty when it did not fail or nobody said.
    virtual std::string GetOpenError() const { return {}; }
    // Closes if open, takes the format (refused when it has no rate, channels other than one or two, or
    // a sample size other than 8 or 16 bits), recomputes the block, and opens again if it was open.
    virtual bool SetFormat(const ZAudioEncodingFormat& format);

    // The output format and block size as they are now (the device may have stepped down on opening).
    ZAudioEncodingFormat GetFormat() const;
    int32_t GetBlockBytes() const;
    // The length of one block in milliseconds, as a fraction.
    double GetBlockMilliseconds() const;

  protected:
    // A usable output format: 1 or 2 channels, rate 1..192000, 8 or 16 bits.
    static bool IsPlayable(const ZAudioEncodingFormat& format);
    // Recomputes the block size from the format, keeping a requested size rounded down to whole frames
    // (at least one frame). Caller holds the device lock.
    void ComputeBlock();

    // Asks the callback for one block into buffer (null: the callback's own storage). Null when there is
    // no callback, it is suspended, or it gave nothing. Caller holds the device lock.
    uint8_t* PullBlock(uint8_t* buffer);
    // The service's work while the output is open and running: write what the output can take now.
    // Caller holds the device lock.
    virtual void FeedOutput() {}
    // One block of silence in the staging buffer, as opening starts.
    void ResetStaging();
    // Pulls the next block into the staging buffer; false, with silence there, when the callback gave
    // nothing.
    bool RefillStaging();

    mutable ZMutex deviceLock_;
    ZAudioEncodingFormat format_;
    int32_t requestedBlockBytes_ = 0;  // 0: the block size rule
    int32_t blockBytes_ = 0;
    ZAudioCallback* callback_ = nullptr;
    int32_t callbackId_ = -1;
    int32_t callbackState_ = kCallbackIdle;
    std::thread::id creator_;
    bool open_ = false;
    bool justOpened_ = false;       // the output opened and nothing has been written to it yet
    std::vector<uint8_t> staging_;  // the next block to write
    uint32_t lastOpenTry_ = 0;
    ZAudioPacer pacer_;
};

// Switches shared by every device of the process.
struct ZAudioOptions {
    bool audioEnabled = true;
    bool outputEnabled = true;
    bool feedWithoutDevice = true;  // keep pulling at real-time pace when no output plays
    bool tryDirectSound = true;
    bool tryWaveOut = true;
    std::string outputName;  // the sound output the wave-out device plays through; empty: the first
};
ZAudioOptions& AudioOptions();

// A hook that may make the device instead of the factory (tests install a scripted one); it returns
// null to let the factory choose.
using ZAudioDeviceHook = std::function<std::unique_ptr<ZAudioDevice>(const ZAudioEncodingFormat&, int32_t)>;
void SetAudioDeviceHook(ZAudioDeviceHook hook);

// The device for this machine: the hook's, else a DirectSound device when a real DirectSound driver
// exists (never here), else a wave-out device on the chosen sound output. blockBytes 0: the block rule.
std::unique_ptr<ZAudioDevice> CreateAudioDevice(const ZAudioEncodingFormat& format, int32_t blockBytes);
// Whether a DirectSound driver exists and is emulated; false when there is none (always, on this system).
bool CheckDirectSound(bool& emulated);

// Start opens the current device when output is enabled and marks output as running; stop clears the
// mark and closes it.
void StartAudioOutput();
void StopAudioOutput();
bool IsAudioOutputRunning();
