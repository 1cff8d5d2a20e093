// Test support: this process's standard output or error sent to a memory
// file for a while, so that a test reads what the code under test printed.
#ifndef SENSORKIT_TESTS_OUTPUT_CAPTURE_H
#define SENSORKIT_TESTS_OUTPUT_CAPTURE_H

#include <functional>
#include <string>

class OutputCapture {
public:
	// Flushes the C library's buffers, then sends descriptor fd (1 or 2)
	// to the file; throws when it cannot.
	explicit OutputCapture(int fd = 1);
	~OutputCapture();
	OutputCapture(const OutputCapture &) = delete;
	OutputCapture &operator=(const OutputCapture &) = delete;

	// What has reached the file so far. Nothing is flushed here, so a line
	// shows only once the code under test has written it out.
	std::string text() const;
	// Empties the file, after writing out what is still buffered.
	void clear();
	// Writes out what is buffered, gives the descriptor back and returns
	// everything captured.
	std::string finish();

private:
	int fd_;
	int file_ = -1;
	int saved_ = -1; // the descriptor's own file, until finish
};

// Runs body with descriptor fd captured; what was written there meanwhile.
std::string captured(int fd, const std::function<void()> &body);

#endif
