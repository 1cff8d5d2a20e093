// panel_latency: how long the panel's listener takes from a frame's closing
// brace written to the line to its to_main received, and how many frames a
// second it keeps up with, over a pseudo-terminal set up as the panel sets up
// its port. Prints the figures; judges nothing.
#include <QCoreApplication>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include <sys/syscall.h>
#include <unistd.h>

#include "output_capture.h"
#include "pty_pair.h"
#include "serial_line.h"
#include "serial_listener.h"
#include "wait.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int latency_frames = 2000;
constexpr int rate_frames = 20000;
constexpr char frame_head[] = "{temp,21";

// Counts to_main on the listener's thread and keeps the time of the last one.
class Receiver {
public:
	void received()
	{
		std::lock_guard<std::mutex> lock(mutex);
		last = Clock::now();
		++count;
		changed.notify_all();
	}
	// Waits for the count to reach n; returns the time of the emission that did.
	bool wait_for(int n, Clock::time_point &at)
	{
		std::unique_lock<std::mutex> lock(mutex);
		const bool reached = changed.wait_for(lock, std::chrono::seconds(10),
						      [&] { return count >= n; });
		at = last;
		return reached;
	}

private:
	std::mutex mutex;
	std::condition_variable changed;
	int count = 0;
	Clock::time_point last;
};

// The listener's end of the line, set up as the panel sets up its port.
int open_listener_port(const PtyPair &line)
{
	const int port = open_port(line.slave_path().c_str());
	if (port < 0 || set_opt(port, 9600, 8, 'N', 1) != 0) {
		std::fputs("panel_latency: cannot set up the line\n", stderr);
		std::exit(1);
	}
	return port;
}

double percentile(std::vector<double> sorted, double fraction)
{
	std::sort(sorted.begin(), sorted.end());
	return sorted[static_cast<size_t>(fraction * static_cast<double>(sorted.size() - 1))];
}

// Microseconds from each closing brace written to its emission received.
// The brace is timed once the listener has taken the frame's head and waits
// for more.
std::vector<double> measure_latency(const PtyPair &line, pid_t listener, Receiver &receiver,
				    int &frames_seen)
{
	std::vector<double> latencies;
	for (int i = 0; i < latency_frames; ++i) {
		line.send(frame_head);
		if (!wait_until([&] { return line.unread_input() == 0 && thread_sleeps(listener); },
				patience, std::chrono::microseconds(50)))
			break;
		const Clock::time_point written = Clock::now();
		line.send("}");
		Clock::time_point received;
		if (!receiver.wait_for(++frames_seen, received))
			break;
		latencies.push_back(
			std::chrono::duration<double, std::micro>(received - written).count());
	}
	return latencies;
}

// Frames a second, with the line kept full from a thread of its own.
double measure_rate(const PtyPair &line, Receiver &receiver, int &frames_seen, bool &complete)
{
	const Clock::time_point start = Clock::now();
	std::thread writer([&line] {
		for (int i = 0; i < rate_frames; ++i)
			line.send("{temp,21}");
	});
	frames_seen += rate_frames;
	Clock::time_point last;
	complete = receiver.wait_for(frames_seen, last);
	writer.join();
	return rate_frames / std::chrono::duration<double>(last - start).count();
}

} // namespace

int main(int argc, char *argv[])
{
	QCoreApplication app(argc, argv);
	PtyPair line;
	Serial_Listener listener(open_listener_port(line));
	Receiver receiver;
	QObject::connect(
		&listener, &Serial_Listener::to_main, &listener,
		[&receiver](char *, char *) { receiver.received(); }, Qt::DirectConnection);
	std::atomic<pid_t> listener_thread{0};
	QObject::connect(
		&listener, &QThread::started, &listener,
		[&listener_thread] { listener_thread = static_cast<pid_t>(syscall(SYS_gettid)); },
		Qt::DirectConnection);

	// The listener prints two lines a frame; a terminal would time its own
	// drawing, so they go to a memory file while the clock runs.
	std::optional<OutputCapture> printed(std::in_place, STDOUT_FILENO);
	listener.start();

	int frames_seen = 0;
	std::vector<double> latencies;
	if (wait_until([&] { return listener_thread != 0; }))
		latencies = measure_latency(line, listener_thread, receiver, frames_seen);
	bool complete = false;
	const double rate = measure_rate(line, receiver, frames_seen, complete);

	line.hang_up();
	listener.wait();
	printed.reset();

	if (latencies.empty()) {
		std::puts("panel_latency: no frame came through");
		return 1;
	}
	std::printf("panel_latency: %zu frames, closing brace written -> to_main received: "
		    "median %.1f us, p99 %.1f us, max %.1f us\n",
		    latencies.size(), percentile(latencies, 0.5), percentile(latencies, 0.99),
		    percentile(latencies, 1.0));
	std::printf("panel_latency: %d frames back to back over a pseudo-terminal: %.0f frames/s%s\n",
		    rate_frames, rate, complete ? "" : " (some frames missing)");
	std::printf("figure: panel listener frame latency | median %.1f us, p99 %.1f us | "
		    "closing brace written to a pseudo-terminal -> to_main received, %zu frames\n",
		    percentile(latencies, 0.5), percentile(latencies, 0.99), latencies.size());
	std::printf("figure: panel listener frame rate | %.0f frames/s | "
		    "%d frames written back to back to a pseudo-terminal\n", rate, rate_frames);
	return 0;
}
