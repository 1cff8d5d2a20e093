// The panel's window: a table of the modules heard on the serial line and,
// beside it, the trends of their numeric values; a log of their frames, and
// a slider that drives the servo.
#pragma once

#include <QHash>
#include <QMainWindow>

#include <memory>

#include "panel_options.h"

class QLabel;
class QPlainTextEdit;
class QTableWidget;
class Serial_Listener;
class TapSlider;
class TrendPlot;

class MainWindow : public QMainWindow {
	Q_OBJECT

public:
	MainWindow(const PanelOptions &options, QWidget *parent);
	~MainWindow() override;

signals:
	// Copies of a frame's texts, on their way from the listener's thread.
	void frame_received(const QString &module, const QString &value);

private:
	void build_layout();
	void open_line(const PanelOptions &options);
	void stop_listener();
	void copy_frame(char *module, char *value);
	void show_frame(const QString &module, const QString &value);
	int module_row(const QString &module);
	void drive_servo(int percent);

	QTableWidget *modules;
	TrendPlot *trends;
	QPlainTextEdit *log;
	TapSlider *slider;
	QLabel *angle_label;
	QLabel *line_status;
	QString servo_path;
	QHash<QString, int> rows;
	int line_fd = -1;
	std::unique_ptr<Serial_Listener> listener;
};
