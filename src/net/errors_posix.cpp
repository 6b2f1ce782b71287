// errno mapped onto the Windows Sockets numbers (the Windows build has the
// numbers from the system itself).

#include <cerrno>

#include "net/errors.h"

namespace melvorin::net {

namespace {

// errno -> Windows Sockets number, by meaning. One table for every call.
struct ErrnoNumber {
    int err;
    int number;
};

constexpr ErrnoNumber kErrnoNumbers[] = {
    {EINTR, kWSAEINTR},
    {EBADF, kWSAENOTSOCK},  // a closed or invalid handle: the socket is gone
    {ENOTSOCK, kWSAENOTSOCK},
    {EACCES, kWSAEACCES},  // e.g. a broadcast without SO_BROADCAST
    {EPERM, kWSAEACCES},   // refused by the host's packet filter
    {EFAULT, kWSAEFAULT},
    {EINVAL, kWSAEINVAL},
    {EMFILE, kWSAEMFILE},
    {ENFILE, kWSAEMFILE},
    {EAGAIN, kWSAEWOULDBLOCK},
#if EWOULDBLOCK != EAGAIN
    {EWOULDBLOCK, kWSAEWOULDBLOCK},
#endif
    {EINPROGRESS, kWSAEINPROGRESS},
    {EALREADY, kWSAEALREADY},
    {EDESTADDRREQ, kWSAEDESTADDRREQ},
    {EMSGSIZE, kWSAEMSGSIZE},
    {EPROTOTYPE, kWSAEPROTOTYPE},
    {ENOPROTOOPT, kWSAENOPROTOOPT},
    {EPROTONOSUPPORT, kWSAEPROTONOSUPPORT},
    {ESOCKTNOSUPPORT, kWSAESOCKTNOSUPPORT},
    {EOPNOTSUPP, kWSAEOPNOTSUPP},
#if ENOTSUP != EOPNOTSUPP
    {ENOTSUP, kWSAEOPNOTSUPP},
#endif
    {EPFNOSUPPORT, kWSAEPFNOSUPPORT},
    {EAFNOSUPPORT, kWSAEAFNOSUPPORT},
    {EADDRINUSE, kWSAEADDRINUSE},
    {EADDRNOTAVAIL, kWSAEADDRNOTAVAIL},
    {ENETDOWN, kWSAENETDOWN},
    {ENETUNREACH, kWSAENETUNREACH},
    {ENETRESET, kWSAENETRESET},
    {ECONNABORTED, kWSAECONNABORTED},
    {ECONNRESET, kWSAECONNRESET},
    {ENOBUFS, kWSAENOBUFS},
    {ENOMEM, kWSAENOBUFS},
    {EISCONN, kWSAEISCONN},
    {ENOTCONN, kWSAENOTCONN},
    {ESHUTDOWN, kWSAESHUTDOWN},
    {EPIPE, kWSAESHUTDOWN},
    {ETOOMANYREFS, kWSAETOOMANYREFS},
    {ETIMEDOUT, kWSAETIMEDOUT},
    {ECONNREFUSED, kWSAECONNREFUSED},
    {ELOOP, kWSAELOOP},
    {ENAMETOOLONG, kWSAENAMETOOLONG},
    {EHOSTDOWN, kWSAEHOSTDOWN},
    {EHOSTUNREACH, kWSAEHOSTUNREACH},
    {ENOTEMPTY, kWSAENOTEMPTY},
};

}  // namespace

int WSAErrorFromErrno(int err) {
    for (const auto& entry : kErrnoNumbers) {
        if (entry.err == err) return entry.number;
    }
    return kWSASysCallFailure;
}

}  // namespace melvorin::net
