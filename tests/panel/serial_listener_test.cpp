// The listener over a pipe the test feeds: what it prints, what it emits, and
// how it ends.
#include <QtTest>

#include <atomic>
#include <csignal>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <pthread.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "output_capture.h"
#include "pty_pair.h"
#include "serial_listener.h"
#include "wait.h"

Q_DECLARE_METATYPE(char *)

namespace {

constexpr unsigned long thread_end_ms = 5000;

struct Pipe {
	Pipe()
	{
		if (pipe(fds) != 0)
			qFatal("pipe failed");
	}
	~Pipe()
	{
		close_write();
		close(fds[0]);
	}
	void write_all(const QByteArray &bytes) const
	{
		QCOMPARE(write(fds[1], bytes.constData(), bytes.size()), ssize_t(bytes.size()));
	}
	void close_write()
	{
		if (fds[1] >= 0)
			close(fds[1]);
		fds[1] = -1;
	}
	int read_end() const { return fds[0]; }
	int write_end() const { return fds[1]; }

	int fds[2];
};

// Texts copied during each direct call: afterwards the listener may rewrite them.
struct Copies {
	void attach(Serial_Listener &listener)
	{
		QObject::connect(
			&listener, &Serial_Listener::to_main, &listener,
			[this](char *module, char *value) {
				emissions << QByteArray(module) + '|' + QByteArray(value);
				thread = pthread_self();
				count.store(emissions.size());
			},
			Qt::DirectConnection);
	}

	QByteArrayList emissions;
	pthread_t thread{};
	std::atomic<int> count{0};
};

// What the listener prints for the frame texts it received: each one's
// fields as emitted ("module|value"), or "" for a frame it dropped.
QByteArray expected_output(const QByteArrayList &texts, const QByteArrayList &fields,
			   const QByteArray &end)
{
	QByteArray out = "uart_recv\n";
	for (int i = 0; i < texts.size(); ++i) {
		out += "uart recv = " + texts[i] + "\n";
		if (fields[i].isEmpty()) {
			out += "frame dropped: not {module,value}\n";
			continue;
		}
		const QByteArrayList parts = fields[i].split('|');
		out += "module = " + parts[0] + ", value = " + parts[1] + "\n";
	}
	return out + end;
}

std::atomic<int> signals_handled{0};

void count_signal(int)
{
	signals_handled++;
}

int unread_bytes(int fd)
{
	int count = 0;
	return ioctl(fd, FIONREAD, &count) == 0 ? count : -1;
}

// The listener's thread, known from its start, and whether it sleeps in the
// kernel: after "uart_recv" that is its wait for the line.
struct ListenerThread {
	void attach(Serial_Listener &listener)
	{
		QObject::connect(
			&listener, &QThread::started, &listener,
			[this] { tid.store(static_cast<pid_t>(syscall(SYS_gettid))); },
			Qt::DirectConnection);
	}
	bool sleeping() const { return tid.load() != 0 && thread_sleeps(tid.load()); }

	std::atomic<pid_t> tid{0};
};

// Waits until the listener has taken every byte and handled the frames
// among them, and sleeps waiting for more.
bool waits_on_a_quiet_line(const ListenerThread &thread, int line, const Copies &copies,
			   int frames, const OutputCapture &capture)
{
	return QTest::qWaitFor([&] {
		return capture.text().rfind("uart_recv\n", 0) == 0 && unread_bytes(line) == 0 &&
		       copies.count.load() == frames && thread.sleeping();
	});
}

} // namespace

class SerialListenerTest : public QObject {
	Q_OBJECT

private slots:
	void initTestCase();
	void frames_data();
	void frames();
	void announces_itself_before_reading();
	void interrupted_read_is_retried();
	void failed_read_ends_the_loop();
	void stop_ends_the_run_quietly_data();
	void stop_ends_the_run_quietly();
	void stop_before_start_ends_the_run_at_once();
	void stop_during_a_frame_ends_the_run_after_it();
	void destroying_a_waiting_listener_stops_it();
	void hang_up_is_still_reported();
};

void SerialListenerTest::initTestCase()
{
	qRegisterMetaType<char *>("char*");
}

void SerialListenerTest::frames_data()
{
	QTest::addColumn<QByteArray>("input");
	QTest::addColumn<QByteArrayList>("texts");
	// Per text, as emitted; "" where the frame is dropped.
	QTest::addColumn<QByteArrayList>("fields");

	const QByteArray twenty_no_brace = "{abcdefghij,1234567";
	const QByteArray zero_inside = QByteArray("{ab\0,1}", 7);

	QTest::newRow("one frame") << QByteArray("{ab,12}") << QByteArrayList{"{ab,12}"}
				   << QByteArrayList{"ab|12}"};
	QTest::newRow("back to back")
		<< QByteArray("{ab,12}{cd,3}") << QByteArrayList{"{ab,12}", "{cd,3}"}
		<< QByteArrayList{"ab|12}", "cd|3}"};
	QTest::newRow("line ending after every frame")
		<< QByteArray("{temp,21}\n{temp,22}\r\n{hum,40}\n")
		<< QByteArrayList{"{temp,21}", "{temp,22}", "{hum,40}"}
		<< QByteArrayList{"temp|21}", "temp|22}", "hum|40}"};
	QTest::newRow("noise between frames")
		<< QByteArray("zz}{ab,1},,x{cd,2}") << QByteArrayList{"{ab,1}", "{cd,2}"}
		<< QByteArrayList{"ab|1}", "cd|2}"};
	QTest::newRow("a brace inside a frame starts over")
		<< QByteArray("{ab,1{cd,2}") << QByteArrayList{"{cd,2}"} << QByteArrayList{"cd|2}"};
	QTest::newRow("frames not taken apart are dropped")
		<< QByteArray("{xy,9}{,12}{ab}{ab,1,2}{ab,}")
		<< QByteArrayList{"{xy,9}", "{,12}", "{ab}", "{ab,1,2}", "{ab,}"}
		<< QByteArrayList{"xy|9}", "", "", "", ""};
	QTest::newRow("exactly 20 bytes")
		<< QByteArray("{abcdefghi,12345678}") << QByteArrayList{"{abcdefghi,12345678}"}
		<< QByteArrayList{"abcdefghi|12345678}"};
	QTest::newRow("21 bytes are dropped whole")
		<< QByteArray("{xy,9}{abcdefghij,12345678}{cd,2}")
		<< QByteArrayList{"{xy,9}", "{cd,2}"} << QByteArrayList{"xy|9}", "cd|2}"};
	QTest::newRow("20 bytes without a brace are dropped")
		<< twenty_no_brace + "x}{cd,2}" << QByteArrayList{"{cd,2}"}
		<< QByteArrayList{"cd|2}"};
	QTest::newRow("zero byte inside a frame")
		<< zero_inside + "{cd,2}" << QByteArrayList{"{ab", "{cd,2}"}
		<< QByteArrayList{"", "cd|2}"};
	QTest::newRow("module run over 9 bytes")
		<< QByteArray("{xy,9}{abcdefghij,1}") << QByteArrayList{"{xy,9}", "{abcdefghij,1}"}
		<< QByteArrayList{"xy|9}", ""};
	QTest::newRow("value run over 8 bytes")
		<< QByteArray("{xy,9}{ab,123456789}") << QByteArrayList{"{xy,9}", "{ab,123456789}"}
		<< QByteArrayList{"xy|9}", ""};
	QTest::newRow("incomplete frame at the end")
		<< QByteArray("{ab,1}{cd") << QByteArrayList{"{ab,1}"} << QByteArrayList{"ab|1}"};
}

void SerialListenerTest::frames()
{
	QFETCH(QByteArray, input);
	QFETCH(QByteArrayList, texts);
	QFETCH(QByteArrayList, fields);

	Pipe line;
	Serial_Listener listener(line.read_end());
	Copies copies;
	copies.attach(listener);
	QSignalSpy spy(&listener, &Serial_Listener::to_main);

	OutputCapture capture;
	listener.start();
	line.write_all(input);
	line.close_write();
	const bool ended = listener.wait(thread_end_ms);
	const QByteArray output = QByteArray::fromStdString(capture.finish());

	QVERIFY(ended);
	QCOMPARE(output, expected_output(texts, fields, "uart recv ended: end of file\n"));
	QByteArrayList emissions = fields;
	emissions.removeAll(QByteArray());
	QCOMPARE(copies.emissions, emissions);
	// Every emission points at the listener's own two fields, not at copies.
	QCOMPARE(spy.size(), emissions.size());
	for (const QList<QVariant> &arguments : spy) {
		QCOMPARE(arguments[0].value<char *>(), spy[0][0].value<char *>());
		QCOMPARE(arguments[1].value<char *>(), spy[0][1].value<char *>());
	}
}

void SerialListenerTest::announces_itself_before_reading()
{
	Pipe line;
	Serial_Listener listener(line.read_end());

	OutputCapture capture;
	listener.start();
	const bool announced = QTest::qWaitFor([&] { return !capture.text().empty(); });
	const QByteArray before_input = QByteArray::fromStdString(capture.text());
	line.close_write();
	const bool ended = listener.wait(thread_end_ms);
	capture.finish();

	QVERIFY(announced);
	QCOMPARE(before_input, QByteArray("uart_recv\n"));
	QVERIFY(ended);
}

void SerialListenerTest::interrupted_read_is_retried()
{
	struct sigaction action = {};
	action.sa_handler = count_signal;
	// No SA_RESTART: the blocked read fails with EINTR.
	struct sigaction previous;
	sigaction(SIGUSR1, &action, &previous);

	Pipe line;
	Serial_Listener listener(line.read_end());
	Copies copies;
	copies.attach(listener);
	ListenerThread thread;
	thread.attach(listener);
	signals_handled = 0;

	OutputCapture capture;
	listener.start();
	line.write_all("{ab,1}");
	const bool first = QTest::qWaitFor([&] {
		return copies.count.load() == 1 && unread_bytes(line.read_end()) == 0 &&
		       thread.sleeping();
	});
	// The signal breaks the thread's wait in its next read, and the thread
	// waits again.
	bool interrupted = false;
	if (first) {
		pthread_kill(copies.thread, SIGUSR1);
		interrupted = QTest::qWaitFor(
			[&] { return signals_handled.load() == 1 && thread.sleeping(); });
	}
	line.write_all("{cd,2}");
	line.close_write();
	const bool ended = listener.wait(thread_end_ms);
	const QByteArray output = QByteArray::fromStdString(capture.finish());
	sigaction(SIGUSR1, &previous, nullptr);

	QVERIFY(first);
	QVERIFY(interrupted);
	QVERIFY(ended);
	QCOMPARE(copies.emissions, (QByteArrayList{"ab|1}", "cd|2}"}));
	QVERIFY(output.endsWith("uart recv ended: end of file\n"));
}

void SerialListenerTest::failed_read_ends_the_loop()
{
	Pipe line;
	// Reading the write end fails at once with EBADF.
	Serial_Listener listener(line.write_end());

	OutputCapture capture;
	listener.start();
	const bool ended = listener.wait(thread_end_ms);
	const QByteArray output = QByteArray::fromStdString(capture.finish());

	QVERIFY(ended);
	QCOMPARE(output, QByteArray("uart_recv\nuart recv ended: Bad file descriptor\n"));
}

void SerialListenerTest::stop_ends_the_run_quietly_data()
{
	QTest::addColumn<QByteArray>("input");
	QTest::addColumn<QByteArrayList>("texts");
	QTest::addColumn<QByteArrayList>("emissions");

	QTest::newRow("quiet line") << QByteArray() << QByteArrayList{} << QByteArrayList{};
	QTest::newRow("frames before the stop")
		<< QByteArray("{ab,1}{cd,2}") << QByteArrayList{"{ab,1}", "{cd,2}"}
		<< QByteArrayList{"ab|1}", "cd|2}"};
	QTest::newRow("stop inside a frame")
		<< QByteArray("{ab,1}{cd") << QByteArrayList{"{ab,1}"} << QByteArrayList{"ab|1}"};
}

// Stopped while it waits for a byte: the run ends, the frames handled before
// stay printed and emitted, and no line end is reported.
void SerialListenerTest::stop_ends_the_run_quietly()
{
	QFETCH(QByteArray, input);
	QFETCH(QByteArrayList, texts);
	QFETCH(QByteArrayList, emissions);

	Pipe line;
	Serial_Listener listener(line.read_end());
	Copies copies;
	copies.attach(listener);
	ListenerThread thread;
	thread.attach(listener);

	OutputCapture capture;
	listener.start();
	line.write_all(input);
	const bool waiting =
		waits_on_a_quiet_line(thread, line.read_end(), copies, emissions.size(), capture);
	listener.stop();
	const bool ended = listener.wait(thread_end_ms);
	const QByteArray output = QByteArray::fromStdString(capture.finish());

	QVERIFY(waiting);
	QVERIFY(ended);
	QCOMPARE(output, expected_output(texts, emissions, ""));
	QCOMPARE(copies.emissions, emissions);
}

// A stop that comes before the run has begun is not lost.
void SerialListenerTest::stop_before_start_ends_the_run_at_once()
{
	Pipe line;
	Serial_Listener listener(line.read_end());

	OutputCapture capture;
	listener.stop();
	listener.start();
	line.write_all("{ab,1}");
	const bool ended = listener.wait(thread_end_ms);
	const QByteArray output = QByteArray::fromStdString(capture.finish());

	QVERIFY(ended);
	QCOMPARE(output, QByteArray("uart_recv\n"));
}

// Frames that arrived together with the one during which stop() came are
// not handled, though they may have been read with it.
void SerialListenerTest::stop_during_a_frame_ends_the_run_after_it()
{
	Pipe line;
	Serial_Listener listener(line.read_end());
	Copies copies;
	copies.attach(listener);
	QObject::connect(
		&listener, &Serial_Listener::to_main, &listener, [&] { listener.stop(); },
		Qt::DirectConnection);

	OutputCapture capture;
	line.write_all("{ab,1}{cd,2}{ef,3}");
	listener.start();
	const bool ended = listener.wait(thread_end_ms);
	const QByteArray output = QByteArray::fromStdString(capture.finish());

	QVERIFY(ended);
	QCOMPARE(output, expected_output({"{ab,1}"}, {"ab|1}"}, ""));
	QCOMPARE(copies.emissions, QByteArrayList{"ab|1}"});
}

void SerialListenerTest::destroying_a_waiting_listener_stops_it()
{
	Pipe line;
	auto listener = std::make_unique<Serial_Listener>(line.read_end());
	Copies copies;
	copies.attach(*listener);
	ListenerThread thread;
	thread.attach(*listener);

	OutputCapture capture;
	listener->start();
	line.write_all("{ab,1}");
	const bool waiting = waits_on_a_quiet_line(thread, line.read_end(), copies, 1, capture);
	listener.reset();
	const QByteArray output = QByteArray::fromStdString(capture.finish());

	QVERIFY(waiting);
	QCOMPARE(output, expected_output({"{ab,1}"}, {"ab|1}"}, ""));
}

// The far end of a terminal going away still ends the run with its one line,
// and a stop afterwards adds nothing.
void SerialListenerTest::hang_up_is_still_reported()
{
	PtyPair pty;
	const int fd = pty.slave();
	QByteArray output;
	bool waiting = false;
	bool ended = false;
	{
		Serial_Listener listener(fd);
		Copies copies;
		ListenerThread thread;
		thread.attach(listener);

		OutputCapture capture;
		listener.start();
		waiting = waits_on_a_quiet_line(thread, fd, copies, 0, capture);
		pty.hang_up();
		ended = listener.wait(thread_end_ms);
		listener.stop();
		output = QByteArray::fromStdString(capture.finish());
	}

	QVERIFY(waiting);
	QVERIFY(ended);
	// A read that waits when the far end goes away fails with EIO; one made
	// after the hang-up reads the end of file. Either is the line's one end.
	QVERIFY2(output == "uart_recv\nuart recv ended: Input/output error\n" ||
			 output == "uart_recv\nuart recv ended: end of file\n",
		 output.constData());
}

QTEST_GUILESS_MAIN(SerialListenerTest)
#include "serial_listener_test.moc"
