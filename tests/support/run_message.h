// One run request as the test server's client sends it and the server
// receives it: a head (the file-size limit and the counts of arguments and
// environment entries), the strings, and the run's three standard
// descriptors passed beside them.
#pragma once

#include <sys/socket.h>

#include <cstddef>
#include <cstdint>

namespace testkit {

// Bytes before the request's strings: the limit and the two counts.
constexpr std::size_t run_request_head = sizeof(std::int64_t) + 2 * sizeof(std::uint32_t);
constexpr int run_descriptors = 3;

// A message of one part, `size` bytes at `data`, with room for the
// descriptors. It points into itself, so it stays where it was made.
struct RunMessage {
    alignas(cmsghdr) char control[CMSG_SPACE(run_descriptors * sizeof(int))] = {};
    iovec part{};
    msghdr header{};

    RunMessage(void* data, std::size_t size) : part{data, size}
    {
        header.msg_iov = &part;
        header.msg_iovlen = 1;
        header.msg_control = control;
        header.msg_controllen = sizeof control;
    }
    RunMessage(const RunMessage&) = delete;
    RunMessage& operator=(const RunMessage&) = delete;
};

}  // namespace testkit
