#pragma once

#include <QString>

// The temporary folder that HOME points at for the whole test run.
QString testHome();
