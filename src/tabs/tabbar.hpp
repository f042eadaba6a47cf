// Pure layout of the tab strip: title widths in, pill rectangles out.
#pragma once

#include <span>
#include <vector>

namespace kestrum_tabs {

// Device pixels, chosen by the view.
struct PillMetrics {
    float pill_y = 0;
    float pill_height = 0;
    float dot_inset = 0;
    float dot_size = 0;
    float dot_gap = 0;
    float pill_radius = 0;  // drawn by the renderer; not used for layout
    float pill_gap = 0;
};

struct Pill {
    float x = 0;
    float y = 0;
    float width = 0;
    float height = 0;
    friend bool operator==(const Pill&, const Pill&) = default;
};

// One pill per content width, left to right from `start_x` (negative or NaN counts as 0).
std::vector<Pill> content_pills(std::span<const float> content_widths, const PillMetrics& metrics,
                                float start_x);

}  // namespace kestrum_tabs
