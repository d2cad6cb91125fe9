#include "audio/ZWaveOutDevice.h"

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

ZWaveOutDevice::ZWaveOutDevice(const ZAudioEncodingFormat& format,
                               std::unique_ptr<platform::AudioOutput> output, int32_t blockBytes)
    : ZAudioDevice(format, blockBytes), output_(std::move(output)) {}

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
        ResetStaging();
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

double ZWaveOutDevice::GetPlayedMilliseconds() {
    ZMutexLock lock(deviceLock_);
    return open_ ? format_.BytesToMilliseconds(output_->PlayedBytes()) : 0.0;
}

void ZWaveOutDevice::FeedOutput() {
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

bool ZWaveOutDevice::WriteBlock() {
    if (callback_ == nullptr || blockBytes_ <= 0 || !output_->Write(staging_.data(), blockBytes_)) {
        return false;
    }
    bytesWritten_ += blockBytes_;
    return RefillStaging();
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
