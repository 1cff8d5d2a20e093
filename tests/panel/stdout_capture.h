// Sends this process's standard output to a file for a while, so a test can
// read what the code under test printed with printf and puts.
#pragma once

#include <QByteArray>

class StdoutCapture {
public:
	StdoutCapture();
	~StdoutCapture();
	StdoutCapture(const StdoutCapture &) = delete;
	StdoutCapture &operator=(const StdoutCapture &) = delete;

	// What has reached the file so far (the code under test flushes).
	QByteArray text() const;
	// Gives standard output back and returns everything captured.
	QByteArray finish();

private:
	int saved_fd;
	int file_fd;
};
