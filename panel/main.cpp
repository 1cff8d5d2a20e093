// sensor_panel: the main window, shown until the event loop ends.
#include <QApplication>

#include "mainwindow.h"
#include "panel_options.h"

int main(int argc, char *argv[])
{
	// Read before the application, which needs a display: help and
	// mistakes end main here, over ssh or on a board without a screen too.
	const CommandLine line = read_command_line(argc, argv);
	if (!line.wants_panel())
		return print_help_or_error(line);
	QApplication app(argc, argv);
	MainWindow window(line.options, nullptr);
	window.show();
	return app.exec();
}
