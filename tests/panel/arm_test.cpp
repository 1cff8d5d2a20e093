// sensor_panel cross-built for the board, run by QEMU's user-mode emulator
// in a root holding only what scripts/panel-rootfs collected (arm-run):
// the loader, Debian's armhf Qt and the libraries it needs, its plugins
// and fonts.
#include <QtTest>

#include <csignal>

#include "panel_run.h"
#include "pty_pair.h"

namespace {

// Everything runs emulated, Qt's start-up included: seconds, not milliseconds.
constexpr int process_ms = 60000;

const QString panel_path = "/usr/bin/sensor_panel";

// The program's own environment: nothing of the host's but the path.
QProcessEnvironment board_environment()
{
	QProcessEnvironment environment;
	environment.insert("PATH", "/usr/bin:/bin");
	environment.insert("QT_QPA_PLATFORM", "offscreen");
	return environment;
}

void start(QProcess &panel, const QStringList &arguments,
	   const QProcessEnvironment &environment = board_environment())
{
	panel.setProcessEnvironment(environment);
	panel.start(PANEL_ARM_RUN, QStringList{PANEL_ARM_STAGE, panel_path} + arguments);
}

Run run_panel(const QStringList &arguments,
	      const QProcessEnvironment &environment = board_environment())
{
	QProcess panel;
	start(panel, arguments, environment);
	return collect_run(panel, process_ms);
}

// Reads the panel's output until it holds `text`.
bool heard(QProcess &panel, QByteArray &out, const QByteArray &text)
{
	return QTest::qWaitFor(
		[&] {
			panel.waitForReadyRead(50);
			out += panel.readAllStandardOutput();
			return out.contains(text) || panel.state() == QProcess::NotRunning;
		},
		process_ms) &&
	       out.contains(text);
}

// SIGTERM ends the panel by its default action, as on the board: killed by
// that signal, not by one the emulated program raised itself.
void ends_on_sigterm(QProcess &panel)
{
	panel.terminate();
	const bool ended = panel.waitForFinished(process_ms);
	if (!ended) {
		panel.kill();
		panel.waitForFinished(process_ms);
	}
	const QByteArray err = panel.readAllStandardError();
	QVERIFY2(ended, err.constData());
	QCOMPARE(panel.exitStatus(), QProcess::CrashExit);
	QCOMPARE(panel.exitCode(), SIGTERM);
	// QEMU names a fault of the emulated program ("uncaught target signal").
	QVERIFY2(!err.contains("qemu:"), err.constData());
	QVERIFY2(!err.contains("sensor_panel:"), err.constData());
}

} // namespace

class ArmPanelTest : public QObject {
	Q_OBJECT

private slots:
	void help_ends_with_status_0();
	void rejects_data();
	void rejects();
	void prints_the_frames_it_hears();
	void finds_its_fonts();
	void loads_the_board_plugins();
};

void ArmPanelTest::help_ends_with_status_0()
{
	const Run run = run_panel({"--help"});

	QVERIFY2(run.status == 0, run.err.constData());
	QVERIFY(run.out.startsWith("Usage: /usr/bin/sensor_panel [options]\n"));
	QVERIFY(run.out.contains("Shows the {module,value} frames arriving on a serial line"));
	QVERIFY(run.out.contains("--port <PATH>"));
	QVERIFY(run.out.contains("--baud <N>"));
	QVERIFY(run.out.contains("--servo <PATH>"));
}

void ArmPanelTest::rejects_data()
{
	QTest::addColumn<QStringList>("arguments");
	QTest::addColumn<QString>("error");

	QTest::newRow("unknown option") << QStringList{"--speed", "9600"} << "Unknown option 'speed'.";
	QTest::newRow("unsupported speed")
		<< QStringList{"--baud", "19200"}
		<< "Unsupported baud rate: 19200 (2400, 4800, 9600 or 115200)";
}

void ArmPanelTest::rejects()
{
	QFETCH(QStringList, arguments);
	QFETCH(QString, error);

	const Run run = run_panel(arguments);

	QCOMPARE(run.status, 1);
	// Qt may warn about its environment first.
	const QByteArray message = ("sensor_panel: " + error + "\nTry 'sensor_panel --help'.\n").toUtf8();
	QVERIFY2(run.err.endsWith(message), run.err.constData());
	QCOMPARE(run.out, QByteArray());
}

void ArmPanelTest::prints_the_frames_it_hears()
{
	PtyPair pty(PtyPair::Slave::by_path);
	const QString port = QString::fromStdString(pty.slave_path());
	QProcess panel;
	start(panel, {"--port", port, "--servo", "/nonexistent/sg90"});
	QVERIFY(panel.waitForStarted(process_ms));
	QByteArray out;

	const bool listening = heard(panel, out, "uart_recv\n");
	if (listening)
		pty.send("{ab,12}");
	const bool printed = listening && heard(panel, out, "module = ab, value = 12}\n");
	if (!printed) {
		panel.kill();
		panel.waitForFinished(process_ms);
	}

	QVERIFY2(listening, (out + panel.readAllStandardError()).constData());
	QVERIFY2(printed, (out + panel.readAllStandardError()).constData());
	QVERIFY2(out.contains("uart_recv\nuart recv = {ab,12}\nmodule = ab, value = 12}\n"),
		 out.constData());
	ends_on_sigterm(panel);
}

// fontconfig's own trace (FC_DEBUG=1 prints each match) shows the fonts the
// panel's text is laid out with: the collected ones, as the host's are out
// of reach.
void ArmPanelTest::finds_its_fonts()
{
	PtyPair pty(PtyPair::Slave::by_path);
	QProcessEnvironment environment = board_environment();
	environment.insert("FC_DEBUG", "1");
	QProcess panel;
	start(panel, {"--port", QString::fromStdString(pty.slave_path())}, environment);
	QVERIFY(panel.waitForStarted(process_ms));
	QByteArray out;

	// The trace shares the panel's standard output, which is flushed with
	// each frame: frames go on until the match shows.
	const QByteArray dejavu = "file: \"/usr/share/fonts/truetype/dejavu/DejaVuSans";
	bool matched = false;
	if (heard(panel, out, "uart_recv\n")) {
		for (int frame = 0; frame < 20 && !matched; ++frame) {
			const QByteArray value = QByteArray::number(frame);
			pty.send("{font," + value.toStdString() + "}");
			if (!heard(panel, out, "module = font, value = " + value + "}\n"))
				break;
			matched = out.contains(dejavu);
			if (!matched)
				QTest::qWait(500);
		}
	}
	if (!matched) {
		panel.kill();
		panel.waitForFinished(process_ms);
	}

	const QByteArray err = panel.readAllStandardError();
	QVERIFY2(matched, (out + err).constData());
	// Lacking its configuration, fontconfig falls back on built-in paths.
	QVERIFY2(!err.contains("Fontconfig"), err.constData());
	ends_on_sigterm(panel);
}

// The board's platform plugin and the evdev input plugins load with every
// library they need; Qt's plugin trace names each one loaded. With no
// framebuffer here, linuxfb reports it and Qt refuses the window.
void ArmPanelTest::loads_the_board_plugins()
{
	QProcessEnvironment environment = board_environment();
	environment.insert("QT_QPA_PLATFORM", "linuxfb:fb=/nonexistent/fb0");
	environment.insert("QT_QPA_GENERIC_PLUGINS",
			   "evdevkeyboard:/nonexistent/kbd,evdevmouse:/nonexistent/mouse,"
			   "evdevtouch:/nonexistent/touch,evdevtablet:/nonexistent/tablet");
	environment.insert("QT_DEBUG_PLUGINS", "1");
	const QByteArray err = run_panel({"--port", "/dev/null"}, environment).err;

	const QByteArray plugins = "/usr/lib/arm-linux-gnueabihf/qt5/plugins/";
	for (const char *plugin :
	     {"platforms/libqlinuxfb.so", "generic/libqevdevkeyboardplugin.so",
	      "generic/libqevdevmouseplugin.so", "generic/libqevdevtouchplugin.so",
	      "generic/libqevdevtabletplugin.so"})
		QVERIFY2(err.contains("loaded library \"" + plugins + plugin + "\""), plugin);
	QVERIFY2(err.contains("Failed to open framebuffer /nonexistent/fb0"), err.constData());
	QVERIFY2(err.contains("Cannot create window: no screens available"), err.constData());
}

QTEST_GUILESS_MAIN(ArmPanelTest)
#include "arm_test.moc"
