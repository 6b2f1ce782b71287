/* Shared by the library's sources only. */
#ifndef MELVORIN_DEVICE_INTERNAL_H
#define MELVORIN_DEVICE_INTERNAL_H

#include "melvorin_device.h"

#define MLVD_LEAD 0xFFu
#define MLVD_CMD_SCAN 0x01u
#define MLVD_CMD_JOIN 0x02u
#define MLVD_CMD_LIST_REPLY 0x81u
#define MLVD_CMD_JOIN_RESULT 0x82u
#define MLVD_CR 0x0Du
#define MLVD_LF 0x0Au
/* The scan request FF 00 01 01 02 is the shortest request; a join request
 * with a length byte of 255 the longest. */
#define MLVD_MIN_FRAME 5u
#define MLVD_MAX_FRAME 259u

/* Writes lead byte, 0x00, length byte and checksum around offsets 3 ..
 * length-2, which the caller has filled. */
void mlvd_seal(uint8_t *frame, size_t length);

/* Whether a station can read the network back as it is: an SSID of at least
 * one byte, holding no 0x0D 0x0A and not starting with 0x0A. */
int mlvd_listable(const mlvd_network *network);

/* The list reply into `reply`; its length, or 0 when not even an empty
 * list fits. */
size_t mlvd_list_reply(const mlvd_device *dev, uint8_t *reply, size_t capacity);

#endif
