// A stand-in for the panel's window, built with the panel's own entry: it
// reports how the entry treats it and ends the event loop as the environment's
// ENTRY_PROBE_FINISH says ("exit N" or "close"). The probe also reports the
// application's destruction, which only a main that returns gets to.
#pragma once

#include <QWidget>

#include "panel_options.h"

class MainWindow : public QWidget {
public:
	MainWindow(const PanelOptions &options, QWidget *parent);
	~MainWindow() override;

private:
	void finish();
};
