// Deterministic generator of plausible and implausible terminal output.
#pragma once

#include <fmt/format.h>

#include <random>
#include <string>

namespace kestrum::vt::testing {

class RandomOutput {
  public:
    explicit RandomOutput(std::uint32_t seed) : rng_(seed) {}

    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

    std::string chunk(std::size_t approx_size) {
        std::string out;
        while (out.size() < approx_size)
            piece(out);
        return out;
    }

  private:
    void piece(std::string& out) {
        static const char* texts[] = {"hello",        " ",
                                      "\xe4\xb8\xad", "\xf0\x9f\x98\x80",
                                      "e\xcc\x81",    "\xef\xb8\x8f",
                                      "\xe2\x80\x8d", "\xc3\xa9",
                                      "abc def ghi"};
        static const char* controls[] = {"\r",   "\n",   "\t",   "\b",   "\x07",
                                         "\x0b", "\x0c", "\x0e", "\x0f", "\r\n"};
        static const char finals[] = "@ABCDEFGHIJKLMPSTXZ`abcdefghlmnrstu";
        static const char* escs[] = {"7",  "8",  "D",  "E",  "H", "M", "c",
                                     "#8", "(0", "(B", ")0", "=", ">", "Z"};
        static const int modes[] = {1,    4,    6,    7,    12,   20,   25,   47,
                                    1000, 1002, 1006, 1047, 1048, 1049, 2004, 2026};
        switch (pick(12)) {
            case 0:
            case 1:
            case 2:
                out += texts[pick(std::size(texts))];
                break;
            case 3:
                out += controls[pick(std::size(controls))];
                break;
            case 4:
            case 5: {
                out += "\x1b[";
                if (pick(4) == 0) out += "?>"[pick(2)];
                int n = pick(4);
                for (int i = 0; i < n; ++i) {
                    if (i) out += pick(5) == 0 ? ":" : ";";
                    out += std::to_string(pick(3) == 0 ? pick(70000) : pick(30));
                }
                if (pick(10) == 0) out += " $!"[pick(3)];
                out += finals[pick(sizeof(finals) - 1)];
                break;
            }
            case 6:
                out += fmt::format("\x1b[?{}{}", modes[pick(std::size(modes))], "hl"[pick(2)]);
                break;
            case 7:
                out += "\x1b";
                out += escs[pick(std::size(escs))];
                break;
            case 8:
                out += fmt::format("\x1b[{};{}H", pick(40), pick(120));
                break;
            case 9: {
                static const char* oscs[] = {"0;title", "4;1;#ff0000", "4;3;?",     "10;?",
                                             "104",     "52;c;aGk=",   "2;\xff\xfe"};
                out += "\x1b]";
                out += oscs[pick(std::size(oscs))];
                out += pick(2) ? "\x07" : "\x1b\\";
                break;
            }
            case 10:
                out += fmt::format("\x1b[{};{};{}m", pick(108), pick(2) ? 38 : 48,
                                   pick(2) ? "5;200" : "2;1;2;3");
                break;
            default: {
                int n = 1 + pick(8);
                for (int i = 0; i < n; ++i)
                    out += static_cast<char>(pick(256));
                break;
            }
        }
    }

    std::mt19937 rng_;
};

}  // namespace kestrum::vt::testing
