// The widgets behind panel handles and control ids, for tests only.
#pragma once

class QWidget;

QWidget *PanelWidget(int panel);
QWidget *CtrlWidget(int panel, int control);
