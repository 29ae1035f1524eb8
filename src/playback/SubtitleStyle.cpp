#include "playback/SubtitleStyle.h"

SubtitleStyle SubtitleStyle::forPlacement(SubtitlePlacement placement) {
    SubtitleStyle style;
    style.visible = placement != SubtitlePlacement::none;
    style.atTop = placement == SubtitlePlacement::top;
    return style;
}
