#include "stdout_capture.h"

#include <QtGlobal>

#include <cstdio>
#include <cstdlib>

#include <fcntl.h>
#include <unistd.h>

StdoutCapture::StdoutCapture()
{
	std::fflush(stdout);
	char path[] = "/tmp/panel-stdout-XXXXXX";
	file_fd = mkstemp(path);
	if (file_fd < 0)
		qFatal("StdoutCapture: mkstemp failed");
	unlink(path);
	saved_fd = dup(STDOUT_FILENO);
	if (saved_fd < 0 || dup2(file_fd, STDOUT_FILENO) < 0)
		qFatal("StdoutCapture: cannot redirect standard output");
}

StdoutCapture::~StdoutCapture()
{
	finish();
	close(file_fd);
}

QByteArray StdoutCapture::text() const
{
	QByteArray captured;
	char buffer[4096];
	ssize_t n;
	off_t offset = 0;
	while ((n = pread(file_fd, buffer, sizeof buffer, offset)) > 0) {
		captured.append(buffer, static_cast<int>(n));
		offset += n;
	}
	return captured;
}

QByteArray StdoutCapture::finish()
{
	std::fflush(stdout);
	if (saved_fd >= 0) {
		dup2(saved_fd, STDOUT_FILENO);
		close(saved_fd);
		saved_fd = -1;
	}
	return text();
}
