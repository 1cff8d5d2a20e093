// Test support: runs one of the kit's programs as a black box. Standard
// output is a raw pseudo-terminal, so lines arrive as the program prints
// them and byte for byte, or a pipe; standard error is a pipe. On request
// the program gets a mount namespace of its own whose /dev is a tmpfs
// holding at most a stand-in for its device node, and a system call the
// kernel refuses.
#ifndef SENSORKIT_TESTS_PROGRAM_RUN_H
#define SENSORKIT_TESTS_PROGRAM_RUN_H

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "pty_pair.h"

// Bounds a hang; a healthy run answers within milliseconds.
constexpr std::chrono::milliseconds patience{10000};

// What stands in for the device node in the program's private /dev.
enum class Node {
	none,       // the node does not exist
	fifo,       // a FIFO the test writes the device's bytes into
	unreadable, // opens and takes FASYNC, but every read fails with EIO
};

// /dev/NAME in a private /dev (a private mount namespace needs root).
struct PrivateDev {
	std::string name;
	Node node = Node::fifo;
};

// The kernel fails system call `number` with `error` whenever the low 32
// bits of its argument number `argument` (from 0) equal `value`.
struct RefusedCall {
	long number;
	unsigned argument;
	std::uint32_t value;
	int error;
};

enum class Stdout {
	terminal, // line-buffered by the C library, as a person sees it
	pipe,     // fully buffered, as when redirected: shows a missing flush
};

struct RunOptions {
	std::string program;           // path of the executable
	std::string name;              // its argv[0]; the path when empty
	std::vector<std::string> args; // after argv[0]
	std::optional<PrivateDev> dev; // unset: the host's /dev
	std::optional<RefusedCall> refused;
	Stdout output = Stdout::terminal;
};

class ProgramRun {
public:
	// Returns once the program has been executed; throws, naming the step,
	// when setting it up failed.
	explicit ProgramRun(const RunOptions &options);
	// Kills the program if it is still running.
	~ProgramRun();
	ProgramRun(const ProgramRun &) = delete;
	ProgramRun &operator=(const ProgramRun &) = delete;

	pid_t pid() const { return pid_; }
	// The program's /proc/PID/ENTRY.
	std::string proc_path(const std::string &entry) const;
	// Opens the private /dev's node from outside the namespace
	// (close-on-exec); throws when it cannot.
	int open_node(int flags) const;
	void send(int signal) const;

	// The next line of standard output, without its newline; throws when
	// none is complete within the wait.
	std::string next_line(std::chrono::milliseconds within = patience);
	// Standard output (error) not taken yet, read until it holds `count`
	// bytes, the program has closed it or the wait has passed; a wait of 0
	// still looks once for what is on its way.
	std::string output(std::size_t count, std::chrono::milliseconds within = patience);
	std::string errors(std::size_t count, std::chrono::milliseconds within = patience);
	// The exit status, -1 if a signal ended the program, or nothing if it
	// still runs after the wait. Its output meanwhile is kept for the calls
	// above, so a program that writes much never blocks on a full pipe.
	std::optional<int> wait_exit(std::chrono::milliseconds within = patience);
	// Once the program has ended: all it wrote that was not taken yet.
	std::string rest_of_output();
	std::string rest_of_errors();

private:
	// One of the program's output streams, as far as the test has read it.
	struct Stream {
		int fd = -1;
		std::string pending;
		bool closed = false;

		// False when nothing came within the timeout or the stream closed
		// (EOF, or EIO on a terminal that nobody holds any more).
		bool read_some(std::chrono::milliseconds timeout);
		std::string collect(std::size_t count, std::chrono::milliseconds within);
		std::string rest();
	};

	void start(const RunOptions &options, int status_pipe);
	void drain(std::chrono::milliseconds timeout);
	void require_exited(const char *call) const;

	PtyPair terminal_;
	Stream out_;
	Stream err_;
	std::optional<PrivateDev> dev_;
	int out_pipe_ = -1; // standard output's end, when it is a pipe
	pid_t pid_ = -1;
	std::optional<int> status_; // set once the program has been reaped
};

#endif
