// pir_latency PULL EDGES TICK_US: times the PIR notification on the virtual
// board. Pulls the simulated PIR line (PULL, its simulator's sysfs pull
// file) EDGES times, up and down in turn, each after a random part of the
// kernel's tick (TICK_US microseconds), and measures on CLOCK_MONOTONIC
// from each write of the pull file to the SIGIO that /dev/sr501 then sends to its
// FASYNC subscriber, as motion_monitor subscribes. Fails unless every edge
// brings exactly one notification and the node then reads the level pulled.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include <err.h>
#include <fcntl.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

namespace {

constexpr const char *node = "/dev/sr501";
// Far beyond the debounce: a notification not there by then is lost.
constexpr timespec notification_timeout = {1, 0};
// How long the line stays quiet after the last edge, to catch a late extra.
constexpr timespec quiet_after_last = {0, 100'000'000};
constexpr timespec no_wait = {0, 0};

long long now_ns()
{
	timespec now;
	clock_gettime(CLOCK_MONOTONIC, &now);
	return now.tv_sec * 1'000'000'000LL + now.tv_nsec;
}

// Busy, because the board's sleeps end on ticks, and the phase is the point.
void spin_for(long long ns)
{
	const long long end = now_ns() + ns;
	while (now_ns() < end) {
	}
}

// Opens the node with its SIGIO sent to this process and blocked, for
// sigtimedwait to take.
int subscribe(const sigset_t &sigio)
{
	if (sigprocmask(SIG_BLOCK, &sigio, nullptr) != 0)
		errx(1, "sigprocmask: %s", strerror(errno));
	const int fd = open(node, O_RDWR);
	if (fd < 0)
		errx(1, "open %s: %s", node, strerror(errno));
	const int flags = fcntl(fd, F_GETFL);
	if (fcntl(fd, F_SETOWN, getpid()) != 0 || flags < 0 ||
	    fcntl(fd, F_SETFL, flags | FASYNC) != 0)
		errx(1, "switching on %s's notification: %s", node, strerror(errno));
	return fd;
}

int read_level(int fd)
{
	unsigned char level;
	if (read(fd, &level, 1) != 1)
		errx(1, "read %s: %s", node, strerror(errno));
	return level;
}

void pull(int pull_fd, int level)
{
	const char *word = level ? "pull-up" : "pull-down";
	if (pwrite(pull_fd, word, strlen(word), 0) < 0)
		errx(1, "writing %s to the pull file: %s", word, strerror(errno));
}

bool notified_within(const sigset_t &sigio, const timespec &timeout)
{
	return sigtimedwait(&sigio, nullptr, &timeout) == SIGIO;
}

// Nanoseconds from the pull to its notification.
long long time_edge(int pull_fd, const sigset_t &sigio, int level, int edge)
{
	const long long pulled = now_ns();
	pull(pull_fd, level);
	if (!notified_within(sigio, notification_timeout))
		errx(1, "edge %d: no notification within %ld s", edge,
		     static_cast<long>(notification_timeout.tv_sec));
	return now_ns() - pulled;
}

double at_fraction_ms(const std::vector<long long> &sorted, double fraction)
{
	const auto index = static_cast<size_t>(fraction * static_cast<double>(sorted.size() - 1));
	return static_cast<double>(sorted[index]) / 1e6;
}

void print_spread(std::vector<long long> delays)
{
	std::sort(delays.begin(), delays.end());
	printf("pir_latency: %zu edges, pull to SIGIO median %.3f ms, p99 %.3f ms,"
	       " min %.3f ms, max %.3f ms\n",
	       delays.size(), at_fraction_ms(delays, 0.5), at_fraction_ms(delays, 0.99),
	       at_fraction_ms(delays, 0.0), at_fraction_ms(delays, 1.0));
}

long parse_count(const char *name, const char *text, long least, long most)
{
	char *end;
	errno = 0;
	const long count = strtol(text, &end, 10);
	if (errno != 0 || *end != '\0' || end == text || count < least || count > most)
		errx(1, "%s must be a count from %ld to %ld, not '%s'", name, least, most, text);
	return count;
}

} // namespace

int main(int argc, char **argv)
{
	if (argc != 4) {
		fputs("usage: pir_latency PULL_FILE EDGES TICK_US\n", stderr);
		return 2;
	}
	const int edges = static_cast<int>(parse_count("EDGES", argv[2], 1, 100000));
	// Edges land at every phase of the tick the debounce timer counts in.
	const long long tick_ns = parse_count("TICK_US", argv[3], 1000, 100000) * 1000LL;
	const int pull_fd = open(argv[1], O_WRONLY);
	if (pull_fd < 0)
		errx(1, "open %s: %s", argv[1], strerror(errno));

	sigset_t sigio;
	sigemptyset(&sigio);
	sigaddset(&sigio, SIGIO);
	const int node_fd = subscribe(sigio);

	// A fixed seed: every run pulls at the same phases.
	std::mt19937 phases(1);
	std::uniform_int_distribution<long long> phase(0, tick_ns - 1);
	std::vector<long long> delays;
	int level = read_level(node_fd);
	for (int edge = 0; edge < edges; edge++) {
		spin_for(phase(phases));
		if (notified_within(sigio, no_wait))
			errx(1, "edge %d: a notification came with no edge", edge);
		level = !level;
		delays.push_back(time_edge(pull_fd, sigio, level, edge));
		const int read_back = read_level(node_fd);
		if (read_back != level)
			errx(1, "edge %d: the node reads %d after a pull to %d", edge, read_back, level);
	}
	if (notified_within(sigio, quiet_after_last))
		errx(1, "a notification came after the last edge");

	printf("pir_latency: %d edges, each notified once, the node reading the level pulled\n",
	       edges);
	print_spread(delays);
	return 0;
}
