/*
 * melvorin_device: the unit's side of the Melvorin provisioning protocol, for
 * any firmware. C99, no heap, no global or static mutable state, no stdio, no
 * system calls; it needs only memcpy, memset and memcmp from the C library.
 *
 * It never owns a socket. The firmware listens on its search port (1902
 * unless configured otherwise), hands every received datagram to
 * mlvd_handle() and sends whatever reply it returns, unchanged, to the
 * sender's address at port MLVD_REPLY_PORT (12345). Everything that is not
 * a well-formed scan or join request gets no reply at all.
 *
 * Threading: a context is used by one thread at a time; the callbacks run
 * on the thread that called mlvd_handle(), before it returns. Separate
 * contexts share nothing. See docs/device.md.
 */
#ifndef MELVORIN_DEVICE_H
#define MELVORIN_DEVICE_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define MLVD_VERSION_MAJOR 0
#define MLVD_VERSION_MINOR 4
#define MLVD_VERSION_PATCH 0
#define MLVD_VERSION "0.4.0"

/* Replies go to the requesting station's address at this port. */
#define MLVD_REPLY_PORT 12345u
/* The port stations send their requests to unless told otherwise. */
#define MLVD_SEARCH_PORT 1902u

/* A reply buffer of this size holds any join result. */
#define MLVD_JOIN_RESULT_SIZE 7u
/* Bytes of a list reply around its records, and per record on top of the
 * SSID: SSID, one flag byte (0x00), signal, 0x0D 0x0A. */
#define MLVD_LIST_OVERHEAD 6u
#define MLVD_RECORD_OVERHEAD 4u
/* The record count is one byte wide. */
#define MLVD_MAX_RECORDS 255u

/* One network the radio sees. `ssid` need not stay valid after the
 * callback returns the next time. */
typedef struct mlvd_network {
    const uint8_t *ssid;
    uint8_t ssid_len;
    uint8_t signal; /* percent, shown by the station as given */
    uint8_t open;   /* non-zero: the network takes no key */
} mlvd_network;

/* Filled by the firmware; `networks` is required, `join` and `key_ok` may
 * be NULL. */
typedef struct mlvd_callbacks {
    /* Fills `*out` with network number `index` (0, 1, 2, ...) and returns
     * non-zero, or returns 0 when there is no such network. Called several
     * times per request with the same index: it must answer the same way
     * within one mlvd_handle() call. */
    int (*networks)(void *user, unsigned index, mlvd_network *out);
    /* A join the library accepted: the reply is already built. Runs inside
     * mlvd_handle(), before the reply is sent: copy the bytes (they live in
     * the received datagram) and connect after sending the reply. A failed
     * connect needs no reboot: the context keeps answering. */
    void (*join)(void *user, const uint8_t *ssid, size_t ssid_len, const uint8_t *key, size_t key_len);
    /* The firmware's own key rule for a network that takes a key: non-zero
     * when `key` is one the network `ssid` takes (the SSID may be one the
     * radio does not see). NULL: the built-in rule of mlvd_judge_join().
     * Never asked about an open network's key. */
    int (*key_ok)(void *user, const uint8_t *ssid, size_t ssid_len, const uint8_t *key, size_t key_len);
} mlvd_callbacks;

/* The caller's context: initialise with mlvd_init(), keep it as long as
 * requests are handled. The counters only count (and wrap). */
typedef struct mlvd_device {
    const mlvd_callbacks *callbacks;
    void *user;
    uint16_t scans;   /* list replies built */
    uint16_t joins;   /* joins accepted and handed to `join` */
    uint16_t refused; /* join results that refused */
    uint16_t ignored; /* datagrams that got no reply */
} mlvd_device;

void mlvd_init(mlvd_device *dev, const mlvd_callbacks *callbacks, void *user);

/* Handles one received datagram. `broadcast` says whether it was addressed
 * to a broadcast address; both are answered alike by this core (the flag is
 * there for extensions and the firmware's own policy). Writes the reply into
 * `reply` (at most `capacity` bytes) and returns its length, or 0: send
 * nothing. The reply goes to the sender's address, port MLVD_REPLY_PORT. */
size_t mlvd_handle(mlvd_device *dev, const uint8_t *datagram, size_t length, int broadcast, uint8_t *reply,
                   size_t capacity);

/* The parts mlvd_handle() is made of, for extensions that add a command. */

/* Sum of `count` bytes modulo 256. */
uint8_t mlvd_checksum(const uint8_t *bytes, size_t count);

/* Whether `datagram` is a frame a station builds: lead byte 0xFF, length
 * byte = length - 4, checksum over offsets 1 .. length-2. */
int mlvd_frame_ok(const uint8_t *datagram, size_t length);

/* Verdict bits of a join, as the join result carries them. */
#define MLVD_SSID_OK 1u
#define MLVD_KEY_OK 2u

/* The verdict for joining `ssid` with `key`: MLVD_SSID_OK when the radio
 * sees the network and would list it; MLVD_KEY_OK when the network is open
 * or `key_ok` takes the key, or, without `key_ok`, the key is one a WPA2
 * network takes (8 to 63 printable ASCII characters, or 64 hexadecimal
 * digits). Calls no `join`. */
unsigned mlvd_judge_join(const mlvd_device *dev, const uint8_t *ssid, size_t ssid_len, const uint8_t *key,
                         size_t key_len);

/* FF 00 03 82 <ssid verdict> <key verdict> <checksum> into `reply`;
 * returns 7, or 0 when `capacity` is smaller. */
size_t mlvd_join_result(unsigned verdict, uint8_t *reply, size_t capacity);

/* The online announcement: once the unit has its address on the network
 * it joined, it tells every station there, from that address, by a
 * broadcast to 255.255.255.255 port MLVD_REPLY_PORT:
 * FF 00 0D 84 01 <hardware address, 6> <IPv4 address, 4> 00 <checksum>.
 * Stations of the protocol ignore the command. The firmware owns the
 * socket and the timer: it sends the first at once and the next after each
 * wait mlvd_online_delay_ms() gives, MLVD_ONLINE_SENDS in all (at 0, 1, 2,
 * 4 and 8 s). A sealed join's announcement is melvorin_seal's. */
#define MLVD_CMD_ONLINE 0x84u
#define MLVD_ONLINE_SIZE 17u
#define MLVD_ONLINE_SENDS 5u

/* The clear announcement of `mac` (6 bytes) and `ipv4` (4 bytes, network
 * order, as in the address) into `buf`; returns MLVD_ONLINE_SIZE, or 0 when
 * `capacity` is smaller. */
size_t mlvd_online(const uint8_t *mac, const uint8_t *ipv4, uint8_t *buf, size_t capacity);

/* The wait in milliseconds after `sent` announcements have gone out before
 * the next; 0 when that was the last (or `sent` is 0). */
uint32_t mlvd_online_delay_ms(unsigned sent);

#ifdef __cplusplus
}
#endif

#endif
