#pragma once

#include "core/SubtitlePlacement.h"

#include <QColor>
#include <QString>

// How the player draws subtitle text: where, in which colours and font, and whether at all.
// Every cue showing at a moment is drawn, stacked away from the edge it is placed at.
struct SubtitleStyle {
    bool visible = true;
    bool atTop = false;  // stacked downward from the top; else upward from the bottom
    QColor text = Qt::white;
    QColor background = Qt::black;
    QString fontFamily = QStringLiteral("Andale Mono");
    int relativeSize = 70;   // percent of the player's default size
    bool plainEdges = true;  // no outline and no shadow

    // The style of a placement of the transport bar's menu: white on black "Andale Mono" at
    // 70 %, without edges, at the top or the bottom, or hidden.
    static SubtitleStyle forPlacement(SubtitlePlacement placement);

    friend bool operator==(const SubtitleStyle&, const SubtitleStyle&) = default;
};
