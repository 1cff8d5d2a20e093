// How fast serial_reader takes bytes from a pseudo-terminal fed as fast as
// the line allows, with every byte checked to come out, compared with the
// byte rate of a 115200-baud line.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <string>

namespace {

constexpr double line_rate = 11520.0; // 115200 baud, 10 bits a byte
constexpr size_t default_bytes = 256 * 1024;
const std::string prompt = "Enter a char: ";
const std::string hang_up_report = "can not get data\n";

using Clock = std::chrono::steady_clock;

[[noreturn]] void die(const char *what)
{
	perror(what);
	exit(2);
}

struct Line {
	int master;
	int slave;
	std::string slave_path;
};

Line open_line()
{
	Line line;
	char name[128];

	if (openpty(&line.master, &line.slave, name, nullptr, nullptr) != 0)
		die("openpty");
	line.slave_path = name;
	fcntl(line.master, F_SETFD, FD_CLOEXEC);
	fcntl(line.slave, F_SETFD, FD_CLOEXEC);
	return line;
}

struct Reader {
	pid_t pid;
	int output;
};

Reader start_reader(const char *program, const std::string &device)
{
	int out[2];
	if (pipe2(out, O_CLOEXEC) != 0)
		die("pipe2");

	posix_spawn_file_actions_t actions;
	posix_spawn_file_actions_init(&actions);
	posix_spawn_file_actions_adddup2(&actions, out[1], 1);
	char *argv[] = {const_cast<char *>(program), const_cast<char *>(device.c_str()), nullptr};
	pid_t pid;
	errno = posix_spawn(&pid, program, &actions, nullptr, argv, environ);
	if (errno != 0)
		die(program);
	posix_spawn_file_actions_destroy(&actions);
	close(out[1]);
	return {pid, out[0]};
}

// serial_reader flushes the line's input before it sets it raw, so nothing
// may be sent until the line is raw.
void await_raw(int slave)
{
	for (int tries = 0; tries < 10000; tries++) {
		termios t;
		if (tcgetattr(slave, &t) == 0 && (t.c_lflag & ICANON) == 0)
			return;
		usleep(1000);
	}
	fprintf(stderr, "serial_reader never set the line raw\n");
	exit(2);
}

// Everything the process has read, from any file.
long bytes_read_by(pid_t pid)
{
	std::ifstream io("/proc/" + std::to_string(pid) + "/io");
	std::string key;
	long value = -1;

	while (io >> key >> value && key != "rchar:")
		;
	return value;
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

// False once the reader has closed its output, that is, has ended.
bool take_output(int fd, std::string &output)
{
	char buf[65536];
	const ssize_t n = read(fd, buf, sizeof(buf));

	if (n > 0)
		output.append(buf, static_cast<size_t>(n));
	return n > 0;
}

// Writes the payload as fast as the master takes it while draining the
// reader's output; returns once the reader has read every byte, or has
// ended early.
void feed(const Line &line, const Reader &reader, const std::string &payload,
	  std::string &output)
{
	const long done_at = bytes_read_by(reader.pid) + static_cast<long>(payload.size());
	size_t sent = 0;
	bool running = true;

	fcntl(line.master, F_SETFL, O_NONBLOCK);
	while (running && (sent < payload.size() || bytes_read_by(reader.pid) < done_at)) {
		pollfd fds[] = {{reader.output, POLLIN, 0},
				{line.master, sent < payload.size() ? short(POLLOUT) : short(0), 0}};
		poll(fds, 2, 1);
		if (fds[0].revents & (POLLIN | POLLHUP))
			running = take_output(reader.output, output);
		if (fds[1].revents & POLLOUT) {
			const ssize_t n = write(line.master, payload.data() + sent, payload.size() - sent);
			if (n > 0)
				sent += static_cast<size_t>(n);
		}
	}
}

// A hang-up makes serial_reader report once and exit, which also flushes
// what it still holds in its output buffer.
int hang_up_and_collect(const Line &line, const Reader &reader, std::string &output)
{
	close(line.master);
	while (take_output(reader.output, output))
		;
	int status = 0;
	waitpid(reader.pid, &status, 0);
	return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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

} // namespace

int main(int argc, char *argv[])
{
	if (argc < 2 || argc > 3) {
		fprintf(stderr, "usage: %s <serial_reader> [bytes]\n", argv[0]);
		return 2;
	}
	const size_t size = argc == 3 ? strtoul(argv[2], nullptr, 10) : default_bytes;
	const std::string payload = payload_of(size);
	const std::string expected = report_of(payload);

	const Line line = open_line();
	const Reader reader = start_reader(argv[1], line.slave_path);
	await_raw(line.slave);

	std::string output;
	output.reserve(expected.size());
	const Clock::time_point start = Clock::now();
	feed(line, reader, payload, output);
	const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
	const int status = hang_up_and_collect(line, reader, output);

	const size_t through = bytes_through(output, expected);
	const double rate = static_cast<double>(size) / seconds;
	printf("serial_reader on a pseudo-terminal: %zu bytes in %.3f s, %zu lost, exit status %d\n",
	       size, seconds, size - through, status);
	printf("serial_throughput: %.0f bytes/s = %.1f x the 115200-baud line rate (%.0f bytes/s)\n",
	       rate, rate / line_rate, line_rate);
	printf("figure: serial_reader throughput | %.1f x the 115200-baud line rate | "
	       "%zu bytes fed to a pseudo-terminal as fast as it takes them, %zu lost\n",
	       rate / line_rate, size, size - through);
	return through == size && output == expected && status == 1 ? 0 : 1;
}
