// Socket error messages and the mapping of errno onto Windows Sockets numbers.

#include <cerrno>
#include <string>

#include <gtest/gtest.h>

#include "net/errors.h"

namespace melvorin::net {
namespace {

TEST(SocketErrors, MessageCarriesNumberCrLfAndText) {
    const EIdSocketError error(10048);
    EXPECT_EQ(error.LastError(), 10048);
    EXPECT_STREQ(error.ClassName(), "EIdSocketError");
    // The ends of the table, the one text without a full stop, and numbers
    // outside it (empty text).
    const std::pair<int, const char*> messages[] = {
        {10048, "Socket Error # 10048\r\nAddress already in use."},
        {10004, "Socket Error # 10004\r\nInterrupted system call."},
        {10066, "Socket Error # 10066\r\nDirectory not empty"},
        {11001, "Socket Error # 11001\r\nHost not found."},
        {10010, "Socket Error # 10010\r\n"},
        {10107, "Socket Error # 10107\r\n"},
        {11002, "Socket Error # 11002\r\n"},
        {0, "Socket Error # 0\r\n"},
    };
    for (const auto& [number, message] : messages) EXPECT_EQ(EIdSocketError(number).Message(), message) << number;
}

TEST(SocketErrors, RaiseGivesNotASocketFor10038Only) {
    try {
        RaiseSocketError(10038);
        FAIL() << "nothing raised";
    } catch (const EIdNotASocket& e) {
        EXPECT_EQ(e.Message(), "Socket Error # 10038\r\nSocket operation on non-socket.");
        EXPECT_EQ(e.LastError(), 10038);
        EXPECT_STREQ(e.ClassName(), "EIdNotASocket");
    }
    try {
        RaiseSocketError(10040);
        FAIL() << "nothing raised";
    } catch (const EIdNotASocket&) {
        FAIL() << "10040 raised as EIdNotASocket";
    } catch (const EIdSocketError& e) {
        EXPECT_EQ(e.Message(), "Socket Error # 10040\r\nMessage too long.");
    }
}

TEST(SocketErrors, FixedMessagesAndKinds) {
    EXPECT_EQ(EIdCouldNotBindSocket().Message(), "Could not bind socket. Address and port are already in use.");
    EXPECT_EQ(EIdPackageSizeTooBig().Message(), "Package Size Too Big.");
    EXPECT_EQ(EIdNotAllBytesSent().Message(), "Not all bytes sent.");
    // Every transport error is a melvorin::Exception, so the window shows it.
    const Exception& asRoot = EIdNotAllBytesSent();
    EXPECT_STREQ(asRoot.ClassName(), "EIdNotAllBytesSent");
}

#ifndef _WIN32
// The errno values the transport meets, several of them mapped by meaning
// rather than by name; anything without a counterpart is 10107. (Windows
// reports the numbers itself.)
TEST(SocketErrors, ErrnoMapsByMeaning) {
    const std::pair<int, int> mapping[] = {
        {EADDRINUSE, 10048}, {ENETUNREACH, 10051}, {EACCES, 10013}, {EPERM, 10013},    {EMSGSIZE, 10040},
        {EBADF, 10038},      {ENOTSOCK, 10038},    {EINTR, 10004},  {EAGAIN, 10035},   {EWOULDBLOCK, 10035},
        {ENOBUFS, 10055},    {ENOMEM, 10055},      {EPIPE, 10058},  {ESHUTDOWN, 10058}, {EFAULT, 10014},
        {EHOSTUNREACH, 10065}, {ENOTEMPTY, 10066}, {EIO, kWSASysCallFailure}, {ENOENT, 10107}, {0, 10107},
    };
    for (const auto& [err, number] : mapping) EXPECT_EQ(WSAErrorFromErrno(err), number) << "errno " << err;
}
#endif

}  // namespace
}  // namespace melvorin::net
