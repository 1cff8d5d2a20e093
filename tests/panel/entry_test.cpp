// The panel's entry, built with a stand-in window: its exit status is the
// event loop's, and the window goes before the application.
#include <QtTest>

class EntryTest : public QObject {
	Q_OBJECT

private slots:
	void runs_the_window_data();
	void runs_the_window();
};

void EntryTest::runs_the_window_data()
{
	QTest::addColumn<QStringList>("arguments");
	QTest::addColumn<int>("status");
	QTest::addColumn<QString>("window_arguments");

	QTest::newRow("loop ended with 0") << QStringList{"exit", "0"} << 0 << "exit 0";
	QTest::newRow("loop ended with 3") << QStringList{"exit", "3"} << 3 << "exit 3";
	QTest::newRow("loop ended with 42") << QStringList{"exit", "42"} << 42 << "exit 42";
	QTest::newRow("last window closed") << QStringList{"close"} << 0 << "close";
	// The application takes its own options out of argv before the window looks.
	QTest::newRow("Qt's options are taken out")
		<< QStringList{"-platform", "offscreen", "exit", "5"} << 5 << "exit 5";
}

void EntryTest::runs_the_window()
{
	QFETCH(QStringList, arguments);
	QFETCH(int, status);
	QFETCH(QString, window_arguments);

	QProcess entry;
	entry.start(ENTRY_PROBE, arguments);
	QVERIFY(entry.waitForFinished(20000));

	QCOMPARE(entry.exitStatus(), QProcess::NormalExit);
	QCOMPARE(entry.exitCode(), status);
	QCOMPARE(entry.readAllStandardOutput(),
		 ("window: parent none, arguments " + window_arguments +
		  "\nwindow: shown\nwindow: destroyed before the application\n")
			 .toUtf8());
}

QTEST_GUILESS_MAIN(EntryTest)
#include "entry_test.moc"
