#include "model/uuid.h"

#include <uuid/uuid.h>

namespace zerin {

Uuid Uuid::random() {
    Uuid u;
    uuid_generate_random(u.bytes.data());
    return u;
}

std::optional<Uuid> Uuid::parse(std::string_view text) {
    if (text.size() != 36) return std::nullopt;
    char buffer[37];
    text.copy(buffer, 36);
    buffer[36] = '\0';
    Uuid u;
    if (uuid_parse(buffer, u.bytes.data()) != 0) return std::nullopt;
    return u;
}

std::string Uuid::text() const {
    char buffer[37];
    uuid_unparse_upper(bytes.data(), buffer);
    return std::string(buffer, 36);
}

} // namespace zerin
