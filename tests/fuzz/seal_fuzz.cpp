// Fuzz target: the sealed join's frames. The input is read three ways: as
// a list reply the station searches for an advertisement; as a sealed join
// the unit opens (its nonce made live, so the HPKE path runs), which must
// fail, a tag being beyond a fuzzer; and as the unit's public key and a
// nonce, advertised and found again bit for bit, with the station's own
// handler reading no record from the reply. Last, as the secret, token and
// addresses of a sealed online announcement, which the station's parser
// reads back and its tag check takes only from the join's own sender.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz_check.h"
#include "mlvs_mbedtls.h"
#include "protocol/online.h"
#include "seal/online_tag.h"
#include "seal/sealed_join.h"
#include "station_read.h"

namespace melvorin::fuzz {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A generator that repeats the nonce it was given: the advertisement's
// bytes are then the input's.
struct Fixed {
    const std::uint8_t* bytes;
};
int fixed_random(void* user, std::uint8_t* out, std::size_t len) {
    std::copy(static_cast<Fixed*>(user)->bytes, static_cast<Fixed*>(user)->bytes + len, out);
    return 0;
}

void Run(const std::uint8_t* data, std::size_t size) {
    static mlvs_mbedtls state;
    static mlvs_crypto crypto;
    static const bool ready = mlvs_mbedtls_init(&state, &crypto) == 0;
    FUZZ_CHECK(ready, "Mbed TLS did not start");
    const Bytes input(data, data + size);

    const auto advert = seal::FindAdvert(input);
    FUZZ_CHECK(!advert || advert->public_key.size() == 65, HexOf(input));

    static const std::uint8_t sk[32] = {1};
    std::uint8_t pk[65] = {0x04};
    std::copy_n(input.begin(), std::min<std::size_t>(size, 65), pk);
    mlvs_unit unit{};
    unit.crypto = &crypto;
    unit.sk = sk;
    unit.pk = pk;
    if (size > 21) {
        std::copy_n(data + 5, 16, unit.nonces[0]);
        unit.live[0] = 1;
    }
    Bytes plain(size);
    mlvs_join join{};
    FUZZ_CHECK(mlvs_open_join(&unit, data, size, plain.data(), plain.size(), &join) != 0, HexOf(input));

    Bytes nonce(16);
    std::copy_n(input.begin() + std::min<std::size_t>(size, 65), std::min<std::size_t>(size - std::min<std::size_t>(size, 65), 16),
                nonce.begin());
    Fixed fixed{nonce.data()};
    mlvs_crypto repeat = crypto;
    repeat.user = &fixed;
    repeat.random = fixed_random;
    unit.crypto = &repeat;
    Bytes reply = {0xFF, 0x00, 0x02, 0x81, 0x00, 0x83};
    reply.resize(reply.size() + seal::kAdvertSize);
    const std::size_t n = mlvs_advertise(&unit, reply.data(), 6, reply.size());
    FUZZ_CHECK(n == reply.size(), HexOf(input));
    const auto found = seal::FindAdvert(reply);
    FUZZ_CHECK(found && found->public_key == Bytes(pk, pk + 65) &&
                   std::equal(nonce.begin(), nonce.end(), found->nonce.begin()),
               HexOf(reply));
    const StationRead read = ReadAsStation(reply);
    FUZZ_CHECK(read.kind == TDatagramKind::ListReply && read.rows.empty(), HexOf(reply));

    // The announcement: exporter secret, token, hardware and IPv4 addresses
    // from the input (zeros past its end).
    Bytes parts(32 + 16 + 10, 0);
    std::copy_n(input.begin(), std::min(size, parts.size()), parts.begin());
    FUZZ_CHECK(mlvs_online(&unit, parts.data() + 48, parts.data() + 54, reply.data(), reply.size()) == 0,
               "announced without an accepted join");
    unit.crypto = &crypto;
    unit.online = 1;
    std::copy_n(parts.begin(), 32, unit.context.exporter_secret);
    std::copy_n(parts.begin() + 32, 16, unit.token);
    Bytes frame(MLVS_ONLINE_SIZE);
    FUZZ_CHECK(mlvs_online(&unit, parts.data() + 48, parts.data() + 54, frame.data(), frame.size()) == frame.size(),
               HexOf(parts));
    const auto online = ParseOnline(frame);
    FUZZ_CHECK(online && online->sealed && std::equal(online->token.begin(), online->token.end(), parts.begin() + 32) &&
                   std::equal(online->mac.begin(), online->mac.end(), parts.begin() + 48) &&
                   std::equal(online->ipv4.begin(), online->ipv4.end(), parts.begin() + 54),
               HexOf(frame));
    const StationRead announced = ReadAsStation(frame);
    FUZZ_CHECK(announced.kind == TDatagramKind::Dropped && announced.rows.empty(), HexOf(frame));
    // A station that sealed no join with this secret finds no tag.
    static const auto stranger = [] {
        std::uint8_t skS[32], pkS[65];
        FUZZ_CHECK(mlvs_generate_keypair(&crypto, skS, pkS) == 0, "no key pair");
        return seal::Sender::setup(Bytes(pkS, pkS + 65), Bytes{'x'});
    }();
    FUZZ_CHECK(stranger && !seal::OnlineIsTagged(*stranger, *online), HexOf(frame));
    mlvs_online_end(&unit);
}

}  // namespace
}  // namespace melvorin::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    melvorin::fuzz::Run(data, size);
    return 0;
}
