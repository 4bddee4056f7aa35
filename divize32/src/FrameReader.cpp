#include "FrameReader.h"

#include <sys/socket.h>

#include <cerrno>
#include <cstdlib>

#include "framework/MessageFormat.h"

namespace divize {
namespace {

constexpr std::size_t kReadBudget = 1u << 20;
constexpr std::uint32_t kInitialChunk = 64u << 10;

}  // namespace

FrameReader::~FrameReader() { ReleaseBody(); }

void FrameReader::ReleaseBody() {
    std::free(body_);
    budget_.used -= capacity_;
    body_ = nullptr;
    capacity_ = 0;
}

FrameReader::Status FrameReader::ReadAvailable(int fd, std::vector<void*>& messages) {
    std::size_t budget = kReadBudget;
    while (budget > 0) {
        void* into;
        std::size_t want;
        if (prefixHave_ < sizeof(prefix_)) {
            into = prefix_ + prefixHave_;
            want = sizeof(prefix_) - prefixHave_;
        } else {
            if (have_ == capacity_) {
                std::uint32_t grown = capacity_ == 0 ? kInitialChunk : capacity_ * 2;
                if (grown > length_ || grown < capacity_) grown = length_;
                if (budget_.used + (grown - capacity_) > budget_.limit) return Status::kGarbage;
                auto* bigger = static_cast<std::uint8_t*>(std::realloc(body_, grown));
                if (bigger == nullptr) return Status::kGarbage;
                body_ = bigger;
                budget_.used += grown - capacity_;
                capacity_ = grown;
            }
            into = body_ + have_;
            want = capacity_ - have_;
        }
        if (want > budget) want = budget;
        const ssize_t n = recv(fd, into, want, MSG_DONTWAIT);
        if (n == 0) return Status::kClosed;
        if (n < 0) {
            if (errno == EINTR) continue;
            return (errno == EAGAIN || errno == EWOULDBLOCK) ? Status::kOpen : Status::kClosed;
        }
        budget -= static_cast<std::size_t>(n);
        if (prefixHave_ < sizeof(prefix_)) {
            prefixHave_ += static_cast<std::size_t>(n);
            if (prefixHave_ < sizeof(prefix_)) continue;
            length_ = wire::GetU32(prefix_, 0);
            if (length_ < wire::kHeaderLength || length_ > kMaxFrameLength) return Status::kGarbage;
            continue;
        }
        have_ += static_cast<std::uint32_t>(n);
        if (have_ == length_) {
            const Status status = Consume(messages);
            if (status != Status::kOpen) return status;
        }
    }
    return Status::kOpen;
}

FrameReader::Status FrameReader::Consume(std::vector<void*>& messages) {
    const bool sound =
        wire::GetU32(body_, wire::kTotalLength) == length_ && wire::IsWellFormed(body_, length_);
    if (!sound) return Status::kGarbage;
    messages.push_back(body_);
    body_ = nullptr;
    budget_.used -= capacity_;
    prefixHave_ = 0;
    length_ = have_ = capacity_ = 0;
    return Status::kOpen;
}

}  // namespace divize
