#pragma once

// A small reader for the one-object-per-line JSON that pelmora-cli writes (batch plans and
// reports), so the command line can read its own machine output back.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace batch {

struct JsonMember;

/// One JSON value. Numbers keep their text; strings are decoded to bytes (escapes resolved,
/// \u escapes as UTF-8; other bytes, valid UTF-8 or not, pass through as written).
struct JsonValue {
    enum class Kind { Null, Bool, Number, String, Array, Object };
    Kind kind = Kind::Null;
    bool boolean = false;
    std::string text; ///< a string's bytes, or a number's text
    std::vector<JsonValue> items;
    /// In the order written. (A vector of a struct declared later: a pair of this still
    /// incomplete type is not allowed by every standard library.)
    std::vector<JsonMember> members;

    /// The member named `name`, or null when there is none.
    const JsonValue* Find(std::string_view name) const;
    /// A number that is a whole value from 0 to 2^32 - 1.
    std::optional<std::uint32_t> Unsigned() const;
};

struct JsonMember {
    std::string name;
    JsonValue value;
};

/// Parses one whole JSON value (surrounding spaces allowed, nothing else after it). Nesting is
/// limited to 16 levels. On failure returns nothing and sets `error` to a short reason.
std::optional<JsonValue> ParseJson(std::string_view text, std::string& error);

} // namespace batch
