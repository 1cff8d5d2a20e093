// sensor_panel's command line, and the program run as a user runs it.
#include <QtTest>

#include "panel_options.h"
#include "panel_run.h"
#include "pty_pair.h"

namespace {

constexpr int process_ms = 20000;
// How long an accepted command line must keep the panel up.
constexpr int running_ms = 1500;
// Far past any path or number the line could mean.
constexpr int huge_length = 100000;

Run run_panel(const QStringList &arguments)
{
	QProcess panel;
	panel.start(SENSOR_PANEL, arguments);
	return collect_run(panel, process_ms);
}

} // namespace

class SensorPanelTest : public QObject {
	Q_OBJECT

private slots:
	void reads_options_data();
	void reads_options();
	void rejects_data();
	void rejects();
	void runs_on_data();
	void runs_on();
	void help_ends_with_status_0_data();
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

	const QString huge_path(huge_length, 'x');
	const QString huge_number(huge_length, '9');
	const QString speeds = " (2400, 4800, 9600 or 115200)";

	// Stray arguments: the panel takes none.
	QTest::newRow("stray argument") << QStringList{"/dev/ttyS0"}
					<< "Unexpected argument: /dev/ttyS0";
	QTest::newRow("two stray arguments") << QStringList{"a", "b"} << "Unexpected argument: a";
	QTest::newRow("stray argument after options")
		<< QStringList{"--port", "/dev/ttyS1", "extra"} << "Unexpected argument: extra";
	QTest::newRow("stray argument after --") << QStringList{"--", "--port"}
						 << "Unexpected argument: --port";

	// Unknown options.
	QTest::newRow("unknown option") << QStringList{"--speed", "9600"} << "Unknown option 'speed'.";
	QTest::newRow("unknown short option") << QStringList{"-x"} << "Unknown option 'x'.";
	QTest::newRow("option in the wrong case") << QStringList{"--Port", "/dev/ttyS1"}
						  << "Unknown option 'Port'.";
	QTest::newRow("long option with one dash") << QStringList{"-port", "/dev/ttyS1"}
						   << "Unknown options: p, o, r, t.";
	QTest::newRow("huge unknown option") << QStringList{"--" + huge_path}
					     << "Unknown option '" + huge_path + "'.";

	// Options given without their value.
	QTest::newRow("missing value") << QStringList{"--port"} << "Missing value after '--port'.";
	QTest::newRow("baud without value") << QStringList{"--baud"}
					    << "Missing value after '--baud'.";
	QTest::newRow("servo without value") << QStringList{"--servo"}
					     << "Missing value after '--servo'.";
	QTest::newRow("port followed by an option")
		<< QStringList{"--port", "--baud", "9600"} << "Missing value after '--port'.";
	QTest::newRow("baud followed by an option")
		<< QStringList{"--baud", "--port=/dev/ttyS1"} << "Missing value after '--baud'.";
	QTest::newRow("servo followed by help") << QStringList{"--servo", "-h"}
						<< "Missing value after '--servo'.";

	// Empty values.
	QTest::newRow("empty port") << QStringList{"--port", ""} << "Empty value for '--port'.";
	QTest::newRow("empty port, equals form") << QStringList{"--port="}
						 << "Empty value for '--port'.";
	QTest::newRow("empty baud") << QStringList{"--baud", ""} << "Empty value for '--baud'.";
	QTest::newRow("empty servo") << QStringList{"--servo", ""} << "Empty value for '--servo'.";

	// Values too long to mean anything.
	QTest::newRow("huge port") << QStringList{"--port", huge_path}
				   << "Path too long for '--port': 100000 bytes (at most 4095).";
	QTest::newRow("huge servo") << QStringList{"--servo", huge_path}
				    << "Path too long for '--servo': 100000 bytes (at most 4095).";
	QTest::newRow("huge baud") << QStringList{"--baud", huge_number}
				   << "Unsupported baud rate: " + huge_number + speeds;

	// Speeds outside the accepted set. The serial line unit would quietly
	// take an unknown speed as 9600.
	for (const char *speed : {"19200", "fast", "0", "-9600", "9600.0", "0x2580", "4294976896"})
		QTest::addRow("speed %s", speed) << QStringList{"--baud", speed}
						 << "Unsupported baud rate: " + QString(speed) + speeds;
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

void SensorPanelTest::runs_on_data()
{
	QTest::addColumn<QStringList>("arguments");

	// The defaults name the board's port, which is not here: the panel
	// reports it in its status bar and runs on.
	QTest::newRow("no arguments: the defaults") << QStringList{};
	QTest::newRow("port that cannot be opened")
		<< QStringList{"--port", "/nonexistent/ttyS9", "--baud", "115200"};
	QTest::newRow("longest path a port can have")
		<< QStringList{"--port", "/" + QString(4094, 'x')};
}

// Runs until its window closes: still up a while later, with no complaint.
void SensorPanelTest::runs_on()
{
	QFETCH(QStringList, arguments);

	QProcess panel;
	panel.start(SENSOR_PANEL, arguments);
	QVERIFY(panel.waitForStarted(process_ms));
	const bool ended = panel.waitForFinished(running_ms);
	panel.kill();
	panel.waitForFinished(process_ms);
	const QByteArray err = panel.readAllStandardError();

	QVERIFY2(!ended, err.constData());
	QVERIFY2(!err.contains("sensor_panel:"), err.constData());
}

void SensorPanelTest::help_ends_with_status_0_data()
{
	QTest::addColumn<QStringList>("arguments");

	QTest::newRow("--help") << QStringList{"--help"};
	QTest::newRow("-h") << QStringList{"-h"};
	QTest::newRow("help among bad options") << QStringList{"--baud", "1", "--help", "stray"};
}

void SensorPanelTest::help_ends_with_status_0()
{
	QFETCH(QStringList, arguments);

	const Run run = run_panel(arguments);

	QCOMPARE(run.status, 0);
	QVERIFY(run.out.contains("--port <PATH>"));
	QVERIFY(run.out.contains("--baud <N>"));
	QVERIFY(run.out.contains("--servo <PATH>"));
}

void SensorPanelTest::prints_the_frames_it_hears()
{
	PtyPair pty(PtyPair::Slave::by_path);
	const QString port = QString::fromStdString(pty.slave_path());
	QProcess panel;
	panel.start(SENSOR_PANEL, {"--port", port, "--servo", "/nonexistent/sg90"});
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
