// How fast serial_reader takes bytes from a pseudo-terminal fed as fast as
// the line allows, with every byte checked to come out, beside its unflushed
// baseline (serial_reader before it flushed its output for a lossless end)
// in the same run, and against the byte rate of a 115200-baud line.
#include <fcntl.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>

#include "program_run.h"
#include "pty_pair.h"
#include "side_by_side.h"
#include "wait.h"

namespace {

constexpr double line_rate = 11520.0; // 115200 baud, 10 bits a byte
constexpr size_t default_bytes = 128 * 1024;
constexpr int rounds = 5;
const std::string prompt = "Enter a char: ";
const std::string hang_up_report = "can not get data\n";

using Clock = std::chrono::steady_clock;

// serial_reader flushes the line's input before it sets it raw, so nothing
// may be sent until the line is raw.
void await_raw(const PtyPair &line)
{
	if (wait_until([&] { return (line.slave_settings().c_lflag & ICANON) == 0; }))
		return;
	fprintf(stderr, "serial_reader never set the line raw\n");
	exit(2);
}

std::string payload_of(size_t size)
{
	std::string payload(size, '\0');

	for (size_t i = 0; i < size; i++)
		payload[i] = static_cast<char>(i * 7);
	return payload;
}

std::string report_of(const std::string &payload)
{
	std::string report = prompt;
	char line[16];

	for (const char c : payload) {
		const int n = snprintf(line, sizeof(line), "get: %02x %c\n",
				       static_cast<unsigned char>(c), c);
		report.append(line, static_cast<size_t>(n));
	}
	return report + hang_up_report;
}

// Writes the payload as fast as the master takes it while the reader's
// output is kept; returns once the reader has read every byte, or has ended
// early.
void feed(const PtyPair &line, ProgramRun &reader, const std::string &payload)
{
	const long done_at = reader.bytes_read() + static_cast<long>(payload.size());
	size_t sent = 0;
	bool running = true;

	fcntl(line.master(), F_SETFL, O_NONBLOCK);
	while (running && (sent < payload.size() || reader.bytes_read() < done_at)) {
		pollfd fds[] = {{reader.output_fd(), POLLIN, 0},
				{line.master(), sent < payload.size() ? short(POLLOUT) : short(0), 0}};
		poll(fds, 2, 1);
		if (fds[0].revents & (POLLIN | POLLHUP))
			running = reader.take_output();
		if (fds[1].revents & POLLOUT) {
			const ssize_t n = write(line.master(), payload.data() + sent,
						payload.size() - sent);
			if (n > 0)
				sent += static_cast<size_t>(n);
		}
	}
}

// A hang-up makes serial_reader report once and exit, which also flushes
// what it still holds in its output buffer. Its complaints go on to ours.
int hang_up_and_collect(PtyPair &line, ProgramRun &reader, std::string &output)
{
	line.hang_up();
	const std::optional<int> status = reader.wait_exit();
	if (!status)
		return -2;
	output = reader.rest_of_output();
	fputs(reader.rest_of_errors().c_str(), stderr);
	return *status;
}

// Lines of bytes that came out intact, counted up to the first difference.
size_t bytes_through(const std::string &output, const std::string &expected)
{
	size_t same = 0;

	while (same < output.size() && same < expected.size() && output[same] == expected[same])
		same++;
	const size_t report_end = expected.size() - hang_up_report.size();
	return same < prompt.size() ? 0 : (std::min(same, report_end) - prompt.size()) / 10;
}

struct Run {
	double rate; // bytes a second
	size_t lost;
	bool whole; // every line as expected, and the exit of a hang-up
};

// One program fed the payload on a line of its own, until it has read it
// all; then the line hangs up.
Run run(const char *program, const std::string &payload, const std::string &expected)
{
	PtyPair line;
	ProgramRun reader({program, "", {line.slave_path()}, {}, {}, Stdout::pipe});
	await_raw(line);

	const Clock::time_point start = Clock::now();
	feed(line, reader, payload);
	const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
	std::string output;
	const int status = hang_up_and_collect(line, reader, output);

	const size_t through = bytes_through(output, expected);
	return {static_cast<double>(payload.size()) / seconds, payload.size() - through,
		through == payload.size() && output == expected && status == 1};
}

} // namespace

int main(int argc, char *argv[])
{
	if (argc < 3 || argc > 4) {
		fprintf(stderr, "usage: %s <serial_reader> <its unflushed baseline> [bytes]\n",
			argv[0]);
		return 2;
	}
	const size_t size = argc == 4 ? strtoul(argv[3], nullptr, 10) : default_bytes;
	const std::string payload = payload_of(size);
	const std::string expected = report_of(payload);

	size_t lost = 0;
	bool whole = true;
	const SideBySide result = side_by_side(rounds, [&](bool baseline) {
		const Run r = run(argv[baseline ? 2 : 1], payload, expected);
		printf("%s on a pseudo-terminal: %zu bytes at %.0f bytes/s, %zu lost%s\n",
		       baseline ? "unflushed baseline" : "serial_reader", size, r.rate, r.lost,
		       r.whole ? "" : ", output or exit status wrong");
		if (!baseline)
			lost += r.lost;
		whole = whole && r.whole;
		return r.rate;
	});

	const double rate = result.rate();
	printf("serial_throughput: serial_reader %.0f bytes/s = %.1f x the 115200-baud line rate "
	       "(%.0f bytes/s)\n", rate, rate / line_rate, line_rate);
	printf("serial_throughput: serial_reader %.2f x its unflushed baseline (%.0f kB/s against "
	       "%.0f kB/s), the median of %d rounds\n",
	       result.ratio(), rate / 1000, result.baseline_rate() / 1000, rounds);
	printf("figure: serial_reader throughput | %.2f x its unflushed baseline (%.0f kB/s against "
	       "%.0f kB/s; %.1f x the 115200-baud line rate) | %zu bytes fed to a pseudo-terminal "
	       "as fast as it takes them, serial_reader and the baseline (one read a byte, output "
	       "not flushed) in turn, median of %d rounds; %zu lost\n",
	       result.ratio(), rate / 1000, result.baseline_rate() / 1000, rate / line_rate, size,
	       rounds, lost);
	return whole ? 0 : 1;
}
