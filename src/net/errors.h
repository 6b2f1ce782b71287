#pragma once

#include <string>

#include "protocol/errors.h"

namespace melvorin::net {

// Windows Sockets error numbers that the code itself names (the whole table
// of texts is in errors.cpp).
inline constexpr int kWSAEINTR = 10004;
inline constexpr int kWSAEBADF = 10009;
inline constexpr int kWSAEACCES = 10013;
inline constexpr int kWSAEFAULT = 10014;
inline constexpr int kWSAEINVAL = 10022;
inline constexpr int kWSAEMFILE = 10024;
inline constexpr int kWSAEWOULDBLOCK = 10035;
inline constexpr int kWSAEINPROGRESS = 10036;
inline constexpr int kWSAEALREADY = 10037;
inline constexpr int kWSAENOTSOCK = 10038;
inline constexpr int kWSAEDESTADDRREQ = 10039;
inline constexpr int kWSAEMSGSIZE = 10040;
inline constexpr int kWSAEPROTOTYPE = 10041;
inline constexpr int kWSAENOPROTOOPT = 10042;
inline constexpr int kWSAEPROTONOSUPPORT = 10043;
inline constexpr int kWSAESOCKTNOSUPPORT = 10044;
inline constexpr int kWSAEOPNOTSUPP = 10045;
inline constexpr int kWSAEPFNOSUPPORT = 10046;
inline constexpr int kWSAEAFNOSUPPORT = 10047;
inline constexpr int kWSAEADDRINUSE = 10048;
inline constexpr int kWSAEADDRNOTAVAIL = 10049;
inline constexpr int kWSAENETDOWN = 10050;
inline constexpr int kWSAENETUNREACH = 10051;
inline constexpr int kWSAENETRESET = 10052;
inline constexpr int kWSAECONNABORTED = 10053;
inline constexpr int kWSAECONNRESET = 10054;
inline constexpr int kWSAENOBUFS = 10055;
inline constexpr int kWSAEISCONN = 10056;
inline constexpr int kWSAENOTCONN = 10057;
inline constexpr int kWSAESHUTDOWN = 10058;
inline constexpr int kWSAETOOMANYREFS = 10059;
inline constexpr int kWSAETIMEDOUT = 10060;
inline constexpr int kWSAECONNREFUSED = 10061;
inline constexpr int kWSAELOOP = 10062;
inline constexpr int kWSAENAMETOOLONG = 10063;
inline constexpr int kWSAEHOSTDOWN = 10064;
inline constexpr int kWSAEHOSTUNREACH = 10065;
inline constexpr int kWSAENOTEMPTY = 10066;
// A failure of the system's socket layer that has no Windows Sockets
// counterpart (WSASYSCALLFAILURE); its text is empty.
inline constexpr int kWSASysCallFailure = 10107;
// The number a failed name lookup reports.
inline constexpr int kWSAHostNotFound = 11001;

using EIdException = TErrorKind<"EIdException">;

// "Socket Error # %d\r\n%s" with a Windows Sockets error number and its text.
class EIdSocketError : public TErrorKind<"EIdSocketError", EIdException> {
public:
    explicit EIdSocketError(int lastError);
    int LastError() const noexcept { return lastError_; }

protected:
    int lastError_;
};

class EIdNotASocket : public TErrorKind<"EIdNotASocket", EIdSocketError> {
public:
    EIdNotASocket() : TErrorKind(kWSAENOTSOCK) {}
};

using EIdCouldNotBindSocket =
    TFixedError<"EIdCouldNotBindSocket", "Could not bind socket. Address and port are already in use.", EIdException>;
using EIdPackageSizeTooBig = TFixedError<"EIdPackageSizeTooBig", "Package Size Too Big.", EIdException>;
using EIdNotAllBytesSent = TFixedError<"EIdNotAllBytesSent", "Not all bytes sent.", EIdException>;
using EIdStackInitializationFailed = TErrorKind<"EIdStackInitializationFailed", EIdException>;

// The Windows Sockets text of an error number ("" when it has none).
const char* WSAErrorText(int number);

// errno mapped by meaning onto the Windows Sockets number (POSIX systems
// only; Windows reports the numbers itself); an errno without
// counterpart gives kWSASysCallFailure.
int WSAErrorFromErrno(int err);
// Raises EIdNotASocket for kWSAENOTSOCK, else EIdSocketError.
[[noreturn]] void RaiseSocketError(int wsaNumber);

}  // namespace melvorin::net
