// The panel's listener as it was before it could be stopped: one blocking
// read a byte, no wait before it. A baseline for panel_latency to measure
// the listener beside, not part of the panel.
#pragma once

#include <QThread>

#include "frame_parse.h"

class Baseline_Listener : public QThread {
	Q_OBJECT

public:
	explicit Baseline_Listener(int fd) : fd(fd) {}

signals:
	void to_main(char *, char *);

protected:
	// Reads until the line ends or fails; one emission per closing brace.
	void run() override;

private:
	void handle_frame(const char *text, char (&module)[frame_field_size],
			  char (&value)[frame_field_size]);

	int fd;
};
