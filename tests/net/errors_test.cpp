// Socket error messages and the mapping of errno onto Windows Sockets numbers.

#include <cerrno>
#include <string>

#include <gtest/gtest.h>

#include "net/errors.h"

namespace melvorin::net {
namespace {

TEST(SocketErrors, MessageCarriesNumberCrLfAndText) {
    const EIdSocketError error(10048);
    EXPECT_EQ(error.Message(), "Socket Error # 10048\r\nAddress already in use.");
    EXPECT_EQ(error.LastError(), 10048);
    EXPECT_STREQ(error.ClassName(), "EIdSocketError");
}

TEST(SocketErrors, NumberOutsideTheTableHasEmptyText) {
    EXPECT_EQ(EIdSocketError(10107).Message(), "Socket Error # 10107\r\n");
    EXPECT_EQ(EIdSocketError(0).Message(), "Socket Error # 0\r\n");
    EXPECT_STREQ(WSAErrorText(10010), "");
    EXPECT_STREQ(WSAErrorText(11002), "");
}

TEST(SocketErrors, TableTexts) {
    const std::pair<int, const char*> table[] = {
        {10004, "Interrupted system call."},
        {10009, "Bad file number."},
        {10013, "Access denied."},
        {10014, "Buffer fault."},
        {10022, "Invalid argument."},
        {10024, "Too many open files."},
        {10035, "Operation would block."},
        {10036, "Operation now in progress."},
        {10037, "Operation already in progress."},
        {10038, "Socket operation on non-socket."},
        {10039, "Destination address required."},
        {10040, "Message too long."},
        {10041, "Protocol wrong type for socket."},
        {10042, "Bad protocol option."},
        {10043, "Protocol not supported."},
        {10044, "Socket type not supported."},
        {10045, "Operation not supported on socket."},
        {10046, "Protocol family not supported."},
        {10047, "Address family not supported by protocol family."},
        {10048, "Address already in use."},
        {10049, "Cannot assign requested address."},
        {10050, "Network is down."},
        {10051, "Network is unreachable."},
        {10052, "Net dropped connection or reset."},
        {10053, "Software caused connection abort."},
        {10054, "Connection reset by peer."},
        {10055, "No buffer space available."},
        {10056, "Socket is already connected."},
        {10057, "Socket is not connected."},
        {10058, "Cannot send or receive after socket is closed."},
        {10059, "Too many references, cannot splice."},
        {10060, "Connection timed out."},
        {10061, "Connection refused."},
        {10062, "Too many levels of symbolic links."},
        {10063, "File name too long."},
        {10064, "Host is down."},
        {10065, "No route to host."},
        {10066, "Directory not empty"},
        {11001, "Host not found."},
    };
    for (const auto& [number, text] : table) EXPECT_STREQ(WSAErrorText(number), text) << number;
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

TEST(SocketErrors, ErrnoMapsByMeaning) {
    const std::pair<int, int> mapping[] = {
        {EADDRINUSE, 10048},   {ENETUNREACH, 10051},  {EACCES, 10013},     {EPERM, 10013},
        {EMSGSIZE, 10040},     {EBADF, 10038},        {ENOTSOCK, 10038},   {EINTR, 10004},
        {EINVAL, 10022},       {EMFILE, 10024},       {ENFILE, 10024},     {EAGAIN, 10035},
        {EWOULDBLOCK, 10035},  {EINPROGRESS, 10036},  {EALREADY, 10037},   {EDESTADDRREQ, 10039},
        {EPROTOTYPE, 10041},   {ENOPROTOOPT, 10042},  {EPROTONOSUPPORT, 10043}, {ESOCKTNOSUPPORT, 10044},
        {EOPNOTSUPP, 10045},   {EPFNOSUPPORT, 10046}, {EAFNOSUPPORT, 10047}, {EADDRNOTAVAIL, 10049},
        {ENETDOWN, 10050},     {ENETRESET, 10052},    {ECONNABORTED, 10053}, {ECONNRESET, 10054},
        {ENOBUFS, 10055},      {ENOMEM, 10055},       {EISCONN, 10056},    {ENOTCONN, 10057},
        {ESHUTDOWN, 10058},    {EPIPE, 10058},        {ETOOMANYREFS, 10059}, {ETIMEDOUT, 10060},
        {ECONNREFUSED, 10061}, {ELOOP, 10062},        {ENAMETOOLONG, 10063}, {EHOSTDOWN, 10064},
        {EHOSTUNREACH, 10065}, {ENOTEMPTY, 10066},    {EFAULT, 10014},
    };
    for (const auto& [err, number] : mapping) EXPECT_EQ(WSAErrorFromErrno(err), number) << "errno " << err;
}

TEST(SocketErrors, ErrnoWithoutCounterpartIsSystemCallFailure) {
    EXPECT_EQ(WSAErrorFromErrno(EIO), kWSASysCallFailure);
    EXPECT_EQ(WSAErrorFromErrno(ENOENT), 10107);
    EXPECT_EQ(WSAErrorFromErrno(0), 10107);
    // Its message keeps the number; the text is empty.
    EXPECT_EQ(EIdSocketError(WSAErrorFromErrno(EIO)).Message(), "Socket Error # 10107\r\n");
}

}  // namespace
}  // namespace melvorin::net
