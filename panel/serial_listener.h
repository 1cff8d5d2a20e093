// Receives {module,value} frames on an open serial line, on a thread of its own.
#pragma once

#include <QThread>

#include "frame_parse.h"

class Serial_Listener : public QThread {
	Q_OBJECT

public:
	// fd: an open line whose one-byte reads block until a byte is there.
	// The listener never closes it.
	explicit Serial_Listener(int fd);
	~Serial_Listener() override;

signals:
	// Module and value of the latest frame. They point into the listener's
	// own fields, which the next frame rewrites: a receiver must copy them
	// during a direct call.
	void to_main(char *, char *);

protected:
	// Reads until the line ends or fails; one emission per closing brace.
	void run() override;

private:
	void handle_frame(const char *text, char (&module)[frame_field_size],
			  char (&value)[frame_field_size]);

	int fd;
};
