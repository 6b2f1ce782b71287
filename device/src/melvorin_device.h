/* The public header, found from here too: Arduino's build searches only the
 * library's src/ folder. */
#include "../include/melvorin_device.h"
