#include "net/http_types.h"

#include <utility>

#undef DELETE  // see HttpMethod

namespace obs_sayline {

const char* httpMethodName(HttpMethod method) noexcept {
    switch (method) {
        case HttpMethod::GET:
            return "GET";
        case HttpMethod::POST:
            return "POST";
        case HttpMethod::PUT:
            return "PUT";
        case HttpMethod::DELETE:
            return "DELETE";
        case HttpMethod::PATCH:
            return "PATCH";
        case HttpMethod::HEAD:
            return "HEAD";
        case HttpMethod::OPTIONS:
            return "OPTIONS";
    }
    return "UNKNOWN";
}

HttpRequest& HttpRequest::setHeader(const std::string& name, const std::string& value) {
    headers[name] = value;
    return *this;
}

HttpRequest& HttpRequest::addTextField(const std::string& name, const std::string& value) {
    MultipartField field;
    field.name = name;
    field.value = value;
    multipartFields.push_back(std::move(field));
    return *this;
}

HttpRequest& HttpRequest::addFileField(const std::string& name, const std::string& filename,
                                       std::vector<uint8_t> data, const std::string& contentType) {
    MultipartField field;
    field.name = name;
    field.filename = filename;
    field.data = std::move(data);
    field.contentType = contentType;
    multipartFields.push_back(std::move(field));
    return *this;
}

}  // namespace obs_sayline
