// JSON text from the system's texts.
#include "JsonText.h"

#include "Terminal.h"

namespace {

void ConvertStrings(nlohmann::json& value) {
    if (value.is_string()) {
        value = platform::SystemTextToUtf8(value.get_ref<const std::string&>());
    } else if (value.is_structured()) {
        for (nlohmann::json& item : value)
            ConvertStrings(item);
    }
}

}  // namespace

std::string JsonText(nlohmann::json value) {
    ConvertStrings(value);
    return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}
