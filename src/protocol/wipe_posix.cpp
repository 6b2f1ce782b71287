#include <string.h>

#include "protocol/secret_bytes.h"

namespace melvorin {

void WipeBytes(void* data, std::size_t size) {
    if (size > 0) explicit_bzero(data, size);  // an empty buffer may have no address
}

}  // namespace melvorin
