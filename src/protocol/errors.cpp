#include "protocol/errors.h"

namespace melvorin {

EConvertError EConvertError::NotAnInteger(const std::string& text) {
    return EConvertError("'" + text + "' is not a valid integer value");
}

}  // namespace melvorin
