// Test support: runs one of the kit's programs as a black box. Standard
// output is a raw pseudo-terminal, so lines arrive as the program prints
// them and byte for byte, or a pipe; standard error is a pipe. On request
// the program gets a mount namespace of its own whose /dev is a tmpfs
// holding at most stand-ins for its device nodes, and a system call the
// kernel refuses.
#ifndef SENSORKIT_TESTS_PROGRAM_RUN_H
#define SENSORKIT_TESTS_PROGRAM_RUN_H

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "node_model.h"
#include "node_server.h"
#include "pty_pair.h"
#include "wait.h"

// What stands in for the device node in the program's private /dev.
enum class Node {
	none,   // the node does not exist
	served, // its read(2) and write(2) are answered by a NodeModel
	full,   // the kernel's /dev/full: every write fails with ENOSPC
};

// /dev/NAME in a private /dev (a private mount namespace needs root).
struct PrivateDev {
	std::string name;
	Node node = Node::served;
	NodeModel model; // for a served node
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
	// More nodes in dev's private /dev, for a program that reads several.
	std::vector<PrivateDev> other_nodes = {};
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
	// The program's /proc/PID/ENTRY, and what it holds now.
	std::string proc_path(const std::string &entry) const;
	std::string proc_text(const std::string &entry) const;
	// Bytes the program has read so far, from any file.
	long bytes_read() const;
	void send(int signal) const;
	// Sends `signal` as a driver's kill_fasync does: to the owner (F_SETOWN)
	// of each of the program's descriptors of dev's node that has asked for
	// notification (FASYNC). Returns how many were signalled.
	int notify(int signal) const;

	// The next line of standard output, without its newline; throws when
	// none is complete within the wait.
	std::string next_line(std::chrono::milliseconds within = patience);
	// Standard output (error) not taken yet, read until it holds `count`
	// bytes, the program has closed it or the wait has passed; a wait of 0
	// still looks once for what is on its way.
	std::string output(std::size_t count, std::chrono::milliseconds within = patience);
	std::string errors(std::size_t count, std::chrono::milliseconds within = patience);
	// For a caller that waits on standard output along with descriptors of
	// its own: the descriptor, and a read of what it holds now into what the
	// calls above return. False once the program has closed it.
	int output_fd() const { return out_.fd; }
	bool take_output();
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

	void drain(std::chrono::milliseconds timeout);
	void require_exited(const char *call) const;

	PtyPair terminal_;
	Stream out_;
	Stream err_;
	int out_pipe_ = -1; // standard output's end, when it is a pipe
	pid_t pid_ = -1;
	int pidfd_ = -1;
	std::vector<int> node_ends_; // the test's ends of the served nodes' FIFOs
	std::optional<int> status_; // set once the program has been reaped
	std::optional<NodeId> node_; // dev's served node, once the program has it
	std::unique_ptr<NodeServer> server_;
};

#endif
