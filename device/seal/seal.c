/* HPKE's recipient side over the firmware's primitives (melvorin_seal.h):
 * only the key schedule of RFC 9180 lives here. */
#include <string.h>

#include "melvorin_seal.h"

#define HASH_SIZE 32u
/* A label and its length, without the terminating zero. */
#define LABEL(text) text, sizeof(text) - 1u

static const uint8_t kem_suite[] = {'K', 'E', 'M', MLVS_KEM_ID >> 8, MLVS_KEM_ID & 0xFFu};
static const uint8_t hpke_suite[] = {'H',
                                     'P',
                                     'K',
                                     'E',
                                     MLVS_KEM_ID >> 8,
                                     MLVS_KEM_ID & 0xFFu,
                                     MLVS_KDF_ID >> 8,
                                     MLVS_KDF_ID & 0xFFu,
                                     MLVS_AEAD_ID >> 8,
                                     MLVS_AEAD_ID & 0xFFu};
static const uint8_t version_label[] = {'H', 'P', 'K', 'E', '-', 'v', '1'};

static mlvs_span span(const void *data, size_t len) {
    mlvs_span s;
    s.data = (const uint8_t *)data;
    s.len = len;
    return s;
}

/* LabeledExtract: HMAC(salt, "HPKE-v1" || suite || label || ikm); an empty
 * salt is HashLen zero bytes. */
static int labeled_extract(const mlvs_crypto *c, const uint8_t *suite, size_t suite_len, const uint8_t *salt,
                           size_t salt_len, const char *label, size_t label_len, const uint8_t *ikm, size_t ikm_len,
                           uint8_t out[HASH_SIZE]) {
    static const uint8_t zeros[HASH_SIZE] = {0};
    mlvs_span parts[4];
    parts[0] = span(version_label, sizeof version_label);
    parts[1] = span(suite, suite_len);
    parts[2] = span(label, label_len);
    parts[3] = span(ikm, ikm_len);
    if (salt_len == 0) {
        salt = zeros;
        salt_len = sizeof zeros;
    }
    return c->hmac_sha256(c->user, salt, salt_len, parts, 4, out);
}

/* LabeledExpand: RFC 5869's Expand over I2OSP(L, 2) || "HPKE-v1" || suite
 * || label || info. */
static int labeled_expand(const mlvs_crypto *c, const uint8_t *suite, size_t suite_len, const uint8_t prk[HASH_SIZE],
                          const char *label, size_t label_len, const uint8_t *info, size_t info_len, uint8_t *out, size_t len) {
    uint8_t block[HASH_SIZE];
    uint8_t length[2];
    uint8_t counter = 0;
    size_t done = 0;
    mlvs_span parts[7];
    if (len > 255u * HASH_SIZE) {
        return -1;
    }
    length[0] = (uint8_t)(len >> 8);
    length[1] = (uint8_t)len;
    while (done < len) {
        size_t take = len - done < HASH_SIZE ? len - done : HASH_SIZE;
        ++counter;
        parts[0] = span(block, counter == 1 ? 0 : HASH_SIZE);
        parts[1] = span(length, 2);
        parts[2] = span(version_label, sizeof version_label);
        parts[3] = span(suite, suite_len);
        parts[4] = span(label, label_len);
        parts[5] = span(info, info_len);
        parts[6] = span(&counter, 1);
        if (c->hmac_sha256(c->user, prk, HASH_SIZE, parts, 7, block) != 0) {
            memset(block, 0, sizeof block);
            return -1;
        }
        memcpy(out + done, block, take);
        done += take;
    }
    memset(block, 0, sizeof block);
    return 0;
}

int mlvs_derive_keypair(const mlvs_crypto *crypto, const uint8_t *ikm, size_t ikm_len, uint8_t sk[32],
                        uint8_t pk[65]) {
    uint8_t prk[HASH_SIZE];
    unsigned counter;
    int result = -1;
    if (labeled_extract(crypto, kem_suite, sizeof kem_suite, NULL, 0, LABEL("dkp_prk"), ikm, ikm_len, prk) != 0) {
        return -1;
    }
    /* The first candidate that is a valid scalar (p256_public refuses 0
     * and values from the order up). */
    for (counter = 0; counter <= 255u && result != 0; ++counter) {
        uint8_t c = (uint8_t)counter;
        if (labeled_expand(crypto, kem_suite, sizeof kem_suite, prk, LABEL("candidate"), &c, 1, sk, MLVS_SECRET_KEY_SIZE) !=
            0) {
            break;
        }
        result = crypto->p256_public(crypto->user, sk, pk);
    }
    memset(prk, 0, sizeof prk);
    if (result != 0) {
        memset(sk, 0, MLVS_SECRET_KEY_SIZE);
    }
    return result;
}

int mlvs_generate_keypair(const mlvs_crypto *crypto, uint8_t sk[32], uint8_t pk[65]) {
    uint8_t ikm[MLVS_SECRET_KEY_SIZE];
    int result = crypto->random(crypto->user, ikm, sizeof ikm);
    if (result == 0) {
        result = mlvs_derive_keypair(crypto, ikm, sizeof ikm, sk, pk);
    }
    memset(ikm, 0, sizeof ikm);
    return result;
}

int mlvs_setup_recipient(const mlvs_crypto *crypto, const uint8_t enc[65], const uint8_t sk[32],
                         const uint8_t pk[65], const uint8_t *info, size_t info_len, mlvs_context *context) {
    uint8_t dh[HASH_SIZE];
    uint8_t prk[HASH_SIZE];
    uint8_t kem_context[MLVS_ENC_SIZE + MLVS_PUBLIC_KEY_SIZE];
    uint8_t shared_secret[HASH_SIZE];
    uint8_t schedule[1 + 2 * HASH_SIZE];
    int result = -1;
    memset(context, 0, sizeof *context);
    /* Decap: the shared secret over enc || pkRm. */
    if (crypto->p256_shared(crypto->user, sk, enc, dh) == 0 &&
        labeled_extract(crypto, kem_suite, sizeof kem_suite, NULL, 0, LABEL("eae_prk"), dh, sizeof dh, prk) == 0) {
        memcpy(kem_context, enc, MLVS_ENC_SIZE);
        memcpy(kem_context + MLVS_ENC_SIZE, pk, MLVS_PUBLIC_KEY_SIZE);
        result = labeled_expand(crypto, kem_suite, sizeof kem_suite, prk, LABEL("shared_secret"), kem_context,
                                sizeof kem_context, shared_secret, sizeof shared_secret);
    }
    /* KeySchedule in base mode: no PSK, no PSK id. */
    schedule[0] = 0x00;
    if (result == 0) {
        result = labeled_extract(crypto, hpke_suite, sizeof hpke_suite, NULL, 0, LABEL("psk_id_hash"), NULL, 0,
                                 schedule + 1);
    }
    if (result == 0) {
        result = labeled_extract(crypto, hpke_suite, sizeof hpke_suite, NULL, 0, LABEL("info_hash"), info, info_len,
                                 schedule + 1 + HASH_SIZE);
    }
    if (result == 0) {
        result = labeled_extract(crypto, hpke_suite, sizeof hpke_suite, shared_secret, sizeof shared_secret,
                                 LABEL("secret"), NULL, 0, prk);
    }
    if (result == 0) {
        result = labeled_expand(crypto, hpke_suite, sizeof hpke_suite, prk, LABEL("key"), schedule, sizeof schedule,
                                context->key, sizeof context->key);
    }
    if (result == 0) {
        result = labeled_expand(crypto, hpke_suite, sizeof hpke_suite, prk, LABEL("base_nonce"), schedule,
                                sizeof schedule, context->base_nonce, sizeof context->base_nonce);
    }
    if (result == 0) {
        result = labeled_expand(crypto, hpke_suite, sizeof hpke_suite, prk, LABEL("exp"), schedule, sizeof schedule,
                                context->exporter_secret, sizeof context->exporter_secret);
    }
    memset(dh, 0, sizeof dh);
    memset(prk, 0, sizeof prk);
    memset(shared_secret, 0, sizeof shared_secret);
    if (result != 0) {
        memset(context, 0, sizeof *context);
    }
    return result;
}

int mlvs_open(const mlvs_crypto *crypto, mlvs_context *context, const uint8_t *aad, size_t aad_len,
              const uint8_t *ct, size_t ct_len, uint8_t *pt) {
    uint8_t nonce[12];
    uint32_t sequence = context->sequence;
    size_t i;
    int result;
    if (ct_len < MLVS_TAG_SIZE || sequence == UINT32_MAX) {
        return -1;
    }
    memcpy(nonce, context->base_nonce, sizeof nonce);
    for (i = 0; i < 4; ++i) {
        nonce[sizeof nonce - 1 - i] ^= (uint8_t)(sequence >> (8 * i));
    }
    result = crypto->aes128gcm_open(crypto->user, context->key, nonce, aad, aad_len, ct, ct_len - MLVS_TAG_SIZE,
                                    ct + ct_len - MLVS_TAG_SIZE, pt);
    if (result == 0) {
        context->sequence = sequence + 1;
    }
    return result;
}

int mlvs_export(const mlvs_crypto *crypto, const mlvs_context *context, const uint8_t *exporter_context,
                size_t exporter_context_len, uint8_t *out, size_t out_len) {
    return labeled_expand(crypto, hpke_suite, sizeof hpke_suite, context->exporter_secret, LABEL("sec"), exporter_context,
                          exporter_context_len, out, out_len);
}
