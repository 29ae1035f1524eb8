#pragma once

// Where the player shows subtitles, as the transport bar offers it. The settings store keeps
// the underlying integer ("subtitleStyle": 0 none, 1 top, 2 bottom).
enum class SubtitlePlacement { none = 0, top = 1, bottom = 2 };

// The placement a stored integer stands for: at most 0 hides, 1 is the top, 2 and above the
// bottom, as the player has always read the stored value.
constexpr SubtitlePlacement subtitlePlacementFromInt(int stored) {
    if (stored <= 0)
        return SubtitlePlacement::none;
    return stored == 1 ? SubtitlePlacement::top : SubtitlePlacement::bottom;
}
