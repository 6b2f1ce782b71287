#include "protocol/scan.h"

#include <cstddef>

#include "protocol/cp936.h"
#include "protocol/errors.h"
#include "protocol/frame.h"
#include "protocol/hex.h"
#include "protocol/state.h"

namespace melvorin {

std::int32_t StrToInt(const std::string& text) {
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n && text[i] == ' ') {
        ++i;
    }
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }

    bool hex = false;
    if (i < n && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
        hex = true;
        i += 1;
    } else if (i + 1 < n && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }

    if (i >= n) {
        // Nothing at all, a sign alone or a prefix with no digits.
        throw EConvertError::NotAnInteger(text);
    }

    if (hex) {
        // Up to eight digits, taken as a 32-bit pattern.
        if (n - i > 8) {
            throw EConvertError::NotAnInteger(text);
        }
        std::uint32_t pattern = 0;
        for (; i < n; ++i) {
            const int digit = HexDigitValue(text[i]);
            if (digit < 0) {
                throw EConvertError::NotAnInteger(text);
            }
            pattern = (pattern << 4) | static_cast<std::uint32_t>(digit);
        }
        if (negative) {
            pattern = 0u - pattern;  // wraps in 32 bits
        }
        return static_cast<std::int32_t>(pattern);
    }

    // Decimal: the magnitude may reach 2147483648 only for a negative value.
    const std::uint64_t limit = negative ? 2147483648u : 2147483647u;
    std::uint64_t magnitude = 0;
    for (; i < n; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') {
            throw EConvertError::NotAnInteger(text);
        }
        magnitude = magnitude * 10 + static_cast<std::uint64_t>(c - '0');
        if (magnitude > limit) {
            throw EConvertError::NotAnInteger(text);
        }
    }
    const std::int64_t value = negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
    return static_cast<std::int32_t>(value);
}

std::uint16_t CheckedSearchPort(std::int32_t port) {
    if (static_cast<std::uint32_t>(port) > 65535u) {
        throw ERangeError();
    }
    return static_cast<std::uint16_t>(port);
}

TIdBytes BuildScanRequest() { return BuildFrame(ScanRequest, {}); }

void Scan(const std::string& searchPortText, IDatagramSender& sender) {
    const std::int32_t port = StrToInt(searchPortText);
    State().SearchPort = port;
    const TIdBytes request = BuildScanRequest();
    sender.SendDatagram(kBroadcastHost, CheckedSearchPort(port), request);
}

void HandleListReply(const TIdBytes& data, ISsidList& list) {
    ExchangeState& state = State();
    const std::size_t n = data.size();

    list.Clear();
    if (n < 5) {
        throw ERangeError();  // no record count
    }
    state.SsidTable.resize(static_cast<std::size_t>(data[4]) + 1);

    std::size_t start = 3;
    std::size_t row = 0;
    for (std::size_t p = 1; p < n; ++p) {
        if (data[p - 1] != 0x0D || data[p] != 0x0A) {
            continue;
        }
        // The record runs from start + 2 through p: SSID, one byte left alone,
        // the signal strength, 0D 0A.
        if (p < start + 6) {
            throw ERangeError();  // L = p - start - 5 is 0 or negative
        }
        const std::size_t length = p - start - 5;
        if (row >= state.SsidTable.size()) {
            throw ERangeError();  // more records than the table holds
        }
        const auto first = data.begin() + static_cast<std::ptrdiff_t>(start + 2);
        state.SsidTable[row].assign(first, first + static_cast<std::ptrdiff_t>(length));
        const TIdBytes& ssid = state.SsidTable[row];
        const std::string text = BytesToText(ssid);
        list.AddRow({ssid, text, ShowName(text), data[p - 2]});
        ++row;
        start = p - 1;
    }
}

}  // namespace melvorin
