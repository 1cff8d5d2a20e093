// sensor_panel: the main window, shown until the event loop ends.
#include <QApplication>

#include "mainwindow.h"
#include "panel_options.h"

int main(int argc, char *argv[])
{
	QApplication app(argc, argv);
	// Read after the application has taken Qt's own options out of argv,
	// and before any window: help and mistakes end main here.
	const CommandLine line = read_command_line(QCoreApplication::arguments());
	if (!line.wants_panel())
		return print_help_or_error(line);
	MainWindow window(line.options, nullptr);
	window.show();
	return app.exec();
}
