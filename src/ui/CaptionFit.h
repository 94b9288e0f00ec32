#pragma once
// Controls that show a caption from the language file grow to fit it in the window's font, so
// that a translation longer than the English text is never cut. A caption wider than
// kMaxCaptionWidth (only a faulty language file has one: a whole sentence on a button) stops
// the growth there and is cut inside its own control, so it never covers another control.
#include <algorithm>

namespace kelotari {

constexpr int kMaxCaptionWidth = 240;

// The width for a control that needs `need` pixels for its caption: never less than the
// design's width, never more than kMaxCaptionWidth (or the design's width, when wider).
constexpr int fittedWidth(int need, int designWidth) {
    return std::max(designWidth, std::min(need, std::max(designWidth, kMaxCaptionWidth)));
}

} // namespace kelotari
