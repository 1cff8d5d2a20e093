// The panel's entry, built with a stand-in window: its exit status is the
// event loop's, the window goes before the application, and a command line
// that asks for no panel ends main before any window is made.
#include <QtTest>

#include "panel_options.h"
#include "panel_run.h"

namespace {

// The options are read by an application of their own, gone before the
// window's is made.
const QByteArray reader_end = "application: destroyed\n";

Run run_entry(const QStringList &arguments, const QString &finish,
	      QProcessEnvironment environment = QProcessEnvironment::systemEnvironment())
{
	QProcess entry;
	environment.insert("ENTRY_PROBE_FINISH", finish);
	entry.setProcessEnvironment(environment);
	entry.start(ENTRY_PROBE, arguments);
	return collect_run(entry, 20000);
}

} // namespace

class EntryTest : public QObject {
	Q_OBJECT

private slots:
	void runs_the_window_data();
	void runs_the_window();
	void no_window_for_help_or_mistakes_data();
	void no_window_for_help_or_mistakes();
	void help_and_mistakes_need_no_display();
};

void EntryTest::runs_the_window_data()
{
	QTest::addColumn<QStringList>("arguments");
	QTest::addColumn<QString>("finish");
	QTest::addColumn<int>("status");
	QTest::addColumn<QString>("options");

	const QString defaults = "port /dev/ttySAC1, baud 9600, servo /dev/sg90";
	QTest::newRow("loop ended with 0") << QStringList{} << "exit 0" << 0 << defaults;
	QTest::newRow("loop ended with 3") << QStringList{} << "exit 3" << 3 << defaults;
	QTest::newRow("loop ended with 42") << QStringList{} << "exit 42" << 42 << defaults;
	QTest::newRow("last window closed") << QStringList{} << "close" << 0 << defaults;
	QTest::newRow("options reach the window")
		<< QStringList{"--port", "/dev/ttyS5", "--baud", "115200", "--servo", "/tmp/sg"}
		<< "close" << 0 << "port /dev/ttyS5, baud 115200, servo /tmp/sg";
	// The application takes its own options out of argv before they are read.
	QTest::newRow("Qt's options are taken out")
		<< QStringList{"-platform", "offscreen", "--port", "/dev/ttyS5"} << "exit 5" << 5
		<< "port /dev/ttyS5, baud 9600, servo /dev/sg90";
}

void EntryTest::runs_the_window()
{
	QFETCH(QStringList, arguments);
	QFETCH(QString, finish);
	QFETCH(int, status);
	QFETCH(QString, options);

	const Run run = run_entry(arguments, finish);

	QCOMPARE(run.status, status);
	QCOMPARE(run.out, reader_end + ("window: parent none, " + options +
			   "\nwindow: shown\nwindow: destroyed before the application\n"
			   "application: destroyed\n")
				  .toUtf8());
}

void EntryTest::no_window_for_help_or_mistakes_data()
{
	QTest::addColumn<QStringList>("arguments");
	QTest::addColumn<int>("status");
	QTest::addColumn<QByteArray>("out");
	QTest::addColumn<QByteArray>("err");

	// The help's usage line names the program as it was started, here this test.
	const QString help = read_command_line({"sensor_panel", "--help"}).help;
	const int usage_end = help.indexOf(" [options]\n");
	QVERIFY(usage_end > 0);
	const QByteArray help_out = reader_end + ("Usage: " ENTRY_PROBE + help.mid(usage_end)).toUtf8();
	const QByteArray hint = "\nTry 'sensor_panel --help'.\n";

	QTest::newRow("--help") << QStringList{"--help"} << 0 << help_out << QByteArray();
	QTest::newRow("-h after Qt's options")
		<< QStringList{"-platform", "offscreen", "-h"} << 0 << help_out << QByteArray();
	QTest::newRow("unknown option") << QStringList{"-x"} << 1 << reader_end
					<< "sensor_panel: Unknown option 'x'." + hint;
	QTest::newRow("unsupported baud")
		<< QStringList{"--baud", "19200"} << 1 << reader_end
		<< "sensor_panel: Unsupported baud rate: 19200 (2400, 4800, 9600 or 115200)" + hint;
}

// Printed and returned from main: no window line, and the application is
// destroyed on the way out.
void EntryTest::no_window_for_help_or_mistakes()
{
	QFETCH(QStringList, arguments);
	QFETCH(int, status);
	QFETCH(QByteArray, out);
	QFETCH(QByteArray, err);

	const Run run = run_entry(arguments, "close");

	QCOMPARE(run.status, status);
	QCOMPARE(run.out, out);
	// Qt may warn about its environment first.
	if (err.isEmpty())
		QVERIFY2(!run.err.contains("sensor_panel:"), run.err.constData());
	else
		QVERIFY2(run.err.endsWith(err), run.err.constData());
}

// Over ssh or on a board without a screen: the platform plugin could not
// start, but usage and option mistakes never need it.
void EntryTest::help_and_mistakes_need_no_display()
{
	QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
	environment.insert("QT_QPA_PLATFORM", "xcb");
	environment.remove("DISPLAY");
	environment.remove("WAYLAND_DISPLAY");

	const Run help = run_entry({"--help"}, "close", environment);
	QCOMPARE(help.status, 0);
	QVERIFY2(help.out.contains("Usage: "), help.err.constData());

	const Run mistake = run_entry({"--baud", "19200"}, "close", environment);
	QCOMPARE(mistake.status, 1);
	QVERIFY2(mistake.err.contains("sensor_panel: Unsupported baud rate: 19200"),
		 mistake.err.constData());
}

QTEST_GUILESS_MAIN(EntryTest)
#include "entry_test.moc"
