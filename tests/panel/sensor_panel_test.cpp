// sensor_panel's command line, and the program run as a user runs it.
#include <QtTest>

#include "panel_options.h"
#include "pty.h"

namespace {

constexpr int process_ms = 20000;

struct Run {
	int status;
	QByteArray out;
	QByteArray err;
};

Run run_panel(const QStringList &arguments)
{
	QProcess panel;
	panel.start(SENSOR_PANEL, arguments);
	if (!panel.waitForFinished(process_ms))
		panel.kill();
	return {panel.exitStatus() == QProcess::NormalExit ? panel.exitCode() : -1,
		panel.readAllStandardOutput(), panel.readAllStandardError()};
}

} // namespace

class SensorPanelTest : public QObject {
	Q_OBJECT

private slots:
	void reads_options_data();
	void reads_options();
	void rejects_data();
	void rejects();
	void help_ends_with_status_0();
	void prints_the_frames_it_hears();
};

void SensorPanelTest::reads_options_data()
{
	QTest::addColumn<QStringList>("arguments");
	QTest::addColumn<QString>("port");
	QTest::addColumn<int>("baud");
	QTest::addColumn<QString>("servo");

	QTest::newRow("defaults") << QStringList{} << "/dev/ttySAC1" << 9600 << "/dev/sg90";
	QTest::newRow("port and baud")
		<< QStringList{"--port", "/dev/ttyUSB0", "--baud", "115200"} << "/dev/ttyUSB0"
		<< 115200 << "/dev/sg90";
	QTest::newRow("equals form") << QStringList{"--port=/dev/ttyS1", "--baud=2400"}
				     << "/dev/ttyS1" << 2400 << "/dev/sg90";
	QTest::newRow("servo node") << QStringList{"--servo", "/tmp/sg90"} << "/dev/ttySAC1" << 9600
				    << "/tmp/sg90";
}

void SensorPanelTest::reads_options()
{
	QFETCH(QStringList, arguments);
	QFETCH(QString, port);
	QFETCH(int, baud);
	QFETCH(QString, servo);

	const CommandLine line = read_command_line(QStringList{"sensor_panel"} + arguments);

	QCOMPARE(line.error, QString());
	QCOMPARE(line.help, QString());
	QCOMPARE(line.options.port, port);
	QCOMPARE(line.options.baud, baud);
	QCOMPARE(line.options.servo, servo);
}

void SensorPanelTest::rejects_data()
{
	QTest::addColumn<QStringList>("arguments");
	QTest::addColumn<QString>("error");

	// The serial line unit would quietly take an unknown speed as 9600.
	QTest::newRow("unsupported speed") << QStringList{"--baud", "19200"}
					   << "Unsupported baud rate: 19200 (2400, 4800, 9600 or 115200)";
	QTest::newRow("speed not a number") << QStringList{"--baud", "fast"}
					    << "Unsupported baud rate: fast (2400, 4800, 9600 or 115200)";
	QTest::newRow("missing value") << QStringList{"--port"} << "Missing value after '--port'.";
	QTest::newRow("unknown option") << QStringList{"--speed", "9600"} << "Unknown option 'speed'.";
	QTest::newRow("stray argument") << QStringList{"/dev/ttyS0"}
					<< "Unexpected argument: /dev/ttyS0";
}

void SensorPanelTest::rejects()
{
	QFETCH(QStringList, arguments);
	QFETCH(QString, error);

	QCOMPARE(read_command_line(QStringList{"sensor_panel"} + arguments).error, error);

	const Run run = run_panel(arguments);
	QCOMPARE(run.status, 1);
	// Qt may warn about its environment first.
	const QByteArray message = ("sensor_panel: " + error + "\nTry 'sensor_panel --help'.\n").toUtf8();
	QVERIFY2(run.err.endsWith(message), run.err.constData());
}

void SensorPanelTest::help_ends_with_status_0()
{
	const Run run = run_panel({"--help"});

	QCOMPARE(run.status, 0);
	QVERIFY(run.out.contains("--port <PATH>"));
	QVERIFY(run.out.contains("--baud <N>"));
	QVERIFY(run.out.contains("--servo <PATH>"));
}

void SensorPanelTest::prints_the_frames_it_hears()
{
	Pty pty;
	QProcess panel;
	panel.start(SENSOR_PANEL, {"--port", pty.slave_path(), "--servo", "/nonexistent/sg90"});
	QVERIFY(panel.waitForStarted(process_ms));
	QByteArray out;
	auto heard = [&](const QByteArray &text) {
		return QTest::qWaitFor(
			[&] {
				panel.waitForReadyRead(50);
				out += panel.readAllStandardOutput();
				return out.contains(text);
			},
			process_ms);
	};

	const bool listening = heard("uart_recv\n");
	if (listening)
		pty.send("{temp,21}");
	const bool printed = heard("module = temp, value = 21}\n");
	panel.kill();
	panel.waitForFinished(process_ms);

	QVERIFY(listening);
	QVERIFY(printed);
	QVERIFY(out.contains("uart recv = {temp,21}\nmodule = temp, value = 21}\n"));
}

QTEST_GUILESS_MAIN(SensorPanelTest)
#include "sensor_panel_test.moc"
