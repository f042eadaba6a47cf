// The project's error value: a message with a chain of causes. Its plain form is
// the message; its alternate form ("{:#}") appends ": " and each cause in turn.
#pragma once

#include <fmt/format.h>

#include <expected>
#include <string>
#include <utility>
#include <vector>

namespace kestrum::core {

class Error {
  public:
    Error() = default;
    explicit Error(std::string message) : message_(std::move(message)) {}

    // Wraps `cause` under a new message: the cause's own chain follows it.
    static Error wrap(std::string message, const Error& cause) {
        Error e(std::move(message));
        e.causes_.reserve(cause.causes_.size() + 1);
        e.causes_.push_back(cause.message_);
        e.causes_.insert(e.causes_.end(), cause.causes_.begin(), cause.causes_.end());
        return e;
    }

    // Appends one cause at the end of the chain.
    Error&& with_cause(std::string cause) && {
        causes_.push_back(std::move(cause));
        return std::move(*this);
    }
    Error& with_cause(std::string cause) & {
        causes_.push_back(std::move(cause));
        return *this;
    }

    const std::string& message() const { return message_; }
    const std::vector<std::string>& causes() const { return causes_; }

    // "message: cause 1: cause 2".
    std::string chained() const {
        std::string out = message_;
        for (const auto& c : causes_) {
            out += ": ";
            out += c;
        }
        return out;
    }

    friend bool operator==(const Error&, const Error&) = default;

  private:
    std::string message_;
    std::vector<std::string> causes_;
};

template <typename T>
using Result = std::expected<T, Error>;

inline std::unexpected<Error> fail(std::string message) {
    return std::unexpected<Error>(Error(std::move(message)));
}

}  // namespace kestrum::core

template <>
struct fmt::formatter<kestrum::core::Error> {
    bool alternate = false;
    constexpr auto parse(fmt::format_parse_context& ctx) {
        auto it = ctx.begin();
        if (it != ctx.end() && *it == '#') {
            alternate = true;
            ++it;
        }
        if (it != ctx.end() && *it != '}') throw fmt::format_error("invalid format for Error");
        return it;
    }
    template <typename Context>
    auto format(const kestrum::core::Error& e, Context& ctx) const {
        return alternate ? fmt::format_to(ctx.out(), "{}", e.chained())
                         : fmt::format_to(ctx.out(), "{}", e.message());
    }
};
