// The escape-sequence parser: a switch-per-state DEC/ANSI machine with UTF-8
// decoding in the ground state. It never allocates after construction and hands
// printable text to its handler in runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace kestrum::vt {

// CSI parameters: at most 32 values (the rest are dropped and `overflow` set),
// each saturating at 65535. A value that follows a ':' is a sub-parameter of the
// one before it. An empty parameter reads as 0.
struct Params {
    static constexpr int max = 32;
    std::uint16_t values[max];
    std::uint32_t sub_mask = 0;  // bit i: values[i] was introduced by ':'
    std::uint8_t count = 0;
    bool overflow = false;

    std::uint16_t at(int i, std::uint16_t fallback = 0) const {
        return i < count ? values[i] : fallback;
    }
    // The usual "0 or absent means 1" reading of counts and positions.
    std::uint16_t count_at(int i) const {
        std::uint16_t v = at(i);
        return v == 0 ? 1 : v;
    }
    bool is_sub(int i) const { return i < count && (sub_mask >> i) & 1; }
};

struct Csi {
    Params params;
    std::uint8_t marker = 0;  // private marker '<' '=' '>' '?', or 0
    std::uint8_t intermediates[2] = {0, 0};
    std::uint8_t n_intermediates = 0;
    std::uint8_t final = 0;
    std::uint8_t intermediate() const { return n_intermediates ? intermediates[0] : 0; }
};

// Payloads longer than this are discarded whole.
inline constexpr std::size_t osc_max_payload = 64 * 1024;

// Handler requirements (no virtual calls; the parser is instantiated per handler):
//   void print_ascii(const std::uint8_t* s, std::size_t n);  // bytes 0x20..0x7e
//   void print(const char32_t* s, std::size_t n);            // decoded code points
//   void execute(std::uint8_t c);             // C0 controls and C1 code points 0x80..0x9f
//   void csi_dispatch(const Csi& csi);
//   void esc_dispatch(const std::uint8_t* intermediates, std::size_t n, std::uint8_t final);
//   void osc_dispatch(std::span<const std::uint8_t> payload, bool bel_terminated);
//   void osc_discarded(std::size_t length);   // payload too long, dropped
//   bool stop_requested();  // asked after each CSI; true makes advance() return early
template <typename Handler>
class Parser {
  public:
    Parser() { osc_.reserve(1024); }

    // Feeds bytes; returns how many were consumed. It returns early only right
    // after a CSI sequence for which the handler asked to stop.
    std::size_t advance(Handler& h, const std::uint8_t* data, std::size_t len) {
        std::size_t i = 0;
        while (i < len) {
            if (state_ == State::ground) {
                if (utf8_need_ == 0) {
                    std::size_t j = i;
                    while (j < len && data[j] >= 0x20 && data[j] < 0x7f)
                        ++j;
                    if (j > i) {
                        h.print_ascii(data + i, j - i);
                        i = j;
                        continue;
                    }
                    std::uint8_t b = data[i];
                    if (b == 0x1b && i + 1 < len && data[i + 1] == '[') {
                        enter_csi();
                        i += 2;
                        continue;
                    }
                    if (b < 0x80) {
                        ++i;
                        if (b != 0x7f) ground_control(h, b);
                        continue;
                    }
                }
                i = decode_run(h, data, i, len);
                continue;
            }
            if (state_ == State::csi_entry || state_ == State::csi_param) {
                // Parameters are most of a CSI sequence: read them in one loop.
                std::size_t j = i;
                for (; j < len; ++j) {
                    const std::uint8_t b = data[j];
                    if (b >= '0' && b <= '9') {
                        param_ = param_ * 10 + (b - '0');
                        if (param_ > 0xffff) param_ = 0xffff;
                    } else if (b == ';' || b == ':') {
                        push_param();
                        next_is_sub_ = b == ':';
                    } else {
                        break;
                    }
                }
                if (j > i) {
                    param_started_ = true;
                    state_ = State::csi_param;
                    i = j;
                    continue;
                }
            }
            bool stop = step(h, data[i]);
            ++i;
            if (stop) return i;
        }
        return len;
    }

    std::size_t advance(Handler& h, std::span<const std::uint8_t> bytes) {
        return advance(h, bytes.data(), bytes.size());
    }

    // Back to the ground state, dropping any partial sequence (RIS).
    void reset() {
        state_ = State::ground;
        utf8_need_ = 0;
        osc_.clear();
    }

    bool in_ground() const { return state_ == State::ground && utf8_need_ == 0; }

  private:
    enum class State : std::uint8_t {
        ground,
        escape,
        escape_intermediate,
        csi_entry,
        csi_param,
        csi_intermediate,
        csi_ignore,
        osc_string,
        osc_escape,
        ignore_string,  // DCS, SOS, PM, APC: consumed up to ST, never interpreted
        ignore_escape,
    };

    void ground_control(Handler& h, std::uint8_t b) {
        if (b == 0x1b) {
            enter_escape();
        } else if (b != 0x18 && b != 0x1a) {
            h.execute(b);
        }
    }

    void enter_escape() {
        state_ = State::escape;
        n_esc_intermediates_ = 0;
    }

    void enter_csi() {
        state_ = State::csi_entry;
        csi_.params.count = 0;
        csi_.params.sub_mask = 0;
        csi_.params.overflow = false;
        csi_.marker = 0;
        csi_.n_intermediates = 0;
        param_ = 0;
        param_started_ = false;
        next_is_sub_ = false;
    }

    void enter_osc() {
        state_ = State::osc_string;
        osc_.clear();
        osc_overflow_ = 0;
    }

    // A C1 control decoded from UTF-8 (U+0080..U+009F).
    void c1_control(Handler& h, std::uint8_t c) {
        switch (c) {
            case 0x90:  // DCS
            case 0x98:  // SOS
            case 0x9e:  // PM
            case 0x9f:  // APC
                state_ = State::ignore_string;
                break;
            case 0x9b:
                enter_csi();
                break;
            case 0x9d:
                enter_osc();
                break;
            case 0x9c:  // ST with nothing to end
                break;
            default:
                h.execute(c);
        }
    }

    // Decodes UTF-8 from data[i] until a control byte or the end; printable code
    // points go to the handler in batches. Returns the index of the next byte to
    // handle. Invalid sequences become U+FFFD and the offending byte is handled
    // again, so text that follows is never lost.
    std::size_t decode_run(Handler& h, const std::uint8_t* data, std::size_t i, std::size_t len) {
        char32_t buf[256];
        std::size_t n = 0;
        auto flush = [&] {
            if (n) h.print(buf, n);
            n = 0;
        };
        while (i < len) {
            std::uint8_t b = data[i];
            if (utf8_need_ > 0) {
                if (b >= utf8_lo_ && b <= utf8_hi_) {
                    utf8_cp_ = (utf8_cp_ << 6) | (b & 0x3f);
                    utf8_lo_ = 0x80;
                    utf8_hi_ = 0xbf;
                    ++i;
                    if (--utf8_need_ == 0) {
                        if (utf8_cp_ >= 0x80 && utf8_cp_ < 0xa0) {
                            flush();
                            c1_control(h, static_cast<std::uint8_t>(utf8_cp_));
                            if (state_ != State::ground) return i;
                        } else {
                            buf[n++] = utf8_cp_;
                        }
                    }
                } else {
                    utf8_need_ = 0;
                    buf[n++] = U'\uFFFD';
                }
            } else if (b < 0x80) {
                if (b < 0x20 || b == 0x7f) break;
                buf[n++] = b;
                ++i;
            } else if (b >= 0xe0 && b <= 0xef && i + 2 < len && b != 0xe0 && b != 0xed &&
                       (data[i + 1] & 0xc0) == 0x80 && (data[i + 2] & 0xc0) == 0x80) {
                // A whole three-byte sequence with no overlong or surrogate form
                // (E0 and ED need the careful path): CJK text is mostly these.
                const char32_t cp = static_cast<char32_t>(
                    (b & 0x0f) << 12 | (data[i + 1] & 0x3f) << 6 | (data[i + 2] & 0x3f));
                buf[n++] = cp;
                i += 3;
            } else {
                ++i;
                if (b >= 0xc2 && b <= 0xdf) {
                    utf8_need_ = 1;
                    utf8_cp_ = b & 0x1f;
                    utf8_lo_ = 0x80;
                    utf8_hi_ = 0xbf;
                } else if (b >= 0xe0 && b <= 0xef) {
                    utf8_need_ = 2;
                    utf8_cp_ = b & 0x0f;
                    utf8_lo_ = b == 0xe0 ? 0xa0 : 0x80;  // no overlongs
                    utf8_hi_ = b == 0xed ? 0x9f : 0xbf;  // no surrogates
                } else if (b >= 0xf0 && b <= 0xf4) {
                    utf8_need_ = 3;
                    utf8_cp_ = b & 0x07;
                    utf8_lo_ = b == 0xf0 ? 0x90 : 0x80;
                    utf8_hi_ = b == 0xf4 ? 0x8f : 0xbf;  // nothing past U+10FFFF
                } else {
                    buf[n++] = U'\uFFFD';
                }
            }
            if (n + 1 >= std::size(buf)) flush();
        }
        flush();
        return i;
    }

    // One byte outside the ground state. Returns true when advance() must stop.
    bool step(Handler& h, std::uint8_t b) {
        switch (state_) {
            case State::ground:
                break;  // handled by advance()
            case State::escape:
                if (b < 0x20) return control_in_sequence(h, b);
                if (b < 0x30) {
                    collect_esc(b);
                    state_ = State::escape_intermediate;
                } else if (b < 0x7f) {
                    switch (b) {
                        case '[':
                            enter_csi();
                            break;
                        case ']':
                            enter_osc();
                            break;
                        case 'P':
                        case 'X':
                        case '^':
                        case '_':
                            state_ = State::ignore_string;
                            break;
                        default:
                            state_ = State::ground;
                            h.esc_dispatch(esc_intermediates_, 0, b);
                    }
                } else if (b >= 0x80) {
                    abort_and_reprocess(h, b);
                }
                break;
            case State::escape_intermediate:
                if (b < 0x20) return control_in_sequence(h, b);
                if (b < 0x30) {
                    collect_esc(b);
                } else if (b < 0x7f) {
                    state_ = State::ground;
                    if (n_esc_intermediates_ <= std::size(esc_intermediates_))
                        h.esc_dispatch(esc_intermediates_, n_esc_intermediates_, b);
                } else if (b >= 0x80) {
                    abort_and_reprocess(h, b);
                }
                break;
            case State::csi_entry:
            case State::csi_param:
                if (b < 0x20) return control_in_sequence(h, b);
                if (b >= '0' && b <= '9') {
                    param_ = param_ * 10 + (b - '0');
                    if (param_ > 0xffff) param_ = 0xffff;
                    param_started_ = true;
                    state_ = State::csi_param;
                } else if (b == ';' || b == ':') {
                    push_param();
                    next_is_sub_ = b == ':';
                    param_started_ = true;
                    state_ = State::csi_param;
                } else if (b >= 0x3c && b <= 0x3f) {
                    if (state_ == State::csi_entry) {
                        csi_.marker = b;
                        state_ = State::csi_param;
                    } else {
                        state_ = State::csi_ignore;
                    }
                } else if (b < 0x30) {
                    collect_csi(b);
                } else if (b < 0x7f) {
                    return dispatch_csi(h, b);
                } else if (b >= 0x80) {
                    abort_and_reprocess(h, b);
                }
                break;
            case State::csi_intermediate:
                if (b < 0x20) return control_in_sequence(h, b);
                if (b < 0x30) {
                    collect_csi(b);
                } else if (b < 0x40) {
                    state_ = State::csi_ignore;
                } else if (b < 0x7f) {
                    return dispatch_csi(h, b);
                } else if (b >= 0x80) {
                    abort_and_reprocess(h, b);
                }
                break;
            case State::csi_ignore:
                if (b < 0x20) return control_in_sequence(h, b);
                if (b >= 0x40 && b < 0x7f) state_ = State::ground;
                break;
            case State::osc_string:
                if (b == 0x07) {
                    finish_osc(h, true);
                } else if (b == 0x1b) {
                    state_ = State::osc_escape;
                } else if (b == 0x18 || b == 0x1a) {
                    state_ = State::ground;
                } else if (b >= 0x20) {
                    if (osc_.size() < osc_max_payload) {
                        osc_.push_back(b);
                    } else {
                        ++osc_overflow_;
                    }
                }
                break;
            case State::osc_escape:
                if (b == '\\') {
                    finish_osc(h, false);
                } else {
                    // An unterminated OSC is dropped; the ESC starts a new sequence.
                    enter_escape();
                    return step(h, b);
                }
                break;
            case State::ignore_string:
                if (b == 0x1b) {
                    state_ = State::ignore_escape;
                } else if (b == 0x18 || b == 0x1a) {
                    state_ = State::ground;
                }
                break;
            case State::ignore_escape:
                if (b == '\\') {
                    state_ = State::ground;
                } else {
                    enter_escape();
                    return step(h, b);
                }
                break;
        }
        return false;
    }

    // C0 controls inside an escape or CSI sequence act at once; CAN and SUB
    // cancel the sequence and ESC restarts it.
    bool control_in_sequence(Handler& h, std::uint8_t b) {
        if (b == 0x1b) {
            enter_escape();
        } else if (b == 0x18 || b == 0x1a) {
            state_ = State::ground;
        } else {
            h.execute(b);
        }
        return false;
    }

    void abort_and_reprocess(Handler& h, std::uint8_t b) {
        state_ = State::ground;
        decode_run(h, &b, 0, 1);
    }

    void collect_esc(std::uint8_t b) {
        if (n_esc_intermediates_ < std::size(esc_intermediates_)) {
            esc_intermediates_[n_esc_intermediates_] = b;
        }
        // One past the array marks "too many": the sequence is ignored.
        if (n_esc_intermediates_ <= std::size(esc_intermediates_)) ++n_esc_intermediates_;
    }

    void collect_csi(std::uint8_t b) {
        if (csi_.n_intermediates < 2) {
            csi_.intermediates[csi_.n_intermediates++] = b;
            state_ = State::csi_intermediate;
        } else {
            state_ = State::csi_ignore;
        }
    }

    void push_param() {
        Params& p = csi_.params;
        if (p.count < Params::max) {
            if (next_is_sub_) p.sub_mask |= 1u << p.count;
            p.values[p.count++] = static_cast<std::uint16_t>(param_);
        } else {
            p.overflow = true;
        }
        param_ = 0;
    }

    bool dispatch_csi(Handler& h, std::uint8_t final) {
        if (param_started_) push_param();
        csi_.final = final;
        state_ = State::ground;
        h.csi_dispatch(csi_);
        return h.stop_requested();
    }

    void finish_osc(Handler& h, bool bel) {
        state_ = State::ground;
        if (osc_overflow_) {
            h.osc_discarded(osc_.size() + osc_overflow_);
        } else {
            h.osc_dispatch(std::span<const std::uint8_t>(osc_.data(), osc_.size()), bel);
        }
        osc_.clear();
        if (osc_.capacity() > 4096) osc_.shrink_to_fit();
    }

    State state_ = State::ground;
    // UTF-8 decoder: bytes still needed, code point so far, range of the next byte.
    std::uint8_t utf8_need_ = 0;
    std::uint8_t utf8_lo_ = 0x80, utf8_hi_ = 0xbf;
    char32_t utf8_cp_ = 0;

    std::uint8_t esc_intermediates_[2] = {0, 0};
    std::size_t n_esc_intermediates_ = 0;

    Csi csi_;
    std::uint32_t param_ = 0;
    bool param_started_ = false;
    bool next_is_sub_ = false;

    std::vector<std::uint8_t> osc_;
    std::size_t osc_overflow_ = 0;
};

}  // namespace kestrum::vt
