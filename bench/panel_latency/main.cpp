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
#include <thread>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "serial_line.h"
#include "serial_listener.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int latency_frames = 2000;
constexpr int rate_frames = 20000;
constexpr char frame_head[] = "{temp,21";
// Lets the listener take the head of a frame before its brace is timed.
constexpr auto head_settle = std::chrono::microseconds(500);

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

struct Line {
	int master;
	int slave;
};

Line open_line()
{
	const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
	if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
		std::perror("panel_latency: pseudo-terminal");
		std::exit(1);
	}
	const int slave = open_port(ptsname(master));
	if (slave < 0 || set_opt(slave, 9600, 8, 'N', 1) != 0) {
		std::fputs("panel_latency: cannot set up the line\n", stderr);
		std::exit(1);
	}
	return {master, slave};
}

void send(int fd, const char *bytes, size_t size)
{
	while (size > 0) {
		const ssize_t n = write(fd, bytes, size);
		if (n <= 0) {
			std::perror("panel_latency: write");
			std::exit(1);
		}
		bytes += n;
		size -= static_cast<size_t>(n);
	}
}

double percentile(std::vector<double> sorted, double fraction)
{
	std::sort(sorted.begin(), sorted.end());
	return sorted[static_cast<size_t>(fraction * static_cast<double>(sorted.size() - 1))];
}

// Microseconds from each closing brace written to its emission received.
std::vector<double> measure_latency(int master, Receiver &receiver, int &frames_seen)
{
	std::vector<double> latencies;
	for (int i = 0; i < latency_frames; ++i) {
		send(master, frame_head, sizeof frame_head - 1);
		std::this_thread::sleep_for(head_settle);
		const Clock::time_point written = Clock::now();
		send(master, "}", 1);
		Clock::time_point received;
		if (!receiver.wait_for(++frames_seen, received))
			break;
		latencies.push_back(
			std::chrono::duration<double, std::micro>(received - written).count());
	}
	return latencies;
}

// Frames a second, with the line kept full from a thread of its own.
double measure_rate(int master, Receiver &receiver, int &frames_seen, bool &complete)
{
	const Clock::time_point start = Clock::now();
	std::thread writer([master] {
		for (int i = 0; i < rate_frames; ++i)
			send(master, "{temp,21}", 9);
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
	const Line line = open_line();
	Receiver receiver;
	Serial_Listener listener(line.slave);
	QObject::connect(
		&listener, &Serial_Listener::to_main, &listener,
		[&receiver](char *, char *) { receiver.received(); }, Qt::DirectConnection);

	// The listener prints two lines a frame; a terminal would time its own
	// drawing, so they go to /dev/null while the clock runs.
	std::fflush(stdout);
	const int saved_stdout = dup(STDOUT_FILENO);
	const int null_fd = open("/dev/null", O_WRONLY);
	dup2(null_fd, STDOUT_FILENO);
	listener.start();

	int frames_seen = 0;
	const std::vector<double> latencies = measure_latency(line.master, receiver, frames_seen);
	bool complete = false;
	const double rate = measure_rate(line.master, receiver, frames_seen, complete);

	close(line.master);
	listener.wait();
	std::fflush(stdout);
	dup2(saved_stdout, STDOUT_FILENO);

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
