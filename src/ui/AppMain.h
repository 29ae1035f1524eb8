#pragma once

class QApplication;

// The program: command line, single instance, the dark window, launch and quit steps.
// Returns the process exit code.
int runApplication(int argc, char** argv);

// Fusion with a dark palette, whatever the desktop's setting.
void applyDarkTheme(QApplication& app);
