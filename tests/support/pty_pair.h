// Test support: a pseudo-terminal pair, the far end of a serial line.
#ifndef SENSORKIT_TESTS_PTY_PAIR_H
#define SENSORKIT_TESTS_PTY_PAIR_H

#include <termios.h>

#include <chrono>
#include <string>

#include "wait.h"

// Both ends are close-on-exec, so a program started by the test holds only
// what it opens itself and closing the master really hangs the line up.
class PtyPair {
public:
	enum class Slave {
		held,    // the test keeps a slave descriptor of its own
		by_path, // only the code under test opens the slave, by its path
	};

	explicit PtyPair(Slave slave = Slave::held);
	~PtyPair();
	PtyPair(const PtyPair &) = delete;
	PtyPair &operator=(const PtyPair &) = delete;

	int master() const { return master_; }
	int slave() const { return slave_; }
	const std::string &slave_path() const { return slave_path_; }

	void send(const std::string &bytes) const;
	termios slave_settings() const;
	// Bytes pass both ways unchanged: no "\r\n" for "\n", no echo.
	void make_raw() const;
	int unread_input() const;
	// Waits until the slave holds count unread bytes (in canonical mode:
	// bytes of complete lines).
	bool await_unread(int count, std::chrono::milliseconds within = patience) const;
	// True once no slave descriptor is open any more (the master then
	// reports a hang-up).
	bool slave_closed() const;
	void hang_up();
	// Once a program holds the slave, the test lets go of its own copy so
	// that reading the master fails with EIO when the program has closed it.
	void close_slave();

private:
	int master_ = -1;
	int slave_ = -1;
	std::string slave_path_;
};

#endif
