#include "pty.h"

#include <QtGlobal>

#include <cerrno>
#include <cstdlib>

#include <fcntl.h>
#include <unistd.h>

Pty::Pty()
{
	master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
	if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
		qFatal("Pty: cannot open a pseudo-terminal");
	path = QString::fromLocal8Bit(ptsname(master));
}

Pty::~Pty()
{
	close_master();
}

void Pty::send(const QByteArray &bytes) const
{
	if (write(master, bytes.constData(), bytes.size()) != bytes.size())
		qFatal("Pty: short write");
}

bool Pty::slave_closed() const
{
	char byte;
	return read(master, &byte, 1) < 0 && errno == EIO;
}

void Pty::close_master()
{
	if (master >= 0)
		close(master);
	master = -1;
}
