/* Wire vectors of the device library, run on the host and on an emulated
 * Cortex-M0 alike: one context for all of them, requests in, replies and
 * joins compared byte for byte. */
#ifndef MELVORIN_DEVICE_VECTORS_H
#define MELVORIN_DEVICE_VECTORS_H

#ifdef __cplusplus
extern "C" {
#endif

/* Runs every vector; `fail` gets the name of each that fails and what
 * differed. Returns the number of failures. */
int mlvd_run_vectors(void (*fail)(const char *name, const char *what));

#ifdef __cplusplus
}
#endif

#endif
