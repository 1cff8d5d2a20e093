// A stand-in for the panel's window, built with the panel's own entry: it
// reports how the entry treats it and ends the event loop as its arguments
// say ("exit N" or "close").
#pragma once

#include <QWidget>

class MainWindow : public QWidget {
public:
	explicit MainWindow(QWidget *parent);
	~MainWindow() override;

private:
	void finish();
};
