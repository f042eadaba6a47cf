// Where the engine's events wait between a feed and the reader's drain: replies
// (each one whole), the latest title change and the bell.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <variant>
#include <vector>

#include "vt/event.hpp"

namespace kestrum_term {

namespace reply {
struct Text {
    std::string bytes;  // one whole reply
};
struct Color {
    std::uint16_t index;  // 0-268
    kestrum::vt::ColorFormatter format;
};
struct TextAreaSize {
    kestrum::vt::SizeFormatter format;
};
}  // namespace reply

using ReplyItem = std::variant<reply::Text, reply::Color, reply::TextAreaSize>;

struct TitleChange {
    enum class Kind { none, reset, set };
    Kind kind = Kind::none;
    std::string text;  // with `set`
    friend bool operator==(const TitleChange&, const TitleChange&) = default;
};

struct EventSink {
    std::mutex mutex;                // taken only while the terminal's own mutex is held
    std::vector<ReplyItem> replies;  // guarded by mutex
    TitleChange title;               // guarded by mutex
    bool bell = false;               // guarded by mutex
};

// The engine's listener: records events in the shared sink.
class EventCollector final : public kestrum::vt::Listener {
  public:
    explicit EventCollector(std::shared_ptr<EventSink> sink) : sink_(std::move(sink)) {}
    void send_event(kestrum::vt::Event event) override;

  private:
    std::shared_ptr<EventSink> sink_;
};

}  // namespace kestrum_term
