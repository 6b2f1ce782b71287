/* The join request: FF 00 <length> 02 00 <SSID> 0D 0A <key> <checksum>, the
 * SSID ending at the first 0D 0A. The verdict: the SSID must be one the
 * radio sees and would list; the key one its network takes, by the
 * firmware's rule when it gives one. */
#include "melvorin_device.h"

#include <string.h>

#include "internal.h"

static int is_hex(uint8_t b)
{
    return (b >= '0' && b <= '9') || (b >= 'a' && b <= 'f') || (b >= 'A' && b <= 'F');
}

/* A WPA2 passphrase (8 to 63 printable ASCII characters) or a pre-shared
 * key written as 64 hexadecimal digits. */
static int wpa2_key(const uint8_t *key, size_t len)
{
    size_t i;
    if (len == 64u) {
        for (i = 0; i < len && is_hex(key[i]); ++i) {
        }
        return i == len;
    }
    if (len < 8u || len > 63u) {
        return 0;
    }
    for (i = 0; i < len; ++i) {
        if (key[i] < 0x20u || key[i] > 0x7Eu) {
            return 0;
        }
    }
    return 1;
}

unsigned mlvd_judge_join(const mlvd_device *dev, const uint8_t *ssid, size_t ssid_len, const uint8_t *key,
                         size_t key_len)
{
    mlvd_network net = {NULL, 0, 0, 0};
    unsigned verdict = 0;
    unsigned i;
    for (i = 0; dev->callbacks->networks(dev->user, i, &net); ++i) {
        if (net.ssid_len == ssid_len && mlvd_listable(&net) && memcmp(net.ssid, ssid, ssid_len) == 0) {
            verdict = MLVD_SSID_OK;
            if (net.open) {
                return MLVD_SSID_OK | MLVD_KEY_OK;
            }
            break;
        }
    }
    if (dev->callbacks->key_ok != NULL ? dev->callbacks->key_ok(dev->user, ssid, ssid_len, key, key_len)
                                       : wpa2_key(key, key_len)) {
        verdict |= MLVD_KEY_OK;
    }
    return verdict;
}
