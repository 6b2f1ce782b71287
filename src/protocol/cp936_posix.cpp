#include <iconv.h>

#include <array>
#include <cerrno>
#include <cstddef>

#include "protocol/cp936_system.h"
#include "protocol/secret_bytes.h"

namespace melvorin::sys {

namespace {

// One conversion descriptor per call: iconv_t keeps shift state and must not
// be shared between threads without a lock.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (Ok()) {
            iconv_close(cd_);
        }
    }
    // False when the system has no such conversion.
    bool Ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts as much of [in, in + inLeft) as it can, appending to out.
    // Returns 0 when all input was used, else the errno that stopped it
    // (EILSEQ or EINVAL); in and inLeft then point at the offending bytes.
    int Convert(const char*& in, std::size_t& inLeft, std::string& out) {
        // It may hold a key: wiped when it goes.
        Scratch<std::array<char, 256>> buffer;
        while (inLeft > 0) {
            char* outPtr = buffer.data.data();
            std::size_t outLeft = buffer.data.size();
            char* inPtr = const_cast<char*>(in);
            const std::size_t rc = iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft);
            const int error = rc == static_cast<std::size_t>(-1) ? errno : 0;
            in = inPtr;
            out.append(buffer.data.data(), static_cast<std::size_t>(outPtr - buffer.data.data()));
            if (error == E2BIG || error == 0) {
                continue;
            }
            return error;
        }
        return 0;
    }

private:
    iconv_t cd_;
};

constexpr const char* kCodePage = "CP936";

}  // namespace

TEncoded EncodeCp936(const std::string& utf8, std::string& out) {
    Converter converter(kCodePage, "UTF-8");
    if (!converter.Ok()) return TEncoded::NoConversion;
    const char* in = utf8.data();
    std::size_t inLeft = utf8.size();
    return converter.Convert(in, inLeft, out) == 0 ? TEncoded::Ok : TEncoded::Unencodable;
}

int DecodeCp936(const TIdBytes& bytes, std::string& out, const char* replacement) {
    Converter converter("UTF-8", kCodePage);
    if (!converter.Ok()) return -1;
    int replaced = 0;
    const char* in = reinterpret_cast<const char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    while (inLeft > 0) {
        if (converter.Convert(in, inLeft, out) == 0) {
            break;
        }
        // A byte that starts no valid character (or a lead byte cut off at
        // the end): the replacement for it, and on with the next byte.
        out += replacement;
        ++replaced;
        ++in;
        --inLeft;
    }
    return replaced;
}

}  // namespace melvorin::sys
