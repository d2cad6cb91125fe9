#include "audio/ZAudioDevice.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "audio/ZSoundReader.h"
#include "platform/Clock.h"

namespace {

std::atomic<ZAudioDevice*> gCurrentDevice{nullptr};
std::atomic<bool> gOutputRunning{false};

}  // namespace

int64_t ZAudioPacer::TakeDueBlocks(uint32_t now, int32_t rate, int64_t blockFrames) {
    if (rate <= 0 || blockFrames <= 0) {
        return 0;
    }
    // Compared in frame-milliseconds, so that nothing is rounded: elapsed × rate against frames × 1000.
    int32_t elapsed = int32_t(now - anchor_);
    int64_t owed = int64_t(elapsed) * rate - frames_ * 1000;
    if (!started_ || elapsed < 0 || owed > int64_t(kMaxCatchUpMs) * rate) {
        started_ = true;
        anchor_ = now;
        frames_ = 0;
        owed = 0;
    }
    if (owed < 0) {
        return 0;
    }
    int64_t due = owed / (blockFrames * 1000) + 1;
    frames_ += due * blockFrames;
    // Whole seconds both past and taken move into the anchor, so that the elapsed time stays small and
    // the anchor never passes now.
    int64_t seconds = std::min<int64_t>(frames_ / rate, int32_t(now - anchor_) / 1000);
    anchor_ += uint32_t(seconds * 1000);
    frames_ -= seconds * rate;
    return due;
}

ZAudioDevice::ZAudioDevice(const ZAudioEncodingFormat& format, int32_t blockBytes)
    : format_(format),
      requestedBlockBytes_(blockBytes < 0 ? 0 : blockBytes),
      creator_(std::this_thread::get_id()),
      lastOpenTry_(platform::TickCount() - kRetryMs) {
    ComputeBlock();
    gCurrentDevice.store(this);
}

ZAudioDevice::~ZAudioDevice() {
    ZAudioDevice* self = this;
    gCurrentDevice.compare_exchange_strong(self, nullptr);
}

ZAudioDevice* ZAudioDevice::GetCurrent() {
    return gCurrentDevice.load();
}

void ZAudioDevice::Service() {
    // The whole body under the device lock, so that open, close and reformat never meet it half-way.
    ZMutexLock lock(deviceLock_);
    if (std::this_thread::get_id() == creator_) {
        return;
    }
    bool running = IsAudioOutputRunning();
    if (running && AudioOptions().outputEnabled && !open_ &&
        platform::TickCount() - lastOpenTry_ >= kRetryMs) {
        Open();
    }
    if (callback_ == nullptr) {
        return;
    }
    if (open_ && running) {
        pacer_.Reset();  // should the output go, pacing starts from then
        FeedOutput();
        return;
    }
    int64_t due =
        pacer_.TakeDueBlocks(platform::TickCount(), format_.rate, format_.BytesToFrames(blockBytes_));
    for (int64_t i = 0; i < due && AudioOptions().feedWithoutDevice; ++i) {
        PullBlock(nullptr);
    }
}

bool ZAudioDevice::IsOpen() const {
    ZMutexLock lock(deviceLock_);
    return open_;
}

int32_t ZAudioDevice::RegisterCallback(ZAudioCallback* callback) {
    ZMutexLock lock(deviceLock_);
    if (callback_ != nullptr || callback == nullptr) {
        return -1;
    }
    callback_ = callback;
    // The id is the time of registration, kept positive so that it can never read as the refusal -1.
    callbackId_ = int32_t(platform::TickCount() & 0x7FFFFFFFu);
    callbackState_ = kCallbackRunning;
    return callbackId_;
}

void ZAudioDevice::UnregisterCallback(int32_t id) {
    ZMutexLock lock(deviceLock_);
    if (callback_ != nullptr && id == callbackId_) {
        callback_ = nullptr;
        callbackId_ = -1;
        callbackState_ = kCallbackIdle;
    }
}

int32_t ZAudioDevice::ResumeCallback(int32_t id) {
    ZMutexLock lock(deviceLock_);
    int32_t previous = callbackState_;
    if (callback_ != nullptr && id == callbackId_ && callbackState_ == kCallbackSuspended) {
        callbackState_ = kCallbackRunning;
    }
    return previous;
}

void ZAudioDevice::SuspendCallback(int32_t id) {
    ZMutexLock lock(deviceLock_);
    if (callback_ != nullptr && id == callbackId_ && callbackState_ != kCallbackIdle) {
        callbackState_ = kCallbackSuspended;
    }
}

bool ZAudioDevice::SetFormat(const ZAudioEncodingFormat& format) {
    if (!IsPlayable(format)) {
        return false;
    }
    // One hold of the lock across close and open, so that the mixer thread never services a device
    // caught between the two formats. The lock is recursive: Close and Open take it again.
    ZMutexLock lock(deviceLock_);
    bool wasOpen = IsOpen();
    if (wasOpen) {
        Close();
    }
    format_ = format;
    ComputeBlock();
    return wasOpen ? Open() : true;
}

ZAudioEncodingFormat ZAudioDevice::GetFormat() const {
    ZMutexLock lock(deviceLock_);
    return format_;
}

int32_t ZAudioDevice::GetBlockBytes() const {
    ZMutexLock lock(deviceLock_);
    return blockBytes_;
}

double ZAudioDevice::GetBlockMilliseconds() const {
    ZMutexLock lock(deviceLock_);
    return format_.BytesToMilliseconds(blockBytes_);
}

bool ZAudioDevice::IsPlayable(const ZAudioEncodingFormat& format) {
    return (format.bits == 8 || format.bits == 16) && format.rate >= 1 &&
           format.rate <= ZSoundReader::kMaxRate;
}

void ZAudioDevice::ComputeBlock() {
    int32_t frameBytes = format_.FrameBytes();
    if (!IsPlayable(format_)) {
        blockBytes_ = 0;  // nothing can be opened in this format
        return;
    }
    if (requestedBlockBytes_ == 0) {
        blockBytes_ = format_.BlockBytes();
        return;
    }
    // A block is whole frames, so that every block starts on a frame boundary.
    int32_t bytes = requestedBlockBytes_ - requestedBlockBytes_ % frameBytes;
    blockBytes_ = bytes > 0 ? bytes : frameBytes;
}

uint8_t* ZAudioDevice::PullBlock(uint8_t* buffer) {
    ZMutexLock lock(deviceLock_);
    if (callback_ == nullptr || callbackState_ != kCallbackRunning || blockBytes_ <= 0) {
        return nullptr;
    }
    return callback_->Fill(buffer, int32_t(format_.BytesToFrames(blockBytes_)), false);
}

void ZAudioDevice::ResetStaging() {
    staging_.assign(size_t(blockBytes_), 0);
    FillSilence(staging_.data(), blockBytes_, format_);
}

bool ZAudioDevice::RefillStaging() {
    uint8_t* block = PullBlock(staging_.data());
    if (block == nullptr) {
        FillSilence(staging_.data(), int64_t(staging_.size()), format_);
        return false;
    }
    if (block != staging_.data()) {
        std::memcpy(staging_.data(), block, staging_.size());
    }
    return true;
}

ZAudioOptions& AudioOptions() {
    static ZAudioOptions options;
    return options;
}

void StartAudioOutput() {
    ZAudioDevice* device = ZAudioDevice::GetCurrent();
    if (device != nullptr && AudioOptions().outputEnabled) {
        device->Open();
    }
    gOutputRunning.store(true);
}

void StopAudioOutput() {
    gOutputRunning.store(false);
    if (ZAudioDevice* device = ZAudioDevice::GetCurrent()) {
        device->Close();
    }
}

bool IsAudioOutputRunning() {
    return gOutputRunning.load();
}
