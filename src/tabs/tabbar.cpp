#include "tabs/tabbar.hpp"

#include <algorithm>

namespace kestrum_tabs {

std::vector<Pill> content_pills(std::span<const float> content_widths, const PillMetrics& m,
                                float start_x) {
    const float extra = 2.0f * m.dot_inset + m.dot_size + m.dot_gap;
    float x = start_x > 0.0f ? start_x : 0.0f;  // NaN compares false: 0
    std::vector<Pill> pills;
    pills.reserve(content_widths.size());
    for (float w : content_widths) {
        float content = w > 0.0f ? w : 0.0f;
        float width = std::max(extra + content, 1.0f);
        pills.push_back({x, m.pill_y, width, m.pill_height});
        x += m.pill_gap + width;
    }
    return pills;
}

}  // namespace kestrum_tabs
