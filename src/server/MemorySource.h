#pragma once
// Bytes from memory as a ByteSource, handed out in chunks of at most `step` bytes, then the end of
// the stream; lets the parser run without a socket (fuzzers, tests).
#include <algorithm>
#include <cstring>
#include <string>

#include "server/Socket.h"

namespace qv::server {

class MemorySource : public ByteSource {
public:
    explicit MemorySource(std::string bytes, std::size_t step = SIZE_MAX) : bytes_(std::move(bytes)), step_(std::max<std::size_t>(1, step)) {}
    std::size_t receive(std::uint8_t* into, std::size_t max) override {
        if (at_ == bytes_.size()) throw SocketError(SocketError::Case::recvFailed, "end of input");
        std::size_t n = std::min({max, step_, bytes_.size() - at_});
        std::memcpy(into, bytes_.data() + at_, n);
        at_ += n;
        return n;
    }

private:
    std::string bytes_;
    std::size_t step_;
    std::size_t at_ = 0;
};

}  // namespace qv::server
