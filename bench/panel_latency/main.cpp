// panel_latency: how long the panel's listener takes from a frame's closing
// brace written to the line to its to_main received, and how many frames a
// second it keeps up with beside its baseline, the listener as it was before
// it could be stopped, in the same run; over a pseudo-terminal set up as the
// panel sets up its port. Prints the figures; judges nothing.
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

#include "baseline_listener.h"
#include "output_capture.h"
#include "pty_pair.h"
#include "serial_line.h"
#include "serial_listener.h"
#include "side_by_side.h"
#include "wait.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int latency_frames = 2000;
constexpr int rate_frames = 20000;
constexpr int rate_rounds = 5;
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

// A listener on a line of its own, its thread started and waiting for the
// line; the line hangs up at the end, which ends the listener.
template <class Listener>
struct Listening {
	PtyPair line;
	int port;
	Listener listener;
	Receiver receiver;
	std::atomic<pid_t> thread{0};

	Listening() : port(open_listener_port(line)), listener(port)
	{
		QObject::connect(
			&listener, &Listener::to_main, &listener,
			[this](char *, char *) { receiver.received(); }, Qt::DirectConnection);
		QObject::connect(
			&listener, &QThread::started, &listener,
			[this] { thread = static_cast<pid_t>(syscall(SYS_gettid)); },
			Qt::DirectConnection);
		listener.start();
		wait_until([this] { return thread != 0 && thread_sleeps(thread); });
	}
	~Listening()
	{
		line.hang_up();
		listener.wait();
		close(port);
	}
};

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
double measure_rate(const PtyPair &line, Receiver &receiver, bool &complete)
{
	const Clock::time_point start = Clock::now();
	std::thread writer([&line] {
		for (int i = 0; i < rate_frames; ++i)
			line.send("{temp,21}");
	});
	Clock::time_point last;
	complete = receiver.wait_for(rate_frames, last) && complete;
	writer.join();
	return rate_frames / std::chrono::duration<double>(last - start).count();
}

template <class Listener>
double frame_rate(bool &complete)
{
	Listening<Listener> listening;
	return measure_rate(listening.line, listening.receiver, complete);
}

} // namespace

int main(int argc, char *argv[])
{
	QCoreApplication app(argc, argv);

	// The listeners print two lines a frame; a terminal would time its own
	// drawing, so they go to a memory file while the clock runs.
	std::optional<OutputCapture> printed(std::in_place, STDOUT_FILENO);
	std::vector<double> latencies;
	{
		Listening<Serial_Listener> listening;
		int frames_seen = 0;
		if (listening.thread != 0)
			latencies = measure_latency(listening.line, listening.thread,
						    listening.receiver, frames_seen);
	}
	bool complete = true;
	const SideBySide rate = side_by_side(rate_rounds, [&complete](bool baseline) {
		return baseline ? frame_rate<Baseline_Listener>(complete)
				: frame_rate<Serial_Listener>(complete);
	});
	printed.reset();

	if (latencies.empty()) {
		std::puts("panel_latency: no frame came through");
		return 1;
	}
	std::printf("panel_latency: %zu frames, closing brace written -> to_main received: "
		    "median %.1f us, p99 %.1f us, max %.1f us\n",
		    latencies.size(), percentile(latencies, 0.5), percentile(latencies, 0.99),
		    percentile(latencies, 1.0));
	for (std::size_t i = 0; i < rate.ratios.size(); ++i)
		std::printf("panel_latency: round %zu, %d frames back to back over a "
			    "pseudo-terminal: listener %.0f frames/s, baseline %.0f frames/s\n",
			    i + 1, rate_frames, rate.rates[i], rate.baseline_rates[i]);
	std::printf("panel_latency: listener %.2f x its baseline (%.0f frames/s against %.0f "
		    "frames/s), the median of %d rounds%s\n",
		    rate.ratio(), rate.rate(), rate.baseline_rate(), rate_rounds,
		    complete ? "" : " (some frames missing)");
	std::printf("figure: panel listener frame latency | median %.1f us, p99 %.1f us | "
		    "closing brace written to a pseudo-terminal -> to_main received, %zu frames\n",
		    percentile(latencies, 0.5), percentile(latencies, 0.99), latencies.size());
	std::printf("figure: panel listener frame rate | %.2f x its baseline (%.0f frames/s "
		    "against %.0f frames/s) | %d frames written back to back to a pseudo-terminal, "
		    "the listener and the baseline (the listener before it could be stopped: one "
		    "blocking read a byte) in turn, median of %d rounds\n",
		    rate.ratio(), rate.rate(), rate.baseline_rate(), rate_frames, rate_rounds);
	return 0;
}
