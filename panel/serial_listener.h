// Receives {module,value} frames on an open serial line, on a thread of its own.
#pragma once

#include <QThread>

#include <atomic>

#include "frame_parse.h"

class Serial_Listener : public QThread {
	Q_OBJECT

public:
	// fd: an open line whose reads block until a byte is there. The
	// listener never closes it.
	explicit Serial_Listener(int fd);
	// Stops a run still going and waits for it.
	~Serial_Listener() override;

	// Ends run() without a report of the line's end, whether it is waiting
	// for a byte, busy with bytes it has read or not started yet; frames
	// already handled stay handled, bytes read but not handled are dropped.
	// Any thread may call it. The listener stays stopped: a later start()
	// ends at once.
	void stop();

signals:
	// Module and value of the latest frame. They point into the listener's
	// own fields, which the next frame rewrites: a receiver must copy them
	// during a direct call.
	void to_main(char *, char *);

protected:
	// Reads until the line ends or fails, or until stop(); one emission per
	// frame taken apart, none for one that cannot be.
	void run() override;

private:
	enum class Wait { byte, stopped, failed };

	Wait wait_for_byte() const;
	void handle_frame(const char *text, char (&module)[frame_field_size],
			  char (&value)[frame_field_size]);

	int fd;
	// Set by stop(), for a run busy with bytes it has read.
	std::atomic<bool> stopping{false};
	// Readable once stop() is called, for a run waiting for the line; -1
	// when it could not be made.
	int stop_fd;
	int stop_fd_error = 0;
};
