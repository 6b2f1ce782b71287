/*
 * melvorin_seal: the unit's half of the sealed join, an optional extension
 * of melvorin_device. HPKE (RFC 9180) in base mode with one suite,
 * DHKEM(P-256, HKDF-SHA256) / HKDF-SHA256 / AES-128-GCM, recipient side:
 * the unit's key pair, opening a sealed message and exporting secrets.
 *
 * The library holds no cryptographic primitive of its own: the firmware
 * fills an mlvs_crypto table from its SDK (port/mbedtls/ is a filling on
 * Mbed TLS). C99, no heap, no static mutable state; it needs memcpy, memset
 * and memcmp. A return of 0 is success, anything else failure.
 */
#ifndef MELVORIN_SEAL_H
#define MELVORIN_SEAL_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define MLVS_PUBLIC_KEY_SIZE 65u /* uncompressed P-256 point: 0x04, x, y */
#define MLVS_SECRET_KEY_SIZE 32u
#define MLVS_ENC_SIZE 65u /* the sender's ephemeral public key */
#define MLVS_TAG_SIZE 16u
#define MLVS_KEM_ID 0x0010u
#define MLVS_KDF_ID 0x0001u
#define MLVS_AEAD_ID 0x0001u

typedef struct mlvs_span {
    const uint8_t *data;
    size_t len;
} mlvs_span;

/* The primitives, from the firmware's SDK. `user` is passed back to each. */
typedef struct mlvs_crypto {
    void *user;
    /* pub = sk times P-256's base point, uncompressed; fails when sk (big
     * endian) is 0 or not below the group order. */
    int (*p256_public)(void *user, const uint8_t sk[32], uint8_t pub[65]);
    /* x = the x coordinate of sk times `peer`, big endian; fails when
     * `peer` is no point of the curve. */
    int (*p256_shared)(void *user, const uint8_t sk[32], const uint8_t peer[65], uint8_t x[32]);
    /* mac = HMAC-SHA256(key, the parts one after the other). */
    int (*hmac_sha256)(void *user, const uint8_t *key, size_t key_len, const mlvs_span *parts, size_t count,
                       uint8_t mac[32]);
    /* Checks `tag` and decrypts `len` bytes of `ct` into `pt`; fails (and
     * leaves nothing usable in `pt`) when the tag does not match. */
    int (*aes128gcm_open)(void *user, const uint8_t key[16], const uint8_t nonce[12], const uint8_t *aad,
                          size_t aad_len, const uint8_t *ct, size_t len, const uint8_t tag[16], uint8_t *pt);
    /* Fills `out` from a cryptographically secure source. */
    int (*random)(void *user, uint8_t *out, size_t len);
} mlvs_crypto;

/* An opened HPKE context: holds secrets, clear it after use. */
typedef struct mlvs_context {
    uint8_t key[16];
    uint8_t base_nonce[12];
    uint8_t exporter_secret[32];
    uint32_t sequence;
} mlvs_context;

/* DeriveKeyPair(ikm) of RFC 9180: the unit's key pair from at least 32
 * secret bytes (from crypto->random, made once and kept in flash). */
int mlvs_derive_keypair(const mlvs_crypto *crypto, const uint8_t *ikm, size_t ikm_len, uint8_t sk[32],
                        uint8_t pk[65]);
/* A fresh key pair from crypto->random. */
int mlvs_generate_keypair(const mlvs_crypto *crypto, uint8_t sk[32], uint8_t pk[65]);

/* SetupBaseR: the context for the message whose sender sent `enc`, to the
 * unit's key pair (sk, pk), bound to `info`. */
int mlvs_setup_recipient(const mlvs_crypto *crypto, const uint8_t enc[65], const uint8_t sk[32],
                         const uint8_t pk[65], const uint8_t *info, size_t info_len, mlvs_context *context);
/* Open: `ct_len` bytes of ciphertext with the tag at their end; writes
 * ct_len - MLVS_TAG_SIZE bytes to `pt`. The next call opens the next
 * message of the sequence. */
int mlvs_open(const mlvs_crypto *crypto, mlvs_context *context, const uint8_t *aad, size_t aad_len,
              const uint8_t *ct, size_t ct_len, uint8_t *pt);
/* Export: `out_len` (at most 8160) bytes bound to `exporter_context`. */
int mlvs_export(const mlvs_crypto *crypto, const mlvs_context *context, const uint8_t *exporter_context,
                size_t exporter_context_len, uint8_t *out, size_t out_len);

/* ---- The sealed join on the wire (docs/sealed-join.md) ---- */

#define MLVS_NONCE_SIZE 16u
#define MLVS_TOKEN_SIZE 16u
/* The advertisement appended to a list reply before its checksum. */
#define MLVS_ADVERT_SIZE 90u
#define MLVS_ADVERT_MARKER 0x53u
#define MLVS_VERSION 0x01u
/* The sealed join's command byte; its result is a join result (0x82). */
#define MLVS_CMD_SEALED_JOIN 0x03u
/* A sealed join is 121 + SSID + key bytes; a frame is at most 259. */
#define MLVS_JOIN_OVERHEAD 121u
#define MLVS_MAX_SSID_AND_KEY 138u
/* A sealed join result: FF 00 13 82 <ssid verdict> <key verdict> <tag> <sum>. */
#define MLVS_RESULT_SIZE 23u
/* Nonces handed out and not yet used; the oldest goes first. */
#define MLVS_NONCES 4u

/* The unit's sealed state: its key pair (kept in flash by the firmware),
 * the nonces of its latest list replies, and the context of the join it
 * opened last, for the result's tag; after an accepted join's result, only
 * its exporter secret and the station's token, for the online
 * announcement. Zero it before first use. */
typedef struct mlvs_unit {
    const mlvs_crypto *crypto;
    const uint8_t *sk; /* 32 bytes */
    const uint8_t *pk; /* 65 bytes */
    uint8_t nonces[MLVS_NONCES][MLVS_NONCE_SIZE];
    uint8_t live[MLVS_NONCES];
    uint8_t next;
    uint8_t opened; /* `context` is that of a join opened */
    uint8_t online; /* `context.exporter_secret` and `token`: an accepted join's */
    mlvs_context context;
    uint8_t token[MLVS_TOKEN_SIZE];
} mlvs_unit;

/* What a sealed join carried; the pointers are into the caller's buffer. */
typedef struct mlvs_join {
    const uint8_t *ssid;
    size_t ssid_len;
    const uint8_t *key;
    size_t key_len;
    const uint8_t *token; /* MLVS_TOKEN_SIZE bytes */
} mlvs_join;

/* Appends the advertisement (a fresh nonce) to the finished list reply of
 * `length` bytes in `reply`, fixing its length byte and checksum. Returns
 * the new length, or 0 when `capacity` or the length byte has no room
 * (build the list with MLVS_ADVERT_SIZE bytes less room). */
size_t mlvs_advertise(mlvs_unit *unit, uint8_t *reply, size_t length, size_t capacity);

/* Opens a sealed join frame into `plain` (at least length bytes): 0 and
 * `*out` filled, or failure (no reply is due then). Each nonce opens at most
 * one join, and only a nonce of this unit's recent list replies does. */
int mlvs_open_join(mlvs_unit *unit, const uint8_t *frame, size_t length, uint8_t *plain, size_t capacity,
                   mlvs_join *out);

/* The join result for the join opened last, its tag in the bytes after
 * the verdicts; returns MLVS_RESULT_SIZE, or 0. The context is then
 * cleared, but for an accepted join (both verdicts non-zero) its exporter
 * secret and the token are kept for mlvs_online(), until mlvs_online_end()
 * or the next sealed join that reaches the opening. */
size_t mlvs_join_result(mlvs_unit *unit, uint8_t ssid_verdict, uint8_t key_verdict, uint8_t *reply,
                        size_t capacity);

/* The sealed online announcement (docs/sealed-join.md), sent as
 * melvorin_device.h's clear one is, on its schedule:
 * FF 00 2D 84 01 <mac, 6> <ipv4, 4> 01 <token, 16> <tag, 16> <checksum>,
 * the tag binding the hardware and IPv4 addresses to the sealed join.
 * Returns MLVS_ONLINE_SIZE, or 0 when `capacity` is smaller or no accepted
 * sealed join is kept. */
#define MLVS_CMD_ONLINE 0x84u
#define MLVS_ONLINE_SIZE 49u
size_t mlvs_online(const mlvs_unit *unit, const uint8_t *mac, const uint8_t *ipv4, uint8_t *buf, size_t capacity);

/* Forgets the accepted join's secret and token: call when the
 * announcements are done. */
void mlvs_online_end(mlvs_unit *unit);

#ifdef __cplusplus
}
#endif

#endif
