#include "audio/ZDirectSoundDevice.h"

#include <cstring>
#include <utility>

#include "platform/Clock.h"

ZDirectSoundDevice::ZDirectSoundDevice(const ZAudioEncodingFormat& format,
                                       std::unique_ptr<ZLoopingBuffer> buffer, int32_t blockBytes)
    : ZAudioDevice(format, blockBytes),
      buffer_(std::move(buffer)),
      creator_(std::this_thread::get_id()),
      lastOpenTry_(platform::TickCount() - ZWaveOutDevice::kRetryMs) {}

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
    staging_.assign(size_t(blockBytes_), 0);
    FillSilence(staging_.data(), blockBytes_, format_);
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

bool ZDirectSoundDevice::IsOpen() const {
    ZMutexLock lock(deviceLock_);
    return open_;
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

void ZDirectSoundDevice::Service() {
    ZMutexLock lock(deviceLock_);
    if (std::this_thread::get_id() == creator_) {
        return;
    }
    bool running = IsAudioOutputRunning();
    if (running && AudioOptions().outputEnabled && !open_ &&
        platform::TickCount() - lastOpenTry_ >= ZWaveOutDevice::kRetryMs) {
        Open();
    }
    if (callback_ == nullptr) {
        return;
    }
    if (open_ && running) {
        FeedBuffer();
        return;
    }
    int64_t due =
        pacer_.TakeDueBlocks(platform::TickCount(), format_.rate, format_.BytesToFrames(blockBytes_));
    for (int64_t i = 0; i < due && AudioOptions().feedWithoutDevice; ++i) {
        PullBlock(nullptr);
    }
}

void ZDirectSoundDevice::FeedBuffer() {
    pacer_.Reset();
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
    uint8_t* block = PullBlock(staging_.data());
    if (block == nullptr) {
        FillSilence(staging_.data(), blockBytes_, format_);
        return false;
    }
    if (block != staging_.data()) {
        std::memcpy(staging_.data(), block, size_t(blockBytes_));
    }
    return true;
}
