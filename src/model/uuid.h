#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zerin {

// A 128-bit identity (libuuid). Text form: 36 characters, upper-case hexadecimal in groups
// 8-4-4-4-12.
struct Uuid {
    std::array<std::uint8_t, 16> bytes{};

    static Uuid random(); // version 4
    static std::optional<Uuid> parse(std::string_view text);
    std::string text() const;

    friend bool operator==(const Uuid&, const Uuid&) = default;
    friend auto operator<=>(const Uuid&, const Uuid&) = default;
};

} // namespace zerin
