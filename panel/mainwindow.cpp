#include "mainwindow.h"

#include <QDateTime>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QTableWidget>
#include <QVBoxLayout>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

#include "serial_line.h"
#include "serial_listener.h"
#include "tapslider.h"
#include "trendplot.h"

namespace {

enum Column { module_column, value_column, count_column, time_column, column_count };

constexpr int log_lines = 1000;
constexpr int servo_max_angle = 180;
constexpr int status_message_ms = 5000;

// The frame's closing brace travels on the value but is not part of it.
QString displayed_value(const QString &value)
{
	return value.endsWith('}') ? value.chopped(1) : value;
}

QString angle_text(int angle)
{
	return QString::number(angle) + QChar(0x00B0);
}

QString system_error(int error)
{
	return QString::fromLocal8Bit(std::strerror(error));
}

// Writes the angle as one byte, as servo_set does. Returns what went wrong,
// or nothing.
QString write_angle(const QString &path, int angle)
{
	const int fd = open(QFile::encodeName(path).constData(), O_WRONLY | O_CLOEXEC);
	if (fd < 0)
		return "Servo " + path + ": " + system_error(errno);
	const unsigned char byte = static_cast<unsigned char>(angle);
	QString error;
	if (write(fd, &byte, 1) != 1)
		error = "Servo " + path + ": " + system_error(errno);
	close(fd);
	return error;
}

} // namespace

MainWindow::MainWindow(const PanelOptions &options, QWidget *parent)
	: QMainWindow(parent), servo_path(options.servo)
{
	setWindowTitle("sensor panel");
	build_layout();
	connect(this, &MainWindow::frame_received, this, &MainWindow::show_frame,
		Qt::QueuedConnection);
	connect(slider, &QSlider::valueChanged, this, &MainWindow::drive_servo);
	open_line(options);
}

MainWindow::~MainWindow()
{
	stop_listener();
}

void MainWindow::build_layout()
{
	modules = new QTableWidget(0, column_count);
	modules->setObjectName("modules");
	modules->setHorizontalHeaderLabels({"Module", "Value", "Frames", "Last frame"});
	modules->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
	// Beside the trends the table has half the width: the count and the
	// time take what they need, the module and its value share the rest.
	modules->horizontalHeader()->setSectionResizeMode(count_column, QHeaderView::ResizeToContents);
	modules->horizontalHeader()->setSectionResizeMode(time_column, QHeaderView::ResizeToContents);
	modules->verticalHeader()->hide();
	modules->setEditTriggers(QAbstractItemView::NoEditTriggers);

	trends = new TrendPlot(nullptr);
	trends->setObjectName("trends");

	log = new QPlainTextEdit;
	log->setObjectName("log");
	log->setReadOnly(true);
	log->setMaximumBlockCount(log_lines);

	slider = new TapSlider(nullptr);
	slider->setObjectName("servo");
	slider->setOrientation(Qt::Horizontal);
	slider->setRange(0, 100);
	angle_label = new QLabel(angle_text(0));
	angle_label->setObjectName("angle");
	angle_label->setMinimumWidth(angle_label->fontMetrics().horizontalAdvance("180\u00B0 "));

	auto *servo_row = new QHBoxLayout;
	servo_row->addWidget(new QLabel("Servo"));
	servo_row->addWidget(slider, 1);
	servo_row->addWidget(angle_label);

	auto *readings = new QHBoxLayout;
	readings->addWidget(modules, 1);
	readings->addWidget(trends, 1);

	auto *central = new QWidget;
	auto *layout = new QVBoxLayout(central);
	layout->addLayout(readings, 2);
	layout->addWidget(log, 1);
	layout->addLayout(servo_row);
	setCentralWidget(central);

	line_status = new QLabel;
	line_status->setObjectName("line_status");
	statusBar()->addPermanentWidget(line_status);
	resize(640, 480);
}

void MainWindow::open_line(const PanelOptions &options)
{
	const int fd = open_port(QFile::encodeName(options.port).constData());
	if (fd < 0) {
		line_status->setText("Cannot open " + options.port + ": " + system_error(errno));
		return;
	}
	if (set_opt(fd, options.baud, 8, 'N', 1) != 0) {
		const int error = errno;
		::close(fd);
		line_status->setText("Cannot configure " + options.port + ": " + system_error(error));
		return;
	}
	line_fd = fd;
	listener = std::make_unique<Serial_Listener>(fd);
	connect(listener.get(), &Serial_Listener::to_main, this, &MainWindow::copy_frame,
		Qt::DirectConnection);
	connect(listener.get(), &QThread::finished, this,
		[this, port = options.port] { line_status->setText("Serial line closed: " + port); });
	line_status->setText(
		QString("Listening on %1 at %2 baud").arg(options.port).arg(options.baud));
	listener->start();
}

void MainWindow::stop_listener()
{
	if (listener) {
		listener->disconnect(this);
		listener->stop();
		listener->wait();
		listener.reset();
	}
	if (line_fd >= 0)
		::close(line_fd);
	line_fd = -1;
}

// Runs on the listener's thread inside its emission, the only time the texts
// are sure to hold this frame: both are copied before anything else happens.
void MainWindow::copy_frame(char *module, char *value)
{
	emit frame_received(QString::fromLatin1(module), QString::fromLatin1(value));
}

void MainWindow::show_frame(const QString &module, const QString &value)
{
	const QDateTime now = QDateTime::currentDateTime();
	log->appendPlainText(now.time().toString("hh:mm:ss.zzz") + "  " + module + " = " +
			     displayed_value(value));
	// A first frame that did not parse leaves no module to show.
	if (module.isEmpty())
		return;
	trends->add_value(module, displayed_value(value), now);
	const int row = module_row(module);
	modules->item(row, value_column)->setText(displayed_value(value));
	QTableWidgetItem *count = modules->item(row, count_column);
	count->setData(Qt::DisplayRole, count->data(Qt::DisplayRole).toInt() + 1);
	modules->item(row, time_column)->setText(now.time().toString("hh:mm:ss"));
}

int MainWindow::module_row(const QString &module)
{
	const auto found = rows.constFind(module);
	if (found != rows.constEnd())
		return *found;
	const int row = modules->rowCount();
	modules->insertRow(row);
	modules->setItem(row, module_column, new QTableWidgetItem(module));
	modules->setItem(row, value_column, new QTableWidgetItem);
	auto *count = new QTableWidgetItem;
	count->setData(Qt::DisplayRole, 0);
	modules->setItem(row, count_column, count);
	modules->setItem(row, time_column, new QTableWidgetItem);
	rows.insert(module, row);
	return row;
}

void MainWindow::drive_servo(int percent)
{
	const int angle = percent * servo_max_angle / 100;
	angle_label->setText(angle_text(angle));
	const QString error = write_angle(servo_path, angle);
	if (!error.isEmpty())
		statusBar()->showMessage(error, status_message_ms);
}
