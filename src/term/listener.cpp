#include "term/listener.hpp"

namespace kestrum::term {

namespace {
template <class... Ts>
struct Overloaded : Ts... {
    using Ts::operator()...;
};
}  // namespace

void EventCollector::send_event(vt::Event event) {
    std::lock_guard lock(sink_->mutex);
    EventSink& s = *sink_;
    std::visit(Overloaded{
                   [&](vt::event::Title& e) {
                       s.title = {TitleChange::Kind::set, std::move(e.text)};
                   },
                   [&](vt::event::ResetTitle&) {
                       s.title = {TitleChange::Kind::reset, {}};
                   },
                   [&](vt::event::PtyWrite& e) {
                       s.replies.emplace_back(std::in_place_type<reply::Text>, std::move(e.bytes));
                   },
                   [&](vt::event::ColorRequest& e) {
                       s.replies.emplace_back(std::in_place_type<reply::Color>, e.index, e.format);
                   },
                   [&](vt::event::TextAreaSizeRequest& e) {
                       s.replies.emplace_back(std::in_place_type<reply::TextAreaSize>, e.format);
                   },
                   [&](vt::event::Bell&) { s.bell = true; },
                   // Clipboard requests get neither a store nor a reply.
                   [](vt::event::ClipboardStore&) {},
                   [](vt::event::ClipboardLoad&) {},
                   [](vt::event::CursorBlinkingChange&) {},
               },
               event);
}

}  // namespace kestrum::term
