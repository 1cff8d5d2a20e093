// The panel's window over a pseudo-terminal: frames fill the table and the
// log, the slider drives the servo node, and the window ends its line.
#include <QtTest>

#include <QLabel>
#include <QPlainTextEdit>
#include <QSlider>
#include <QStatusBar>
#include <QTableWidget>
#include <QTemporaryDir>

#include <memory>

#include <qwt_plot_curve.h>

#include "mainwindow.h"
#include "output_capture.h"
#include "pty_pair.h"
#include "trendplot.h"

namespace {

PanelOptions options_for(const QString &port, const QString &servo = "/nonexistent/sg90")
{
	PanelOptions options;
	options.port = port;
	options.servo = servo;
	return options;
}

QString port_of(const PtyPair &pty)
{
	return QString::fromStdString(pty.slave_path());
}

QString line_status(const MainWindow &window)
{
	return window.findChild<QLabel *>("line_status")->text();
}

QStringList table_row(const QTableWidget *table, int row)
{
	QStringList cells;
	for (int column = 0; column < 3; ++column)
		cells << table->item(row, column)->text();
	return cells;
}

void press_slider_at_half(QSlider *slider)
{
	// (w + 1) / 2 of w pixels is 50 %, whatever the parity of w.
	const QPoint point((slider->width() + 1) / 2, slider->height() / 2);
	QTest::mousePress(slider, Qt::LeftButton, Qt::NoModifier, point);
	QTest::mouseRelease(slider, Qt::LeftButton, Qt::NoModifier, point);
}

// The listener's lines among what was printed: QtTest prints its warnings
// on standard output too.
QByteArray listener_lines(const QByteArray &output)
{
	QByteArray lines;
	for (const QByteArray &line : output.split('\n'))
		if (line.startsWith("uart") || line.startsWith("module = "))
			lines += line + '\n';
	return lines;
}

// A pseudo-terminal's far end going away fails a read that waits with EIO
// and ends one made after the hang-up; either way the end takes one line.
bool reports_hang_up(const QByteArray &lines)
{
	return lines == "uart_recv\nuart recv ended: Input/output error\n" ||
	       lines == "uart_recv\nuart recv ended: end of file\n";
}

QByteArray file_bytes(const QString &path)
{
	QFile file(path);
	return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class MainWindowTest : public QObject {
	Q_OBJECT

private slots:
	void frames_fill_the_table_and_the_log();
	void closing_ends_the_loop_and_the_line();
	void unusable_port_is_reported_data();
	void unusable_port_is_reported();
	void line_that_goes_away_is_reported();
	void slider_writes_the_servo_angle();
	void missing_servo_node_is_reported();
};

void MainWindowTest::frames_fill_the_table_and_the_log()
{
	PtyPair pty(PtyPair::Slave::by_path);
	MainWindow window(options_for(port_of(pty)), nullptr);
	window.show();
	QCOMPARE(line_status(window), "Listening on " + port_of(pty) + " at 9600 baud");

	// As a sender that ends each frame with a line end sends them; the
	// first frame does not parse and reaches neither the table nor the log.
	pty.send("{,5}\n{temp,21}\n{hum,40}\r\n{temp,22}\n");

	auto *table = window.findChild<QTableWidget *>("modules");
	auto *log = window.findChild<QPlainTextEdit *>("log");
	QTRY_COMPARE(log->blockCount(), 3);
	QCOMPARE(table->rowCount(), 2);
	QCOMPARE(table_row(table, 0), (QStringList{"temp", "22", "2"}));
	QCOMPARE(table_row(table, 1), (QStringList{"hum", "40", "1"}));
	QVERIFY(!table->item(0, 3)->text().isEmpty());
	QVERIFY(log->toPlainText().endsWith("  temp = 22"));
	// The values, without the closing brace, reach the trends too.
	QStringList curves;
	const auto *trends = window.findChild<TrendPlot *>("trends");
	for (const QwtPlotItem *item : trends->itemList(QwtPlotItem::Rtti_PlotCurve))
		curves << item->title().text() + " " +
				  QString::number(static_cast<const QwtPlotCurve *>(item)->dataSize());
	QCOMPARE(curves, (QStringList{"temp 2", "hum 1"}));
}

void MainWindowTest::closing_ends_the_loop_and_the_line()
{
	PtyPair pty(PtyPair::Slave::by_path);
	OutputCapture capture;
	auto window = std::make_unique<MainWindow>(options_for(port_of(pty)), nullptr);
	window->show();
	pty.send("{temp,21}");
	auto *table = window->findChild<QTableWidget *>("modules");
	const bool heard = QTest::qWaitFor([&] { return table->rowCount() == 1; });
	const bool open_before = !pty.slave_closed();

	QTimer::singleShot(0, window.get(), &QWidget::close);
	const int status = QApplication::exec();
	// The listener is blocked waiting for the line here; destroying the
	// window must neither abort nor hang, and must close the line.
	window.reset();
	const QByteArray output = QByteArray::fromStdString(capture.finish());

	QVERIFY(heard);
	QVERIFY(open_before);
	QCOMPARE(status, 0);
	QVERIFY(pty.slave_closed());
	// The line did not end: closing the window reports nothing about it.
	QCOMPARE(listener_lines(output),
		 QByteArray("uart_recv\nuart recv = {temp,21}\nmodule = temp, value = 21}\n"));
}

void MainWindowTest::unusable_port_is_reported_data()
{
	QTest::addColumn<QString>("port");
	QTest::addColumn<QString>("status");

	QTest::newRow("missing") << "/nonexistent/ttyS9"
				 << "Cannot open /nonexistent/ttyS9: No such file or directory";
	QTest::newRow("not a terminal")
		<< "/dev/null" << "Cannot configure /dev/null: Inappropriate ioctl for device";
}

void MainWindowTest::unusable_port_is_reported()
{
	QFETCH(QString, port);
	QFETCH(QString, status);

	MainWindow window(options_for(port), nullptr);
	window.show();

	QCOMPARE(line_status(window), status);
}

void MainWindowTest::line_that_goes_away_is_reported()
{
	PtyPair pty(PtyPair::Slave::by_path);
	OutputCapture capture;
	auto window = std::make_unique<MainWindow>(options_for(port_of(pty)), nullptr);
	window->show();

	pty.hang_up();

	const QString closed = "Serial line closed: " + port_of(pty);
	const bool reported = QTest::qWaitFor([&] { return line_status(*window) == closed; });
	const QString status = line_status(*window);
	window.reset();
	const QByteArray lines = listener_lines(QByteArray::fromStdString(capture.finish()));

	QVERIFY2(reported, qPrintable(status));
	// One line for the line's end, and none more as the window goes.
	QVERIFY2(reports_hang_up(lines), lines.constData());
}

void MainWindowTest::slider_writes_the_servo_angle()
{
	QTemporaryDir dir;
	const QString servo = dir.filePath("sg90");
	QFile node(servo);
	QVERIFY(node.open(QIODevice::WriteOnly));
	node.close();
	MainWindow window(options_for("/nonexistent/ttyS9", servo), nullptr);
	window.show();
	QVERIFY(QTest::qWaitForWindowExposed(&window));

	press_slider_at_half(window.findChild<QSlider *>("servo"));

	// 50 % of the travel is 90 degrees, one byte as servo_set writes it.
	QCOMPARE(file_bytes(servo), QByteArray(1, char(90)));
	QCOMPARE(window.findChild<QLabel *>("angle")->text(), QString("90\u00B0"));
}

void MainWindowTest::missing_servo_node_is_reported()
{
	MainWindow window(options_for("/nonexistent/ttyS9", "/nonexistent/sg90"), nullptr);
	window.show();
	QVERIFY(QTest::qWaitForWindowExposed(&window));

	press_slider_at_half(window.findChild<QSlider *>("servo"));

	QCOMPARE(window.statusBar()->currentMessage(),
		 QString("Servo /nonexistent/sg90: No such file or directory"));
}

QTEST_MAIN(MainWindowTest)
#include "mainwindow_test.moc"
