#include "mainwindow.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

MainWindow::MainWindow(QWidget *parent) : QWidget(parent)
{
	const QStringList arguments = QCoreApplication::arguments().mid(1);
	std::printf("window: parent %s, arguments %s\n", parent ? "set" : "none",
		    qPrintable(arguments.join(' ')));
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
	const QStringList arguments = QCoreApplication::arguments().mid(1);
	if (arguments.value(0) == "exit")
		QCoreApplication::exit(arguments.value(1).toInt());
	else
		close();
}
