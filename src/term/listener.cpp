#include "term/listener.hpp"

namespace kestrum_term {

namespace {
template <class... Ts>
struct Overloaded : Ts... {
    using Ts::operator()...;
};
}  // namespace

void EventCollector::send_event(kestrum::vt::Event event) {
    std::lock_guard lock(sink_->mutex);
    EventSink& s = *sink_;
    std::visit(Overloaded{
                   [&](kestrum::vt::event::Title& e) {
                       s.title = {TitleChange::Kind::set, std::move(e.text)};
                   },
                   [&](kestrum::vt::event::ResetTitle&) {
                       s.title = {TitleChange::Kind::reset, {}};
                   },
                   [&](kestrum::vt::event::PtyWrite& e) {
                       s.replies.emplace_back(std::in_place_type<reply::Text>, std::move(e.bytes));
                   },
                   [&](kestrum::vt::event::ColorRequest& e) {
                       s.replies.emplace_back(std::in_place_type<reply::Color>, e.index, e.format);
                   },
                   [&](kestrum::vt::event::TextAreaSizeRequest& e) {
                       s.replies.emplace_back(std::in_place_type<reply::TextAreaSize>, e.format);
                   },
                   [&](kestrum::vt::event::Bell&) { s.bell = true; },
                   // Clipboard requests get neither a store nor a reply.
                   [](kestrum::vt::event::ClipboardStore&) {},
                   [](kestrum::vt::event::ClipboardLoad&) {},
                   [](kestrum::vt::event::CursorBlinkingChange&) {},
               },
               event);
}

}  // namespace kestrum_term
