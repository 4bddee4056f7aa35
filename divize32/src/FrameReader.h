// FrameReader.h - assembles queue messages from one receiving stream.
//
// Framing: a 4-byte little-endian length, then that many bytes of one queue
// message whose totalLength equals the length. A length below the header
// size or above kMaxFrameLength, a length that disagrees with totalLength, or
// a message that is not well formed marks the stream as garbage. Memory grows
// only as bytes actually arrive, so an announced length costs nothing until
// it is sent, and all readers sharing one BufferBudget together hold at most
// its limit in partial frames (a reader that would exceed it is treated as
// garbage). Not thread-safe: one reader per connection, all readers of a
// budget on one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace divize {

// Bytes held in partial frames by a group of readers.
struct BufferBudget {
    std::uint64_t limit;
    std::uint64_t used = 0;
};

class FrameReader {
public:
    static constexpr std::uint32_t kMaxFrameLength = 256u << 20;

    enum class Status { kOpen, kClosed, kGarbage };

    explicit FrameReader(BufferBudget& budget) : budget_(budget) {}
    ~FrameReader();
    FrameReader(const FrameReader&) = delete;
    FrameReader& operator=(const FrameReader&) = delete;

    // Reads what the non-blocking fd has, up to a fair share per call, and
    // appends every complete message to `messages` (malloc'd buffers, owned
    // by the caller from then on). kClosed: the peer ended the stream (a
    // partial frame is discarded); kGarbage: drop the connection.
    Status ReadAvailable(int fd, std::vector<void*>& messages);

private:
    Status Consume(std::vector<void*>& messages);
    void ReleaseBody();

    BufferBudget& budget_;
    std::uint8_t prefix_[4] = {};
    std::size_t prefixHave_ = 0;
    std::uint8_t* body_ = nullptr;
    std::uint32_t length_ = 0;
    std::uint32_t have_ = 0;
    std::uint32_t capacity_ = 0;
};

}  // namespace divize
