/* The sealed join's frames on the unit: the advertisement in the list
 * reply, the sealed join request, the tagged join result. */
#include <string.h>

#include "melvorin_seal.h"

#define CR 0x0Du
#define ADVERT_BODY 88u /* version, three suite ids, key, nonce */

static const uint8_t join_info[] = {'m', 'e', 'l', 'v', 'o', 'r', 'i', 'n', ' ', 's', 'e', 'a', 'l', 'e', 'd', ' ',
                                    'j', 'o', 'i', 'n'};
static const uint8_t result_label[] = {'m', 'e', 'l', 'v', 'o', 'r', 'i', 'n', ' ', 'j', 'o', 'i', 'n', ' ',
                                       'r', 'e', 's', 'u', 'l', 't'};
static const uint8_t online_label[] = {'m', 'e', 'l', 'v', 'o', 'r', 'i', 'n', ' ', 'o', 'n', 'l', 'i', 'n', 'e'};

static uint8_t sum(const uint8_t *bytes, size_t count) {
    uint8_t s = 0;
    while (count-- > 0) {
        s = (uint8_t)(s + *bytes++);
    }
    return s;
}

/* Consistent overhead byte stuffing with 0x0D in the place of zero: the
 * output holds no 0x0D at all, one byte longer than the input (< 254). */
static void stuff(const uint8_t *in, size_t len, uint8_t *out) {
    size_t code_at = 0, at = 1, i;
    uint8_t code = 1;
    for (i = 0; i < len; ++i) {
        if (in[i] == CR) {
            out[code_at] = (uint8_t)(code ^ CR);
            code_at = at++;
            code = 1;
        } else {
            out[at++] = in[i];
            ++code;
        }
    }
    out[code_at] = (uint8_t)(code ^ CR);
}

size_t mlvs_advertise(mlvs_unit *unit, uint8_t *reply, size_t length, size_t capacity) {
    uint8_t body[ADVERT_BODY];
    uint8_t *nonce = unit->nonces[unit->next];
    size_t n = length + MLVS_ADVERT_SIZE;
    if (length < 6 || n > capacity || n - 4 > 255) {
        return 0;
    }
    if (unit->crypto->random(unit->crypto->user, nonce, MLVS_NONCE_SIZE) != 0) {
        return 0;
    }
    unit->live[unit->next] = 1;
    unit->next = (uint8_t)((unit->next + 1u) % MLVS_NONCES);
    body[0] = MLVS_VERSION;
    body[1] = MLVS_KEM_ID >> 8;
    body[2] = MLVS_KEM_ID & 0xFFu;
    body[3] = MLVS_KDF_ID >> 8;
    body[4] = MLVS_KDF_ID & 0xFFu;
    body[5] = MLVS_AEAD_ID >> 8;
    body[6] = MLVS_AEAD_ID & 0xFFu;
    memcpy(body + 7, unit->pk, MLVS_PUBLIC_KEY_SIZE);
    memcpy(body + 7 + MLVS_PUBLIC_KEY_SIZE, nonce, MLVS_NONCE_SIZE);
    /* The advertisement takes the checksum's place; a new checksum follows. */
    reply[length - 1] = MLVS_ADVERT_MARKER;
    stuff(body, sizeof body, reply + length);
    reply[2] = (uint8_t)(n - 4);
    reply[n - 1] = sum(reply + 1, n - 2);
    return n;
}

int mlvs_open_join(mlvs_unit *unit, const uint8_t *frame, size_t length, uint8_t *plain, size_t capacity,
                   mlvs_join *out) {
    uint8_t info[sizeof join_info + MLVS_NONCE_SIZE];
    const uint8_t *nonce = frame + 5;
    const uint8_t *ct = frame + 5 + MLVS_NONCE_SIZE + MLVS_ENC_SIZE;
    size_t ct_len, pt_len, s, k;
    unsigned i;
    unit->opened = 0;
    if (length < MLVS_JOIN_OVERHEAD + 2 || length > 259 || frame[0] != 0xFFu || frame[2] != length - 4 ||
        frame[3] != MLVS_CMD_SEALED_JOIN || frame[4] != MLVS_VERSION || sum(frame + 1, length - 2) != frame[length - 1]) {
        return -1;
    }
    /* One of this unit's nonces, used now once and for all. */
    for (i = 0; i < MLVS_NONCES; ++i) {
        if (unit->live[i] && memcmp(unit->nonces[i], nonce, MLVS_NONCE_SIZE) == 0) {
            break;
        }
    }
    if (i == MLVS_NONCES) {
        return -1;
    }
    unit->live[i] = 0;
    mlvs_online_end(unit); /* a new join: the last one's announcement is over */
    ct_len = length - 1 - (size_t)(ct - frame);
    pt_len = ct_len - MLVS_TAG_SIZE;
    if (capacity < pt_len) {
        return -1;
    }
    memcpy(info, join_info, sizeof join_info);
    memcpy(info + sizeof join_info, nonce, MLVS_NONCE_SIZE);
    /* Bound in: the header, the version and the nonce (offsets 0 .. 20). */
    if (mlvs_setup_recipient(unit->crypto, frame + 5 + MLVS_NONCE_SIZE, unit->sk, unit->pk, info, sizeof info,
                             &unit->context) != 0 ||
        mlvs_open(unit->crypto, &unit->context, frame, 5 + MLVS_NONCE_SIZE, ct, ct_len, plain) != 0) {
        memset(&unit->context, 0, sizeof unit->context);
        return -1;
    }
    /* <S> SSID <K> key token */
    s = plain[0];
    k = s + 1 < pt_len ? plain[s + 1] : 0;
    if (s == 0 || s + k + 2 + MLVS_TOKEN_SIZE != pt_len) {
        memset(plain, 0, pt_len);
        memset(&unit->context, 0, sizeof unit->context);
        return -1;
    }
    out->ssid = plain + 1;
    out->ssid_len = s;
    out->key = plain + 2 + s;
    out->key_len = k;
    out->token = plain + 2 + s + k;
    memcpy(unit->token, out->token, MLVS_TOKEN_SIZE);
    unit->opened = 1;
    return 0;
}

size_t mlvs_join_result(mlvs_unit *unit, uint8_t ssid_verdict, uint8_t key_verdict, uint8_t *reply,
                        size_t capacity) {
    uint8_t context[sizeof result_label + 2];
    if (!unit->opened || capacity < MLVS_RESULT_SIZE) {
        return 0;
    }
    memcpy(context, result_label, sizeof result_label);
    context[sizeof result_label] = ssid_verdict;
    context[sizeof result_label + 1] = key_verdict;
    reply[0] = 0xFFu;
    reply[1] = 0x00;
    reply[2] = MLVS_RESULT_SIZE - 4;
    reply[3] = 0x82u;
    reply[4] = ssid_verdict;
    reply[5] = key_verdict;
    if (mlvs_export(unit->crypto, &unit->context, context, sizeof context, reply + 6, MLVS_TAG_SIZE) != 0) {
        return 0;
    }
    reply[MLVS_RESULT_SIZE - 1] = sum(reply + 1, MLVS_RESULT_SIZE - 2);
    unit->opened = 0;
    if (ssid_verdict != 0 && key_verdict != 0) {
        /* Only the exporter secret stays, for the announcement's tag. */
        memset(unit->context.key, 0, sizeof unit->context.key);
        memset(unit->context.base_nonce, 0, sizeof unit->context.base_nonce);
        unit->online = 1;
    } else {
        mlvs_online_end(unit);
    }
    return MLVS_RESULT_SIZE;
}

size_t mlvs_online(const mlvs_unit *unit, const uint8_t *mac, const uint8_t *ipv4, uint8_t *buf, size_t capacity) {
    uint8_t context[sizeof online_label + 10];
    if (!unit->online || capacity < MLVS_ONLINE_SIZE) {
        return 0;
    }
    buf[0] = 0xFFu;
    buf[1] = 0x00;
    buf[2] = MLVS_ONLINE_SIZE - 4;
    buf[3] = MLVS_CMD_ONLINE;
    buf[4] = MLVS_VERSION;
    memcpy(buf + 5, mac, 6);
    memcpy(buf + 11, ipv4, 4);
    buf[15] = 0x01; /* flags: sealed */
    memcpy(buf + 16, unit->token, MLVS_TOKEN_SIZE);
    /* "melvorin online" || hardware address || IPv4 address */
    memcpy(context, online_label, sizeof online_label);
    memcpy(context + sizeof online_label, buf + 5, 10);
    if (mlvs_export(unit->crypto, &unit->context, context, sizeof context, buf + 16 + MLVS_TOKEN_SIZE,
                    MLVS_TAG_SIZE) != 0) {
        return 0;
    }
    buf[MLVS_ONLINE_SIZE - 1] = sum(buf + 1, MLVS_ONLINE_SIZE - 2);
    return MLVS_ONLINE_SIZE;
}

void mlvs_online_end(mlvs_unit *unit) {
    memset(&unit->context, 0, sizeof unit->context);
    memset(unit->token, 0, sizeof unit->token);
    unit->online = 0;
}
