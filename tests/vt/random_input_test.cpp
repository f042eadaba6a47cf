// Random output, resizes, scrolling and selections, with the invariants
// checked after every step. Seeded, so every run is the same run.
#include <gtest/gtest.h>

#include "invariants.hpp"
#include "random_input.hpp"
#include "vt/search.hpp"
#include "vt_fixture.hpp"

namespace kestrum::vt {
namespace {

using testing::RandomOutput;
using testing::Vt;

TEST(RandomInput, InvariantsHold) {
    auto search = RegexSearch::compile("[a-z]+", false);
    ASSERT_TRUE(search);
    for (std::uint32_t seed = 1; seed <= 300; ++seed) {
        SCOPED_TRACE(seed);
        RandomOutput gen(seed);
        Vt vt(static_cast<std::uint16_t>(1 + gen.pick(30)),
              static_cast<std::uint16_t>(1 + gen.pick(12)), static_cast<std::size_t>(gen.pick(50)));
        for (int step = 0; step < 200; ++step) {
            switch (gen.pick(10)) {
                case 0:
                    vt.term.resize(static_cast<std::uint16_t>(gen.pick(32)),
                                   static_cast<std::uint16_t>(gen.pick(14)));
                    break;
                case 1:
                    vt.term.scroll_display(gen.pick(20) - 10);
                    break;
                case 2: {
                    const auto kind = static_cast<SelectionKind>(gen.pick(4));
                    Point a{vt.term.top_line() + gen.pick(60),
                            static_cast<std::uint32_t>(gen.pick(40))};
                    Point b{vt.term.top_line() + gen.pick(60),
                            static_cast<std::uint32_t>(gen.pick(40))};
                    vt.term.selection = Selection(kind, a, gen.pick(2) ? Side::left : Side::right);
                    vt.term.selection->update(b, gen.pick(2) ? Side::left : Side::right);
                    (void)vt.term.selection_text();
                    break;
                }
                case 3: {
                    Point start{vt.term.top_line(), 0};
                    Point end{vt.term.bottom_line(), vt.term.cols() - 1u};
                    const bool fwd = gen.pick(2);
                    MatchIter it(vt.term, *search, fwd ? start : end, fwd ? end : start,
                                 fwd ? Direction::forward : Direction::backward);
                    for (int i = 0; i < 20 && it.next(); ++i) {
                    }
                    break;
                }
                case 4:
                    vt.processor.stop_sync(vt.term);
                    break;
                default:
                    vt.feed(gen.chunk(static_cast<std::size_t>(1 + gen.pick(300))));
                    break;
            }
            const std::string problem = testing::check_invariants(vt.term);
            ASSERT_EQ(problem, "") << "step " << step;
        }
    }
}

}  // namespace
}  // namespace kestrum::vt
