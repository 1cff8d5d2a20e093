// A pseudo-terminal for tests: the test writes the far end's bytes on the
// master; the code under test opens the slave by its path.
#pragma once

#include <QByteArray>
#include <QString>

class Pty {
public:
	Pty();
	~Pty();
	Pty(const Pty &) = delete;
	Pty &operator=(const Pty &) = delete;

	QString slave_path() const { return path; }
	void send(const QByteArray &bytes) const;
	// Once every slave descriptor is closed, reading the master fails with EIO.
	bool slave_closed() const;
	void close_master();

private:
	int master = -1;
	QString path;
};
