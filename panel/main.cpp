// sensor_panel: the main window, shown until the event loop ends.
#include <QApplication>

#include "mainwindow.h"

int main(int argc, char *argv[])
{
	QApplication app(argc, argv);
	MainWindow window(nullptr);
	window.show();
	return app.exec();
}
