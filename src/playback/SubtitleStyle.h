#pragma once

#include <QList>
#include <QString>
#include <QVariant>

#include "core/SubtitlePlacement.h"

// One text style rule: a single attribute that applies to all subtitle text.
struct TextStyleRule {
    enum class Attribute {
        linePosition,         // int percent of the picture height, 0 top, 100 bottom
        foregroundColorARGB,  // QList<double> alpha, red, green, blue in 0..1
        backgroundColorARGB,  // QList<double> alpha, red, green, blue in 0..1
        fontFamilyName,       // QString
        relativeFontSize,     // int percent of the player's default size
        characterEdgeStyle,   // the int 0, or an edge style name such as "none"
    };

    Attribute attribute;
    QVariant value;

    friend bool operator==(const TextStyleRule&, const TextStyleRule&) = default;
};

// The edge style name for text drawn without outline or shadow.
inline const QString characterEdgeStyleNone = QStringLiteral("none");

// The six rules for a placement, in a fixed order: line position (0 for top, 100 otherwise),
// white text, black background, "Andale Mono", 70 % size, and the edge style (the int 0
// when hidden, "none" when shown).
QList<TextStyleRule> subtitleStyleRules(SubtitlePlacement placement);

// Whether a placement shows the subtitles at all: "None" hides them.
inline bool subtitlesVisible(SubtitlePlacement placement) { return placement != SubtitlePlacement::none; }
