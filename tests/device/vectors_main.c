/* Runs the wire vectors and prints each failure; exit code 0 when all pass.
 * The same program runs on the host and on the emulated Cortex-M0. */
#include <stdio.h>
#include <stdlib.h>

#include "vectors.h"

static void report(const char *name, const char *what)
{
    printf("FAILED: %s: %s\n", name, what);
}

int main(void)
{
    const int failures = mlvd_run_vectors(report);
    printf("device vectors: %d failed\n", failures);
    /* exit(), not return: under semihosting it is what ends the emulator. */
    exit(failures == 0 ? 0 : 1);
}
