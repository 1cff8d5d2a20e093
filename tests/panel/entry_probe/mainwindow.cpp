#include "mainwindow.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

namespace {

void report_application_end()
{
	std::printf("application: destroyed\n");
}

// Runs as the application is made, so its end is reported whether or not a
// window ever is.
void watch_application()
{
	qAddPostRoutine(report_application_end);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(watch_application)

MainWindow::MainWindow(const PanelOptions &options, QWidget *parent) : QWidget(parent)
{
	std::printf("window: parent %s, port %s, baud %d, servo %s\n", parent ? "set" : "none",
		    qPrintable(options.port), options.baud, qPrintable(options.servo));
	QTimer::singleShot(0, this, &MainWindow::finish);
}

MainWindow::~MainWindow()
{
	std::printf("window: destroyed %s the application\n",
		    QCoreApplication::instance() ? "before" : "after");
}

void MainWindow::finish()
{
	std::printf("window: %s\n", isVisible() ? "shown" : "hidden");
	const QStringList action = QString::fromLocal8Bit(qgetenv("ENTRY_PROBE_FINISH")).split(' ');
	if (action.value(0) == "exit")
		QCoreApplication::exit(action.value(1).toInt());
	else
		close();
}
