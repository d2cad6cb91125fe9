#include "audio/ZWaveOutDevice.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/Clock.h"

namespace {

// The output takes 8-bit samples unsigned and 16-bit signed, at rates its hardware has always known.
void Normalise(ZAudioEncodingFormat& format) {
    format.encoding = ZAudioEncodingFormat::EncodingForBits(format.bits);
    format.byteOrder = kByteOrderLittleEndian;
    if (format.rate == 16000) {
        format.rate = 11025;
    } else if (format.rate == 24000 || format.rate == 32000) {
        format.rate = 22050;
    } else if (format.rate == 48000) {
        format.rate = 44100;
    }
}

}  // namespace

platform::AudioSpec ToOutputSpec(const ZAudioEncodingFormat& format) {
    platform::AudioSpec spec;
    spec.rate = format.rate;
    spec.channels = format.Channels();
    spec.bits = format.bits;
    spec.isSigned = format.encoding != kEncodingUnsigned;
    spec.bigEndian = format.byteOrder != kByteOrderLittleEndian;
    return spec;
}

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

ZWaveOutDevice::ZWaveOutDevice(const ZAudioEncodingFormat& format,
                               std::unique_ptr<platform::AudioOutput> output, int32_t blockBytes)
    : ZAudioDevice(format, blockBytes),
      output_(std::move(output)),
      creator_(std::this_thread::get_id()),
      lastOpenTry_(platform::TickCount() - kRetryMs) {}

ZWaveOutDevice::~ZWaveOutDevice() {
    Close();
}

bool ZWaveOutDevice::Open() {
    ZMutexLock lock(deviceLock_);
    if (open_) {
        return true;
    }
    lastOpenTry_ = platform::TickCount();
    if (output_ == nullptr || !OpenStepping()) {
        return false;
    }
    open_ = true;
    justOpened_ = true;
    bytesWritten_ = 0;
    lastPosition_ = 0;
    lastPositionTime_ = platform::TickCount();
    return true;
}

bool ZWaveOutDevice::OpenStepping() {
    for (;;) {
        Normalise(format_);
        ComputeBlock();
        if (blockBytes_ <= 0) {
            return false;
        }
        staging_.assign(size_t(blockBytes_), 0);
        FillSilence(staging_.data(), blockBytes_, format_);
        platform::AudioOpenResult result = output_->Open(ToOutputSpec(format_), blockBytes_);
        if (result == platform::AudioOpenResult::kOpened) {
            return true;
        }
        if (result != platform::AudioOpenResult::kUnsupportedFormat || !format_.StepDown()) {
            return false;
        }
    }
}

void ZWaveOutDevice::Close() {
    ZMutexLock lock(deviceLock_);
    if (!open_) {
        return;
    }
    output_->Close();
    open_ = false;
    pacer_.Reset();
}

bool ZWaveOutDevice::IsOpen() const {
    ZMutexLock lock(deviceLock_);
    return open_;
}

std::string ZWaveOutDevice::GetOpenError() const {
    ZMutexLock lock(deviceLock_);
    return output_ != nullptr ? output_->GetError() : "no sound output";
}

double ZWaveOutDevice::GetBufferedMilliseconds() {
    ZMutexLock lock(deviceLock_);
    if (!open_) {
        return 0.0;
    }
    return format_.BytesToMilliseconds(bytesWritten_ - output_->PlayedBytes());
}

void ZWaveOutDevice::Service() {
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
        FeedOutput();
    } else {
        KeepPace();
    }
}

void ZWaveOutDevice::FeedOutput() {
    pacer_.Reset();  // should the output go, pacing starts from then
    if (justOpened_) {
        // Start with a cushion of blocks, queued before the output runs so that it never starts starved.
        output_->Pause(true);
        for (int32_t i = 0; i < kStartBlocks; ++i) {
            WriteBlock();
        }
        output_->Pause(false);
        justOpened_ = false;
    }
    if (PositionStalled()) {
        WriteBlock();
    }
    while (bytesWritten_ < output_->PlayedBytes() + int64_t(kAheadBlocks) * blockBytes_ && WriteBlock()) {
    }
}

void ZWaveOutDevice::KeepPace() {
    int64_t blockFrames = format_.BytesToFrames(blockBytes_);
    int64_t due = pacer_.TakeDueBlocks(platform::TickCount(), format_.rate, blockFrames);
    for (int64_t i = 0; i < due && AudioOptions().feedWithoutDevice; ++i) {
        PullBlock(nullptr);
    }
}

bool ZWaveOutDevice::WriteBlock() {
    if (callback_ == nullptr || blockBytes_ <= 0 || !output_->Write(staging_.data(), blockBytes_)) {
        return false;
    }
    bytesWritten_ += blockBytes_;
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

bool ZWaveOutDevice::PositionStalled() {
    uint32_t now = platform::TickCount();
    int64_t position = output_->PlayedBytes();
    bool stalled = position == lastPosition_ &&
                   double(now - lastPositionTime_) > format_.BytesToMilliseconds(blockBytes_);
    lastPosition_ = position;
    lastPositionTime_ = now;
    return stalled;
}
