/* Frames: FF 00 <length> <command> <payload> <checksum>, the length byte
 * counting from the command to the last payload byte (n - 4), the checksum
 * the sum of offsets 1 .. n-2 modulo 256. */
#include "melvorin_device.h"

#include "internal.h"

uint8_t mlvd_checksum(const uint8_t *bytes, size_t count)
{
    uint8_t sum = 0;
    size_t i;
    for (i = 0; i < count; ++i) {
        sum = (uint8_t)(sum + bytes[i]);
    }
    return sum;
}

int mlvd_frame_ok(const uint8_t *datagram, size_t length)
{
    if (datagram == NULL || length < MLVD_MIN_FRAME || length > MLVD_MAX_FRAME) {
        return 0;
    }
    if (datagram[0] != MLVD_LEAD || datagram[2] != (uint8_t)(length - 4u)) {
        return 0;
    }
    return mlvd_checksum(datagram + 1, length - 2u) == datagram[length - 1u];
}

void mlvd_seal(uint8_t *frame, size_t length)
{
    frame[0] = MLVD_LEAD;
    frame[1] = 0x00;
    /* A list reply may be longer than one length byte counts; it then says
     * 255 (stations read records by their endings, never by this byte). */
    frame[2] = (uint8_t)(length - 4u > 255u ? 255u : length - 4u);
    frame[length - 1u] = mlvd_checksum(frame + 1, length - 2u);
}

size_t mlvd_join_result(unsigned verdict, uint8_t *reply, size_t capacity)
{
    if (reply == NULL || capacity < MLVD_JOIN_RESULT_SIZE) {
        return 0;
    }
    reply[3] = MLVD_CMD_JOIN_RESULT;
    reply[4] = (uint8_t)((verdict & MLVD_SSID_OK) ? 0x01 : 0x00);
    reply[5] = (uint8_t)((verdict & MLVD_KEY_OK) ? 0x01 : 0x00);
    mlvd_seal(reply, MLVD_JOIN_RESULT_SIZE);
    return MLVD_JOIN_RESULT_SIZE;
}

size_t mlvd_online(const uint8_t *mac, const uint8_t *ipv4, uint8_t *buf, size_t capacity)
{
    unsigned i;
    if (buf == NULL || capacity < MLVD_ONLINE_SIZE) {
        return 0;
    }
    buf[3] = MLVD_CMD_ONLINE;
    buf[4] = 0x01; /* version */
    for (i = 0; i < 6u; ++i) {
        buf[5u + i] = mac[i];
    }
    for (i = 0; i < 4u; ++i) {
        buf[11u + i] = ipv4[i];
    }
    buf[15] = 0x00; /* flags: clear */
    mlvd_seal(buf, MLVD_ONLINE_SIZE);
    return MLVD_ONLINE_SIZE;
}

uint32_t mlvd_online_delay_ms(unsigned sent)
{
    /* Sent at 0, 1, 2, 4 and 8 s: waits of 1, 1, 2 and 4 s. */
    if (sent == 0 || sent >= MLVD_ONLINE_SENDS) {
        return 0;
    }
    return 1000u << (sent < 2u ? 0u : sent - 2u);
}
