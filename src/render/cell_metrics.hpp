// The cell grid's metrics in device pixels, derived from the font.
#pragma once

namespace kestrum::render {

struct CellMetrics {
    float cell_width = 0;      // advance of one column
    float cell_height = 0;     // height of one row
    float baseline = 0;        // from the cell top down to the text baseline
    float underline_y = 0;     // top of the underline stroke, from the cell top
    float strikeout_y = 0;     // top of the strikeout stroke, from the cell top
    float line_thickness = 0;  // underline, strikeout and hollow-cursor strokes

    friend bool operator==(const CellMetrics&, const CellMetrics&) = default;
};

}  // namespace kestrum::render
