// servo_set ANGLE: writes the angle, in degrees, as one byte to /dev/sg90.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr const char *node_path = "/dev/sg90";

// atoi's reading of the text, kept to its low 8 bits: 256 gives 0, -1 gives 255.
unsigned char angle_byte(const char *text)
{
	return static_cast<unsigned char>(std::atoi(text));
}

bool write_angle(int fd, unsigned char angle)
{
	if (write(fd, &angle, 1) == 1)
		return true;
	std::fprintf(stderr, "sg90 write failed: %s\n", std::strerror(errno));
	return false;
}

} // namespace

int main(int argc, char *argv[])
{
	// The node is opened first, so a missing one reads the same with or
	// without an argument.
	int fd = open(node_path, O_WRONLY);
	if (fd < 0) {
		std::puts("sg90 open failed");
		return 1;
	}
	bool ok = false;
	if (argc < 2)
		std::fputs("usage: servo_set ANGLE\n", stderr);
	else
		ok = write_angle(fd, angle_byte(argv[1]));
	close(fd);
	return ok ? 0 : 1;
}
