#include "batch/json_line.h"

#include <charconv>

namespace batch {

namespace {

constexpr int kMaxDepth = 16;

class Reader {
public:
    explicit Reader(std::string_view text)
        : text_(text)
    {
    }

    std::optional<JsonValue> Document(std::string& error)
    {
        JsonValue value;
        SkipSpace();
        if (Value(value, 0)) {
            SkipSpace();
            if (pos_ == text_.size())
                return value;
            Fail("text after the value");
        }
        error = error_ + " at column " + std::to_string(pos_ + 1);
        return std::nullopt;
    }

private:
    bool Fail(const char* why)
    {
        if (error_.empty())
            error_ = why;
        return false;
    }
    void SkipSpace()
    {
        while (pos_ < text_.size()
            && (text_[pos_] == ' ' || text_[pos_] == '\t' || text_[pos_] == '\r' || text_[pos_] == '\n'))
            ++pos_;
    }
    bool Literal(std::string_view word)
    {
        if (text_.substr(pos_, word.size()) != word)
            return Fail("not a JSON value");
        pos_ += word.size();
        return true;
    }

    bool Value(JsonValue& out, int depth)
    {
        if (pos_ >= text_.size())
            return Fail("unexpected end");
        const char c = text_[pos_];
        if (c == '{' || c == '[') {
            if (depth >= kMaxDepth)
                return Fail("nested too deeply");
            return c == '{' ? Object(out, depth + 1) : Array(out, depth + 1);
        }
        if (c == '"') {
            out.kind = JsonValue::Kind::String;
            return String(out.text);
        }
        if (c == 't' || c == 'f') {
            out.kind = JsonValue::Kind::Bool;
            out.boolean = c == 't';
            return Literal(c == 't' ? "true" : "false");
        }
        if (c == 'n') {
            out.kind = JsonValue::Kind::Null;
            return Literal("null");
        }
        if (c == '-' || (c >= '0' && c <= '9'))
            return Number(out);
        return Fail("not a JSON value");
    }

    bool Number(JsonValue& out)
    {
        const std::size_t start = pos_;
        if (text_[pos_] == '-')
            ++pos_;
        auto digits = [&] {
            const std::size_t from = pos_;
            while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9')
                ++pos_;
            return pos_ > from;
        };
        if (!digits())
            return Fail("bad number");
        if (pos_ < text_.size() && text_[pos_] == '.') {
            ++pos_;
            if (!digits())
                return Fail("bad number");
        }
        if (pos_ < text_.size() && (text_[pos_] == 'e' || text_[pos_] == 'E')) {
            ++pos_;
            if (pos_ < text_.size() && (text_[pos_] == '+' || text_[pos_] == '-'))
                ++pos_;
            if (!digits())
                return Fail("bad number");
        }
        out.kind = JsonValue::Kind::Number;
        out.text = std::string(text_.substr(start, pos_ - start));
        return true;
    }

    bool Hex4(std::uint32_t& value)
    {
        if (text_.size() - pos_ < 4)
            return Fail("bad \\u escape");
        value = 0;
        for (int i = 0; i < 4; ++i) {
            const char h = text_[pos_++];
            value <<= 4;
            if (h >= '0' && h <= '9')
                value |= static_cast<std::uint32_t>(h - '0');
            else if (h >= 'a' && h <= 'f')
                value |= static_cast<std::uint32_t>(h - 'a' + 10);
            else if (h >= 'A' && h <= 'F')
                value |= static_cast<std::uint32_t>(h - 'A' + 10);
            else
                return Fail("bad \\u escape");
        }
        return true;
    }

    static void AppendUtf8(std::string& out, std::uint32_t cp)
    {
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }

    bool String(std::string& out)
    {
        ++pos_; // the opening quote
        while (pos_ < text_.size()) {
            const char c = text_[pos_++];
            if (c == '"')
                return true;
            if (static_cast<unsigned char>(c) < 0x20)
                return Fail("control character in a string");
            if (c != '\\') {
                out += c;
                continue;
            }
            if (pos_ >= text_.size())
                break;
            switch (const char e = text_[pos_++]) {
            case '"':
            case '\\':
            case '/':
                out += e;
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'u': {
                std::uint32_t cp = 0;
                if (!Hex4(cp))
                    return false;
                if (cp >= 0xD800 && cp < 0xDC00) {
                    std::uint32_t low = 0;
                    if (text_.substr(pos_, 2) != "\\u")
                        return Fail("lone surrogate");
                    pos_ += 2;
                    if (!Hex4(low))
                        return false;
                    if (low < 0xDC00 || low >= 0xE000)
                        return Fail("lone surrogate");
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                } else if (cp >= 0xDC00 && cp < 0xE000) {
                    return Fail("lone surrogate");
                }
                AppendUtf8(out, cp);
                break;
            }
            default:
                return Fail("bad escape");
            }
        }
        return Fail("unterminated string");
    }

    bool Array(JsonValue& out, int depth)
    {
        out.kind = JsonValue::Kind::Array;
        ++pos_;
        SkipSpace();
        if (pos_ < text_.size() && text_[pos_] == ']') {
            ++pos_;
            return true;
        }
        for (;;) {
            SkipSpace();
            out.items.emplace_back();
            if (!Value(out.items.back(), depth))
                return false;
            SkipSpace();
            if (pos_ < text_.size() && text_[pos_] == ',') {
                ++pos_;
                continue;
            }
            if (pos_ < text_.size() && text_[pos_] == ']') {
                ++pos_;
                return true;
            }
            return Fail("expected , or ]");
        }
    }

    bool Object(JsonValue& out, int depth)
    {
        out.kind = JsonValue::Kind::Object;
        ++pos_;
        SkipSpace();
        if (pos_ < text_.size() && text_[pos_] == '}') {
            ++pos_;
            return true;
        }
        for (;;) {
            SkipSpace();
            if (pos_ >= text_.size() || text_[pos_] != '"')
                return Fail("expected a member name");
            std::string name;
            if (!String(name))
                return false;
            if (out.Find(name))
                return Fail("member named twice");
            SkipSpace();
            if (pos_ >= text_.size() || text_[pos_] != ':')
                return Fail("expected :");
            ++pos_;
            SkipSpace();
            out.members.push_back(JsonMember { std::move(name), JsonValue {} });
            if (!Value(out.members.back().value, depth))
                return false;
            SkipSpace();
            if (pos_ < text_.size() && text_[pos_] == ',') {
                ++pos_;
                continue;
            }
            if (pos_ < text_.size() && text_[pos_] == '}') {
                ++pos_;
                return true;
            }
            return Fail("expected , or }");
        }
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    std::string error_;
};

} // namespace

const JsonValue* JsonValue::Find(std::string_view name) const
{
    for (const auto& [key, value] : members)
        if (key == name)
            return &value;
    return nullptr;
}

std::optional<std::uint32_t> JsonValue::Unsigned() const
{
    if (kind != Kind::Number)
        return std::nullopt;
    std::uint32_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::optional<JsonValue> ParseJson(std::string_view text, std::string& error)
{
    return Reader(text).Document(error);
}

} // namespace batch
