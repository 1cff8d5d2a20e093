// sensor_frames [--port PATH] [--baud N] [--interval SECONDS]: reads the
// kit's sensors through their nodes and sends the readings as {module,value}
// frames, back to back, on a serial line, for sensor_panel at its far end.
#include "serial_line.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr const char *usage_line =
	"usage: sensor_frames [--port PATH] [--baud N] [--interval SECONDS]";

enum Status { ended = 0, line_failed = 1, usage = 2 };

constexpr long long ns_per_s = 1'000'000'000;
// The DHT11 measures at most once every two seconds.
constexpr long long dht11_rest_ns = 2 * ns_per_s;

struct Options {
	std::string port = "/dev/ttySAC1";
	int baud = 9600;
	long interval_s = 2;
	bool help = false;
};

// One of the kit's nodes, kept open while it answers. A node that cannot be
// opened or read is said once on standard error, when it starts failing,
// and once again when it answers again.
struct Node {
	const char *path;
	int access; // as the kit's program for the node opens it
	int fd = -1;
	bool failing = false;

	// False, said, when the node cannot be opened.
	bool ensure_open()
	{
		if (fd >= 0)
			return true;
		fd = open(path, access | O_CLOEXEC);
		if (fd < 0)
			fail(std::strerror(errno));
		return fd >= 0;
	}

	// The node is closed: the next round opens it again, as a driver bound
	// anew needs.
	void fail(const std::string &why)
	{
		if (fd >= 0)
			close(fd);
		fd = -1;
		if (!failing)
			fprintf(stderr, "sensor_frames: skipping %s: %s\n", path, why.c_str());
		failing = true;
	}

	void answered()
	{
		if (failing)
			fprintf(stderr, "sensor_frames: %s is back\n", path);
		failing = false;
	}
};

std::string frame(const char *module, const std::string &value)
{
	return "{" + std::string(module) + "," + value + "}";
}

std::string number(int value)
{
	return std::to_string(value);
}

// Integral and decimal byte, as the DHT11 sends them.
std::string decimal(unsigned char integral, unsigned char tenths)
{
	return number(integral) + "." + number(tenths);
}

// Byte 4 is the low 8 bits of the sum of the other four.
bool checksum_matches(const unsigned char (&record)[5])
{
	const unsigned sum = record[0] + record[1] + record[2] + record[3];
	return (sum & 0xff) == record[4];
}

// temp and humi from the DHT11's record, or nothing when it fails.
std::string dht11_frames(Node &node)
{
	unsigned char record[5] = {};
	if (!node.ensure_open())
		return {};
	// The driver answers a good read with 0: the record is in the buffer.
	if (read(node.fd, record, sizeof record) < 0) {
		node.fail(std::strerror(errno));
		return {};
	}
	if (!checksum_matches(record)) {
		char why[64];
		snprintf(why, sizeof why, "bad checksum %02x %02x %02x %02x %02x", record[0],
			 record[1], record[2], record[3], record[4]);
		node.fail(why);
		return {};
	}
	node.answered();
	return frame("temp", decimal(record[2], record[3])) +
	       frame("humi", decimal(record[0], record[1]));
}

// Word k of the AP3216C's record, high byte first; never negative.
int word_at(const unsigned char (&record)[6], int k)
{
	return record[2 * k] * 256 + record[2 * k + 1];
}

// light, dis and ir from the AP3216C's record (IR, ALS, PS words), or
// nothing when it fails.
std::string ap3216_frames(Node &node)
{
	unsigned char record[6] = {};
	if (!node.ensure_open())
		return {};
	// A good read answers 0, not a count.
	if (read(node.fd, record, sizeof record) < 0) {
		node.fail(std::strerror(errno));
		return {};
	}
	node.answered();
	return frame("light", number(word_at(record, 1))) +
	       frame("dis", number(word_at(record, 2))) + frame("ir", number(word_at(record, 0)));
}

// pir with the level the node reads now, or nothing when it fails.
std::string pir_frame(Node &node)
{
	unsigned char level = 0;
	// The node answers with the one byte of its level.
	const ssize_t result = read(node.fd, &level, 1);
	if (result != 1) {
		node.fail(result < 0 ? std::strerror(errno) : "no level");
		return {};
	}
	node.answered();
	return frame("pir", number(level));
}

// Asks /dev/sr501 for SIGIO on each change of the level.
bool subscribe(Node &node)
{
	const int flags = fcntl(node.fd, F_GETFL);
	if (fcntl(node.fd, F_SETOWN, getpid()) < 0 || flags < 0 ||
	    fcntl(node.fd, F_SETFL, flags | FASYNC) < 0) {
		node.fail(std::strerror(errno));
		return false;
	}
	return true;
}

// The level, once the node is opened (again) and subscribed.
std::string pir_frame_on_open(Node &node)
{
	if (node.fd >= 0 || !node.ensure_open() || !subscribe(node))
		return {};
	return pir_frame(node);
}

class Sender {
public:
	Sender(int fd, std::string port) : fd_(fd), port_(std::move(port)) {}

	// Writes the frames whole, then prints them on standard output, out at
	// once, also into a pipe: nothing is still buffered when a signal ends
	// the program. False, with the reason, when the line failed.
	bool send(const std::string &frames)
	{
		std::size_t done = 0;
		while (done < frames.size()) {
			const ssize_t n = write(fd_, frames.data() + done, frames.size() - done);
			if (n < 0 && errno == EINTR)
				continue;
			if (n <= 0) {
				fprintf(stderr, "sensor_frames: writing to %s: %s\n", port_.c_str(),
					n < 0 ? std::strerror(errno) : "nothing written");
				return false;
			}
			done += static_cast<std::size_t>(n);
		}
		if (!frames.empty()) {
			printf("%s\n", frames.c_str());
			fflush(stdout);
		}
		return true;
	}

private:
	int fd_;
	std::string port_;
};

long long now_ns()
{
	timespec now;
	clock_gettime(CLOCK_MONOTONIC, &now);
	return now.tv_sec * ns_per_s + now.tv_nsec;
}

class Sensors {
public:
	explicit Sensors(Sender &sender) : sender_(sender) {}

	// One round: the DHT11 when it has rested, the AP3216C, and /dev/sr501
	// opened if it is not.
	bool round()
	{
		if (!sender_.send(pir_frame_on_open(sr501_)))
			return false;
		std::string frames;
		const long long now = now_ns();
		if (dht11_due(now)) {
			last_dht11_ = now;
			frames += dht11_frames(dht11_);
		}
		frames += ap3216_frames(ap3216_);
		return sender_.send(frames);
	}

	// The PIR's level changed.
	bool motion()
	{
		if (sr501_.fd < 0)
			return true;
		return sender_.send(pir_frame(sr501_));
	}

private:
	bool dht11_due(long long now) const
	{
		return last_dht11_ < 0 || now - last_dht11_ >= dht11_rest_ns;
	}

	Sender &sender_;
	Node dht11_{"/dev/dht11", O_RDONLY};
	Node ap3216_{"/dev/ap3216", O_RDWR};
	Node sr501_{"/dev/sr501", O_RDWR};
	long long last_dht11_ = -1;
};

// Rounds every interval, and a pir frame on each SIGIO between them.
// Returns only when the line failed.
int run(Sensors &sensors, long interval_s)
{
	sigset_t sigio;
	sigemptyset(&sigio);
	sigaddset(&sigio, SIGIO);
	// Taken by sigtimedwait below: a SIGIO that comes while a round runs
	// waits for it instead of ending the program.
	sigprocmask(SIG_BLOCK, &sigio, nullptr);

	const long long interval = interval_s * ns_per_s;
	long long next = now_ns();
	for (;;) {
		const long long now = now_ns();
		if (now >= next) {
			if (!sensors.round())
				return line_failed;
			next += interval;
			// Rounds missed while one was held up (by a slow line) are
			// not made up for by rounds at once.
			if (next <= now)
				next = now + interval;
			continue;
		}
		const long long wait = next - now;
		timespec timeout;
		timeout.tv_sec = static_cast<time_t>(wait / ns_per_s);
		timeout.tv_nsec = static_cast<long>(wait % ns_per_s);
		if (sigtimedwait(&sigio, nullptr, &timeout) == SIGIO && !sensors.motion())
			return line_failed;
	}
}

const char *const supported_bauds = "2400, 4800, 9600 or 115200";

bool supported_baud(long baud)
{
	return baud == 2400 || baud == 4800 || baud == 9600 || baud == 115200;
}

// A whole decimal number from FIRST to LAST, or -1.
long whole_number(const std::string &text, long first, long last)
{
	char *end = nullptr;
	errno = 0;
	const long value = std::strtol(text.c_str(), &end, 10);
	if (errno || end == text.c_str() || *end || value < first || value > last)
		return -1;
	return value;
}

std::string quoted(const std::string &text)
{
	return "'" + text + "'";
}

// The option NAME that ARGUMENT is, alone or with "=VALUE".
bool is_option(const std::string &argument, const std::string &name)
{
	return argument == name || argument.rfind(name + "=", 0) == 0;
}

// An argument that is itself an option, as the "--baud" of "--port --baud
// 9600", means that the option before it was left without its value.
bool names_an_option(const std::string &argument)
{
	for (const char *name : {"--port", "--baud", "--interval", "--help"})
		if (is_option(argument, name))
			return true;
	return argument == "-h" || argument == "--";
}

// Takes the value of option NAME at argv[i] ("--name VALUE" or
// "--name=VALUE"). Returns what is wrong, or nothing.
std::string option_value(int argc, char *argv[], int &i, const std::string &name,
			 std::string &value)
{
	const std::string argument = argv[i];
	if (argument.size() > name.size()) {
		value = argument.substr(name.size() + 1);
	} else {
		if (i + 1 == argc || names_an_option(argv[i + 1]))
			return "missing value after " + quoted(name);
		value = argv[++i];
	}
	if (value.empty())
		return "empty value for " + quoted(name);
	return {};
}

// Returns what is wrong with the command line, or nothing.
std::string parse(int argc, char *argv[], Options &options)
{
	for (int i = 1; i < argc; ++i) {
		const std::string argument = argv[i];
		std::string value;
		std::string problem;
		if (argument == "-h" || argument == "--help") {
			options.help = true;
			return {};
		} else if (is_option(argument, "--port")) {
			problem = option_value(argc, argv, i, "--port", value);
			if (problem.empty() && value.size() >= PATH_MAX)
				problem = "path too long for '--port'";
			options.port = value;
		} else if (is_option(argument, "--baud")) {
			problem = option_value(argc, argv, i, "--baud", value);
			const long baud = whole_number(value, 0, LONG_MAX);
			if (problem.empty() && !supported_baud(baud))
				problem = "unsupported baud rate " + quoted(value) + " (" +
					  supported_bauds + ")";
			options.baud = static_cast<int>(baud);
		} else if (is_option(argument, "--interval")) {
			problem = option_value(argc, argv, i, "--interval", value);
			options.interval_s = whole_number(value, 1, INT_MAX);
			if (problem.empty() && options.interval_s < 0)
				problem = "the interval must be a whole number of seconds, at least 1";
		} else if (argument.rfind("-", 0) == 0) {
			problem = "unknown option " + quoted(argument);
		} else {
			problem = "unexpected argument " + quoted(argument);
		}
		if (!problem.empty())
			return problem;
	}
	return {};
}

void print_help()
{
	printf("%s\n\n"
	       "Reads the kit's sensors and sends their readings as {module,value} frames\n"
	       "on a serial line (8N1, raw): temp and humi from /dev/dht11 (at most every\n"
	       "2 s), light, dis and ir from /dev/ap3216 each interval, pir from /dev/sr501\n"
	       "when it is opened and on each change. Each write's frames are printed too.\n\n"
	       "  --port PATH         serial device to send on (default /dev/ttySAC1)\n"
	       "  --baud N            line speed: %s (default 9600)\n"
	       "  --interval SECONDS  time between readings, a whole number, at least 1\n"
	       "                      (default 2)\n"
	       "  -h, --help          show this help\n",
	       usage_line, supported_bauds);
}

// Opens and configures the line; its descriptor, or -1 with the reason said.
int open_line(const Options &options)
{
	const int fd = open_port(options.port.c_str());
	if (fd < 0) {
		fprintf(stderr, "sensor_frames: cannot open %s: %s\n", options.port.c_str(),
			std::strerror(errno));
		return -1;
	}
	if (set_opt(fd, options.baud, 8, 'N', 1) != 0) {
		fprintf(stderr, "sensor_frames: cannot configure %s\n", options.port.c_str());
		close(fd);
		return -1;
	}
	return fd;
}

} // namespace

int main(int argc, char *argv[])
{
	Options options;
	const std::string problem = parse(argc, argv, options);
	if (!problem.empty()) {
		fprintf(stderr, "sensor_frames: %s\n%s\n", problem.c_str(), usage_line);
		return usage;
	}
	if (options.help) {
		print_help();
		return ended;
	}
	const int fd = open_line(options);
	if (fd < 0)
		return line_failed;
	Sender sender(fd, options.port);
	Sensors sensors(sender);
	return run(sensors, options.interval_s);
}
