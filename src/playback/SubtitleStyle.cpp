#include "playback/SubtitleStyle.h"

QList<TextStyleRule> subtitleStyleRules(SubtitlePlacement placement) {
    using A = TextStyleRule::Attribute;
    const QVariant edge = placement == SubtitlePlacement::none ? QVariant(0) : QVariant(characterEdgeStyleNone);
    return {
        {A::linePosition, placement == SubtitlePlacement::top ? 0 : 100},
        {A::foregroundColorARGB, QVariant::fromValue(QList<double>{1.0, 1.0, 1.0, 1.0})},
        {A::backgroundColorARGB, QVariant::fromValue(QList<double>{1.0, 0.0, 0.0, 0.0})},
        {A::fontFamilyName, QStringLiteral("Andale Mono")},
        {A::relativeFontSize, 70},
        {A::characterEdgeStyle, edge},
    };
}
