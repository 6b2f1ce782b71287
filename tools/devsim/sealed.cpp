#include "devsim/sealed.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <mutex>
#include <stdexcept>

#include <melvorin_seal.h>
#include <mlvs_mbedtls.h>

#include "protocol/frame.h"
#include "seal/label_code.h"

namespace melvorin::devsim {

struct SealedUnit::State {
    mlvs_mbedtls mbedtls{};
    mlvs_crypto crypto{};
    std::uint8_t sk[MLVS_SECRET_KEY_SIZE]{};
    std::uint8_t pk[MLVS_PUBLIC_KEY_SIZE]{};
    mlvs_unit unit{};
    std::mutex lock;  // the devices' threads share the unit
};

namespace {

std::string Hex(const std::uint8_t* bytes, std::size_t size) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < size; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
    }
    return text;
}

bool ReadKey(const std::string& path, std::uint8_t* sk) {
    std::ifstream in(path);
    if (!in) return false;
    std::string line;
    std::getline(in, line);
    if (line.size() != 2 * MLVS_SECRET_KEY_SIZE) throw std::runtime_error(path + ": not a unit key");
    for (std::size_t i = 0; i < MLVS_SECRET_KEY_SIZE; ++i) {
        sk[i] = static_cast<std::uint8_t>(std::stoul(line.substr(2 * i, 2), nullptr, 16));
    }
    return true;
}

void WriteKey(const std::string& path, const std::uint8_t* sk) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    if (fd < 0) throw std::runtime_error(path + ": " + std::strerror(errno));
    const std::string line = Hex(sk, MLVS_SECRET_KEY_SIZE) + "\n";
    const bool written = ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    if (::close(fd) != 0 || !written) throw std::runtime_error(path + ": cannot write the unit key");
}

}  // namespace

SealedUnit::SealedUnit(const std::string& keyFile) : state_(std::make_unique<State>()) {
    State& s = *state_;
    if (mlvs_mbedtls_init(&s.mbedtls, &s.crypto) != 0) throw std::runtime_error("no random source for the unit key");
    if (ReadKey(keyFile, s.sk)) {
        if (s.crypto.p256_public(s.crypto.user, s.sk, s.pk) != 0) throw std::runtime_error(keyFile + ": not a unit key");
    } else {
        if (mlvs_generate_keypair(&s.crypto, s.sk, s.pk) != 0) throw std::runtime_error("cannot make a unit key");
        WriteKey(keyFile, s.sk);
    }
    s.unit.crypto = &s.crypto;
    s.unit.sk = s.sk;
    s.unit.pk = s.pk;
}

SealedUnit::~SealedUnit() {
    std::memset(state_->sk, 0, sizeof state_->sk);
    mlvs_mbedtls_free(&state_->mbedtls);
}

std::string SealedUnit::LabelCode() const {
    return seal::LabelCode({state_->pk, MLVS_PUBLIC_KEY_SIZE});
}

std::optional<TIdBytes> SealedUnit::Handle(const TIdBytes& datagram, const DeviceConfig& config) {
    std::lock_guard hold(state_->lock);
    mlvs_unit& unit = state_->unit;
    if (datagram.size() > 3 && datagram[3] == MLVS_CMD_SEALED_JOIN) {
        TIdBytes plain(datagram.size());
        mlvs_join join{};
        if (mlvs_open_join(&unit, datagram.data(), datagram.size(), plain.data(), plain.size(), &join) != 0) {
            return std::nullopt;
        }
        const TIdBytes ssid(join.ssid, join.ssid + join.ssid_len);
        const TIdBytes key(join.key, join.key + join.key_len);
        std::fill(plain.begin(), plain.end(), 0);
        TIdBytes result(MLVS_RESULT_SIZE);
        const bool ssidOk = SsidAccepted(config, ssid);
        const bool keyOk = KeyAccepted(config, key);
        if (mlvs_join_result(&unit, ssidOk ? 1 : 0, keyOk ? 1 : 0, result.data(), result.size()) == 0) {
            return std::nullopt;
        }
        return result;
    }
    auto reply = HandleRequest(datagram, config);
    if (reply && reply->size() > 3 && (*reply)[3] == SsidListReply) {
        const std::size_t length = reply->size();
        reply->resize(length + MLVS_ADVERT_SIZE);
        const std::size_t n = mlvs_advertise(&unit, reply->data(), length, reply->size());
        reply->resize(n != 0 ? n : length);  // no room: the list reply as it was
    }
    return reply;
}

std::optional<TIdBytes> SealedUnit::Online(const std::uint8_t* mac, const std::uint8_t* ipv4) {
    std::lock_guard hold(state_->lock);
    TIdBytes frame(MLVS_ONLINE_SIZE);
    if (mlvs_online(&state_->unit, mac, ipv4, frame.data(), frame.size()) == 0) return std::nullopt;
    return frame;
}

void SealedUnit::EndOnline() {
    std::lock_guard hold(state_->lock);
    mlvs_online_end(&state_->unit);
}

}  // namespace melvorin::devsim
