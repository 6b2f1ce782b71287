#include <windows.h>

#include "protocol/secret_bytes.h"

namespace melvorin {

void WipeBytes(void* data, std::size_t size) {
    if (size > 0) SecureZeroMemory(data, size);
}

}  // namespace melvorin
