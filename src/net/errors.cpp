#include "net/errors.h"

#include <cstdio>

namespace melvorin::net {

namespace {

struct NumberText {
    int number;
    const char* text;
};

constexpr NumberText kSocketErrorTexts[] = {
    {kWSAEINTR, "Interrupted system call."},
    {kWSAEBADF, "Bad file number."},
    {kWSAEACCES, "Access denied."},
    {kWSAEFAULT, "Buffer fault."},
    {kWSAEINVAL, "Invalid argument."},
    {kWSAEMFILE, "Too many open files."},
    {kWSAEWOULDBLOCK, "Operation would block."},
    {kWSAEINPROGRESS, "Operation now in progress."},
    {kWSAEALREADY, "Operation already in progress."},
    {kWSAENOTSOCK, "Socket operation on non-socket."},
    {kWSAEDESTADDRREQ, "Destination address required."},
    {kWSAEMSGSIZE, "Message too long."},
    {kWSAEPROTOTYPE, "Protocol wrong type for socket."},
    {kWSAENOPROTOOPT, "Bad protocol option."},
    {kWSAEPROTONOSUPPORT, "Protocol not supported."},
    {kWSAESOCKTNOSUPPORT, "Socket type not supported."},
    {kWSAEOPNOTSUPP, "Operation not supported on socket."},
    {kWSAEPFNOSUPPORT, "Protocol family not supported."},
    {kWSAEAFNOSUPPORT, "Address family not supported by protocol family."},
    {kWSAEADDRINUSE, "Address already in use."},
    {kWSAEADDRNOTAVAIL, "Cannot assign requested address."},
    {kWSAENETDOWN, "Network is down."},
    {kWSAENETUNREACH, "Network is unreachable."},
    {kWSAENETRESET, "Net dropped connection or reset."},
    {kWSAECONNABORTED, "Software caused connection abort."},
    {kWSAECONNRESET, "Connection reset by peer."},
    {kWSAENOBUFS, "No buffer space available."},
    {kWSAEISCONN, "Socket is already connected."},
    {kWSAENOTCONN, "Socket is not connected."},
    {kWSAESHUTDOWN, "Cannot send or receive after socket is closed."},
    {kWSAETOOMANYREFS, "Too many references, cannot splice."},
    {kWSAETIMEDOUT, "Connection timed out."},
    {kWSAECONNREFUSED, "Connection refused."},
    {kWSAELOOP, "Too many levels of symbolic links."},
    {kWSAENAMETOOLONG, "File name too long."},
    {kWSAEHOSTDOWN, "Host is down."},
    {kWSAEHOSTUNREACH, "No route to host."},
    {kWSAENOTEMPTY, "Directory not empty"},
    {kWSAHostNotFound, "Host not found."},
};

std::string FormatSocketError(int number) {
    char head[64];
    std::snprintf(head, sizeof head, "Socket Error # %d\r\n", number);
    return std::string(head) + WSAErrorText(number);
}

}  // namespace

EIdSocketError::EIdSocketError(int lastError) : TErrorKind(FormatSocketError(lastError)), lastError_(lastError) {}

const char* WSAErrorText(int number) {
    for (const auto& entry : kSocketErrorTexts) {
        if (entry.number == number) return entry.text;
    }
    return "";
}

void RaiseSocketError(int wsaNumber) {
    if (wsaNumber == kWSAENOTSOCK) throw EIdNotASocket();
    throw EIdSocketError(wsaNumber);
}

}  // namespace melvorin::net
