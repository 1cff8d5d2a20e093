// Prints the AP3216C's infrared, ambient-light and proximity readings about
// once a second.
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

#include "ending_signals.h"

namespace {

constexpr const char *node = "/dev/ap3216";
constexpr std::size_t record_size = 6;

using Record = unsigned char[record_size];

// Word k of the record, high byte first; never negative.
int word_at(const Record &record, std::size_t k)
{
	return record[2 * k] * 256 + record[2 * k + 1];
}

void print_record(const Record &record)
{
	printf("IR = %d, light = %d, dis = %d\n\n", word_at(record, 0),
	       word_at(record, 1), word_at(record, 2));
}

// One reading; false once the sensor has gone away for good.
bool poll_once(int fd, Record &record)
{
	// The driver answers a good read with 0, so the count means nothing.
	if (read(fd, record, record_size) >= 0) {
		print_record(record);
		return true;
	}
	const int error = errno;
	fprintf(stderr, "read %s: %s\n", node, strerror(error));
	return error != ENODEV;
}

} // namespace

int main()
{
	const int fd = open(node, O_RDWR);
	if (fd < 0) {
		puts("open /dev/ap3216 failed");
		return -1;
	}
	// A signal ends the program only in its pause, each reading written out
	// before it, also into a file or a pipe.
	hold_ending_signals();
	Record record = {};
	while (poll_once(fd, record))
		await_seconds(1);
	return 1;
}
