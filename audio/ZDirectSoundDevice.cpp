#include "audio/ZDirectSoundDevice.h"

#include <utility>

#include "platform/Clock.h"

ZDirectSoundDevice::ZDirectSoundDevice(const ZAudioEncodingFormat& format,
                                       std::unique_ptr<ZLoopingBuffer> buffer, int32_t blockBytes)
    : ZAudioDevice(format, blockBytes), buffer_(std::move(buffer)) {}

ZDirectSoundDevice::~ZDirectSoundDevice() {
    Close();
}

bool ZDirectSoundDevice::Open() {
    ZMutexLock lock(deviceLock_);
    format_.encoding = ZAudioEncodingFormat::EncodingForBits(format_.bits);
    if (open_) {
        return true;
    }
    lastOpenTry_ = platform::TickCount();
    if (buffer_ == nullptr) {
        return false;
    }
    buffer_->Release();
    if (!SetPrimaryStepping() || !buffer_->Create(ToOutputSpec(format_), kBlocks * blockBytes_)) {
        buffer_->Release();
        return false;
    }
    ResetStaging();
    nextBlock_ = 0;
    if (callback_ != nullptr) {
        callbackState_ = kCallbackRunning;
    }
    open_ = true;
    justOpened_ = true;
    return true;
}

bool ZDirectSoundDevice::SetPrimaryStepping() {
    for (;;) {
        ComputeBlock();
        if (blockBytes_ <= 0) {
            return false;
        }
        platform::AudioOpenResult result = buffer_->SetPrimaryFormat(ToOutputSpec(format_));
        if (result == platform::AudioOpenResult::kOpened) {
            return true;
        }
        if (result != platform::AudioOpenResult::kUnsupportedFormat || !format_.StepDown()) {
            return false;
        }
        format_.encoding = ZAudioEncodingFormat::EncodingForBits(format_.bits);
    }
}

void ZDirectSoundDevice::Close() {
    ZMutexLock lock(deviceLock_);
    if (!open_) {
        return;
    }
    buffer_->Stop();
    buffer_->Release();
    open_ = false;
    pacer_.Reset();
}

int32_t ZDirectSoundDevice::ResumeCallback(int32_t id) {
    ZMutexLock lock(deviceLock_);
    int32_t previous = ZAudioDevice::ResumeCallback(id);
    if (previous == kCallbackSuspended && callbackState_ == kCallbackRunning && open_) {
        justOpened_ = true;
    }
    return previous;
}

double ZDirectSoundDevice::GetBufferedMilliseconds() {
    ZMutexLock lock(deviceLock_);
    int32_t position = open_ ? buffer_->PlayPosition() : -1;
    if (position < 0) {
        return 0.0;
    }
    return format_.BytesToMilliseconds(int64_t(nextBlock_ + kBlocks) * blockBytes_ - position);
}

void ZDirectSoundDevice::FeedOutput() {
    if (justOpened_) {
        for (int32_t i = 0; i < kBlocks; ++i) {
            WriteBlock();
        }
        buffer_->Play();
        justOpened_ = false;
    }
    int32_t position = buffer_->PlayPosition();
    if (position < 0) {
        return;
    }
    // The block not playing is the one to write.
    int32_t playing = (position / blockBytes_) % kBlocks;
    if (playing != nextBlock_) {
        WriteBlock();
    }
}

bool ZDirectSoundDevice::WriteBlock() {
    if (callback_ == nullptr || blockBytes_ <= 0) {
        return false;
    }
    buffer_->Write(nextBlock_ * blockBytes_, staging_.data(), blockBytes_);
    nextBlock_ = (nextBlock_ + 1) % kBlocks;
    return RefillStaging();
}
