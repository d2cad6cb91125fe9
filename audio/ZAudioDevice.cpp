#include "audio/ZAudioDevice.h"

#include <utility>

#include "audio/ZSoundReader.h"
#include "platform/Clock.h"

namespace {

std::atomic<ZAudioDevice*> gCurrentDevice{nullptr};
std::atomic<bool> gOutputRunning{false};

}  // namespace

ZAudioDevice::ZAudioDevice(const ZAudioEncodingFormat& format, int32_t blockBytes)
    : format_(format), requestedBlockBytes_(blockBytes < 0 ? 0 : blockBytes) {
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
