/* One received datagram in, at most one reply out. */
#include "melvorin_device.h"

#include <string.h>

#include "internal.h"

void mlvd_init(mlvd_device *dev, const mlvd_callbacks *callbacks, void *user)
{
    memset(dev, 0, sizeof *dev);
    dev->callbacks = callbacks;
    dev->user = user;
}

static size_t join(mlvd_device *dev, const uint8_t *d, size_t n, uint8_t *reply, size_t capacity)
{
    const size_t end = n - 1u; /* the checksum's offset */
    size_t i;
    if (n < 8u || d[4] != 0x00) {
        return 0;
    }
    for (i = 5; i + 1u < end; ++i) {
        if (d[i] == MLVD_CR && d[i + 1u] == MLVD_LF) {
            const uint8_t *key = d + i + 2u;
            const size_t key_len = end - (i + 2u);
            const unsigned verdict = mlvd_judge_join(dev, d + 5, i - 5u, key, key_len);
            const size_t size = mlvd_join_result(verdict, reply, capacity);
            if (size == 0) {
                return 0;
            }
            if (verdict == (MLVD_SSID_OK | MLVD_KEY_OK)) {
                ++dev->joins;
                if (dev->callbacks->join != NULL) {
                    dev->callbacks->join(dev->user, d + 5, i - 5u, key, key_len);
                }
            } else {
                ++dev->refused;
            }
            return size;
        }
    }
    return 0;
}

size_t mlvd_handle(mlvd_device *dev, const uint8_t *datagram, size_t length, int broadcast, uint8_t *reply,
                   size_t capacity)
{
    size_t size = 0;
    (void)broadcast; /* unicast and broadcast requests are answered alike */
    if (dev == NULL || dev->callbacks == NULL || dev->callbacks->networks == NULL || reply == NULL) {
        return 0;
    }
    if (mlvd_frame_ok(datagram, length)) {
        if (datagram[3] == MLVD_CMD_SCAN) {
            size = mlvd_list_reply(dev, reply, capacity);
            dev->scans = (uint16_t)(dev->scans + (size != 0));
        } else if (datagram[3] == MLVD_CMD_JOIN) {
            size = join(dev, datagram, length, reply, capacity);
        }
    }
    if (size == 0) {
        ++dev->ignored;
    }
    return size;
}
