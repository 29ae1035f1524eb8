#pragma once

#include "core/Records.h"

#include <QColor>

// The colour a record is drawn in: white, mid gray, green, orange.
QColor itemQColor(ItemColor color);
