/* melvorin_seal's primitives on Mbed TLS. */
#include <mbedtls/ecdh.h>
#include <mbedtls/ecp.h>
#include <mbedtls/gcm.h>
#include <mbedtls/md.h>
#include <mlvs_mbedtls.h>

static int load(mbedtls_ecp_group *group, mbedtls_mpi *d, const uint8_t sk[32]) {
    int result = mbedtls_ecp_group_load(group, MBEDTLS_ECP_DP_SECP256R1);
    if (result == 0) {
        result = mbedtls_mpi_read_binary(d, sk, 32);
    }
    if (result == 0) {
        result = mbedtls_ecp_check_privkey(group, d);
    }
    return result;
}

static int p256_public(void *user, const uint8_t sk[32], uint8_t pub[65]) {
    mlvs_mbedtls *state = (mlvs_mbedtls *)user;
    mbedtls_ecp_group group;
    mbedtls_mpi d;
    mbedtls_ecp_point q;
    size_t written = 0;
    int result;
    mbedtls_ecp_group_init(&group);
    mbedtls_mpi_init(&d);
    mbedtls_ecp_point_init(&q);
    result = load(&group, &d, sk);
    if (result == 0) {
        result = mbedtls_ecp_mul(&group, &q, &d, &group.G, mbedtls_ctr_drbg_random, &state->drbg);
    }
    if (result == 0) {
        result = mbedtls_ecp_point_write_binary(&group, &q, MBEDTLS_ECP_PF_UNCOMPRESSED, &written, pub, 65);
    }
    mbedtls_ecp_point_free(&q);
    mbedtls_mpi_free(&d);
    mbedtls_ecp_group_free(&group);
    return result != 0 || written != 65;
}

static int p256_shared(void *user, const uint8_t sk[32], const uint8_t peer[65], uint8_t x[32]) {
    mlvs_mbedtls *state = (mlvs_mbedtls *)user;
    mbedtls_ecp_group group;
    mbedtls_mpi d, z;
    mbedtls_ecp_point q;
    int result;
    mbedtls_ecp_group_init(&group);
    mbedtls_mpi_init(&d);
    mbedtls_mpi_init(&z);
    mbedtls_ecp_point_init(&q);
    result = load(&group, &d, sk);
    if (result == 0) {
        result = mbedtls_ecp_point_read_binary(&group, &q, peer, 65);
    }
    if (result == 0) {
        result = mbedtls_ecp_check_pubkey(&group, &q);
    }
    if (result == 0) {
        result = mbedtls_ecdh_compute_shared(&group, &z, &q, &d, mbedtls_ctr_drbg_random, &state->drbg);
    }
    if (result == 0) {
        result = mbedtls_mpi_write_binary(&z, x, 32);
    }
    mbedtls_ecp_point_free(&q);
    mbedtls_mpi_free(&z);
    mbedtls_mpi_free(&d);
    mbedtls_ecp_group_free(&group);
    return result;
}

static int hmac_sha256(void *user, const uint8_t *key, size_t key_len, const mlvs_span *parts, size_t count,
                       uint8_t mac[32]) {
    mbedtls_md_context_t md;
    size_t i;
    int result;
    (void)user;
    mbedtls_md_init(&md);
    result = mbedtls_md_setup(&md, mbedtls_md_info_from_type(MBEDTLS_MD_SHA256), 1);
    if (result == 0) {
        result = mbedtls_md_hmac_starts(&md, key, key_len);
    }
    for (i = 0; i < count && result == 0; ++i) {
        result = mbedtls_md_hmac_update(&md, parts[i].data, parts[i].len);
    }
    if (result == 0) {
        result = mbedtls_md_hmac_finish(&md, mac);
    }
    mbedtls_md_free(&md);
    return result;
}

static int aes128gcm_open(void *user, const uint8_t key[16], const uint8_t nonce[12], const uint8_t *aad,
                          size_t aad_len, const uint8_t *ct, size_t len, const uint8_t tag[16], uint8_t *pt) {
    mbedtls_gcm_context gcm;
    int result;
    (void)user;
    mbedtls_gcm_init(&gcm);
    result = mbedtls_gcm_setkey(&gcm, MBEDTLS_CIPHER_ID_AES, key, 128);
    if (result == 0) {
        result = mbedtls_gcm_auth_decrypt(&gcm, len, nonce, 12, aad, aad_len, tag, 16, ct, pt);
    }
    mbedtls_gcm_free(&gcm);
    return result;
}

static int random_bytes(void *user, uint8_t *out, size_t len) {
    return mbedtls_ctr_drbg_random(&((mlvs_mbedtls *)user)->drbg, out, len);
}

int mlvs_mbedtls_init(mlvs_mbedtls *state, mlvs_crypto *crypto) {
    static const unsigned char personal[] = "melvorin seal";
    mbedtls_entropy_init(&state->entropy);
    mbedtls_ctr_drbg_init(&state->drbg);
    crypto->user = state;
    crypto->p256_public = p256_public;
    crypto->p256_shared = p256_shared;
    crypto->hmac_sha256 = hmac_sha256;
    crypto->aes128gcm_open = aes128gcm_open;
    crypto->random = random_bytes;
    return mbedtls_ctr_drbg_seed(&state->drbg, mbedtls_entropy_func, &state->entropy, personal, sizeof personal - 1);
}

void mlvs_mbedtls_free(mlvs_mbedtls *state) {
    mbedtls_ctr_drbg_free(&state->drbg);
    mbedtls_entropy_free(&state->entropy);
}
