/* A filling of melvorin_seal's primitive table on Mbed TLS 2.28 (P-256,
 * ECDH, HMAC-SHA256, AES-128-GCM, CTR-DRBG over its entropy source): for
 * the simulator, the tests, and as a pattern for firmware SDKs that ship
 * Mbed TLS. */
#ifndef MLVS_MBEDTLS_H
#define MLVS_MBEDTLS_H

#include <mbedtls/ctr_drbg.h>
#include <mbedtls/entropy.h>
#include <melvorin_seal.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct mlvs_mbedtls {
    mbedtls_entropy_context entropy;
    mbedtls_ctr_drbg_context drbg;
} mlvs_mbedtls;

/* Seeds the generator and fills `crypto` (whose `user` becomes `state`).
 * Returns 0, or Mbed TLS's error. */
int mlvs_mbedtls_init(mlvs_mbedtls *state, mlvs_crypto *crypto);
void mlvs_mbedtls_free(mlvs_mbedtls *state);

#ifdef __cplusplus
}
#endif

#endif
