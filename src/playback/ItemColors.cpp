#include "playback/ItemColors.h"

QColor itemQColor(ItemColor color) {
    switch (color) {
    case ItemColor::white:
        return QColor::fromRgbF(1, 1, 1);
    case ItemColor::gray:
        return QColor::fromRgbF(0.5, 0.5, 0.5);
    case ItemColor::green:
        return QColor::fromRgbF(0, 1, 0);
    case ItemColor::orange:
        return QColor::fromRgbF(1, 0.5, 0);
    }
    return QColor::fromRgbF(1, 1, 1);
}
