// The client's look: the Fusion style with a dark palette in the skin's
// colours, for every window and dialog alike (message boxes and file
// dialogs included), so no dialog shows light text on a light ground.
#pragma once

class QApplication;

void ApplyDarkTheme(QApplication& application);
