#include "output_capture.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <system_error>

namespace {

[[noreturn]] void fail(const char *what)
{
	throw std::system_error(errno, std::generic_category(), what);
}

} // namespace

OutputCapture::OutputCapture(int fd) : fd_(fd)
{
	std::fflush(nullptr);
	file_ = memfd_create("captured-output", MFD_CLOEXEC);
	if (file_ < 0)
		fail("memfd_create");
	saved_ = fcntl(fd_, F_DUPFD_CLOEXEC, 0);
	if (saved_ < 0 || dup2(file_, fd_) < 0) {
		const int error = errno;
		close(file_);
		if (saved_ >= 0)
			close(saved_);
		errno = error;
		fail("redirecting an output");
	}
}

OutputCapture::~OutputCapture()
{
	finish();
	close(file_);
}

std::string OutputCapture::text() const
{
	std::string text;
	char chunk[4096];
	ssize_t n;
	off_t offset = 0;
	while ((n = pread(file_, chunk, sizeof chunk, offset)) > 0) {
		text.append(chunk, static_cast<size_t>(n));
		offset += n;
	}
	return text;
}

void OutputCapture::clear()
{
	std::fflush(nullptr);
	// The descriptor shares the file's offset, so it writes from the start.
	if (ftruncate(file_, 0) != 0 || lseek(file_, 0, SEEK_SET) != 0)
		fail("emptying the capture");
}

std::string OutputCapture::finish()
{
	std::fflush(nullptr);
	if (saved_ >= 0) {
		dup2(saved_, fd_);
		close(saved_);
		saved_ = -1;
	}
	return text();
}

std::string captured(int fd, const std::function<void()> &body)
{
	OutputCapture capture(fd);
	body();
	return capture.finish();
}
