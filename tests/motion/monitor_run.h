// Runs the real motion_monitor in a private mount namespace whose /dev holds
// only the node the test asks for. Standard output is a raw pseudo-terminal,
// so lines arrive as the program prints them; standard error is a pipe.
#pragma once

#include <string>
#include <vector>
#include <sys/types.h>

enum class Node {
	none,       // /dev/sr501 does not exist
	fifo,       // a FIFO: a byte written to it raises SIGIO for the owner
	unreadable, // opens and takes FASYNC, but every read fails
};

struct MonitorOptions {
	Node node = Node::fifo;
	int refused_fcntl = -1; // an fcntl command the kernel refuses with EPERM
	std::vector<std::string> args; // after the program's name
};

class MonitorRun {
public:
	explicit MonitorRun(const MonitorOptions &options);
	~MonitorRun();
	MonitorRun(const MonitorRun &) = delete;
	MonitorRun &operator=(const MonitorRun &) = delete;

	// Waits until the program sleeps in its loop, which it enters only
	// once notification is on, with no SIGIO pending.
	void wait_idle() const;
	// Writes one byte into the FIFO from outside the namespace.
	void feed(unsigned char byte) const;
	void send(int signal) const;

	// Next line of standard output, without its newline.
	std::string next_line();
	// Waits for the program to end; its exit status, or -1 if a signal
	// ended it.
	int wait_exit();
	// What the program wrote after the lines already taken, once it ended.
	std::string rest_of_output();
	std::string error_output();

private:
	pid_t pid_ = -1;
	int pty_ = -1;
	int err_ = -1;
	std::string pending_;
	bool exited_ = false;

	bool read_output(int timeout_ms);
	std::string proc(const std::string &entry) const;
};
