// Qt widgets behind panel handles and control identifiers: for tests that send real input
// events and for accessibility checks. Not for the program's logic.
#pragma once

class QWidget;

QWidget *PlatformControlWidget(int panel, int control);
QWidget *PlatformPanelWidget(int panel);
