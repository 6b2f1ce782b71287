#include "protocol/errors.h"

namespace melvorin {

TErrorInfo CurrentError() {
    try {
        throw;
    } catch (const Exception& e) {
        return {e.ClassName(), e.Message()};
    } catch (const std::exception& e) {
        return {"Exception", e.what()};
    } catch (...) {
        return {"Exception", "Unknown error"};
    }
}

EConvertError EConvertError::NotAnInteger(const std::string& text) {
    return EConvertError("'" + text + "' is not a valid integer value");
}

}  // namespace melvorin
